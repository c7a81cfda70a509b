// libFuzzer entry point for the GIF reader and writer: arbitrary bytes must either read or be
// refused with EInvalidGraphic, and every picture read must survive a write with each encoder
// and a read back as exactly its quantised colours. Built and run by fuzz/run (see README.md),
// from the fixtures of tests/scripts/gif_oracles.py.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "imaging/ColorQuant.h"
#include "imaging/GIFReader.h"
#include "imaging/GIFWriter.h"
#include "imaging/InvalidGraphic.h"

namespace {

// Larger pictures are read but not written back, to keep each input fast.
constexpr int64_t kMaxRoundTripPixels = 1 << 16;

std::vector<uint8_t> QuantisedBgr(const sk::TPicture& picture) {
  const sk::TQuantizedPicture quantized = sk::OctQuantize(picture, 255);
  std::vector<uint8_t> bgr;
  for (const uint8_t index : quantized.indexes) {
    const sk::TRgb& c = quantized.palette[index];
    bgr.insert(bgr.end(), {c.blue, c.green, c.red});
  }
  return bgr;
}

std::vector<uint8_t> Bgr(const sk::TPicture& picture) {
  std::vector<uint8_t> bgr;
  for (int y = 0; y < picture.Height(); ++y) {
    bgr.insert(bgr.end(), picture.Row(y), picture.Row(y) + 3 * picture.Width());
  }
  return bgr;
}

void RoundTrip(const sk::TPicture& picture) {
  const std::vector<uint8_t> expected = QuantisedBgr(picture);
  for (const bool use_lzw : {false, true}) {
    sk::TVectorSink sink;
    sk::TGIFWriteOptions options;
    options.use_lzw = use_lzw;
    options.interlaced = true;
    sk::WriteGIF(sink, picture, options);
    const sk::TGIFResult back = sk::ReadGIF(sink.Bytes());
    if (!back.picture || Bgr(*back.picture) != expected) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  for (const int image_index : {0, 1}) {
    sk::TGIFResult result;
    try {
      result = sk::ReadGIF(input, image_index);
    } catch (const sk::EInvalidGraphic&) {
      continue;
    }
    if (!result.picture || result.picture->Empty()) continue;
    const sk::TPicture& picture = *result.picture;
    if (static_cast<int64_t>(picture.Width()) * picture.Height() <= kMaxRoundTripPixels) {
      RoundTrip(picture);
    }
  }
  return 0;
}
