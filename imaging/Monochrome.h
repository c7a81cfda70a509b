// Two-colour pictures: the reduction of a 24-bit picture of exactly two colours to a 1-bit one
// (saving BMP files) and the expansion of a bilevel picture back to 24 bits.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "imaging/Picture.h"

namespace sk {

// A picture of exactly two colours as a 1-bit picture: a clear bit shows colours[0], a set bit
// colours[1]. Colours are colour values (red in the low byte).
struct TMonochrome {
  TMonoPicture bits;
  std::array<uint32_t, 2> colours{};
};

// Scans the picture from the top row, left to right. With exactly two colours, returns them with
// the darker at index 0 by luminance round((30 red + 59 green + 11 blue) / 100), rounding half to
// even; with equal luminance the colour met first keeps index 0. With one colour or more than two
// (the scan stops at the third) returns nothing.
std::optional<TMonochrome> MakeMonochrome(const TPicture& picture);

// Expands a 1-bit picture to 24 bits: a set bit gives white, a clear bit black. This is the
// meaning of a bilevel TIFF page; BMP files carry their own palette instead.
TPicture ExpandMonochrome(const TMonoPicture& bits);

}  // namespace sk
