// Opening, creating, reopening and closing stores; the preferences; start-up and exit.
#include "app/FileCommands.h"

#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "app/Application.h"
#include "app/BusyCursor.h"
#include "app/MRUFileList.h"
#include "app/Messages.h"
#include "app/Preferences.h"
#include "app/Prompts.h"
#include "app/ScreenText.h"
#include "app/StoreAccess.h"
#include "store/KESErrors.h"
#include "vault/CloseStore.h"
#include "view/Image.h"

namespace sk {

namespace {

// How often a wrong password is asked for before the open gives up.
constexpr int kPasswordTries = 3;

}  // namespace

TFileCommands::TFileCommands(TCommandContext context, TMRUFileList& mru,
                             TPreferences& preferences_dlg)
    : context_(context), mru_(mru), preferences_dlg_(preferences_dlg) {}

void TFileCommands::AutoLoad() {
  if (!context_.preferences.auto_start || mru_.Empty()) return;
  const QString path = mru_.Items().front();
  if (!QFileInfo(path).isFile()) {
    context_.prompts.MessageDlg(Text(app_msg::kFileNotFound), TMsgDlgType::kInformation,
                                {TMsgDlgBtn::kOk});
    return;
  }
  TBusyCursor busy;
  if (!LoadStore(path)) return;
  if (context_.view.KeyCount() == 0) {
    // An empty store shows its name where the position would be.
    context_.view.ShowPosition(QFileInfo(path).fileName());
    return;
  }
  context_.settings.WriteLastFile(path);
}

void TFileCommands::OpenStore() {
  // The dialog starts where the store opened last lives.
  const QString folder = mru_.Empty() ? QString() : QFileInfo(mru_.Items().front()).absolutePath();
  const std::optional<QString> path = context_.prompts.OpenStoreFile(folder);
  if (!path) return;
  OpenStoreAt(*path);
}

void TFileCommands::OpenStoreAt(const QString& file_name) {
  if (!LoadStore(file_name)) return;
  const QString opened = StoreFileName();
  mru_.Add(opened);
  mru_.Save();
  context_.settings.WriteLastFile(opened);
}

void TFileCommands::OpenRecent(const QString& file_name) {
  if (!QFileInfo(file_name).isFile()) {
    mru_.Save();
    context_.prompts.MessageDlg(Text(app_msg::kFileNotFound), TMsgDlgType::kInformation,
                                {TMsgDlgBtn::kOk});
    return;
  }
  TBusyCursor busy;
  mru_.Add(file_name);
  mru_.Save();
  LoadStore(file_name);
}

void TFileCommands::CloseCurrentStore() {
  ResetStore();
  context_.view.ShowPosition(Text(app_msg::kNoDatabase));
  context_.view.ShowSize(0);
}

void TFileCommands::EditPreferences() {
  TPreferenceValues& values = context_.preferences;
  preferences_dlg_.SetQuality(values.quality);
  preferences_dlg_.SetAutoStart(values.auto_start);
  preferences_dlg_.SetViewStyle(values.view_style);
  if (context_.prompts.ExecDialog(preferences_dlg_) != QDialog::Accepted) return;
  const TPreferenceValues chosen{preferences_dlg_.Quality(), preferences_dlg_.ViewStyle(),
                                 preferences_dlg_.AutoStart()};
  context_.settings.WritePreferences(chosen, preferences_dlg_.Language());
  values = chosen;
  context_.view.ShowViewStyle();
  context_.view.MyUpdate();
}

bool TFileCommands::ShutDown() {
  TKES& store = context_.store;
  try {
    CloseStoreAndReport();
  } catch (const std::exception& error) {
    context_.view.ResetProgress();
    context_.prompts.ShowError(FailureText(error));
    if (context_.prompts.MessageDlg(Text(app_msg::kExitUnsaved), TMsgDlgType::kWarning,
                                    {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo},
                                    TMsgDlgDefault::kSafe) != TMsgDlgBtn::kYes) {
      return false;
    }
    // The user gives up the changes: close without writing the container back.
    store.SetReadOnly(true);
    try {
      store.SetFileName("");
    } catch (const std::exception&) {
      // Nothing more can be done; the working files stay in the temporary folder.
    }
  }
  try {
    mru_.Save();
  } catch (const std::exception& error) {
    context_.prompts.ShowError(FailureText(error));
  }
  return true;
}

void TFileCommands::ShutDownQuietly() {
  try {
    CloseStoreWithReport(context_.store);
  } catch (const std::exception& error) {
    // Nobody is there to ask: the store's working files are kept, out of the way of the next
    // open's sweep of stale files, and the session's log says where.
    context_.store.KeepWorkingFiles();
    std::fprintf(stderr, "stillkeep: %s%s\n", error.what(),
                 KeptWorkingFilesNote(context_.store).c_str());
  }
  try {
    mru_.Save();
  } catch (const std::exception&) {
    // The list of the previous run stays in the registry.
  }
}

QString TFileCommands::StoreFileName() const {
  return FileNameText(context_.store.FileName());
}

void TFileCommands::CloseStoreAndReport() {
  TCloseReport report;
  try {
    report = CloseStoreWithReport(context_.store);
  } catch (const EKESFileError&) {
    // The store's message names a class of failure ("in use" also stands for a refused
    // permission); the file system tells the user what actually stops the write.
    const QString cause = WriteFailureCause();
    if (cause.isEmpty()) throw;
    throw EKESFileError(cause.toStdString());
  }
  if (report.SavedElsewhere()) {
    context_.prompts.MessageDlg(
        Text(app_msg::kSavedElsewhere)
            .arg(FileNameText(report.file_name), FileNameText(report.written_name)),
        TMsgDlgType::kWarning, {TMsgDlgBtn::kOk});
  }
}

QString TFileCommands::WriteFailureCause() const {
  const TKES& store = context_.store;
  // The store stays open after a failed close: its working files tell the room it needs.
  int64_t needed = 0;
  for (const std::string& name : {store.DataFileName(), store.IndexFileName()}) {
    if (!name.empty()) needed += QFileInfo(FileNameText(name)).size();
  }
  const QString path = StoreFileName();
  return WriteBlockText(WhyNotWritable(ProbeWriteAccess(path), needed), path);
}

void TFileCommands::ResetStore() {
  CloseStoreAndReport();
  context_.store.Password.clear();
  context_.view.ClearKeyList();
  context_.picture.Clear();
}

bool TFileCommands::LoadStore(const QString& file_name) {
  TBusyCursor busy;
  ResetStore();
  if (!AssignStore(file_name)) return false;
  context_.view.MyUpdate();
  context_.view.FillKeyList();
  if (context_.view.KeyCount() > 0) {
    context_.view.SelectRow(0);
    context_.view.MyUpdate();
  }
  return true;
}

bool TFileCommands::AssignStore(const QString& file_name) {
  // A store that could not be written back opens read-only, so that nothing is changed that
  // could not be kept; the store itself also opens a file without write permission so.
  context_.store.SetReadOnly(QFileInfo(file_name).isFile() &&
                             WhyNotWritable(ProbeWriteAccess(file_name), -1) != TWriteBlock::kNone);
  for (int attempt = 1;; ++attempt) {
    try {
      context_.store.SetFileName(FileNameBytes(file_name));
      return true;
    } catch (const EKESInvalidPW&) {
      // Cancel gives up quietly; a wrong password is asked again, three times in all.
      if (context_.view.PasswordCancelled()) return false;
      if (attempt == kPasswordTries) throw;
    }
  }
}

}  // namespace sk
