// libFuzzer entry point for the BMP reader: arbitrary bytes must either read or be refused with
// EInvalidGraphic, never touching memory outside the input and the picture, and every picture
// read must survive a write as a 24-bit BMP and a read back as exactly itself. Built and run by
// fuzz/run (see README.md), from the fixtures of tests/scripts/make_bmp_fixtures.py.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "imaging/BMPReader.h"
#include "imaging/BMPWriter.h"
#include "imaging/ByteStream.h"
#include "imaging/InvalidGraphic.h"

namespace {

// Larger pictures are read but not written back, to keep each input fast.
constexpr int64_t kMaxRoundTripPixels = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sk::TPicture picture;
  try {
    picture = sk::ReadBMP(std::span<const uint8_t>(data, size));
  } catch (const sk::EInvalidGraphic&) {
    return 0;
  }
  if (picture.Empty() ||
      static_cast<int64_t>(picture.Width()) * picture.Height() > kMaxRoundTripPixels) {
    return 0;
  }
  sk::TVectorSink sink;
  sk::WriteBMP(sink, picture);
  if (!(sk::ReadBMP(sink.Bytes()) == picture)) std::abort();
  return 0;
}
