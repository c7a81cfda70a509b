// The picture commands: add, delete, rename and save to disk.
#include "app/PictureCommands.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QStringList>

#include "app/Application.h"
#include "app/BusyCursor.h"
#include "app/KeyText.h"
#include "app/Messages.h"
#include "app/NameDLG.h"
#include "app/Prompts.h"
#include "app/SaveAs.h"
#include "platform/MemoryStream.h"
#include "store/KESNames.h"
#include "vault/KeyText.h"
#include "view/Image.h"

namespace sk {

namespace {

// A renamed picture is re-encoded at this quality.
constexpr int kRenameQuality = 100;

QString Text(const char* utf8) {
  return QString::fromUtf8(utf8);
}

std::string FileNameBytes(const QString& path) {
  return QFile::encodeName(path).toStdString();
}

}  // namespace

TPictureCommands::TPictureCommands(TCommandContext context, TNameDLG& name_dlg, TSaveAs& save_as)
    : context_(context), name_dlg_(name_dlg), save_as_(save_as) {}

bool TPictureCommands::RefuseUnshownPicture(const std::string& key) {
  if (context_.view.ShowsSelectedPicture()) return true;
  context_.prompts.ShowError(Text(app_msg::kPictureNotShown).arg(KeyToText(key)));
  return false;
}

void TPictureCommands::AddPicture() {
  TPrompts& prompts = context_.prompts;
  const QStringList files = prompts.OpenPictureFiles();
  if (files.isEmpty()) return;
  const std::string file = FileNameBytes(files.front());
  TMemoryStream stream;
  std::string key;
  try {
    name_dlg_.Edit().setText(KeyToText(KeyForFile(file)));
    // The dialog has no cancel: whatever closes it, the add goes on under its text.
    prompts.ExecDialog(name_dlg_);
    TBusyCursor busy;
    EncodePictureFile(add_picture_, file, context_.preferences.quality, stream);
    key = TextToKey(name_dlg_.Edit().text());
  } catch (const std::exception&) {
    prompts.MessageDlg(Text(app_msg::kLoadFailed), TMsgDlgType::kWarning, {TMsgDlgBtn::kOk});
    return;
  }
  TBusyCursor busy;
  try {
    key = StoreEncodedPicture(context_.store, stream, key, TUniqueKeyRule::kGrowing);
    context_.view.KeyAdded(key);
  } catch (const EKeyNotUnique& error) {
    prompts.ShowError(Text(app_msg::kKeyNotUnique).arg(FailureText(error)));
    return;
  } catch (const std::exception&) {
    prompts.MessageDlg(Text(app_msg::kStoreFailed), TMsgDlgType::kWarning, {TMsgDlgBtn::kOk});
    context_.view.FillKeyList();
  }
  context_.view.SelectKey(key);
  context_.view.MyUpdate();
}

void TPictureCommands::DeletePicture() {
  TBusyCursor busy;
  TStoreView& view = context_.view;
  const std::optional<std::string> selected = view.SelectedKey();
  const int index = view.SelectedRow();
  if (selected) {
    TKES& store = context_.store;
    if (store.FindKey(*selected) &&
        context_.prompts.MessageDlg(Text(app_msg::kConfirmDelete), TMsgDlgType::kConfirmation,
                                    {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo}) == TMsgDlgBtn::kYes) {
      const int row = store.ItemIndex();
      store.Delete();
      view.KeyRemoved(row, *selected);
    } else {
      // Refreshed whatever the answer: the list may not show what the store holds.
      view.FillKeyList();
    }
  }
  view.SelectRow(index < view.KeyCount() ? index : index - 1);
  view.MyUpdate();
}

void TPictureCommands::RenamePicture() {
  TKES& store = context_.store;
  TPrompts& prompts = context_.prompts;
  TStoreView& view = context_.view;
  const std::optional<std::string> selected = view.SelectedKey();
  if (!selected) return;
  // The rename re-encodes the picture on screen: it must be this key's, never a blank one.
  if (!RefuseUnshownPicture(*selected)) return;
  TMemoryStream stream;
  TBusyCursor busy;
  // A rename stores the picture as shown, re-encoded, not the stored bytes.
  context_.picture.SaveToStreamJpeg(stream, kRenameQuality);
  const std::string old_key = *selected;
  // The stored bytes, kept to put the picture back should the new name be refused.
  TMemoryStream original;
  bool removed = false;
  if (store.FindKey(old_key)) {
    store.GetItem(original);
    const int row = store.ItemIndex();
    store.Delete();
    removed = true;
    view.KeyRemoved(row, old_key);
  }
  std::string key = TextToKey(prompts.InputBox(Text(app_msg::kRenameCaption),
                                               Text(app_msg::kRenamePrompt), KeyToText(old_key)));
  while (store.FindKey(key)) {
    const QString taken = KeyToText(key);
    const QString answer =
        prompts.InputBox(Text(app_msg::kKeyExistsCaption), Text(app_msg::kKeyExistsPrompt), taken);
    if (answer == taken) {
      // Cancelled (or the taken name given again): the picture keeps its old name, which the
      // delete above has freed, rather than asking for ever.
      key = old_key;
      break;
    }
    key = TextToKey(answer);
  }
  bool added = false;
  try {
    store.AddItem(stream, key);
    added = true;
    view.KeyAdded(key);
    store.Flush();
  } catch (const std::exception& error) {
    context_.picture.window()->setWindowTitle(Text(app_msg::kErrorCaption));
    const QString reason = FailureText(error);
    if (added || !removed) {
      prompts.ShowError(reason);
    } else {
      // Nothing may be lost: the stored bytes go back under the old name.
      try {
        store.AddItem(original, old_key);
        key = old_key;
        view.KeyAdded(key);
        store.Flush();
        prompts.ShowError(Text(app_msg::kRenameRestored).arg(reason, KeyToText(old_key)));
      } catch (const std::exception&) {
        prompts.ShowError(Text(app_msg::kRenameLost).arg(reason, KeyToText(old_key)));
      }
    }
  }
  view.SelectKey(key);
}

void TPictureCommands::SavePicture() {
  const std::optional<std::string> selected = context_.view.SelectedKey();
  if (!selected) return;
  if (!RefuseUnshownPicture(*selected)) return;
  save_as_.Edit1().setText(KeyToText(*selected));
  if (context_.prompts.ExecDialog(save_as_) != QDialog::Accepted) return;
  const QString path = SavePath(save_as_.Folder(), save_as_.Edit1().text(), save_as_.Extension());
  const std::string file = FileNameBytes(path);
  TBusyCursor busy;
  try {
    WritePicture(context_.picture, file, save_as_);
  } catch (const std::exception& error) {
    // Nobody may believe a picture was saved when it was not.
    context_.prompts.ShowError(Text(app_msg::kSaveToDiskFailed).arg(path, FailureText(error)));
  }
}

}  // namespace sk
