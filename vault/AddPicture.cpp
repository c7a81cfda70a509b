// The shared add-a-picture workflow.
#include "vault/AddPicture.h"

#include <algorithm>

#include "store/KESNames.h"

namespace sk {

int StoredQuality(int preference) {
  return std::min(preference, kMaxAddQuality);
}

void EncodePictureFile(TOffscreenPicture& picture, const std::string& file_name,
                       int preference_quality, TMemoryStream& stream) {
  LoadPictureFile(picture, file_name);
  EncodeLoadedPicture(picture, preference_quality, stream);
}

void LoadPictureFile(TOffscreenPicture& picture, const std::string& file_name) {
  picture.LoadFromFile(file_name);
}

void EncodeLoadedPicture(TOffscreenPicture& picture, int preference_quality,
                         TMemoryStream& stream) {
  picture.IO().SaveToStreamJpeg(stream, StoredQuality(preference_quality));
}

std::string StoreEncodedPicture(TKES& store, TMemoryStream& stream, const std::string& key,
                                TUniqueKeyRule rule) {
  const std::string unique = rule == TUniqueKeyRule::kGrowing ? UniqueKeyGrowing(store, key)
                                                              : UniqueKeyNumbered(store, key);
  store.AddItem(stream, unique);
  store.Flush();
  return unique;
}

std::string AddPictureFile(TKES& store, TOffscreenPicture& picture, const std::string& file_name,
                           const std::string& key, TUniqueKeyRule rule, int preference_quality) {
  TMemoryStream stream;
  EncodePictureFile(picture, file_name, preference_quality, stream);
  return StoreEncodedPicture(store, stream, key, rule);
}

}  // namespace sk
