// The enhanced metafile (EMF) reader: its size from the header's frame, and playback of its
// records onto a TMetafileCanvas.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/MetafileCanvas.h"
#include "imaging/MetafilePlayer.h"

namespace sk {

// True when the bytes start with an EMF header record carrying the " EMF" signature.
bool LooksLikeEMF(std::span<const uint8_t> file);

// The size in pixels: the header's frame rectangle (in 0.01 mm) at 96 dots per inch, rounded to
// the nearest pixel. Raises EInvalidGraphic(kUnrecognizedMetafile) for a malformed header.
TMetafileSize EMFSize(std::span<const uint8_t> file);

// Plays the records onto the canvas with the frame mapped onto EMFSize's rectangle at 0,0.
// Unknown records and comments are skipped. A record size below 8 bytes, a record shorter than
// its fixed fields or running past the end, an object index outside the object table, a DIB
// that does not fit its record or that the BMP reader refuses, and counts larger than the record
// holds raise EInvalidGraphic(kUnrecognizedMetafile), as does drawing beyond kMaxMetafileDrawWork;
// what was drawn before stays drawn.
void PlayEMF(std::span<const uint8_t> file, TMetafileCanvas& canvas);

}  // namespace sk
