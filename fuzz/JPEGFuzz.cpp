// libFuzzer entry point for the JPEG adapter: the fuzzer's bytes are a JPEG file, read through the
// steps ReadJPEGFile takes (DecodeJpeg on the bytes, then ReadJPEGOrientation) and, as the store
// keeps pictures, as a framed stream through DecodeFramedJpeg. Each must give a picture or raise
// EInvalidGraphic; the orientation must be 1 to 8; small pictures are turned as it says. The
// decoder's own limits (pixels, data size, scans) keep every input within the memory limit and the
// timeout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "imaging/ByteStream.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/JPEGFilter.h"
#include "imaging/JpegFrame.h"
#include "imaging/Orientation.h"
#include "platform/MemoryStream.h"

namespace {

// Larger pictures are decoded but not turned, to keep each input fast.
constexpr int64_t kMaxTurnPixels = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const int orientation = sk::ReadJPEGOrientation(bytes);
  if (orientation < 1 || orientation > 8) std::abort();
  try {
    sk::TSpanSource source(bytes);
    const sk::TJpegImage image = sk::DecodeJpeg(source);
    const sk::TPicture& picture = image.picture;
    if (picture.Width() <= 0 || picture.Height() <= 0) std::abort();
    if (int64_t{picture.Width()} * picture.Height() <= kMaxTurnPixels) {
      const sk::TPicture turned = sk::ApplyOrientation(picture, orientation);
      const bool swapped = orientation >= 5;
      if (turned.Width() != (swapped ? picture.Height() : picture.Width())) std::abort();
    }
  } catch (const sk::EInvalidGraphic&) {
  }

  sk::TMemoryStream stream;
  const sk::JpegFrame frame{static_cast<uint32_t>(size)};
  stream.Write(frame.Bytes());
  stream.Write(bytes);
  stream.Seek(0);
  try {
    sk::DecodeFramedJpeg(stream);
    if (stream.Position() != sk::JpegFrame::kSize + size) std::abort();
  } catch (const sk::EInvalidGraphic&) {
  }
  return 0;
}
