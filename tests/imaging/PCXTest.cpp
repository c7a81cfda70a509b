// The PCX reader against ImageMagick and Pillow, its edge cases and malformed files, and its
// run-length decoder on its own.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "imaging/ByteReader.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/PCXReader.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using test::ReadFileBytes;
using test::RgbOf;

TEST(PCXReaderTest, DecodesEveryFixtureAsTheOraclesDo) {
  std::ifstream manifest(SK_IMAGING_FIXTURES_DIR "/pcx/manifest.txt");
  std::string name;
  int width = 0, height = 0, dpi_x = 0, dpi_y = 0;
  int count = 0;
  while (manifest >> name >> width >> height >> dpi_x >> dpi_y) {
    SCOPED_TRACE(name);
    ++count;
    const std::string base = SK_IMAGING_FIXTURES_DIR "/pcx/" + name;
    TPCXImage image;
    ASSERT_NO_THROW(image = ReadPCX(ReadFileBytes(base + ".pcx")));
    ASSERT_EQ(image.picture.Width(), width);
    ASSERT_EQ(image.picture.Height(), height);
    EXPECT_EQ(image.resolution, (TResolution{dpi_x, dpi_y}));
    EXPECT_TRUE(RgbOf(image.picture) == ReadFileBytes(base + ".rgb")) << "pixels differ";
  }
  EXPECT_GE(count, 12);
}

