// BMP reader after Microsoft's BITMAPFILEHEADER, BITMAPCOREHEADER, BITMAPINFOHEADER and
// BITMAPV4/V5HEADER and IBM's OS/2 2.x header; every byte is read through TByteReader.
#include "imaging/BMPReader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "imaging/BMPFormat.h"
#include "imaging/ByteReader.h"
#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

using bmp::TCompression;

[[noreturn]] void Fail() {
  throw EInvalidGraphic(kUnrecognizedBmp);
}

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

THeader ReadHeader(const TByteReader& file) {
  const std::span<const uint8_t> signature = file.SpanAt(0, bmp::kFileHeaderSize).first(2);
  if (signature[0] != 'B' || signature[1] != 'M') Fail();
  THeader h;
  h.pixel_offset = file.U32At(bmp::kPixelOffsetField);
  h.header_size = file.U32At(bmp::kFileHeaderSize);
  h.after_header = bmp::kFileHeaderSize + static_cast<uint64_t>(h.header_size);
  // The whole info header must be there; its fields are then read within it.
  const TByteReader info = file.Sub(bmp::kFileHeaderSize, h.header_size);
  // Pixels cannot start inside the headers (0 is taken as "right after the palette").
  if (h.pixel_offset != 0 && h.pixel_offset < h.after_header) Fail();
  if (h.header_size == bmp::kCoreHeaderSize) {
    h.width = info.U16At(4);
    h.height = info.U16At(6);
    h.bit_count = info.U16At(10);
    return h;
  }
  switch (h.header_size) {
    case bmp::kInfoHeaderSize:
    case bmp::kV2HeaderSize:
    case bmp::kV3HeaderSize:
    case bmp::kOS2HeaderSize:
    case bmp::kV4HeaderSize:
    case bmp::kV5HeaderSize: break;
    default: Fail();
  }
  const auto width = static_cast<int32_t>(info.U32At(4));
  const auto height = static_cast<int32_t>(info.U32At(8));
  h.width = width;
  h.top_down = height < 0;
  h.height = h.top_down ? -static_cast<int64_t>(height) : height;
  h.bit_count = info.U16At(14);
  const uint32_t compression = info.U32At(16);
  // OS/2 2.x uses 3 and 4 for Huffman 1D and RLE24, which nobody writes any more.
  if (h.header_size == bmp::kOS2HeaderSize && compression > 2) Fail();
  h.compression = static_cast<TCompression>(compression);
  h.colours_used = info.U32At(32);
  if (h.header_size >= bmp::kV2HeaderSize && h.header_size != bmp::kOS2HeaderSize) {
    h.masks[0] = info.U32At(40);
    h.masks[1] = info.U32At(44);
    h.masks[2] = info.U32At(48);
    h.has_masks = true;
  }
  return h;
}

// The palette as blue-green-red triples; entries past the file's palette stay black.
using TPalette = std::array<std::array<uint8_t, 3>, 256>;

// Checks the header's combination of depth and compression and reads the masks and palette from
// the end of the header on. Returns the offset just after them.
uint64_t ReadColours(const TByteReader& file, THeader& h, TPalette& palette, TChannel channels[3]) {
  const bool core = h.header_size == bmp::kCoreHeaderSize;
  TByteReader in = file;
  in.Seek(h.after_header);
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
        for (uint32_t& mask : h.masks) mask = in.U32LE();
        if (h.compression == TCompression::kAlphaBitFields) in.Skip(4);
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
    if (h.pixel_offset > in.Position()) {
      count = std::min<uint64_t>(count, (h.pixel_offset - in.Position()) / entry_size);
    }
    TByteReader entries = in.TakeReader(count * entry_size);
    for (uint64_t i = 0; i < count; ++i) {
      entries.ReadInto(palette[i]);
      entries.Skip(entry_size - 3);
    }
  }
  return in.Position();
}

// Rows of the file in file order, mapped to picture rows.
int PictureRow(const THeader& h, int64_t file_row) {
  return static_cast<int>(h.top_down ? file_row : h.height - 1 - file_row);
}

