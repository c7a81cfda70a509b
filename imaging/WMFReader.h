// The Windows metafile (WMF) reader: its size from the placeable header, and playback of its
// records onto a TMetafileCanvas.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/MetafileCanvas.h"
#include "imaging/MetafilePlayer.h"

namespace sk {

// True when the bytes start like a WMF (placeable or not).
bool LooksLikeWMF(std::span<const uint8_t> file);

// The size in pixels: a placeable WMF's bounding box at 96 dots per inch, (right - left) x 96 /
// inch rounded to the nearest pixel; a WMF without the placeable header takes its first window
// extent as pixels. Raises EInvalidGraphic(kUnrecognizedMetafile) for a malformed header, a zero
// inch, or a plain WMF without a window extent.
TMetafileSize WMFSize(std::span<const uint8_t> file);

// Plays the records onto the canvas, the window mapped onto WMFSize's rectangle at 0,0. Unknown
// records and escapes are skipped. A record size below the record header, a record shorter than
// its fixed fields or running past the end, an object index outside the object table, a DIB that
// does not fit its record or that the BMP reader refuses, and counts larger than the record holds
// raise EInvalidGraphic(kUnrecognizedMetafile), as does drawing beyond kMaxMetafileDrawWork;
// what was drawn before stays drawn.
void PlayWMF(std::span<const uint8_t> file, TMetafileCanvas& canvas);

}  // namespace sk
