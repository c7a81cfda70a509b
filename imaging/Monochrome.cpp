// Two-colour pictures: finding the two colours of a picture and expanding 1-bit rows by table.
#include "imaging/Monochrome.h"

#include <cstring>
#include <utility>

namespace sk {

namespace {

uint32_t PixelAt(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16;
}

// A blue-green-red pixel as a colour value (red in the low byte).
uint32_t ColorOfPixel(uint32_t bgr) {
  return (bgr >> 16 & 0xFF) | (bgr & 0xFF00) | (bgr & 0xFF) << 16;
}

// round((30 red + 59 green + 11 blue) / 100), halves to even.
int Luminance(uint32_t bgr) {
  const int sum = 30 * static_cast<int>(bgr >> 16 & 0xFF) + 59 * static_cast<int>(bgr >> 8 & 0xFF) +
                  11 * static_cast<int>(bgr & 0xFF);
  const int quotient = sum / 100;
  const int remainder = sum % 100;
  return quotient + (remainder > 50 || (remainder == 50 && quotient % 2 == 1) ? 1 : 0);
}

// For each byte of a 1-bit row, its eight pixels: set bits white, clear bits black.
constexpr auto kExpandedBytes = [] {
  std::array<std::array<uint8_t, 24>, 256> table{};
  for (int value = 0; value < 256; ++value) {
    for (int bit = 0; bit < 8; ++bit) {
      const uint8_t level = (value & (0x80 >> bit)) != 0 ? 0xFF : 0x00;
      for (int c = 0; c < 3; ++c) table[value][3 * bit + c] = level;
    }
  }
  return table;
}();

}  // namespace

std::optional<TMonochrome> MakeMonochrome(const TPicture& picture) {
  if (picture.Empty()) return std::nullopt;
  TMonochrome result;
  result.bits.SetSize(picture.Width(), picture.Height());
  const uint32_t first = PixelAt(picture.Row(0));
  std::optional<uint32_t> second;
  for (int y = 0; y < picture.Height(); ++y) {
    const uint8_t* in = picture.Row(y);
    uint8_t* bits = result.bits.Row(y);
    for (int x = 0; x < picture.Width(); ++x) {
      const uint32_t pixel = PixelAt(in + 3 * x);
      if (pixel == first) continue;
      if (!second) {
        second = pixel;
      } else if (pixel != *second) {
        return std::nullopt;  // a third colour
      }
      bits[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    }
  }
  if (!second) return std::nullopt;
  uint32_t dark = first;
  uint32_t light = *second;
  if (Luminance(light) < Luminance(dark)) {
    std::swap(dark, light);
    // Invert the bits that belong to pixels; padding stays clear.
    const size_t full_bytes = static_cast<size_t>(picture.Width()) / 8;
    const uint8_t tail_mask = static_cast<uint8_t>(0xFF00 >> (picture.Width() % 8));
    for (int y = 0; y < picture.Height(); ++y) {
      uint8_t* bits = result.bits.Row(y);
      for (size_t i = 0; i < full_bytes; ++i) bits[i] = static_cast<uint8_t>(~bits[i]);
      if (picture.Width() % 8 != 0) bits[full_bytes] ^= tail_mask;
    }
  }
  result.colours = {ColorOfPixel(dark), ColorOfPixel(light)};
  return result;
}

TPicture ExpandMonochrome(const TMonoPicture& bits) {
  TPicture picture(bits.Width(), bits.Height());
  const int full_bytes = bits.Width() / 8;
  const int tail_pixels = bits.Width() % 8;
  for (int y = 0; y < bits.Height(); ++y) {
    const uint8_t* in = bits.Row(y);
    uint8_t* out = picture.Row(y);
    for (int i = 0; i < full_bytes; ++i)
      std::memcpy(out + 24 * i, kExpandedBytes[in[i]].data(), 24);
    if (tail_pixels != 0) {
      std::memcpy(out + 24 * full_bytes, kExpandedBytes[in[full_bytes]].data(), 3 * tail_pixels);
    }
  }
  return picture;
}

}  // namespace sk
