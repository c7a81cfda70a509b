// The BMP reader: every device-independent bitmap variant in use, decoded into a 24-bit picture
// without any platform graphics library.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/LoadedPicture.h"
#include "imaging/Picture.h"

namespace sk {

// Decodes a whole BMP file held in memory into a 24-bit picture.
// Reads the core (OS/2 1.x, 12-byte), OS/2 2.x (64-byte) and Windows info headers (40, 52, 56,
// 108 and 124 bytes); 1, 4 and 8 bits per pixel through the palette (a short palette leaves the
// missing entries black), 16 and 32 bits uncompressed or with bit-field masks, 24 bits; bottom-up
// and top-down rows; RLE8 and RLE4 with end-of-line, end-of-bitmap and delta codes, where pixels
// the codes skip take palette entry 0. A channel of fewer than 8 bits widens to 0..255 by bit
// replication (5 bits: 0x1F gives 0xFF); one of more than 8 bits keeps its top 8. Alpha is ignored.
// Each pixel is written once: by the data, or (RLE) with palette entry 0 when the codes skip it,
// which costs nothing when that entry is black. An RLE bitmap of more than 16 M pixels whose data
// could not give them all even as runs of 255 pixels per two bytes is refused (a decompression
// bomb: its skipped pixels would cost the memory of a real picture that size).
// Raises EInvalidGraphic(kUnrecognizedBmp) for anything else: a bad signature or header, sizes
// that overflow or exceed kMaxPicturePixels or make such an RLE bomb (checked before allocating),
// palettes, masks or pixel data past the end of the file, RLE runs past the end of a row (its
// 32-bit padding included, which some writers encode) or past the last row.
TPicture ReadBMP(std::span<const uint8_t> file);

// Reads a BMP file (ReadPictureFile, then ReadBMP). It carries no resolution or background.
// Raises EOSError when the file cannot be read, EInvalidGraphic(kUnrecognizedBmp) as ReadBMP does
// and for a file over kMaxPictureFileSize.
TLoadedPicture ReadBMPFile(const std::string& file_name);

}  // namespace sk
