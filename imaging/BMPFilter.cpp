// BMP reader and writer after Microsoft's BITMAPFILEHEADER, BITMAPCOREHEADER, BITMAPINFOHEADER and
// BITMAPV4/V5HEADER and IBM's OS/2 2.x header; every offset is checked in 64 bits before use.
#include "imaging/BMPFilter.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kOs2HeaderSize = 64;

enum class TCompression : uint32_t {
  kRgb = 0,
  kRle8 = 1,
  kRle4 = 2,
  kBitFields = 3,
  kAlphaBitFields = 6,
};

[[noreturn]] void Fail() {
  throw EInvalidGraphic(kUnrecognizedBmp);
}

// Little-endian fields of the file; reading past the end is a malformed file.
class TBytes {
 public:
  explicit TBytes(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  uint64_t Size() const { return bytes_.size(); }
  bool Holds(uint64_t offset, uint64_t count) const {
    return offset <= bytes_.size() && count <= bytes_.size() - offset;
  }
  uint16_t U16(uint64_t offset) const {
    if (!Holds(offset, 2)) Fail();
    return static_cast<uint16_t>(bytes_[offset] | bytes_[offset + 1] << 8);
  }
  uint32_t U32(uint64_t offset) const {
    if (!Holds(offset, 4)) Fail();
    return static_cast<uint32_t>(bytes_[offset]) | static_cast<uint32_t>(bytes_[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes_[offset + 2]) << 16 |
           static_cast<uint32_t>(bytes_[offset + 3]) << 24;
  }
  const uint8_t* At(uint64_t offset) const { return bytes_.data() + offset; }

 private:
  std::span<const uint8_t> bytes_;
};

// One colour channel of a 16- or 32-bit pixel, widened to 0..255.
class TChannel {
 public:
  TChannel() = default;
  // The mask must be one contiguous run of bits (or 0, which gives a channel that is always 0).
  explicit TChannel(uint32_t mask) : mask_(mask) {
    if (mask == 0) return;
    shift_ = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    if ((mask >> shift_) != (bits == 32 ? 0xFFFFFFFFu : (1u << bits) - 1)) Fail();
    if (bits > 8) {
      // Keep the top 8 bits.
      shift_ += bits - 8;
      mask_ = 0xFFu << shift_;
      for (int v = 0; v < 256; ++v) widen_[v] = static_cast<uint8_t>(v);
      return;
    }
    // Repeat the value's bits until 8 are filled: 5 bits abcde give abcdeabc.
    for (uint32_t v = 0; v < (1u << bits); ++v) {
      uint32_t wide = 0;
      for (int filled = 0; filled < 8; filled += bits) wide = wide << bits | v;
      const int total = (8 + bits - 1) / bits * bits;
      widen_[v] = static_cast<uint8_t>(wide >> (total - 8));
    }
  }
  uint8_t Of(uint32_t pixel) const { return widen_[(pixel & mask_) >> shift_]; }

 private:
  uint32_t mask_ = 0;
  int shift_ = 0;
  std::array<uint8_t, 256> widen_{};
};

struct THeader {
  uint32_t header_size = 0;
  int64_t width = 0;
  int64_t height = 0;  // rows; positive
  bool top_down = false;
  uint16_t bit_count = 0;
  TCompression compression = TCompression::kRgb;
  uint32_t colours_used = 0;
  uint32_t masks[3] = {};  // red, green, blue, when the header holds them
  bool has_masks = false;
  uint64_t after_header = 0;  // offset of whatever follows the header (masks or palette)
  uint32_t pixel_offset = 0;
};

THeader ReadHeader(const TBytes& file) {
  if (!file.Holds(0, kFileHeaderSize) || file.At(0)[0] != 'B' || file.At(0)[1] != 'M') Fail();
  THeader h;
  h.pixel_offset = file.U32(10);
  h.header_size = file.U32(14);
  h.after_header = kFileHeaderSize + static_cast<uint64_t>(h.header_size);
  if (!file.Holds(kFileHeaderSize, h.header_size)) Fail();
  // Pixels cannot start inside the headers (0 is taken as "right after the palette").
  if (h.pixel_offset != 0 && h.pixel_offset < h.after_header) Fail();
  if (h.header_size == kCoreHeaderSize) {
    h.width = file.U16(18);
    h.height = file.U16(20);
    h.bit_count = file.U16(24);
    return h;
  }
  switch (h.header_size) {
    case kInfoHeaderSize:
    case 52:  // BITMAPV2INFOHEADER: with the red, green and blue masks
    case 56:  // BITMAPV3INFOHEADER: and the alpha mask
    case kOs2HeaderSize:
    case 108:  // BITMAPV4HEADER
    case 124:  // BITMAPV5HEADER
      break;
    default: Fail();
  }
  const auto width = static_cast<int32_t>(file.U32(18));
  const auto height = static_cast<int32_t>(file.U32(22));
  h.width = width;
  h.top_down = height < 0;
  h.height = h.top_down ? -static_cast<int64_t>(height) : height;
  h.bit_count = file.U16(28);
  const uint32_t compression = file.U32(30);
  // OS/2 2.x uses 3 and 4 for Huffman 1D and RLE24, which nobody writes any more.
  if (h.header_size == kOs2HeaderSize && compression > 2) Fail();
  h.compression = static_cast<TCompression>(compression);
  h.colours_used = file.U32(46);
  if (h.header_size >= 52 && h.header_size != kOs2HeaderSize) {
    h.masks[0] = file.U32(54);
    h.masks[1] = file.U32(58);
    h.masks[2] = file.U32(62);
    h.has_masks = true;
  }
  return h;
}

// The palette as blue-green-red triples; entries past the file's palette stay black.
using TPalette = std::array<std::array<uint8_t, 3>, 256>;

// Checks the header's combination of depth and compression and reads the masks and palette.
// Returns the offset just after them.
uint64_t ReadColours(const TBytes& file, THeader& h, TPalette& palette, TChannel channels[3]) {
  const bool core = h.header_size == kCoreHeaderSize;
  uint64_t offset = h.after_header;
  switch (h.compression) {
    case TCompression::kRgb:
      if (h.bit_count != 1 && h.bit_count != 4 && h.bit_count != 8 && h.bit_count != 16 &&
          h.bit_count != 24 && h.bit_count != 32) {
        Fail();
      }
      break;
    case TCompression::kRle8:
    case TCompression::kRle4:
      // Compressed bitmaps are always stored bottom-up.
      if (h.bit_count != (h.compression == TCompression::kRle8 ? 8 : 4) || h.top_down) Fail();
      break;
    case TCompression::kBitFields:
    case TCompression::kAlphaBitFields:
      if (h.bit_count != 16 && h.bit_count != 32) Fail();
      if (!h.has_masks) {
        // A 40-byte header is followed by the masks (and, for alpha bit fields, an alpha mask).
        for (uint32_t& mask : h.masks) {
          mask = file.U32(offset);
          offset += 4;
        }
        if (h.compression == TCompression::kAlphaBitFields) offset += 4;
        h.has_masks = true;
      }
      break;
    default: Fail();
  }
  if (h.bit_count == 16 || h.bit_count == 32) {
    if (h.compression == TCompression::kRgb) {
      h.masks[0] = h.bit_count == 16 ? 0x7C00 : 0xFF0000;
      h.masks[1] = h.bit_count == 16 ? 0x03E0 : 0x00FF00;
      h.masks[2] = h.bit_count == 16 ? 0x001F : 0x0000FF;
    }
    for (int c = 0; c < 3; ++c) {
      if (h.bit_count == 16 && h.masks[c] > 0xFFFF) Fail();
      channels[c] = TChannel(h.masks[c]);
    }
  }
  if (h.bit_count <= 8) {
    const uint32_t addressable = 1u << h.bit_count;
    uint64_t count =
        h.colours_used == 0 || core ? addressable : std::min(h.colours_used, addressable);
    const uint64_t entry_size = core ? 3 : 4;
    // A palette shorter than its depth allows ends where the pixels begin.
    if (h.pixel_offset > offset)
      count = std::min<uint64_t>(count, (h.pixel_offset - offset) / entry_size);
    if (!file.Holds(offset, count * entry_size)) Fail();
    for (uint64_t i = 0; i < count; ++i) {
      std::memcpy(palette[i].data(), file.At(offset + i * entry_size), 3);
    }
    offset += count * entry_size;
  }
  return offset;
}

// Rows of the file in file order, mapped to picture rows.
int PictureRow(const THeader& h, int64_t file_row) {
  return static_cast<int>(h.top_down ? file_row : h.height - 1 - file_row);
}

void DecodeRows(const TBytes& file, uint64_t pixels, const THeader& h, const TPalette& palette,
                const TChannel channels[3], TPicture& picture) {
  const uint64_t row_bits = static_cast<uint64_t>(h.width) * h.bit_count;
  const uint64_t stride = (row_bits + 31) / 32 * 4;
  // The last row's padding may be missing.
  if (!file.Holds(pixels, stride * static_cast<uint64_t>(h.height - 1) + (row_bits + 7) / 8)) {
    Fail();
  }
  const int width = static_cast<int>(h.width);
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* in = file.At(pixels + static_cast<uint64_t>(r) * stride);
    uint8_t* out = picture.Row(PictureRow(h, r));
    switch (h.bit_count) {
      case 1:
      case 4:
      case 8: {
        const int bits = h.bit_count;
        const int per_byte = 8 / bits;
        const unsigned index_mask = (1u << bits) - 1;
        for (int x = 0; x < width; ++x) {
          const int shift = 8 - bits * (x % per_byte + 1);
          const unsigned index = (in[x / per_byte] >> shift) & index_mask;
          std::memcpy(out + 3 * x, palette[index].data(), 3);
        }
        break;
      }
      case 24: std::memcpy(out, in, static_cast<size_t>(width) * 3); break;
      case 16:
        for (int x = 0; x < width; ++x) {
          const uint32_t pixel = static_cast<uint32_t>(in[2 * x] | in[2 * x + 1] << 8);
          out[3 * x] = channels[2].Of(pixel);
          out[3 * x + 1] = channels[1].Of(pixel);
          out[3 * x + 2] = channels[0].Of(pixel);
        }
        break;
      case 32:
        for (int x = 0; x < width; ++x) {
          const uint8_t* p = in + 4 * x;
          const uint32_t pixel = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                                 static_cast<uint32_t>(p[2]) << 16 |
                                 static_cast<uint32_t>(p[3]) << 24;
          out[3 * x] = channels[2].Of(pixel);
          out[3 * x + 1] = channels[1].Of(pixel);
          out[3 * x + 2] = channels[0].Of(pixel);
        }
        break;
    }
  }
}

// RLE8 and RLE4 as in the BITMAPINFOHEADER documentation: (count, value) pairs give runs; a zero
// count introduces end of line (0), end of bitmap (1), delta (2, then dx and dy) or an absolute
// run of n >= 3 pixels padded to a 16-bit boundary. The data may end without end of bitmap.
// Some writers (ImageMagick among them) encode each row's padding too, so runs may reach the end
// of the padded row; what lies past the width is dropped. Anything beyond fails.
void DecodeRle(const TBytes& file, uint64_t pixels, const THeader& h, const TPalette& palette,
               TPicture& picture) {
  const bool rle4 = h.compression == TCompression::kRle4;
  const int64_t padded_width = (h.width * h.bit_count + 31) / 32 * 32 / h.bit_count;
  // Pixels that the codes skip show palette entry 0.
  for (int y = 0; y < picture.Height(); ++y) {
    uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.Width(); ++x) std::memcpy(row + 3 * x, palette[0].data(), 3);
  }
  const uint64_t end = file.Size();
  uint64_t p = pixels;
  int64_t x = 0;
  int64_t row = 0;  // file row: 0 is the bottom of the picture
  // Checks that `count` pixels fit in the current row and returns the row.
  auto target = [&](int64_t count) {
    if (row >= h.height || x + count > padded_width) Fail();
    return picture.Row(PictureRow(h, row));
  };
  auto put = [&](uint8_t* out, unsigned index) {
    if (x < h.width) std::memcpy(out + 3 * x, palette[index].data(), 3);
    ++x;
  };
  while (p + 2 <= end) {
    const uint8_t count = file.At(p)[0];
    const uint8_t value = file.At(p)[1];
    p += 2;
    if (count > 0) {
      uint8_t* out = target(count);
      for (int i = 0; i < count; ++i) {
        put(out, rle4 ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++row;
        break;
      case 1:  // end of bitmap
        return;
      case 2: {  // delta: move right and up
        if (p + 2 > end) Fail();
        x += file.At(p)[0];
        row += file.At(p)[1];
        p += 2;
        if (x > padded_width || row > h.height) Fail();
        break;
      }
      default: {  // absolute run of `value` pixels
        const uint64_t bytes = rle4 ? (value + 1u) / 2 : value;
        if (!file.Holds(p, bytes)) Fail();
        uint8_t* out = target(value);
        const uint8_t* in = file.At(p);
        for (int i = 0; i < value; ++i) {
          put(out, rle4 ? (i % 2 == 0 ? in[i / 2] >> 4 : in[i / 2] & 0x0F) : in[i]);
        }
        p += bytes + (bytes & 1);
        break;
      }
    }
  }
}

void PutU16(uint8_t* at, uint32_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(uint8_t* at, uint32_t value) {
  PutU16(at, value & 0xFFFF);
  PutU16(at + 2, value >> 16);
}

// The file header and a 40-byte info header for an uncompressed bottom-up bitmap.
std::array<uint8_t, kFileHeaderSize + kInfoHeaderSize> Headers(int width, int height, int bit_count,
                                                               uint32_t palette_size,
                                                               uint64_t image_size) {
  const uint64_t offset = kFileHeaderSize + kInfoHeaderSize + palette_size;
  if (offset + image_size > 0xFFFFFFFFu) Fail();
  std::array<uint8_t, kFileHeaderSize + kInfoHeaderSize> h{};
  h[0] = 'B';
  h[1] = 'M';
  PutU32(&h[2], static_cast<uint32_t>(offset + image_size));
  PutU32(&h[10], static_cast<uint32_t>(offset));
  PutU32(&h[14], kInfoHeaderSize);
  PutU32(&h[18], static_cast<uint32_t>(width));
  PutU32(&h[22], static_cast<uint32_t>(height));
  PutU16(&h[26], 1);  // planes
  PutU16(&h[28], static_cast<uint32_t>(bit_count));
  PutU32(&h[30], 0);  // BI_RGB
  PutU32(&h[34], static_cast<uint32_t>(image_size));
  PutU32(&h[46], palette_size / 4);  // colours used
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

TPicture ReadBMP(std::span<const uint8_t> bytes) {
  const TBytes file(bytes);
  THeader h = ReadHeader(file);
  if (!PictureSizeAllowed(h.width, h.height)) Fail();
  TPalette palette{};
  TChannel channels[3];
  const uint64_t colours_end = ReadColours(file, h, palette, channels);
  // Some writers leave the offset 0; the pixels then follow the palette.
  const uint64_t pixels = h.pixel_offset != 0 ? h.pixel_offset : colours_end;
  if (pixels > file.Size()) Fail();
  TPicture picture(static_cast<int>(h.width), static_cast<int>(h.height));
  if (h.compression == TCompression::kRle8 || h.compression == TCompression::kRle4) {
    DecodeRle(file, pixels, h, palette, picture);
  } else {
    DecodeRows(file, pixels, h, palette, channels, picture);
  }
  return picture;
}

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
