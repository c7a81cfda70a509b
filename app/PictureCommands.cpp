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
#include "app/ScreenText.h"
#include "platform/MemoryStream.h"
#include "store/KESNames.h"
#include "vault/KeyText.h"
#include "vault/RenameItem.h"
#include "view/Image.h"

namespace sk {

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
    // Escape cancels the add: nothing is read or stored.
    if (prompts.ExecDialog(name_dlg_) != QDialog::Accepted) return;
    TBusyCursor busy;
    EncodePictureFile(add_picture_, file, context_.preferences.quality, stream);
    key = TextToKey(name_dlg_.Edit().text());
  } catch (const std::exception&) {
    prompts.MessageDlg(AboutSubject(Text(app_msg::kLoadFailed), files.front()),
                       TMsgDlgType::kWarning, {TMsgDlgBtn::kOk});
    return;
  }
  TBusyCursor busy;
  bool stored = true;
  try {
    key = StoreEncodedPicture(context_.store, stream, key, TUniqueKeyRule::kGrowing);
    context_.view.KeyAdded(key);
  } catch (const EKeyNotUnique& error) {
    prompts.ShowError(Text(app_msg::kKeyNotUnique).arg(FailureText(error)));
    return;
  } catch (const std::exception&) {
    prompts.MessageDlg(AboutSubject(Text(app_msg::kStoreFailed), KeyToText(key)),
                       TMsgDlgType::kWarning, {TMsgDlgBtn::kOk});
    context_.view.FillKeyList();
    stored = false;
  }
  context_.view.SelectKey(key);
  context_.view.MyUpdate();
  // A file cut short is stored as far as it goes; the user learns that the rest is missing.
  if (stored && add_picture_.IO().LastLoadEndedEarly()) {
    prompts.MessageDlg(Text(app_msg::kEndedEarly).arg(files.front()), TMsgDlgType::kInformation,
                       {TMsgDlgBtn::kOk});
  }
}

void TPictureCommands::DeletePicture() {
  TBusyCursor busy;
  TStoreView& view = context_.view;
  const std::optional<std::string> selected = view.SelectedKey();
  const int index = view.SelectedRow();
  if (selected) {
    TKES& store = context_.store;
    if (store.FindKey(*selected) &&
        context_.prompts.MessageDlg(
            AboutSubject(Text(app_msg::kConfirmDelete), KeyToText(*selected)),
            TMsgDlgType::kConfirmation, {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo},
            TMsgDlgDefault::kSafe) == TMsgDlgBtn::kYes) {
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
  // A picture the store cannot read is left as it is.
  if (!RefuseUnshownPicture(*selected)) return;
  const std::string old_key = *selected;
  TBusyCursor busy;
  if (!store.FindKey(old_key)) return;
  // The exact stored bytes go under the new name: a rename never changes the pixels.
  TMemoryStream item;
  store.GetItem(item);
  std::string key = TextToKey(prompts.InputBox(Text(app_msg::kRenameCaption),
                                               Text(app_msg::kRenamePrompt), KeyToText(old_key)));
  const auto taken_by_another = [&](const std::string& candidate) {
    const int index = store.IndexOfKey(candidate);
    return index >= 0 && index != store.IndexOfKey(old_key);
  };
  while (taken_by_another(key)) {
    const QString taken = KeyToText(key);
    const QString answer =
        prompts.InputBox(Text(app_msg::kKeyExistsCaption), Text(app_msg::kKeyExistsPrompt), taken);
    if (answer == taken) {
      // Cancelled (or the taken name given again): the picture keeps its name, rather than
      // asking for ever.
      key = old_key;
      break;
    }
    key = TextToKey(answer);
  }
  if (key != old_key) {
    try {
      const TRenameEvents events{
          [&view](const std::string& added) { view.KeyAdded(added); },
          [&view](int row, const std::string& removed) { view.KeyRemoved(row, removed); }};
      try {
        RenameItem(store, item, old_key, key, events);
      } catch (const ERenameFailed& failure) {
        const char* text =
            failure.KeptAs() == old_key ? app_msg::kRenameRestored : app_msg::kRenameKeptAs;
        throw std::runtime_error(
            Text(text).arg(FailureText(failure), KeyToText(failure.KeptAs())).toStdString());
      }
    } catch (const std::exception& error) {
      context_.picture.window()->setWindowTitle(Text(app_msg::kErrorCaption));
      prompts.ShowError(FailureText(error));
    }
  }
  view.SelectKey(store.IndexOfKey(key) >= 0 ? key : old_key);
  // The position and size panels describe the selected item where it now stands.
  view.MyUpdate();
}

void TPictureCommands::SavePicture() {
  const std::optional<std::string> selected = context_.view.SelectedKey();
  if (!selected) return;
  if (!RefuseUnshownPicture(*selected)) return;
  save_as_.ProposeName(KeyToText(*selected));
  if (context_.prompts.ExecDialog(save_as_) != QDialog::Accepted) return;
  // The dialog refuses a typed path; nothing else may turn one into a file name either.
  const QString problem = save_as_.TypedNameProblem();
  if (!problem.isEmpty()) {
    context_.prompts.ShowError(problem);
    return;
  }
  const QString path = SavePath(save_as_.Folder(), save_as_.Edit1().text(), save_as_.Extension());
  const std::string file = FileNameBytes(path);
  // An existing file is replaced only when the user says so.
  if (QFileInfo::exists(path) &&
      context_.prompts.MessageDlg(Text(app_msg::kConfirmReplace).arg(path),
                                  TMsgDlgType::kConfirmation, {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo},
                                  TMsgDlgDefault::kSafe) != TMsgDlgBtn::kYes) {
    return;
  }
  TBusyCursor busy;
  try {
    WritePicture(context_.picture, file, save_as_);
  } catch (const std::exception& error) {
    // Nobody may believe a picture was saved when it was not.
    context_.prompts.ShowError(Text(app_msg::kSaveToDiskFailed).arg(path, FailureText(error)));
  }
}

}  // namespace sk
