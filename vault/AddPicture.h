// Adding a picture file to a store: read by its extension, encoded as a framed JPEG at the stored
// quality, kept under a key made unique by the caller's rule, flushed. The program's single,
// batch, scan and file-manager adds and skd all go through here.
#pragma once

#include <string>

#include "imaging/ImageIO.h"
#include "imaging/PictureHost.h"
#include "platform/MemoryStream.h"
#include "store/KES.h"

namespace sk {

// A picture is never stored above this JPEG quality.
inline constexpr int kMaxAddQuality = 90;

// The quality a picture is stored at for the preference quality: min(preference, 90).
int StoredQuality(int preference);

// A picture host of its own with its input/output part, for loading and encoding pictures for the
// store without touching the picture on screen. Inject the metafile service through IO().
class TOffscreenPicture {
 public:
  TOffscreenPicture() { io_.SetAttachedImage(&host_); }
  TOffscreenPicture(const TOffscreenPicture&) = delete;
  TOffscreenPicture& operator=(const TOffscreenPicture&) = delete;

  TImageIO& IO() { return io_; }
  TPictureHost& Host() { return host_; }
  const TPicture& Picture() const { return host_.Bitmap(); }

  // The colour (red in the low byte) that every load for the store starts from: metafiles are
  // cleared to it. A GIF load changes the host's background to the file's own, so each load puts
  // this one back first, and no file's colour carries over to the next. Initially black.
  void SetLoadBackground(uint32_t color) { load_background_ = color; }
  uint32_t LoadBackground() const { return load_background_; }
  // Loads file_name (by extension) with the host's background set to the load background.
  void LoadFromFile(const std::string& file_name) {
    host_.SetBackground(load_background_);
    io_.LoadFromFile(file_name);
  }

 private:
  TPictureHost host_;
  TImageIO io_;
  uint32_t load_background_ = 0;
};

// How a key already in the store is made unique.
enum class TUniqueKeyRule {
  kGrowing,   // key, key (1), key (1) (2), ... (the single add)
  kNumbered,  // key, key (1), key (2), ... (batches)
};

// Loads file_name into picture (by extension, as TImageIO::LoadFromFile) and encodes it into
// stream as a framed JPEG at StoredQuality(preference_quality), from the stream's position:
// LoadPictureFile, then EncodeLoadedPicture. The store is not touched.
void EncodePictureFile(TOffscreenPicture& picture, const std::string& file_name,
                       int preference_quality, TMemoryStream& stream);
// The two steps, for callers that treat a file that cannot be read apart from a failure to
// encode: the load raises what the reader raises (EInvalidGraphic with the format's message,
// EOSError for a file that cannot be opened where the format passes it on), the encode what the
// encoder raises.
void LoadPictureFile(TOffscreenPicture& picture, const std::string& file_name);
void EncodeLoadedPicture(TOffscreenPicture& picture, int preference_quality, TMemoryStream& stream);

// Stores a framed picture under key, made unique by the rule against the store, then flushes.
// Returns the key used. Raises EKeyNotUnique when no unique key fits in 255 characters (nothing
// is written), and the store's errors from AddItem and Flush (a failed AddItem leaves the store as
// it was).
std::string StoreEncodedPicture(TKES& store, TMemoryStream& stream, const std::string& key,
                                TUniqueKeyRule rule);

// EncodePictureFile then StoreEncodedPicture, for callers that report every failure alike.
std::string AddPictureFile(TKES& store, TOffscreenPicture& picture, const std::string& file_name,
                           const std::string& key, TUniqueKeyRule rule, int preference_quality);

}  // namespace sk