// A 128-byte header followed by data.
std::vector<uint8_t> Pcx(uint8_t encoding, uint8_t bits, uint16_t width, uint16_t height,
                         uint8_t planes, uint16_t bytes_per_line, std::vector<uint8_t> data,
                         uint16_t dpi_x = 0, uint16_t dpi_y = 0) {
  std::vector<uint8_t> file(128, 0);
  file[0] = 10;
  file[1] = 5;
  file[2] = encoding;
  file[3] = bits;
  const auto put16 = [&](size_t at, uint16_t v) {
    file[at] = static_cast<uint8_t>(v);
    file[at + 1] = static_cast<uint8_t>(v >> 8);
  };
  put16(8, static_cast<uint16_t>(width - 1));
  put16(10, static_cast<uint16_t>(height - 1));
  put16(12, dpi_x);
  put16(14, dpi_y);
  for (int i = 0; i < 48; ++i) file[16 + i] = static_cast<uint8_t>(i * 5);  // 16-colour palette
  file[65] = planes;
  put16(66, bytes_per_line);
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

std::vector<uint8_t> HeaderColour(int index) {
  return {static_cast<uint8_t>(index * 15), static_cast<uint8_t>(index * 15 + 5),
          static_cast<uint8_t>(index * 15 + 10)};
}

TEST(PCXReaderTest, PixelLayoutsAndTheResolutionDefault) {
  // 4 bits, width 3: high nibble of byte 0, low nibble of byte 0, high nibble of byte 1.
  const TPCXImage four = ReadPCX(Pcx(0, 4, 3, 1, 1, 2, {0x12, 0x3F}));
  std::vector<uint8_t> expected;
  for (int index : {1, 2, 3}) {
    const std::vector<uint8_t> c = HeaderColour(index);
    expected.insert(expected.end(), c.begin(), c.end());
  }
  EXPECT_EQ(RgbOf(four.picture), expected);
  // 1 bit, width 10: ten pixels, set bits white; the padding bits are not pixels.
  const TPCXImage one = ReadPCX(Pcx(1, 1, 10, 1, 1, 2, {0xC1, 0xA5, 0xC1, 0x7F}));
  std::string shown;
  const std::vector<uint8_t> rgb = RgbOf(one.picture);
  for (size_t i = 0; i < rgb.size(); i += 3) shown += rgb[i] == 255 ? 'W' : 'B';
  EXPECT_EQ(shown, "WBWBBWBWBW");
  // Resolution fields 0 give the default; 300 and 300 give 300 by 300.
  EXPECT_EQ(one.resolution, kPCXDefaultResolution);
  EXPECT_EQ(ReadPCX(Pcx(0, 4, 3, 1, 1, 2, {0, 0}, 300, 300)).resolution, (TResolution{300, 300}));
  EXPECT_EQ(ReadPCX(Pcx(0, 4, 3, 1, 1, 2, {0, 0}, 300, 0)).resolution, kPCXDefaultResolution);
  // Three planes: red, green and blue lines in turn; run-length data equals the plain data.
  const TPCXImage plain = ReadPCX(Pcx(0, 8, 2, 1, 3, 2, {1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(RgbOf(plain.picture), (std::vector<uint8_t>{1, 3, 5, 2, 4, 6}));
  EXPECT_EQ(ReadPCX(Pcx(1, 8, 2, 1, 3, 2, {1, 2, 3, 4, 0xC2, 5})).picture,
            ReadPCX(Pcx(0, 8, 2, 1, 3, 2, {1, 2, 3, 4, 5, 5})).picture);
  // 8 bits: the last 768 bytes are the palette (here also read as the first row's data).
  std::vector<uint8_t> data(769, 0);
  data[0] = 2;
  data[1 + 3 * 2] = 0x11, data[1 + 3 * 2 + 1] = 0x22, data[1 + 3 * 2 + 2] = 0x33;
  EXPECT_EQ(RgbOf(ReadPCX(Pcx(0, 8, 1, 1, 1, 1, data)).picture),
            (std::vector<uint8_t>{0x11, 0x22, 0x33}));
  // 2 bits: the rows stay black.
  EXPECT_EQ(ReadPCX(Pcx(0, 2, 4, 1, 1, 2, {0xFF, 0xFF})).picture, TPicture(4, 1));
}

TEST(PCXReaderTest, RefusesMalformedFiles) {
  std::vector<uint8_t> not_pcx = Pcx(0, 8, 2, 1, 3, 2, {1, 2, 3, 4, 5, 6});
  not_pcx[0] = 11;
  std::vector<uint8_t> inverted = Pcx(0, 8, 2, 1, 3, 2, {1, 2, 3, 4, 5, 6});
  inverted[8] = 0, inverted[4] = 5;  // x max 0 below x min 5
  std::vector<uint8_t> cut = Pcx(0, 8, 1, 1, 3, 1, {1, 2, 3});
  cut.resize(60);
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    bool valid;
  } cases[] = {
      {"valid 24-bit file", Pcx(0, 8, 2, 1, 3, 2, {1, 2, 3, 4, 5, 6}), true},
      {"first byte 11", not_pcx, false},
      {"four planes", Pcx(0, 8, 2, 1, 4, 2, std::vector<uint8_t>(8, 1)), false},
      {"two planes", Pcx(0, 8, 2, 1, 2, 2, std::vector<uint8_t>(4, 1)), false},
      {"encoding 2", Pcx(2, 8, 2, 1, 3, 2, std::vector<uint8_t>(6, 1)), false},
      {"16 bits per plane", Pcx(0, 16, 2, 1, 1, 4, std::vector<uint8_t>(800, 1)), false},
      {"three planes of 4 bits", Pcx(0, 4, 2, 1, 3, 2, std::vector<uint8_t>(6, 1)), false},
      {"run past the end of the file", Pcx(1, 8, 2, 1, 3, 2, {1, 2, 3, 4, 5, 0xC2}), false},
      {"plain data past the end of the file", Pcx(0, 8, 2, 2, 3, 2, {1, 2, 3, 4, 5, 6}), false},
      {"x max below x min", inverted, false},
      {"line too short for the width", Pcx(0, 8, 4, 1, 3, 2, std::vector<uint8_t>(12, 1)), false},
      {"8-bit file shorter than its palette", Pcx(0, 8, 1, 1, 1, 1, {0}), false},
      {"header cut short", cut, false},
  };
  EXPECT_THROW(ReadPCX(Pcx(0, 8, 2, 1, 3, 2, {1, 2, 3, 4, 5, 6}), kPCXDefaultResolution, 1),
               EInvalidGraphic);  // above the caller's pixel limit
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ReadPCX(c.file);
      EXPECT_TRUE(c.valid);
    } catch (const EInvalidGraphic& error) {
      EXPECT_FALSE(c.valid);
      EXPECT_STREQ(error.what(), kUnrecognizedPcx);
    }
  }
}

TEST(PCXLineTest, RunLengthDecoding) {
  const struct {
    const char* name;
    std::vector<uint8_t> data;
    size_t line;
    std::vector<uint8_t> expected;  // empty: refused
    size_t consumed;
  } cases[] = {
      {"bytes below 192 are data", {1, 191, 7}, 3, {1, 191, 7}, 3},
      {"a run, then data", {0xC3, 200, 9}, 4, {200, 200, 200, 9}, 3},
      {"a count of 0 adds nothing", {0xC0, 5, 6}, 1, {6}, 3},
      {"the part of a run beyond the line is dropped", {0xFF, 4, 8}, 2, {4, 4}, 2},
      {"a run cut by the end of the data", {0xC2}, 2, {}, 0},
      {"data that ends before the line is full", {1, 2}, 3, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TByteReader reader(c.data, kUnrecognizedPcx);
    std::vector<uint8_t> line(c.line);
    if (c.expected.empty()) {
      EXPECT_THROW(DecodePCXLine(reader, line, true), EInvalidGraphic);
      continue;
    }
    DecodePCXLine(reader, line, true);
    EXPECT_EQ(line, c.expected);
    EXPECT_EQ(reader.Position(), c.consumed);
  }
}

}  // namespace
}  // namespace sk
