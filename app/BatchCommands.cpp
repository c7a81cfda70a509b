// Batch add, delete and save.
#include "app/BatchCommands.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QStringList>
#include <vector>

#include "app/Application.h"
#include "app/BatchAction.h"
#include "app/BusyCursor.h"
#include "app/KeyText.h"
#include "app/Messages.h"
#include "app/Prompts.h"
#include "app/QMSProgress.h"
#include "app/SaveAs.h"
#include "app/ScanUnit.h"
#include "app/ScreenText.h"
#include "platform/MemoryStream.h"
#include "vault/KeyText.h"
#include "vault/PicturePipeline.h"
#include "view/Image.h"

namespace sk {

namespace {

// Closes the progress window on every way out of a batch.
class TProgressShown {
 public:
  explicit TProgressShown(TQMSProgress& progress) : progress_(progress) { progress_.Show(); }
  ~TProgressShown() { progress_.Close(); }
  TProgressShown(const TProgressShown&) = delete;
  TProgressShown& operator=(const TProgressShown&) = delete;

 private:
  TQMSProgress& progress_;
};

std::vector<std::string> StoreKeys(TKES& store) {
  TStringList keys;
  store.GetKeys(keys);
  return keys.TakeItems();
}

}  // namespace

TBatchCommands::TBatchCommands(TCommandContext context, TBatchAction& batch_action,
                               TSaveAs& save_as, TScanUnit& scan_unit, TQMSProgress& progress,
                               std::function<void()> pump)
    : context_(context),
      batch_action_(batch_action),
      save_as_(save_as),
      scan_unit_(scan_unit),
      progress_(progress),
      pump_(std::move(pump)) {}

void TBatchCommands::AddPictures() {
  AddPictureFiles(context_.prompts.OpenPictureFiles());
}

void TBatchCommands::AddPictureFiles(const QStringList& files) {
  if (files.isEmpty()) return;
  TBusyCursor busy;
  const int last = static_cast<int>(files.size()) - 1;
  // The picture host holds the last file read; it is shown at the end only when it was stored.
  bool last_read_stored = false;
  TBatchListing listing(context_.view, refresh_clock_);
  try {
    TProgressShown shown(progress_);
    progress_.SetAction(Text(app_msg::kAddingAction));
    // Set after Show: the gauge keeps the bounds it was shown with.
    progress_.Max = last;
    // The files are read and encoded ahead, last first, while each one is stored in turn.
    std::vector<std::string> order;
    for (int i = last; i >= 0; --i) order.push_back(FileNameBytes(files[i]));
    TPicturePipeline pipeline(std::move(order), context_.preferences.quality, add_picture_);
    for (int i = last; i >= 0; --i) {
      progress_.SetPosition(i);
      TPipelineResult result = pipeline.Next();
      if (result.load_error) std::rethrow_exception(result.load_error);
      last_read_stored = false;
      progress_.SetFilename(files[i]);
      std::string key = KeyForFile(result.file_name);
      try {
        key = StorePipelineResult(context_.store, result, key, TUniqueKeyRule::kNumbered);
        listing.Stored(key);
        last_read_stored = true;
      } catch (const std::exception&) {
        context_.picture.window()->setWindowTitle(Text(app_msg::kErrorCaption));
        listing.Refill();
      }
      listing.Select(key);
      if (pump_) pump_();
    }
  } catch (...) {
    listing.Finish();
    ShowAddedPicture(last_read_stored);
    throw;
  }
  listing.Finish();
  ShowAddedPicture(last_read_stored);
}

void TBatchCommands::ShowAddedPicture(bool stored) {
  // A picture that did not go into the store never stands on screen: the selected item does.
  if (!stored) {
    context_.view.MyUpdate();
    return;
  }
  TImage& picture = context_.picture;
  picture.Bitmap() = add_picture_.Picture();
  picture.Update();
  picture.ImageChange();
  picture.Fit();
}

void TBatchCommands::DeletePictures() {
  TKES& store = context_.store;
  {
    TBusyCursor busy;
    batch_action_.SetKeys(StoreKeys(store));
  }
  batch_action_.setWindowTitle(Text(app_msg::kSelectToDelete));
  if (context_.prompts.ExecDialog(batch_action_) != QDialog::Accepted) return;
  try {
    if (context_.prompts.MessageDlg(Text(app_msg::kConfirmBatchDelete), TMsgDlgType::kConfirmation,
                                    {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo},
                                    TMsgDlgDefault::kSafe) == TMsgDlgBtn::kYes) {
      TBusyCursor busy;
      TProgressShown shown(progress_);
      // The keys as listed when the dialog was filled: item i of the check list is key i.
      const std::vector<std::string> keys = StoreKeys(store);
      for (int i = 0; i < batch_action_.Count() && i < static_cast<int>(keys.size()); ++i) {
        if (!batch_action_.Checked(i) || !store.FindKey(keys[i])) continue;
        progress_.SetFilename(KeyToText(keys[i]));
        progress_.SetAction(Text(app_msg::kDeletingAction));
        store.Delete();
      }
    }
  } catch (...) {
    // The list shows what the store holds after a failure too.
    context_.view.FillKeyList();
    throw;
  }
  RefreshAndShowFirst();
}

void TBatchCommands::SavePictures() {
  TKES& store = context_.store;
  {
    TBusyCursor busy;
    batch_action_.SetKeys(StoreKeys(store));
  }
  batch_action_.setWindowTitle(Text(app_msg::kSelectToSave));
  QStringList failures;
  if (context_.prompts.ExecDialog(batch_action_) == QDialog::Accepted) {
    // File names come from the keys.
    save_as_.Edit1().setEnabled(false);
    QPalette palette = save_as_.Edit1().palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Button));
    save_as_.Edit1().setPalette(palette);
    try {
      if (context_.prompts.ExecDialog(save_as_) == QDialog::Accepted) {
        context_.view.FillKeyList();
        // Files that exist already are replaced or kept as the user says, once for the batch.
        int existing = 0;
        for (int i = 0; i < batch_action_.Count() && i < context_.view.KeyCount(); ++i) {
          if (batch_action_.Checked(i) && QFileInfo::exists(SaveTarget(i))) ++existing;
        }
        TMsgDlgBtn replace = TMsgDlgBtn::kYes;
        if (existing > 0) {
          replace = context_.prompts.MessageDlg(
              Text(app_msg::kConfirmReplaceBatch).arg(existing).arg(save_as_.Folder()),
              TMsgDlgType::kConfirmation, {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo, TMsgDlgBtn::kCancel},
              TMsgDlgDefault::kSafe);
        }
        TProgressShown shown(progress_);
        TBusyCursor busy;
        for (int i = 0; replace != TMsgDlgBtn::kCancel && i < batch_action_.Count() &&
                        i < context_.view.KeyCount();
             ++i) {
          if (!batch_action_.Checked(i)) continue;
          const QString path = SaveTarget(i);
          if (replace == TMsgDlgBtn::kNo && QFileInfo::exists(path)) continue;
          context_.view.SelectRow(i);
          const std::string key = *context_.view.SelectedKey();
          try {
            context_.view.MyUpdate();
            if (!context_.view.ShowsSelectedPicture()) {
              throw std::runtime_error(
                  Text(app_msg::kPictureNotShown).arg(KeyToText(key)).toStdString());
            }
            progress_.SetFilename(path);
            progress_.SetAction(Text(app_msg::kSavingAction));
            WritePicture(context_.picture, FileNameBytes(path), save_as_);
          } catch (const std::exception& error) {
            failures.append(KeyToText(key) + QStringLiteral(": ") + FailureText(error));
          }
        }
      }
    } catch (...) {
      save_as_.Edit1().setPalette(QPalette());
      save_as_.Edit1().setEnabled(true);
      throw;
    }
    save_as_.Edit1().setPalette(QPalette());
    save_as_.Edit1().setEnabled(true);
  }
  RefreshAndShowFirst();
  // What the batch could not do is told once, at its end; what it did stays done.
  if (!failures.isEmpty()) {
    context_.prompts.ShowError(
        Text(app_msg::kBatchSaveFailed).arg(failures.join(QStringLiteral("\r"))));
  }
}

