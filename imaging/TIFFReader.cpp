// The TIFF reader: the directory chain, the page parameters with their defaults, and the strips
// decoded row by row into the page.
#include "imaging/TIFFReader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "imaging/ByteReader.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/Monochrome.h"
#include "imaging/PackBits.h"
#include "imaging/TIFFCCITT.h"
#include "imaging/TIFFFormat.h"
#include "imaging/TIFFLZW.h"

namespace sk {

namespace {

using tiff::TCompression;
using tiff::TPhotometric;
using tiff::TTag;
using tiff::TType;

struct TEntry {
  uint16_t tag;
  uint16_t type;
  uint32_t count;
  uint64_t field;  // file offset of the entry's value field
};

// The entries of one directory and the reading of their values.
class TDirectory {
 public:
  TDirectory(const TByteReader& file, uint64_t offset, uint16_t count) : file_(file) {
    entries_.reserve(count);
    for (uint64_t i = 0; i < count; ++i) {
      const uint64_t at = offset + 2 + i * tiff::kEntrySize;
      entries_.push_back({file.U16At(at), file.U16At(at + 2), file.U32At(at + 4), at + 8});
    }
  }

  bool Has(TTag tag) const { return Find(tag) != nullptr; }

  // The value field: a SHORT or BYTE held there, else the whole 32-bit field.
  uint32_t Value(TTag tag, uint32_t default_value) const {
    const TEntry* entry = Find(tag);
    return entry != nullptr ? FieldValue(*entry) : default_value;
  }

  // count values of a SHORT, LONG or BYTE field, held in the value field when they fit in its four
  // bytes and at the offset it holds otherwise; values of other types read as 0. Empty when the
  // tag is absent.
  std::vector<uint32_t> Array(TTag tag) const {
    const TEntry* entry = Find(tag);
    if (entry == nullptr) return {};
    const uint64_t size = ElementSize(entry->type);
    const uint64_t count = entry->count;
    if (count == 1) return {FieldValue(*entry)};
    if (size == 0) {
      // No value list can be longer than the file.
      if (count > file_.Size()) file_.Fail();
      return std::vector<uint32_t>(static_cast<size_t>(count), 0);
    }
    const uint64_t offset = count * size <= 4 ? entry->field : file_.U32At(entry->field);
    if (!file_.Contains(offset, count * size)) file_.Fail();
    std::vector<uint32_t> values(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
      const uint64_t at = offset + i * size;
      values[static_cast<size_t>(i)] = size == 4   ? file_.U32At(at)
                                       : size == 2 ? file_.U16At(at)
                                                   : file_.U8At(at);
    }
    return values;
  }

  // Numerator / denominator at the offset in the value field (a denominator of 0 counts as 1);
  // 0 when the tag is absent.
  double Rational(TTag tag) const {
    const TEntry* entry = Find(tag);
    if (entry == nullptr) return 0;
    const uint64_t offset = file_.U32At(entry->field);
    const uint32_t numerator = file_.U32At(offset);
    const uint32_t denominator = file_.U32At(offset + 4);
    return static_cast<double>(numerator) / (denominator == 0 ? 1 : denominator);
  }

 private:
  const TEntry* Find(TTag tag) const {
    for (const TEntry& entry : entries_) {
      if (entry.tag == static_cast<uint16_t>(tag)) return &entry;
    }
    return nullptr;
  }

  static uint64_t ElementSize(uint16_t type) {
    switch (static_cast<TType>(type)) {
      case TType::kByte: return 1;
      case TType::kShort: return 2;
      case TType::kLong: return 4;
      default: return 0;
    }
  }

  uint32_t FieldValue(const TEntry& entry) const {
    switch (static_cast<TType>(entry.type)) {
      case TType::kShort: return file_.U16At(entry.field);
      case TType::kByte: return file_.U8At(entry.field);
      default: return file_.U32At(entry.field);
    }
  }

