// Password, pack and kill.
#include "app/DatabaseCommands.h"

#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>

#include "app/BusyCursor.h"
#include "app/MRUFileList.h"
#include "app/Messages.h"
#include "app/PasswordDlg.h"
#include "app/Prompts.h"
#include "app/ScreenText.h"
#include "view/Image.h"

namespace sk {

TDatabaseCommands::TDatabaseCommands(TCommandContext context, TPasswordDlg& password_dlg,
                                     TMRUFileList& mru)
    : context_(context), password_dlg_(password_dlg), mru_(mru) {
  context_.store.BeforeKill = [this](TKES&, bool& ok) { KESBeforeKill(ok); };
  context_.store.OnKilled = [this](TKES&) { KESKilled(); };
}

void TDatabaseCommands::ChangePassword() {
  TPrompts& prompts = context_.prompts;
  password_dlg_.ClearEdit();
  // The kind of protection is chosen with the password, strong unless the user says otherwise.
  password_dlg_.StrongBox().setChecked(true);
  password_dlg_.StrongBox().show();
  const int first_answer = prompts.ExecDialog(password_dlg_);
  password_dlg_.StrongBox().hide();
  if (first_answer == QDialog::Accepted) {
    const QString first = password_dlg_.Edit().text();
    const bool strong = password_dlg_.StrongBox().isChecked();
    const std::optional<std::string> password = password_dlg_.Password();
    password_dlg_.ClearEdit();
    password_dlg_.SetLabelText(Text(app_msg::kReenterPassword));
    if (prompts.ExecDialog(password_dlg_) == QDialog::Accepted) {
      const QString second = password_dlg_.Edit().text();
      password_dlg_.ClearEdit();
      // The edit takes only what a password can hold, so a password is there whenever the
      // entries match.
      if (first != second || !password) {
        prompts.MessageDlg(Text(app_msg::kPasswordsDiffer), TMsgDlgType::kInformation,
                           {TMsgDlgBtn::kOk});
      } else {
        context_.store.Password = *password;
        context_.store.SetStrongProtection(strong);
      }
    }
    password_dlg_.SetLabelText(Text(app_msg::kEnterYourPassword));
  }
  password_dlg_.ClearEdit();
}

void TDatabaseCommands::Pack() {
  TBusyCursor busy;
  context_.store.Pack();
  // The bodies moved: the index for their new places is made durable at once, so that a crash
  // from here on loses nothing (Pack ends the session's journal until a Flush writes a new one).
  context_.store.Flush();
}

void TDatabaseCommands::Kill() {
  killed_file_ = QFile::decodeName(QByteArray::fromStdString(context_.store.FileName()));
  if (context_.prompts.MessageDlg(AboutSubject(Text(app_msg::kConfirmKill), killed_file_),
                                  TMsgDlgType::kInformation, {TMsgDlgBtn::kYes, TMsgDlgBtn::kNo},
                                  TMsgDlgDefault::kSafe) != TMsgDlgBtn::kYes) {
    return;
  }
  context_.store.Kill();
}

void TDatabaseCommands::KESBeforeKill(bool& ok) {
  ok = context_.prompts.MessageDlg(Text(app_msg::kConfirmKillAgain), TMsgDlgType::kWarning,
                                   {TMsgDlgBtn::kOk, TMsgDlgBtn::kCancel},
                                   TMsgDlgDefault::kSafe) == TMsgDlgBtn::kOk;
}

void TDatabaseCommands::KESKilled() {
  mru_.Remove(killed_file_);
  mru_.Save();
  context_.store.SetFileName("");
  context_.store.Password.clear();
  context_.view.ClearKeyList();
  context_.picture.Clear();
}

}  // namespace sk