void TBatchCommands::AddScannedPictures() {
  scan_unit_.ClearForShowing();
  if (context_.prompts.ExecDialog(scan_unit_) != QDialog::Accepted) return;
  TBusyCursor busy;
  QListWidget& entries = scan_unit_.ToBe();
  const int last = entries.count() - 1;
  QStringList failures;
  progress_.SetProgress(true);
  progress_.Max = last;
  TBatchListing listing(context_.view, refresh_clock_);
  {
    TProgressShown shown(progress_);
    try {
      // The checked files are read and encoded ahead while each one is stored in turn.
      std::vector<std::string> checked;
      for (int i = 0; i <= last; ++i) {
        if (entries.item(i)->checkState() == Qt::Checked) {
          checked.push_back(FileNameBytes(entries.item(i)->text()));
        }
      }
      TPicturePipeline pipeline(std::move(checked), context_.preferences.quality, add_picture_);
      for (int i = 0; i <= last; ++i) {
        progress_.SetPosition(i);
        progress_.SetAction(Text(app_msg::kAddingAction));
        const QListWidgetItem* entry = entries.item(i);
        if (entry->checkState() == Qt::Checked) {
          TPipelineResult result = pipeline.Next();
          if (result.load_error) std::rethrow_exception(result.load_error);
          progress_.SetFilename(entry->text());
          std::string key = KeyForFile(result.file_name);
          try {
            key = StorePipelineResult(context_.store, result, key, TUniqueKeyRule::kNumbered);
            listing.Stored(key);
          } catch (const std::exception& error) {
            failures.append(entry->text() + QStringLiteral(": ") + FailureText(error));
            listing.Refill();
          }
          listing.Select(key);
        }
        if (pump_) pump_();
      }
      listing.Finish();
      // Progress off while still shown only hides the gauge row: the property stays on.
      progress_.SetProgress(false);
    } catch (...) {
      // A file that cannot be read ends the add; what was added stays, and the view shows it.
      listing.Finish();
      progress_.SetProgress(false);
      progress_.Close();
      context_.view.MyUpdate();
      throw;
    }
  }
  context_.view.MyUpdate();
  // What the add could not store is told once, at its end; what it stored stays stored.
  if (!failures.isEmpty()) {
    context_.prompts.ShowError(
        Text(app_msg::kScanAddFailed).arg(failures.join(QStringLiteral("\r"))));
  }
}

QString TBatchCommands::SaveTarget(int row) const {
  const std::string key = context_.view.KeyAt(row);
  return SavePath(save_as_.Folder(), KeyToText(key), save_as_.Extension());
}

void TBatchCommands::RefreshAndShowFirst() {
  context_.view.FillKeyList();
  context_.view.SelectRow(0);
  context_.view.MyUpdate();
}

}  // namespace sk