void DecodeRows(const TByteReader& file, uint64_t pixels, const THeader& h, const TPalette& palette,
                const TChannel channels[3], TPicture& picture) {
  const uint64_t row_bits = static_cast<uint64_t>(h.width) * h.bit_count;
  const uint64_t row_bytes = (row_bits + 7) / 8;
  const uint64_t stride = (row_bits + 31) / 32 * 4;
  // The last row's padding may be missing; every row must be there before anything is decoded.
  file.SpanAt(pixels, stride * static_cast<uint64_t>(h.height - 1) + row_bytes);
  const int width = static_cast<int>(h.width);
  for (int64_t r = 0; r < h.height; ++r) {
    const uint8_t* in = file.SpanAt(pixels + static_cast<uint64_t>(r) * stride, row_bytes).data();
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

// The pixels that RLE codes skip show palette entry 0. The decoder's position only moves forward
// in file order (runs, end of line and deltas all go right or up), so each skipped pixel is
// painted exactly once, when the position passes it; a black entry 0 is already in place in the
// freshly allocated picture and costs nothing.
class TSkippedPixels {
 public:
  TSkippedPixels(const THeader& h, const TPalette& palette, TPicture& picture)
      : h_(h),
        colour_(palette[0]),
        picture_(picture),
        needed_(palette[0] != std::array<uint8_t, 3>{}) {}

  // Paints from (x, row) up to, not including, (to_x, to_row), in file order.
  void Paint(int64_t x, int64_t row, int64_t to_x, int64_t to_row) const {
    if (!needed_) return;
    for (; row < to_row && row < h_.height; ++row, x = 0) PaintRow(row, x, h_.width);
    if (row == to_row && row < h_.height) PaintRow(row, x, to_x);
  }

 private:
  void PaintRow(int64_t row, int64_t from, int64_t to) const {
    to = std::min(to, h_.width);
    if (from >= to) return;
    uint8_t* out = picture_.Row(PictureRow(h_, row));
    for (int64_t x = from; x < to; ++x) std::memcpy(out + 3 * x, colour_.data(), 3);
  }

  const THeader& h_;
  const std::array<uint8_t, 3> colour_;
  TPicture& picture_;
  const bool needed_;
};

// RLE8 and RLE4 as in the BITMAPINFOHEADER documentation: (count, value) pairs give runs; a zero
// count introduces end of line (0), end of bitmap (1), delta (2, then dx and dy) or an absolute
// run of n >= 3 pixels padded to a 16-bit boundary. The data may end without end of bitmap.
// Some writers (ImageMagick among them) encode each row's padding too, so runs may reach the end
// of the padded row; what lies past the width is dropped. Anything beyond fails.
void DecodeRLE(const TByteReader& file, uint64_t pixels, const THeader& h, const TPalette& palette,
               TPicture& picture) {
  const bool rle4 = h.compression == TCompression::kRle4;
  const int64_t padded_width = (h.width * h.bit_count + 31) / 32 * 32 / h.bit_count;
  const TSkippedPixels skipped(h, palette, picture);
  TByteReader in = file;
  in.Seek(pixels);
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
  while (in.Remaining() >= 2) {
    const uint8_t count = in.U8();
    const uint8_t value = in.U8();
    if (count > 0) {
      uint8_t* out = target(count);
      for (int i = 0; i < count; ++i) {
        put(out, rle4 ? (i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        skipped.Paint(x, row, 0, row + 1);
        x = 0;
        ++row;
        break;
      case 1:  // end of bitmap
        skipped.Paint(x, row, 0, h.height);
        return;
      case 2: {  // delta: move right and up
        const int64_t to_x = x + in.U8();
        const int64_t to_row = row + in.U8();
        if (to_x > padded_width || to_row > h.height) Fail();
        skipped.Paint(x, row, to_x, to_row);
        x = to_x;
        row = to_row;
        break;
      }
      default: {  // absolute run of `value` pixels
        const uint64_t bytes = rle4 ? (value + 1u) / 2 : value;
        const std::span<const uint8_t> run = in.Take(bytes);
        uint8_t* out = target(value);
        for (int i = 0; i < value; ++i) {
          put(out, rle4 ? (i % 2 == 0 ? run[i / 2] >> 4 : run[i / 2] & 0x0F) : run[i]);
        }
        // The run is padded to 16 bits; a file may end before the pad byte.
        if ((bytes & 1) != 0 && !in.AtEnd()) in.Skip(1);
        break;
      }
    }
  }
  skipped.Paint(x, row, 0, h.height);
}

// RLE codes may skip pixels (end of line, delta, end of bitmap), so a few bytes can declare any
// size, and every skipped pixel must still be painted with palette entry 0: a 132-byte file of 10
// by 16.7 million pixels would cost 500 MB. The most pixels the data itself can give is a run of
// 255 per two bytes; beyond kRLEAreaWithoutData pixels (48 MB of picture) a declared size that
// the data could not give at that rate is refused. Smaller pictures may skip as they please.
constexpr uint64_t kRLEAreaWithoutData = uint64_t{1} << 24;

void RefuseRLEBomb(const THeader& h, uint64_t data_bytes) {
  const uint64_t area = static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.height);
  if (area > kRLEAreaWithoutData && area > data_bytes / 2 * 255) Fail();
}

}  // namespace

TPicture ReadBMP(std::span<const uint8_t> bytes) {
  TByteReader file(bytes, kUnrecognizedBmp);
  THeader h = ReadHeader(file);
  if (!PictureSizeAllowed(h.width, h.height)) Fail();
  TPalette palette{};
  TChannel channels[3];
  const uint64_t colours_end = ReadColours(file, h, palette, channels);
  // Some writers leave the offset 0; the pixels then follow the palette.
  const uint64_t pixels = h.pixel_offset != 0 ? h.pixel_offset : colours_end;
  if (pixels > file.Size()) Fail();
  const bool rle = h.compression == TCompression::kRle8 || h.compression == TCompression::kRle4;
  if (rle) RefuseRLEBomb(h, file.Size() - pixels);
  TPicture picture(static_cast<int>(h.width), static_cast<int>(h.height));
  if (rle) {
    DecodeRLE(file, pixels, h, palette, picture);
  } else {
    DecodeRows(file, pixels, h, palette, channels, picture);
  }
  return picture;
}

TLoadedPicture ReadBMPFile(const std::string& file_name) {
  return {ReadBMP(ReadPictureFile(file_name, kUnrecognizedBmp)), std::nullopt, std::nullopt};
}

}  // namespace sk
