// The GIF file structure around the LZW data: blocks, colour tables, extensions and descriptors.
#include "imaging/GIFFilter.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/GIFLZW.h"
#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

constexpr uint8_t kExtensionIntroducer = 0x21;
constexpr uint8_t kImageSeparator = 0x2C;
constexpr uint8_t kTrailer = 0x3B;
constexpr uint8_t kGraphicControlLabel = 0xF9;
constexpr uint8_t kColorTableFlag = 0x80;
constexpr uint8_t kInterlaceFlag = 0x40;
constexpr uint8_t kTransparencyFlag = 0x01;
constexpr uint8_t kDisposeToBackground = 2 << 2;
constexpr int kMaxGifSide = 65535;
constexpr int kWriterColors = 255;  // entry 0 of the table is the background

using TColorTable = std::array<TRgb, 256>;

[[noreturn]] void Unrecognized() {
  throw EInvalidGraphic(kUnrecognizedGif);
}

uint16_t Le16(const uint8_t* bytes) {
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

// Reading position in the file. Single bytes and skips may meet the end (the data has ended);
// fixed-size structures must be whole.
class TCursor {
 public:
  explicit TCursor(std::span<const uint8_t> file) : file_(file) {}

  size_t Position() const { return position_; }
  void SetPosition(size_t position) { position_ = std::min(position, file_.size()); }

  bool ReadByte(uint8_t& byte) {
    if (position_ >= file_.size()) return false;
    byte = file_[position_++];
    return true;
  }

  // Raises "unrecognized GIF" when fewer than `count` bytes are left.
  const uint8_t* ReadExact(size_t count) {
    if (file_.size() - position_ < count) Unrecognized();
    const uint8_t* bytes = file_.data() + position_;
    position_ += count;
    return bytes;
  }

  void Skip(size_t count) { position_ += std::min(count, file_.size() - position_); }

  // Skips data sub-blocks up to a count of 0 or the end of the file.
  void SkipSubBlocks() {
    uint8_t count;
    while (ReadByte(count) && count != 0) Skip(count);
  }

 private:
  std::span<const uint8_t> file_;
  size_t position_ = 0;
};

size_t ColorTableEntries(uint8_t packed) {
  return size_t{2} << (packed & 7);
}

void ReadColorTable(TCursor& in, uint8_t packed, TColorTable& table) {
  const size_t entries = ColorTableEntries(packed);
  const uint8_t* bytes = in.ReadExact(3 * entries);
  for (size_t i = 0; i < entries; ++i)
    table[i] = {bytes[3 * i], bytes[3 * i + 1], bytes[3 * i + 2]};
}

// Decodes the image data at the cursor into a width x height picture and leaves the cursor after
// the data.
TPicture DecodeImage(std::span<const uint8_t> file, TCursor& in, const TColorTable& table,
                     int width, int height, bool interlaced) {
  if (width == 0 || height == 0) {
    TGIFLzwDecoder decoder(file, in.Position());
    in.SetPosition(decoder.Finish());
    return TPicture();
  }
  if (!PictureSizeAllowed(width, height) ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) >
          GIFLzwValueBound(file, in.Position())) {
    Unrecognized();
  }
  TGIFLzwDecoder decoder(file, in.Position());
  TPicture picture(width, height);
  std::vector<uint8_t> values(static_cast<size_t>(width));
  for (const int y : GIFRowOrder(height, interlaced)) {
    const size_t count = decoder.Read(values);
    uint8_t* row = picture.Row(y);
    for (size_t x = 0; x < count; ++x) {
      const TRgb& color = table[values[x]];
      row[3 * x] = color.blue;
      row[3 * x + 1] = color.green;
      row[3 * x + 2] = color.red;
    }
    if (count < values.size()) break;
  }
  in.SetPosition(decoder.Finish());
  return picture;
}

void Put16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

}  // namespace