  const TByteReader& file_;
  std::vector<TEntry> entries_;
};

struct TPageParameters {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t samples = 1;
  uint32_t bits = 1;
  uint32_t rows_per_strip = 0;
  uint32_t photometric = 2;
  uint32_t planar = tiff::kPlanarChunky;
  uint32_t compression = 1;
  uint32_t predictor = 1;
  uint32_t t4_options = 0;
  uint32_t fill_order = 1;
  std::vector<uint32_t> strip_offsets;
  std::vector<uint32_t> strip_byte_counts;
  std::vector<uint32_t> color_map;

  bool Bilevel() const { return bits == 1 && samples == 1; }
  bool IsCCITT() const {
    return compression == static_cast<uint32_t>(TCompression::kModifiedHuffman) ||
           compression == static_cast<uint32_t>(TCompression::kGroup3) ||
           compression == static_cast<uint32_t>(TCompression::kGroup4);
  }
};

int ClampToInt(double value) {
  if (!(value > 0)) return 0;  // also NaN
  if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
    return std::numeric_limits<int>::max();
  }
  return static_cast<int>(value);  // truncates toward zero
}

std::optional<TResolution> ResolutionOf(const TDirectory& directory) {
  const uint32_t unit =
      directory.Value(TTag::kResolutionUnit, static_cast<uint32_t>(tiff::TResolutionUnit::kInch));
  const double x = directory.Rational(TTag::kXResolution);
  const double y = directory.Rational(TTag::kYResolution);
  switch (static_cast<tiff::TResolutionUnit>(unit)) {
    case tiff::TResolutionUnit::kNone:
    case tiff::TResolutionUnit::kInch: return TResolution{ClampToInt(x), ClampToInt(y)};
    case tiff::TResolutionUnit::kCentimetre:
      return TResolution{ClampToInt(x * 2.54), ClampToInt(y * 2.54)};
  }
  return std::nullopt;
}

TPageParameters ParametersOf(const TDirectory& directory) {
  TPageParameters page;
  page.width = directory.Value(TTag::kImageWidth, 0);
  page.height = directory.Value(TTag::kImageLength, 0);
  page.samples = directory.Value(TTag::kSamplesPerPixel, 1);
  const std::vector<uint32_t> bits = directory.Array(TTag::kBitsPerSample);
  if (!bits.empty()) {
    if (std::any_of(bits.begin(), bits.end(), [&](uint32_t b) { return b != bits[0]; })) {
      throw EInvalidGraphic(kInvalidTiffStream);
    }
    page.bits = bits[0];
  }
  page.rows_per_strip = directory.Value(TTag::kRowsPerStrip, page.height);
  if (page.rows_per_strip == tiff::kRowsPerStripWhole || page.rows_per_strip > page.height) {
    page.rows_per_strip = page.height;
  }
  page.photometric = directory.Value(TTag::kPhotometric, 2);
  page.planar = directory.Value(TTag::kPlanarConfiguration, tiff::kPlanarChunky);
  page.compression = directory.Value(TTag::kCompression, 1);
  page.predictor = directory.Value(TTag::kPredictor, 1);
  page.t4_options = directory.Value(TTag::kT4Options, 0);
  page.fill_order = directory.Value(TTag::kFillOrder, 1);
  page.strip_offsets = directory.Array(TTag::kStripOffsets);
  page.strip_byte_counts = directory.Array(TTag::kStripByteCounts);
  page.color_map = directory.Array(TTag::kColorMap);
  return page;
}

// Whether the page is one the reader decodes: bilevel, 4- or 8-bit greyscale or palette (with a
// full colour map), 8-bit RGB; CCITT data only for bilevel pages.
bool Supported(const TPageParameters& page) {
  switch (page.compression) {
    case static_cast<uint32_t>(TCompression::kNone):
    case static_cast<uint32_t>(TCompression::kLZW):
    case static_cast<uint32_t>(TCompression::kPackBits): break;
    case static_cast<uint32_t>(TCompression::kModifiedHuffman):
    case static_cast<uint32_t>(TCompression::kGroup3):
    case static_cast<uint32_t>(TCompression::kGroup4):
      if (!page.Bilevel()) return false;
      break;
    default: return false;
  }
  switch (static_cast<TPhotometric>(page.photometric)) {
    case TPhotometric::kWhiteIsZero:
    case TPhotometric::kBlackIsZero:
      return page.samples == 1 && (page.bits == 1 || page.bits == 4 || page.bits == 8);
    case TPhotometric::kPalette:
      return page.samples == 1 && (page.bits == 4 || page.bits == 8) &&
             page.color_map.size() >= (size_t{3} << page.bits);
    case TPhotometric::kRGB: return page.samples == 3 && page.bits == 8;
  }
  return false;
}

// The rows of one strip (or one plane's strip), decompressed.
class TStripRows {
 public:
  TStripRows(std::span<const uint8_t> data, const TPageParameters& page, size_t row_bytes)
      : data_(data, kUnrecognizedTiff),
        compression_(static_cast<TCompression>(page.compression)),
        row_bytes_(row_bytes) {
    // Uncompressed rows are used in place and LZW rows in the decoder's buffer; the others are
    // decoded into a row of their own.
    if (compression_ != TCompression::kNone && compression_ != TCompression::kLZW) {
      // Two bytes of PackBits data give at most 128 bytes: a row the data cannot fill is refused
      // before its buffer is allocated.
      if (compression_ == TCompression::kPackBits && row_bytes / 64 > data.size()) {
        data_.Fail();
      }
      row_.resize(row_bytes);
    }
    switch (compression_) {
      case TCompression::kLZW: lzw_.emplace(data, row_bytes); break;
      case TCompression::kModifiedHuffman:
      case TCompression::kGroup3:
      case TCompression::kGroup4: {
        TCCITTMode mode = TCCITTMode::kGroup4;
        if (compression_ == TCompression::kModifiedHuffman) {
          mode = TCCITTMode::kModifiedHuffman;
        } else if (compression_ == TCompression::kGroup3) {
          mode = (page.t4_options & tiff::kT4TwoDimensional) != 0 ? TCCITTMode::kGroup3TwoD
                                                                  : TCCITTMode::kGroup3OneD;
        }
        ccitt_.emplace(data, static_cast<int>(page.width), mode,
                       page.fill_order == tiff::kFillOrderLsbFirst);
        break;
      }
      default: break;
    }
  }

