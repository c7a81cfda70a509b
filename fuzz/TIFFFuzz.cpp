// libFuzzer entry point for the TIFF reader with its CCITT, LZW and PackBits decoders: arbitrary
// bytes must either read or be refused with EInvalidGraphic, for the first and the second page,
// and a page index beyond the chain must give no page. Pages above 4 megapixels are refused, so
// that each input stays within the memory limit (a 525-byte file may ask for a picture of a
// gigabyte, which the reader allocates); the size checks themselves are tested by the suite. Built
// and run by fuzz/run (see README.md), from small files made by tiffcp and ImageMagick.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "imaging/InvalidGraphic.h"
#include "imaging/TIFFReader.h"

namespace {
constexpr int64_t kMaxFuzzPixels = int64_t{1} << 22;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  for (const int page_index : {0, 1}) {
    try {
      const sk::TTIFFPage page = sk::ReadTIFF(input, page_index, kMaxFuzzPixels);
      if (page.page_count <= page_index && page.HasPage()) std::abort();
    } catch (const sk::EInvalidGraphic&) {
    }
  }
  return 0;
}
