// Generated inputs shared by the benchmarks.
#include "bench/BenchPictures.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace sk::bench {

namespace {

// Small, fast, deterministic generator for pixel noise.
class TXorShift {
 public:
  explicit TXorShift(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<uint32_t>(state_ >> 32);
  }
  double Unit() { return Next() / 4294967296.0; }

 private:
  uint64_t state_;
};

}  // namespace

// The patches are Gaussian, so each is a product of a row factor and a column factor.
TPicture PhotoLike(int width, int height, uint64_t seed) {
  TXorShift rng(seed);
  constexpr int kPatches = 7;
  std::vector<double> column(static_cast<size_t>(kPatches) * width);
  std::vector<double> row(static_cast<size_t>(kPatches) * height);
  double strength[kPatches][3];
  for (int p = 0; p < kPatches; ++p) {
    const double cx = rng.Unit() * width, cy = rng.Unit() * height;
    const double radius = (0.08 + 0.25 * rng.Unit()) * std::min(width, height);
    for (int x = 0; x < width; ++x) {
      column[p * width + x] = std::exp(-std::pow((x - cx) / radius, 2));
    }
    for (int y = 0; y < height; ++y)
      row[p * height + y] = std::exp(-std::pow((y - cy) / radius, 2));
    for (double& s : strength[p]) s = (rng.Unit() - 0.4) * 160;
  }
  const double from[3] = {40, 90, 150}, to[3] = {210, 170, 60};  // blue, green, red
  TPicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* out = picture.Row(y);
    for (int x = 0; x < width; ++x) {
      const double t = (static_cast<double>(x) / width + static_cast<double>(y) / height) / 2;
      for (int c = 0; c < 3; ++c) {
        double v = from[c] + (to[c] - from[c]) * t;
        for (int p = 0; p < kPatches; ++p)
          v += strength[p][c] * row[p * height + y] * column[p * width + x];
        v += static_cast<int>(rng.Next() % 9) - 4;
        out[3 * x + c] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
      }
    }
  }
  return picture;
}

}  // namespace sk::bench