  // True when all further rows would be zeros (LZW data that has ended).
  bool Exhausted() const { return lzw_ && lzw_->Exhausted(); }

  // The next row; valid until the next call.
  std::span<const uint8_t> Next() {
    switch (compression_) {
      case TCompression::kLZW: return lzw_->NextRow();
      case TCompression::kPackBits: UnpackBitsRow(data_, row_); return row_;
      case TCompression::kModifiedHuffman:
      case TCompression::kGroup3:
      case TCompression::kGroup4: ccitt_->NextRow(row_); return row_;
      default: return data_.Take(row_bytes_);
    }
  }

 private:
  TByteReader data_;
  TCompression compression_;
  size_t row_bytes_;
  std::vector<uint8_t> row_;
  std::optional<TTIFLZWDec> lzw_;
  std::optional<TCCITTDecoder> ccitt_;
};

// Turns decompressed rows into picture rows.
class TRowConverter {
 public:
  explicit TRowConverter(const TPageParameters& page) : page_(page) {
    if (page.Bilevel()) {
      // Decompressed bilevel rows hold the file's bits (1 is white for BlackIsZero); CCITT rows
      // hold set bits for white runs, which BlackIsZero pages show black.
      const bool white_is_zero =
          page.photometric == static_cast<uint32_t>(TPhotometric::kWhiteIsZero);
      invert_bits_ = page.IsCCITT() ? !white_is_zero : white_is_zero;
      return;
    }
    if (page.samples != 1) return;
    for (uint32_t value = 0; value < 256; ++value) {
      std::array<uint8_t, 3>& bgr = palette_[value];
      switch (static_cast<TPhotometric>(page.photometric)) {
        case TPhotometric::kPalette: {
          // Spread 4-bit values index the map directly; the map is checked to be long enough.
          const size_t entries = size_t{1} << page.bits;
          const size_t index = std::min<size_t>(value, entries - 1);
          bgr = {static_cast<uint8_t>(page.color_map[index + 2 * entries] >> 8),
                 static_cast<uint8_t>(page.color_map[index + entries] >> 8),
                 static_cast<uint8_t>(page.color_map[index] >> 8)};
          break;
        }
        case TPhotometric::kWhiteIsZero: bgr.fill(static_cast<uint8_t>(255 - value)); break;
        default: bgr.fill(static_cast<uint8_t>(value)); break;
      }
    }
  }

