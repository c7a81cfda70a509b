// Framed JPEG streams: the frame's bytes, and encoding and decoding a JPEG behind one.
#include "imaging/JpegFrame.h"

#include <cstring>

#include "imaging/ByteStream.h"
#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

constexpr uint8_t kJpegFrameTag[4] = {'J', 'F', 'I', 'F'};

}  // namespace

std::array<uint8_t, JpegFrame::kSize> JpegFrame::Bytes() const {
  std::array<uint8_t, kSize> bytes{};
  std::memcpy(bytes.data(), kJpegFrameTag, 4);
  for (int i = 0; i < 4; ++i) bytes[8 + i] = static_cast<uint8_t>(length >> (8 * i));
  return bytes;
}

std::optional<JpegFrame> JpegFrame::Parse(std::span<const uint8_t, kSize> bytes) {
  // The tag and a zero fifth byte mark a frame; a raw JPEG starts with FF D8.
  if (std::memcmp(bytes.data(), kJpegFrameTag, 4) != 0 || bytes[4] != 0) return std::nullopt;
  JpegFrame frame;
  for (int i = 0; i < 4; ++i) frame.length |= static_cast<uint32_t>(bytes[8 + i]) << (8 * i);
  return frame;
}

void EncodeFramedJpeg(TMemoryStream& stream, const TPicture& picture, TResolution resolution,
                      int quality) {
  const size_t start = stream.Position();
  stream.Write(JpegFrame{}.Bytes());
  TMemorySink sink(stream);
  EncodeJpeg(sink, picture, resolution, quality);
  const size_t end = stream.Position();
  const size_t length = end - start - JpegFrame::kSize;
  if (length > 0xFFFFFFFFu) throw EInvalidGraphic(kUnrecognizedJpegStream);
  stream.Seek(start);
  stream.Write(JpegFrame{static_cast<uint32_t>(length)}.Bytes());
  stream.Seek(end);
}

TJpegImage DecodeFramedJpeg(TMemoryStream& stream) {
  try {
    const size_t start = stream.Position();
    std::array<uint8_t, JpegFrame::kSize> head{};
    const size_t got = stream.Read(head);
    const std::optional<JpegFrame> frame =
        got == head.size() ? JpegFrame::Parse(head) : std::nullopt;
    if (!frame) {
      stream.Seek(start);
      TMemorySource source(stream);
      return DecodeJpeg(source);
    }
    // The frame bounds the JPEG, so a damaged item never reads into what follows it.
    TMemorySource source(stream);
    TLimitedSource limited(source, frame->length);
    TJpegImage image = DecodeJpeg(limited);
    stream.Seek(start + JpegFrame::kSize + frame->length);
    return image;
  } catch (...) {
    throw EInvalidGraphic(kUnrecognizedJpegStream);
  }
}

}  // namespace sk
