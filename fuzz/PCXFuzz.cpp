// libFuzzer entry point for the PCX reader and its run-length decoder: arbitrary bytes must either
// read or be refused with EInvalidGraphic. Pictures above 4 megapixels are refused, so that each
// input stays within the memory limit; the size checks themselves are tested by the suite. Built
// and run like the other targets (see README.md), from small files made by ImageMagick and Pillow
// as a seed corpus:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. imaging/Picture.cpp \
//     imaging/ByteReader.cpp platform/Files.cpp imaging/PCXReader.cpp fuzz/PCXFuzz.cpp \
//     -o /tmp/pcx_fuzz
//   ASAN_OPTIONS=quarantine_size_mb=16 /tmp/pcx_fuzz -jobs=1 -workers=1 \
//     -max_total_time=600 -rss_limit_mb=256 CORPUS_DIR
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