  // Rows shorter than a whole row (LZW data that ended) convert only the pixels they hold; the
  // rest of the picture row stays blank.
  void ConvertBilevel(std::span<const uint8_t> row, uint8_t* out) const {
    const size_t bytes = std::min(row.size(), (static_cast<size_t>(page_.width) + 7) / 8);
    if (invert_bits_) {
      for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<uint8_t>(~row[i]);
    } else {
      // A row that holds nothing (LZW data that ended before it) may have no storage at all.
      std::copy_n(row.begin(), bytes, out);
    }
  }

  void Convert(std::span<const uint8_t> row, uint8_t* out) {
    const bool differenced = page_.predictor == tiff::kPredictorHorizontal && page_.bits == 8;
    if (page_.samples == 3) {
      const size_t width = std::min<size_t>(page_.width, row.size() / 3);
      if (differenced) {
        // Each sample adds to the same sample of the pixel before, in one pass with the reordering.
        uint8_t red = 0, green = 0, blue = 0;
        for (size_t x = 0; x < width; ++x) {
          red = static_cast<uint8_t>(red + row[3 * x]);
          green = static_cast<uint8_t>(green + row[3 * x + 1]);
          blue = static_cast<uint8_t>(blue + row[3 * x + 2]);
          out[3 * x] = blue;
          out[3 * x + 1] = green;
          out[3 * x + 2] = red;
        }
        return;
      }
      for (size_t x = 0; x < width; ++x) {
        out[3 * x] = row[3 * x + 2];
        out[3 * x + 1] = row[3 * x + 1];
        out[3 * x + 2] = row[3 * x];
      }
      return;
    }
    const uint8_t* values = row.data();
    size_t width = std::min<size_t>(page_.width, row.size());
    if (page_.bits == 4) {
      // Two pixels a byte, high nibble first; greyscale values 0..15 become 0..240.
      width = std::min<size_t>(page_.width, 2 * row.size());
      const bool grey = page_.photometric != static_cast<uint32_t>(TPhotometric::kPalette);
      spread_.resize(width);
      for (size_t x = 0; x < width; ++x) {
        const uint8_t nibble =
            static_cast<uint8_t>((x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2]) & 0x0F);
        spread_[x] = grey ? static_cast<uint8_t>(nibble * 16) : nibble;
      }
      values = spread_.data();
    } else if (differenced) {
      spread_.assign(row.begin(), row.begin() + static_cast<std::ptrdiff_t>(width));
      for (size_t x = 1; x < width; ++x) {
        spread_[x] = static_cast<uint8_t>(spread_[x] + spread_[x - 1]);
      }
      values = spread_.data();
    }
    for (size_t x = 0; x < width; ++x) std::memcpy(out + 3 * x, palette_[values[x]].data(), 3);
  }

