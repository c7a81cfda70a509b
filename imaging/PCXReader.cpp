// The PCX reader.
#include "imaging/PCXReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

constexpr size_t kHeaderSize = 128;
constexpr uint8_t kManufacturer = 10;
constexpr size_t kPaletteSize = 768;  // the 256-colour palette at the end of the file

}  // namespace

void DecodePCXLine(TByteReader& data, std::span<uint8_t> line, bool run_length) {
  if (!run_length) {
    data.ReadInto(line);
    return;
  }
  size_t filled = 0;
  while (filled < line.size()) {
    const uint8_t b = data.U8();
    if (b < 192) {
      line[filled++] = b;
      continue;
    }
    const size_t count = b & 63u;
    const uint8_t value = data.U8();
    const size_t kept = std::min(count, line.size() - filled);
    std::memset(line.data() + filled, value, kept);
    filled += kept;
  }
}

TPCXImage ReadPCX(std::span<const uint8_t> file, TResolution screen, int64_t max_pixels) {
  TByteReader reader(file, kUnrecognizedPcx, TByteOrder::kLittleEndian);
  if (reader.U8() != kManufacturer) reader.Fail();
  reader.U8();  // version
  const uint8_t encoding = reader.U8();
  const uint8_t bits = reader.U8();
  const uint16_t x_min = reader.U16();
  const uint16_t y_min = reader.U16();
  const uint16_t x_max = reader.U16();
  const uint16_t y_max = reader.U16();
  const uint16_t x_resolution = reader.U16();
  const uint16_t y_resolution = reader.U16();
  const std::span<const uint8_t> header_palette = reader.Take(48);
  reader.U8();  // reserved
  const uint8_t planes = reader.U8();
  const uint16_t bytes_per_line = reader.U16();
  reader.Seek(kHeaderSize);
  if (encoding > 1 || bits > 8 || (planes != 1 && planes != 3)) reader.Fail();
  if (planes == 3 && bits != 8) reader.Fail();
  const int width = static_cast<int>(x_max) - x_min + 1;
  const int height = static_cast<int>(y_max) - y_min + 1;
  if (width <= 0 || height <= 0 || !PictureSizeAllowed(width, height) ||
      static_cast<int64_t>(width) * height > max_pixels) {
    reader.Fail();
  }
  // Each line must hold the row's pixels.
  if (bytes_per_line < (static_cast<size_t>(width) * bits + 7) / 8) reader.Fail();

  TPCXImage image;
  image.resolution =
      x_resolution == 0 || y_resolution == 0 ? screen : TResolution{x_resolution, y_resolution};
  image.picture.SetSize(width, height);

  // Pixel values as blue-green-red triples, for one-plane files of 4 and 8 bits.
  std::array<std::array<uint8_t, 3>, 256> palette{};
  if (planes == 1 && bits > 4) {
    if (file.size() < kPaletteSize) reader.Fail();
    const std::span<const uint8_t> colours =
        reader.SpanAt(file.size() - kPaletteSize, kPaletteSize);
    for (size_t i = 0; i < 256; ++i) {
      palette[i] = {colours[3 * i + 2], colours[3 * i + 1], colours[3 * i]};
    }
  } else if (planes == 1 && bits == 4) {
    for (size_t i = 0; i < 16; ++i) {
      palette[i] = {header_palette[3 * i + 2], header_palette[3 * i + 1], header_palette[3 * i]};
    }
  }

  std::vector<uint8_t> lines(static_cast<size_t>(bytes_per_line) * planes);
  const std::span<uint8_t> line(lines.data(), bytes_per_line);
  for (int y = 0; y < height; ++y) {
    for (size_t p = 0; p < planes; ++p) {
      DecodePCXLine(reader, std::span(lines).subspan(p * bytes_per_line, bytes_per_line),
                    encoding == 1);
    }
    uint8_t* out = image.picture.Row(y);
    if (planes == 3) {
      const uint8_t* red = lines.data();
      const uint8_t* green = red + bytes_per_line;
      const uint8_t* blue = green + bytes_per_line;
      for (int x = 0; x < width; ++x) {
        out[3 * x] = blue[x];
        out[3 * x + 1] = green[x];
        out[3 * x + 2] = red[x];
      }
      continue;
    }
    switch (bits) {
      case 8:
        for (int x = 0; x < width; ++x) std::memcpy(out + 3 * x, palette[line[x]].data(), 3);
        break;
      case 4:
        for (int x = 0; x < width; ++x) {
          const uint8_t byte = line[static_cast<size_t>(x / 2)];
          const uint8_t value = static_cast<uint8_t>(x % 2 == 0 ? byte >> 4 : byte & 0x0F);
          std::memcpy(out + 3 * x, palette[value].data(), 3);
        }
        break;
      case 1:
        for (int x = 0; x < width; ++x) {
          const bool set = (line[static_cast<size_t>(x / 8)] & (0x80 >> (x % 8))) != 0;
          std::memset(out + 3 * x, set ? 0xFF : 0x00, 3);
        }
        break;
      default: break;  // other depths leave the row black
    }
  }
  return image;
}

TLoadedPicture ReadPCXFile(const std::string& file_name) {
  const std::vector<uint8_t> bytes = ReadPictureFile(file_name, kUnrecognizedPcx);
  TPCXImage image = ReadPCX(bytes);
  return {std::move(image.picture), image.resolution, std::nullopt};
}

}  // namespace sk
