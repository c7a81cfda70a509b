// The constants of the BMP file layout that the reader and the writer share: the file header,
// the sizes that identify each info header variant, and the compression codes.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sk::bmp {

// BITMAPFILEHEADER: "BM", file size (32), two reserved 16-bit fields, pixel offset (32).
inline constexpr size_t kFileHeaderSize = 14;
inline constexpr size_t kPixelOffsetField = 10;

// The info header's own first field is its size, which names the variant.
inline constexpr uint32_t kCoreHeaderSize = 12;  // BITMAPCOREHEADER (OS/2 1.x)
inline constexpr uint32_t kInfoHeaderSize = 40;  // BITMAPINFOHEADER
inline constexpr uint32_t kV2HeaderSize = 52;    // BITMAPV2INFOHEADER: with RGB masks
inline constexpr uint32_t kV3HeaderSize = 56;    // BITMAPV3INFOHEADER: and the alpha mask
inline constexpr uint32_t kOS2HeaderSize = 64;   // OS/2 2.x BITMAPINFOHEADER2
inline constexpr uint32_t kV4HeaderSize = 108;   // BITMAPV4HEADER
inline constexpr uint32_t kV5HeaderSize = 124;   // BITMAPV5HEADER

enum class TCompression : uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
  kAlphaBitFields = 6,
};

}  // namespace sk::bmp