  // Combines the red, green and blue rows of planar RGB data (each with its differencing undone).
  void ConvertPlanes(std::span<const uint8_t> red, std::span<const uint8_t> green,
                     std::span<const uint8_t> blue, uint8_t* out) {
    const size_t width = std::min<size_t>({page_.width, red.size(), green.size(), blue.size()});
    if (page_.predictor == tiff::kPredictorHorizontal) {
      planes_.resize(3 * width);
      const std::span<const uint8_t> rows[3] = {red, green, blue};
      for (size_t c = 0; c < 3; ++c) {
        uint8_t* plane = planes_.data() + c * width;
        std::copy_n(rows[c].begin(), width, plane);  // width may be 0 with empty rows
        for (size_t x = 1; x < width; ++x) plane[x] = static_cast<uint8_t>(plane[x] + plane[x - 1]);
      }
      red = {planes_.data(), width};
      green = {planes_.data() + width, width};
      blue = {planes_.data() + 2 * width, width};
    }
    for (size_t x = 0; x < width; ++x) {
      out[3 * x] = blue[x];
      out[3 * x + 1] = green[x];
      out[3 * x + 2] = red[x];
    }
  }

 private:
  const TPageParameters& page_;
  bool invert_bits_ = false;
  std::array<std::array<uint8_t, 3>, 256> palette_{};
  std::vector<uint8_t> spread_;
  std::vector<uint8_t> planes_;
};

std::span<const uint8_t> StripData(const TByteReader& file, const TPageParameters& page,
                                   size_t strip) {
  return file.SpanAt(page.strip_offsets[strip], page.strip_byte_counts[strip]);
}

void DecodeStrips(const TByteReader& file, const TPageParameters& page, TTIFFPage& result) {
  if (page.rows_per_strip == 0) file.Fail();
  if (page.strip_byte_counts.size() < page.strip_offsets.size()) file.Fail();
  const uint64_t width = page.width;
  const bool planar = page.planar == tiff::kPlanarSeparate && page.samples > 1;
  const uint64_t row_bits = page.bits * width * (planar ? 1 : page.samples);
  const size_t row_bytes = static_cast<size_t>((row_bits + 7) / 8);
  const uint64_t strips_needed =
      (static_cast<uint64_t>(page.height) + page.rows_per_strip - 1) / page.rows_per_strip;
  TRowConverter converter(page);

  auto output_row = [&](uint64_t y) {
    return result.bilevel ? result.bilevel->Row(static_cast<int>(y))
                          : result.picture->Row(static_cast<int>(y));
  };

  if (!planar) {
    const uint64_t strips = std::min<uint64_t>(page.strip_offsets.size(), strips_needed);
    for (uint64_t i = 0; i < strips; ++i) {
      TStripRows rows(StripData(file, page, static_cast<size_t>(i)), page, row_bytes);
      const uint64_t first = i * page.rows_per_strip;
      const uint64_t last = std::min<uint64_t>(first + page.rows_per_strip, page.height);
      for (uint64_t y = first; y < last; ++y) {
        // Rows after the end of the data stay blank.
        if (rows.Exhausted()) break;
        const std::span<const uint8_t> row = rows.Next();
        if (result.bilevel) {
          converter.ConvertBilevel(row, output_row(y));
        } else {
          converter.Convert(row, output_row(y));
        }
      }
    }
    return;
  }
  // Planar RGB: the red strips, then the green, then the blue.
  const uint64_t per_plane = page.strip_offsets.size() / 3;
  const uint64_t bands = std::min<uint64_t>(per_plane, strips_needed);
  for (uint64_t i = 0; i < bands; ++i) {
    TStripRows red(StripData(file, page, static_cast<size_t>(i)), page, row_bytes);
    TStripRows green(StripData(file, page, static_cast<size_t>(i + per_plane)), page, row_bytes);
    TStripRows blue(StripData(file, page, static_cast<size_t>(i + 2 * per_plane)), page, row_bytes);
    const uint64_t first = i * page.rows_per_strip;
    const uint64_t last = std::min<uint64_t>(first + page.rows_per_strip, page.height);
    for (uint64_t y = first; y < last; ++y) {
      if (red.Exhausted() && green.Exhausted() && blue.Exhausted()) break;
      const std::span<const uint8_t> r = red.Next();
      const std::span<const uint8_t> g = green.Next();
      const std::span<const uint8_t> b = blue.Next();
      converter.ConvertPlanes(r, g, b, output_row(y));
    }
  }
}

}  // namespace

