// libFuzzer entry point for the WMF and EMF record parsers: arbitrary bytes must either play onto
// the recording canvas or be refused with EInvalidGraphic, without reading outside the input,
// looping, or allocating without bound. Both parsers are tried on every input, whatever the
// first bytes say. Built and run as shown in README.md, with the metafile fixtures as a seed
// corpus:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -I. imaging/Picture.cpp \
//     imaging/ByteReader.cpp imaging/BMPFilter.cpp imaging/MetafilePlayer.cpp \
//     imaging/WMFReader.cpp imaging/EMFReader.cpp imaging/Metafile.cpp platform/Win1252.cpp \
//     platform/Files.cpp tests/imaging/RecordingCanvas.cpp fuzz/MetafileFuzz.cpp \
//     -o /tmp/metafile_fuzz
//   /tmp/metafile_fuzz -max_total_time=600 -rss_limit_mb=256 -jobs=1 -workers=1 CORPUS_DIR
#include <cstddef>
#include <cstdint>
#include <span>

#include "imaging/EMFReader.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/Metafile.h"
#include "imaging/WMFReader.h"
#include "tests/imaging/RecordingCanvas.h"

namespace {

template <typename Size, typename Play>
void Try(std::span<const uint8_t> bytes, Size&& size, Play&& play) {
  try {
    size(bytes);
  } catch (const sk::EInvalidGraphic&) {
  }
  try {
    sk::test::TRecordingCanvas canvas;
    play(bytes, canvas);
  } catch (const sk::EInvalidGraphic&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  Try(bytes, sk::WMFSize, sk::PlayWMF);
  Try(bytes, sk::EMFSize, sk::PlayEMF);
  Try(bytes, sk::MetafileSize, sk::PlayMetafile);
  return 0;
}
