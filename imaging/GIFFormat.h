// The constants of the GIF file layout (GIF89a) that the reader and the writer share: block
// introducers, extension labels, the flags of the packed bytes and the sizes of fixed structures.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sk::gif {

// Header ("GIF87a" or "GIF89a") and logical screen descriptor.
inline constexpr size_t kHeaderSize = 13;
// Image descriptor after its separator: left, top, width, height (16 bits each), packed byte.
inline constexpr size_t kImageDescriptorSize = 9;
// Graphic control extension body: packed byte, delay (16 bits), transparent colour index.
inline constexpr size_t kGraphicControlSize = 4;

inline constexpr uint8_t kExtensionIntroducer = 0x21;
inline constexpr uint8_t kImageSeparator = 0x2C;
inline constexpr uint8_t kTrailer = 0x3B;
inline constexpr uint8_t kGraphicControlLabel = 0xF9;

// Packed bytes of the screen and image descriptors.
inline constexpr uint8_t kColorTableFlag = 0x80;
inline constexpr uint8_t kInterlaceFlag = 0x40;
// Packed byte of the graphic control extension.
inline constexpr uint8_t kTransparencyFlag = 0x01;
inline constexpr uint8_t kDisposeToBackground = 2 << 2;

// The number of entries of a colour table whose size field (the packed byte's low 3 bits) is
// given: 2 to 256.
inline constexpr size_t ColorTableEntries(uint8_t packed) {
  return size_t{2} << (packed & 7);
}

}  // namespace sk::gif
