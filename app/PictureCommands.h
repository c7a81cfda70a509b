// The "&Image" menu's workflows and their tool-bar buttons: add a picture file, delete, rename and
// save the selected picture. Each works on the command context; failures it does not handle
// itself raise to the window's command edge, which shows them.
#pragma once

#include "app/CommandContext.h"
#include "platform/MemoryStream.h"
#include "vault/AddPicture.h"

namespace sk {

class TNameDLG;
class TSaveAs;

class TPictureCommands {
 public:
  // The dialogs belong to the main window and outlive this object.
  TPictureCommands(TCommandContext context, TNameDLG& name_dlg, TSaveAs& save_as);

  // The picture host that adds decode into: never the picture on screen. Inject the metafile
  // service through its IO().
  TOffscreenPicture& AddPictureHost() { return add_picture_; }

  // Adds one picture file chosen in the open dialog under a name proposed from the file name and
  // made unique by growing it, stored as a framed JPEG at min(Quality, 90); selects and shows it.
  // Escape in the name dialog cancels the add.
  void AddPicture();
  // Deletes the selected picture after confirmation; the same index (or the new last) is
  // selected. The list is refreshed whatever the answer.
  void DeletePicture();
  // Renames the selected picture: its exact stored bytes go under the new name, and the old name
  // is deleted only once that has succeeded, so a refused or failed rename leaves the picture as
  // it was (the message says so). A picture that could not be shown is not renamed.
  void RenamePicture();
  // Saves the selected picture to disk as JPEG, BMP or GIF through the save dialog; a failure is
  // shown. A picture that could not be shown is not saved (the message says so).
  void SavePicture();

 private:
  // True when the picture on screen is key's; otherwise says so and returns false.
  bool RefuseUnshownPicture(const std::string& key);

  TCommandContext context_;
  TNameDLG& name_dlg_;
  TSaveAs& save_as_;
  TOffscreenPicture add_picture_;
};

}  // namespace sk
