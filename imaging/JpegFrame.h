// Framed JPEG streams, the form in which the store keeps pictures: a 12-byte JpegFrame followed by
// the JPEG it measures.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "imaging/JPEGFilter.h"
#include "imaging/Picture.h"
#include "platform/MemoryStream.h"

namespace sk {

// The 12 bytes before a JPEG kept in a stream: "JFIF", four zero bytes, and the number of JPEG
// bytes that follow as an unsigned little-endian 32-bit value.
struct JpegFrame {
  static constexpr size_t kSize = 12;
  uint32_t length = 0;

  std::array<uint8_t, kSize> Bytes() const;
  // The frame held in bytes, or nothing when they are not a frame.
  static std::optional<JpegFrame> Parse(std::span<const uint8_t, kSize> bytes);
};

// Writes a JpegFrame and the picture as JPEG at the stream's position, as SaveToStreamJpeg does
// without a host. A JPEG longer than 4 GiB - 1 raises EInvalidGraphic.
void EncodeFramedJpeg(TMemoryStream& stream, const TPicture& picture, TResolution resolution,
                      int quality);

// Decodes a framed or raw JPEG at the stream's position, as LoadFromStreamJpeg does without a
// host; every failure raises EInvalidGraphic("unrecognized JPEG stream").
TJpegImage DecodeFramedJpeg(TMemoryStream& stream);

}  // namespace sk
