// The "&Batch" menu's workflows: add many picture files, delete and save the keys checked in the
// selection dialog, while the progress window says what is being done. Pictures are added
// through the shared workflow, decoded off screen.
#pragma once

#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "app/CommandContext.h"
#include "app/BatchListing.h"
#include "app/RefreshThrottle.h"
#include "vault/AddPicture.h"

namespace sk {

class TBatchAction;
class TQMSProgress;
class TSaveAs;
class TScanUnit;

class TBatchCommands {
 public:
  // The dialogs and the progress window belong to the main window and outlive this object.
  // pump: processes pending window messages once per added file.
  TBatchCommands(TCommandContext context, TBatchAction& batch_action, TSaveAs& save_as,
                 TScanUnit& scan_unit, TQMSProgress& progress, std::function<void()> pump);

  TOffscreenPicture& AddPictureHost() { return add_picture_; }
  // The monotonic clock the batch adds throttle their list refreshes by (steady_clock when null).
  void SetRefreshClock(TRefreshThrottle::TClock clock) { refresh_clock_ = std::move(clock); }

  // Adds the files chosen in the open dialog, the last one first, each under its file name made
  // unique with " (n)". A store failure sets the window caption to "ERROR" and the batch goes on;
  // a file that cannot be read ends the batch with the reader's message (raised). The view shows
  // the last picture added.
  void AddPictures();
  // The same for files given otherwise (dropped onto the window), in the order given.
  void AddPictureFiles(const QStringList& files);
  // Deletes the checked keys after confirmation; the list is refreshed and its first key shown
  // whatever the answer. A store failure ends the batch (raised); keys deleted before stay deleted.
  void DeletePictures();
  // Saves the checked keys to disk, named after the keys, in the format and folder chosen in the
  // save dialog. When some of the files exist, one question replaces them all, skips them or
  // cancels. Keys that could not be saved are listed in one message at the end.
  void SavePictures();
  // Adds the files checked in the scan dialog's result, in its order, each under its file name
  // made unique with " (n)". A file that cannot be read ends the add with the reader's message
  // (raised); files that could not be stored are listed in one message at the end.
  void AddScannedPictures();

 private:
  // Shows the last picture a batch add read, as the view would after loading it, when it was
  // stored; otherwise the selected item (MyUpdate).
  void ShowAddedPicture(bool stored);
  void RefreshAndShowFirst();
  // The file a batch save writes for the key at row of the list.
  QString SaveTarget(int row) const;

  TCommandContext context_;
  TBatchAction& batch_action_;
  TSaveAs& save_as_;
  TScanUnit& scan_unit_;
  TQMSProgress& progress_;
  std::function<void()> pump_;
  TOffscreenPicture add_picture_;
  TRefreshThrottle::TClock refresh_clock_;
};

}  // namespace sk
