// libFuzzer entry point for the PCX reader and its run-length decoder: arbitrary bytes must either
// read or be refused with EInvalidGraphic. Built and run like the other targets (see README.md),
// from small files made by ImageMagick and Pillow as a seed corpus:
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    sk::ReadPCX(std::span<const uint8_t>(data, size));
  } catch (const sk::EInvalidGraphic&) {
  }
  return 0;
}
