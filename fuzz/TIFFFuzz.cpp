// libFuzzer entry point for the TIFF reader with its CCITT, LZW and PackBits decoders: arbitrary
// bytes must either read or be refused with EInvalidGraphic, for the first and the second page,
// and a page that reads must have the size its picture says. Built and run like the other targets
// (see README.md), from small files made by tiffcp and ImageMagick as a seed corpus:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. imaging/Picture.cpp \
//     imaging/ByteReader.cpp platform/Files.cpp imaging/PackBits.cpp imaging/TIFFLZW.cpp \
//     imaging/TIFFCCITT.cpp imaging/TIFFReader.cpp fuzz/TIFFFuzz.cpp -o /tmp/tiff_fuzz
//   ASAN_OPTIONS=quarantine_size_mb=16 /tmp/tiff_fuzz -jobs=1 -workers=1 \
//     -max_total_time=600 -rss_limit_mb=256 CORPUS_DIR
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "imaging/InvalidGraphic.h"
#include "imaging/TIFFReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  for (const int page_index : {0, 1}) {
    try {
      const sk::TTIFFPage page = sk::ReadTIFF(input, page_index);
      if (page.page_count <= page_index && page.HasPage()) std::abort();
    } catch (const sk::EInvalidGraphic&) {
    }
  }
  return 0;
}
