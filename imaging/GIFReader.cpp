// The GIF file structure around the LZW data: blocks, colour tables, extensions and descriptors,
// every byte read through TByteReader.
#include "imaging/GIFReader.h"

#include <array>
#include <cstring>
#include <vector>

#include "imaging/ByteReader.h"
#include "imaging/GIFFormat.h"
#include "imaging/GIFLZW.h"
#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

using TColorTable = std::array<TRgb, 256>;

[[noreturn]] void Unrecognized() {
  throw EInvalidGraphic(kUnrecognizedGif);
}

void ReadColorTable(TByteReader& in, uint8_t packed, TColorTable& table) {
  const size_t entries = gif::ColorTableEntries(packed);
  TByteReader bytes = in.TakeReader(3 * entries);
  for (size_t i = 0; i < entries; ++i) {
    const uint8_t red = bytes.U8();
    const uint8_t green = bytes.U8();
    table[i] = {red, green, bytes.U8()};
  }
}

// Decodes the image data at the reader's position into a width x height picture and leaves the
// reader after the data.
TPicture DecodeImage(TByteReader& in, const TColorTable& table, int width, int height,
                     bool interlaced) {
  if (width == 0 || height == 0) {
    TGIFLZWDecoder(in).Finish();
    return TPicture();
  }
  if (!PictureSizeAllowed(width, height) ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > GIFLZWValueBound(in)) {
    Unrecognized();
  }
  TGIFLZWDecoder decoder(in);
  // Pixels the data does not reach stay as allocated (black); nothing is painted twice.
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
  decoder.Finish();
  return picture;
}

}  // namespace

TGIFResult ReadGIF(std::span<const uint8_t> file, int image_index) {
  TGIFResult result;
  TByteReader in(file, kUnrecognizedGif);
  TByteReader header = in.TakeReader(gif::kHeaderSize);
  if (std::memcmp(header.Take(3).data(), "GIF", 3) != 0) Unrecognized();
  header.Skip(3);  // the version is not checked
  result.screen.width = header.U16LE();
  result.screen.height = header.U16LE();
  const uint8_t screen_packed = header.U8();
  const uint8_t background_index = header.U8();
  result.screen.aspect = header.U8();

  TColorTable global{};
  if (screen_packed & gif::kColorTableFlag) {
    ReadColorTable(in, screen_packed, global);
    result.screen.background = global[background_index];
  }

  // The graphic control extension that applies to the image asked for.
  bool transparent = false;
  uint16_t delay = 0;
  uint8_t transparent_index = 0;

  while (!in.AtEnd()) {
    const uint8_t introducer = in.U8();
    if (introducer == gif::kTrailer) break;
    if (introducer == gif::kExtensionIntroducer) {
      if (in.AtEnd()) break;
      const uint8_t label = in.U8();
      if (label == gif::kGraphicControlLabel && result.image_count == image_index) {
        if (in.AtEnd()) break;
        in.Skip(1);  // the block size, always 4 in a valid file; not relied on
        TByteReader control = in.TakeReader(gif::kGraphicControlSize);
        transparent = (control.U8() & gif::kTransparencyFlag) != 0;
        delay = control.U16LE();
        transparent_index = control.U8();
        if (!in.AtEnd()) in.Skip(1);  // the block terminator
      } else {
        SkipGIFSubBlocks(in);
      }
    } else if (introducer == gif::kImageSeparator) {
      // Once the image asked for is read, a later image cut inside its descriptor or colour table
      // is data that ended early: what was read stands.
      if (result.picture && in.Remaining() < gif::kImageDescriptorSize) break;
      TByteReader descriptor = in.TakeReader(gif::kImageDescriptorSize);
      const uint16_t left = descriptor.U16LE();
      const uint16_t top = descriptor.U16LE();
      const uint16_t width = descriptor.U16LE();
      const uint16_t height = descriptor.U16LE();
      const uint8_t packed = descriptor.U8();
      const bool has_local_table = (packed & gif::kColorTableFlag) != 0;
      const size_t local_table_size = has_local_table ? 3 * gif::ColorTableEntries(packed) : 0;
      if (result.picture && in.Remaining() < local_table_size) break;
      if (result.image_count == image_index) {
        TColorTable local{};
        if (has_local_table) ReadColorTable(in, packed, local);
        const TColorTable& table = has_local_table ? local : global;
        TGIFImage& image = result.image;
        image.left = left;
        image.top = top;
        image.width = width;
        image.height = height;
        image.interlaced = (packed & gif::kInterlaceFlag) != 0;
        image.delay = delay;
        image.transparent = transparent;
        image.transparent_color = table[transparent_index];
        result.picture = DecodeImage(in, table, width, height, image.interlaced);
      } else {
        in.Skip(local_table_size);
        if (!in.AtEnd()) {
          in.Skip(1);  // the minimum code size
          SkipGIFSubBlocks(in);
        }
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

TLoadedPicture ReadGIFFile(const std::string& file_name) {
  TGIFResult result = ReadGIF(ReadPictureFile(file_name, kUnrecognizedGif), 0);
  return {result.picture ? std::move(*result.picture) : TPicture(), std::nullopt,
          GIFBackground(result)};
}

}  // namespace sk
