// Generated inputs shared by the benchmarks: photo-like pictures made from a fixed seed.
#pragma once

#include <cstdint>

#include "imaging/Picture.h"

namespace sk::bench {

// A photo-like picture: a diagonal gradient between two colours, soft light and dark patches
// and a few levels of sensor-like noise on every channel (tens of thousands of distinct colours).
// The same seed gives the same picture.
TPicture PhotoLike(int width, int height, uint64_t seed);

}  // namespace sk::bench
