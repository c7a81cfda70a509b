// Choosing between the EMF and WMF readers by the file's first bytes.
#include "imaging/Metafile.h"

#include "imaging/EMFReader.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/WMFReader.h"

namespace sk {

TMetafileSize MetafileSize(std::span<const uint8_t> file) {
  if (LooksLikeEMF(file)) return EMFSize(file);
  if (LooksLikeWMF(file)) return WMFSize(file);
  throw EInvalidGraphic(kUnrecognizedMetafile);
}

void PlayMetafile(std::span<const uint8_t> file, TMetafileCanvas& canvas) {
  if (LooksLikeEMF(file)) return PlayEMF(file, canvas);
  if (LooksLikeWMF(file)) return PlayWMF(file, canvas);
  throw EInvalidGraphic(kUnrecognizedMetafile);
}

}  // namespace sk
