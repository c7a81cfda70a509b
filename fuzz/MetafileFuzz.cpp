// libFuzzer entry point for the WMF and EMF record parsers: arbitrary bytes must either play onto
// the recording canvas or be refused with EInvalidGraphic, without reading outside the input,
// looping, or allocating without bound. Both parsers are tried on every input, whatever the
// first bytes say. Built and run by fuzz/run (see README.md), from the metafile fixtures.
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
