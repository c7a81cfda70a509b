// The "&File" menu's workflows: open or create a store, reopen a recent one, close it, the
// preferences, and what happens at start (auto-load) and at exit (close and save the list).
#pragma once

#include <QString>

#include "app/CommandContext.h"

namespace sk {

class TMRUFileList;
class TPreferences;

class TFileCommands {
 public:
  // The recent-files list and the preferences dialog belong to the main window and outlive this
  // object.
  TFileCommands(TCommandContext context, TMRUFileList& mru, TPreferences& preferences_dlg);

  // Reopens the most recent store when the preferences ask for it; a missing file is reported.
  void AutoLoad();
  // Opens or creates a store chosen in the open dialog, and remembers it.
  void OpenStore();
  // A recent-files entry was chosen (the list has already taken it out). The list is saved at
  // once, as it is after an open, so that it survives a run that does not end normally.
  void OpenRecent(const QString& file_name);
  // Opens the store file_name (given on the command line or dropped onto the window) and
  // remembers it, as the open dialog's choice would be.
  void OpenStoreAt(const QString& file_name);
  // Closes the store (telling where it went when it had to be saved elsewhere) and clears the
  // window.
  void CloseCurrentStore();
  // Shows the preferences dialog; on OK writes the values and applies them.
  void EditPreferences();
  // What closing the window does once the user agreed: closes the store and saves the
  // recent-files list. False when the user chose to keep the window open.
  bool ShutDown();
  // Closes the store and saves the recent-files list without asking or showing anything: a store
  // that cannot be written back stays as its working files (nothing is lost).
  void ShutDownQuietly();

  // The open store's file name as text.
  QString StoreFileName() const;

 private:
  // Closes the store, telling the user when it had to be written under another name.
  void CloseStoreAndReport();
  // After a failed close: the cause the file system shows, as a message, or "" when none.
  QString WriteFailureCause() const;
  // FileName := '' (see CloseStoreAndReport), Password := '', key list and picture cleared.
  void ResetStore();
  // Opens file_name, shows the first key, returns with the key list filled; false when the user
  // cancelled the password question (the store stays closed, nothing is said).
  bool LoadStore(const QString& file_name);
  // Assigns file_name to the store (read-only when it could not be written back), asking again for
  // a wrong password (three tries in all, the last failure raised); false when the password
  // question was cancelled.
  bool AssignStore(const QString& file_name);

  TCommandContext context_;
  TMRUFileList& mru_;
  TPreferences& preferences_dlg_;
};

}  // namespace sk