TGIFResult ReadGIF(std::span<const uint8_t> file, int image_index) {
  TGIFResult result;
  TCursor in(file);
  const uint8_t* header = in.ReadExact(13);
  if (std::memcmp(header, "GIF", 3) != 0) Unrecognized();
  result.screen.width = Le16(header + 6);
  result.screen.height = Le16(header + 8);
  const uint8_t screen_packed = header[10];
  const uint8_t background_index = header[11];
  result.screen.aspect = header[12];

  TColorTable global{};
  if (screen_packed & kColorTableFlag) {
    ReadColorTable(in, screen_packed, global);
    result.screen.background = global[background_index];
  }

  // The graphic control extension that applies to the image asked for.
  bool transparent = false;
  uint16_t delay = 0;
  uint8_t transparent_index = 0;

  uint8_t introducer;
  while (in.ReadByte(introducer) && introducer != kTrailer) {
    if (introducer == kExtensionIntroducer) {
      uint8_t label;
      if (!in.ReadByte(label)) break;
      if (label == kGraphicControlLabel && result.image_count == image_index) {
        uint8_t block_size;  // always 4 in a valid file; not relied on
        if (!in.ReadByte(block_size)) break;
        const uint8_t* control = in.ReadExact(4);
        transparent = (control[0] & kTransparencyFlag) != 0;
        delay = Le16(control + 1);
        transparent_index = control[3];
        uint8_t terminator;
        in.ReadByte(terminator);
      } else {
        in.SkipSubBlocks();
      }
    } else if (introducer == kImageSeparator) {
      const uint8_t* descriptor = in.ReadExact(9);
      const uint8_t packed = descriptor[8];
      const bool has_local_table = (packed & kColorTableFlag) != 0;
      if (result.image_count == image_index) {
        TColorTable local{};
        if (has_local_table) ReadColorTable(in, packed, local);
        const TColorTable& table = has_local_table ? local : global;
        TGIFImage& image = result.image;
        image.left = Le16(descriptor);
        image.top = Le16(descriptor + 2);
        image.width = Le16(descriptor + 4);
        image.height = Le16(descriptor + 6);
        image.interlaced = (packed & kInterlaceFlag) != 0;
        image.delay = delay;
        image.transparent = transparent;
        image.transparent_color = table[transparent_index];
        result.picture = DecodeImage(file, in, table, image.width, image.height, image.interlaced);
      } else {
        if (has_local_table) in.ReadExact(3 * ColorTableEntries(packed));
        uint8_t min_code_size;
        if (in.ReadByte(min_code_size)) in.SkipSubBlocks();
      }
      ++result.image_count;
    }
    // Any other byte between blocks is ignored.
  }
  return result;
}

uint32_t GIFBackground(const TGIFResult& result) {
  const TRgb color =
      result.image.transparent ? result.image.transparent_color : result.screen.background;
  return color.red | (color.green << 8) | (color.blue << 16);
}

void WriteGIF(TByteSink& sink, const TPicture& picture, const TGIFWriteOptions& options) {
  const int width = picture.Width();
  const int height = picture.Height();
  if (width > kMaxGifSide || height > kMaxGifSide) throw EInvalidGraphic(kGifTooLarge);
  const bool interlaced = options.use_lzw && options.interlaced;

  TQuantizedPicture quantized = OctQuantize(picture, kWriterColors);

  std::vector<uint8_t> head;
  head.reserve(13 + 768 + 8 + 10);
  head.insert(head.end(), {'G', 'I', 'F', '8', '9', 'a'});
  Put16(head, static_cast<uint16_t>(width));
  Put16(head, static_cast<uint16_t>(height));
  // A global colour table of 256 entries, 8 bits of colour resolution, not sorted.
  head.insert(head.end(), {0xF7, 0, 0});
  const uint32_t background = options.background;
  head.insert(head.end(), {static_cast<uint8_t>(background), static_cast<uint8_t>(background >> 8),
                           static_cast<uint8_t>(background >> 16)});
  for (size_t i = 1; i < 256; ++i) {
    const TRgb color = i <= quantized.palette.size() ? quantized.palette[i - 1] : TRgb{};
    head.insert(head.end(), {color.red, color.green, color.blue});
  }
  head.insert(head.end(), {kExtensionIntroducer, kGraphicControlLabel, 4,
                           static_cast<uint8_t>(kDisposeToBackground |
                                                (options.transparent ? kTransparencyFlag : 0))});
  Put16(head, options.delay);
  head.insert(head.end(), {0, 0});  // transparent colour index 0, block terminator
  head.push_back(kImageSeparator);
  Put16(head, options.left);
  Put16(head, options.top);
  Put16(head, static_cast<uint16_t>(width));
  Put16(head, static_cast<uint16_t>(height));
  head.push_back(interlaced ? kInterlaceFlag : 0);
  sink.Write(head);

  // Palette entry i of the quantiser is colour-table entry i + 1.
  for (uint8_t& index : quantized.indexes) ++index;
  if (options.use_lzw) {
    EncodeGIFLzw(sink, quantized.indexes, width, height, interlaced);
  } else {
    EncodeGIFRunLength(sink, quantized.indexes);
  }
  const uint8_t trailer = kTrailer;
  sink.Write({&trailer, 1});
}

}  // namespace sk
