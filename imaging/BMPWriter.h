// The BMP writer: uncompressed 24-bit and two-colour 1-bit device-independent bitmaps.
#pragma once

#include <array>
#include <cstdint>

#include "imaging/ByteStream.h"
#include "imaging/Picture.h"

namespace sk {

// Writes an uncompressed 24-bit bottom-up BMP with a 40-byte info header and no resolution.
// An empty picture, or one whose file would pass 4 GiB, raises EInvalidGraphic(kUnrecognizedBmp);
// the sink's errors pass unchanged.
void WriteBMP(TByteSink& sink, const TPicture& picture);

// Writes a 1-bit BMP whose palette holds the two colour values given (red in the low byte):
// a clear bit shows palette[0], a set bit palette[1]. Fails as the 24-bit writer does.
void WriteBMP(TByteSink& sink, const TMonoPicture& picture, const std::array<uint32_t, 2>& palette);

}  // namespace sk
