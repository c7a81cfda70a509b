// libFuzzer entry point for the PCX reader and its run-length decoder: arbitrary bytes must either
// read or be refused with EInvalidGraphic. Pictures above 4 megapixels are refused, so that each
// input stays within the memory limit; the size checks themselves are tested by the suite. Built
// and run by fuzz/run (see README.md), from small files made by ImageMagick and Pillow.
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/InvalidGraphic.h"
#include "imaging/PCXReader.h"

namespace {
constexpr int64_t kMaxFuzzPixels = int64_t{1} << 22;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    sk::ReadPCX(std::span<const uint8_t>(data, size), sk::kPCXDefaultResolution, kMaxFuzzPixels);
  } catch (const sk::EInvalidGraphic&) {
  }
  return 0;
}