TTIFFPage ReadTIFF(std::span<const uint8_t> file, int page_index, int64_t max_pixels) {
  TByteReader reader(file, kUnrecognizedTiff);
  if (file.size() < tiff::kHeaderSize) reader.Fail();
  if (file[0] == tiff::kLittleEndianMark && file[1] == tiff::kLittleEndianMark) {
    reader.SetOrder(TByteOrder::kLittleEndian);
  } else if (file[0] == tiff::kBigEndianMark && file[1] == tiff::kBigEndianMark) {
    reader.SetOrder(TByteOrder::kBigEndian);
  } else {
    reader.Fail();
  }

  TTIFFPage result;
  std::optional<TDirectory> directory;
  // One flag per byte of the file: a chain that comes back to a directory it has passed would
  // never end.
  std::vector<bool> visited(file.size());
  uint64_t offset = reader.U32At(4);
  while (offset != 0) {
    const uint16_t count = reader.U16At(offset);
    if (visited[static_cast<size_t>(offset)]) reader.Fail();
    visited[static_cast<size_t>(offset)] = true;
    const uint64_t next_at = offset + 2 + uint64_t{count} * tiff::kEntrySize;
    if (result.page_count == page_index) directory.emplace(reader, offset, count);
    offset = reader.U32At(next_at);
    ++result.page_count;
  }
  if (!directory) return result;

  const TPageParameters page = ParametersOf(*directory);
  result.resolution = ResolutionOf(*directory);
  result.orientation = ClampToInt(directory->Value(TTag::kOrientation, 1));
  if (!Supported(page)) reader.Fail();
  if (page.width != 0 && page.height != 0 &&
      (!PictureSizeAllowed(page.width, page.height) ||
       static_cast<int64_t>(page.width) * page.height > max_pixels)) {
    reader.Fail();
  }
  const int width = page.height == 0 ? 0 : static_cast<int>(page.width);
  const int height = page.width == 0 ? 0 : static_cast<int>(page.height);
  if (page.Bilevel()) {
    result.bilevel.emplace(width, height);
  } else {
    result.picture.emplace(width, height);
  }
  if (width > 0 && height > 0 && !page.strip_offsets.empty()) DecodeStrips(reader, page, result);
  return result;
}

TTIFFFilePage ReadTIFFFilePage(const std::string& file_name, int page_index) {
  const std::vector<uint8_t> bytes = ReadPictureFile(file_name, kUnrecognizedTiff);
  TTIFFPage page = ReadTIFF(bytes, page_index);
  TTIFFFilePage result;
  result.page_count = page.page_count;
  if (page.bilevel) {
    result.loaded = TLoadedPicture{ExpandMonochrome(*page.bilevel), page.resolution, std::nullopt};
  } else if (page.picture) {
    result.loaded = TLoadedPicture{std::move(*page.picture), page.resolution, std::nullopt};
  }
  if (result.loaded) result.loaded->orientation = page.orientation;
  return result;
}

TLoadedPicture ReadTIFFFile(const std::string& file_name) {
  TTIFFFilePage page = ReadTIFFFilePage(file_name, 0);
  if (!page.loaded) throw EInvalidGraphic(kUnrecognizedTiff);
  return std::move(*page.loaded);
}

}  // namespace sk
