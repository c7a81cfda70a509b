// The "&Database" menu's workflows: set or change the store's password (asked twice), pack the
// store, and kill it after two confirmations, which also takes it off the recent-files list.
#pragma once

#include <QString>

#include "app/CommandContext.h"

namespace sk {

class TMRUFileList;
class TPasswordDlg;

class TDatabaseCommands {
 public:
  // The dialog and the recent-files list belong to the main window and outlive this object.
  // Takes over the store's BeforeKill and OnKilled events.
  TDatabaseCommands(TCommandContext context, TPasswordDlg& password_dlg, TMRUFileList& mru);

  // Asks for the new password twice; when both entries match, the store is protected with it
  // from the next write on (two empty entries remove the protection).
  void ChangePassword();
  // Packs the store; the key list and the view stay as they are.
  void Pack();
  // Deletes the store file after two confirmations.
  void Kill();

 private:
  // BeforeKill: the second confirmation.
  void KESBeforeKill(bool& ok);
  // OnKilled: the store file is gone.
  void KESKilled();

  TCommandContext context_;
  TPasswordDlg& password_dlg_;
  TMRUFileList& mru_;
  QString killed_file_;  // the store Kill deletes, for the recent-files list
};

}  // namespace sk
