// The file manager's "Add To Stillkeep": a request names a picture file, which is added to the
// open store under a name made from the file name, as the single add does but without asking.
#pragma once

#include <QStringList>

#include "app/CommandContext.h"
#include "vault/AddPicture.h"

namespace sk {

class TFileManagerRequests {
 public:
  explicit TFileManagerRequests(TCommandContext context);

  // Adds the picture file of lines[0] (an absolute path) to the open store under the key made
  // from its file name, grown until it is unique (name, name (1), name (1) (2), ...), at the
  // stored quality of the preference. A request without a line, a relative path or a file that
  // cannot be read shows the loading message and stores nothing; a failure to encode or store
  // (no store is open, the store refuses) shows the store message. Afterwards the key list is
  // refreshed, the key selected and its picture shown. The picture on screen is not used.
  void LoadFileExecuteMacro(const QStringList& lines);

  // The picture the requests load into (set its load background and metafile service here).
  TOffscreenPicture& AddPictureHost() { return add_picture_; }

 private:
  TCommandContext context_;
  TOffscreenPicture add_picture_;
};

}  // namespace sk
