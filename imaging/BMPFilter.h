// BMP (device-independent bitmap) files: a reader for every variant in use and a writer of
// uncompressed 24-bit and two-colour 1-bit files. No platform graphics library is involved.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "imaging/ByteStream.h"
#include "imaging/Picture.h"

namespace sk {

// Decodes a whole BMP file held in memory into a 24-bit picture.
// Reads the core (OS/2 1.x, 12-byte), OS/2 2.x (64-byte) and Windows info headers (40, 52, 56,
// 108 and 124 bytes); 1, 4 and 8 bits per pixel through the palette (a short palette leaves the
// missing entries black), 16 and 32 bits uncompressed or with bit-field masks, 24 bits; bottom-up
// and top-down rows; RLE8 and RLE4 with end-of-line, end-of-bitmap and delta codes, where pixels
// the codes skip take palette entry 0. A channel of fewer than 8 bits widens to 0..255 by bit
// replication (5 bits: 0x1F gives 0xFF); one of more than 8 bits keeps its top 8. Alpha is ignored.
// Raises EInvalidGraphic(kUnrecognizedBmp) for anything else: a bad signature or header, sizes
// that overflow or exceed kMaxPicturePixels (checked before allocating), palettes, masks or pixel
// data past the end of the file, RLE runs past the end of a row (its 32-bit padding included, which
// some writers encode) or past the last row.
TPicture ReadBMP(std::span<const uint8_t> file);

// Writes an uncompressed 24-bit bottom-up BMP with a 40-byte info header and no resolution.
void WriteBMP(TByteSink& sink, const TPicture& picture);

// Writes a 1-bit BMP whose palette holds the two colour values given (red in the low byte):
// a clear bit shows palette[0], a set bit palette[1].
void WriteBMP(TByteSink& sink, const TMonoPicture& picture, const std::array<uint32_t, 2>& palette);

}  // namespace sk
