// BMP writer: a BITMAPFILEHEADER, a 40-byte BITMAPINFOHEADER, the palette of a 1-bit file, and
// the rows bottom-up, each padded to 32 bits.
#include "imaging/BMPWriter.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/BMPFormat.h"
#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

[[noreturn]] void Fail() {
  throw EInvalidGraphic(kUnrecognizedBmp);
}

void PutU16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(uint8_t* at, uint32_t value) {
  PutU16(at, value & 0xFFFF);
  PutU16(at + 2, value >> 16);
}

constexpr size_t kHeadersSize = bmp::kFileHeaderSize + bmp::kInfoHeaderSize;

// The file header and a 40-byte info header for an uncompressed bottom-up bitmap.
std::array<uint8_t, kHeadersSize> Headers(int width, int height, int bit_count,
                                          uint32_t palette_size, uint64_t image_size) {
  const uint64_t offset = kHeadersSize + palette_size;
  if (offset + image_size > 0xFFFFFFFFu) Fail();
  std::array<uint8_t, kHeadersSize> h{};
  h[0] = 'B';
  h[1] = 'M';
  PutU32(&h[2], static_cast<uint32_t>(offset + image_size));
  PutU32(&h[bmp::kPixelOffsetField], static_cast<uint32_t>(offset));
  uint8_t* info = &h[bmp::kFileHeaderSize];
  PutU32(info, bmp::kInfoHeaderSize);
  PutU32(info + 4, static_cast<uint32_t>(width));
  PutU32(info + 8, static_cast<uint32_t>(height));
  PutU16(info + 12, 1);  // planes
  PutU16(info + 14, static_cast<uint32_t>(bit_count));
  PutU32(info + 16, static_cast<uint32_t>(bmp::TCompression::kRgb));
  PutU32(info + 20, static_cast<uint32_t>(image_size));
  PutU32(info + 32, palette_size / 4);  // colours used
  return h;
}

// Writes rows bottom-up in batches of about 64 KiB.
template <typename RowOf>
void WriteRows(TByteSink& sink, int height, size_t stride, RowOf row_of) {
  const size_t rows_per_batch = std::max<size_t>(1, 65536 / stride);
  std::vector<uint8_t> batch;
  batch.reserve(rows_per_batch * stride);
  for (int y = height - 1; y >= 0; --y) {
    const size_t start = batch.size();
    batch.resize(start + stride);  // zero padding at the end of the row
    row_of(y, batch.data() + start);
    if (batch.size() >= rows_per_batch * stride || y == 0) {
      sink.Write(batch);
      batch.clear();
    }
  }
}

}  // namespace

void WriteBMP(TByteSink& sink, const TPicture& picture) {
  if (picture.Empty()) Fail();
  const size_t stride = (static_cast<size_t>(picture.Width()) * 3 + 3) & ~size_t{3};
  sink.Write(Headers(picture.Width(), picture.Height(), 24, 0, stride * picture.Height()));
  const size_t row_size = static_cast<size_t>(picture.Width()) * 3;
  WriteRows(sink, picture.Height(), stride,
            [&](int y, uint8_t* out) { std::memcpy(out, picture.Row(y), row_size); });
}

void WriteBMP(TByteSink& sink, const TMonoPicture& picture,
              const std::array<uint32_t, 2>& palette) {
  if (picture.Width() == 0 || picture.Height() == 0) Fail();
  const size_t stride = picture.RowBytes();
  sink.Write(Headers(picture.Width(), picture.Height(), 1, 8, stride * picture.Height()));
  std::array<uint8_t, 8> entries{};
  for (int i = 0; i < 2; ++i) {
    // RGBQUAD: blue, green, red, reserved; a colour value holds red in its low byte.
    entries[4 * i] = static_cast<uint8_t>(palette[i] >> 16);
    entries[4 * i + 1] = static_cast<uint8_t>(palette[i] >> 8);
    entries[4 * i + 2] = static_cast<uint8_t>(palette[i]);
  }
  sink.Write(entries);
  // Bits past the width are written as 0.
  const size_t full_bytes = static_cast<size_t>(picture.Width()) / 8;
  const int tail_bits = picture.Width() % 8;
  WriteRows(sink, picture.Height(), stride, [&](int y, uint8_t* out) {
    std::memcpy(out, picture.Row(y), full_bytes);
    if (tail_bits != 0) {
      out[full_bytes] = static_cast<uint8_t>(picture.Row(y)[full_bytes] & (0xFF00 >> tail_bits));
    }
  });
}

}  // namespace sk
