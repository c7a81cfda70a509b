// The TIFF reader against libtiff on files made by tiffcp, tiffcrop, ImageMagick and Pillow; its
// documented edge cases and crafted malformed files; and its CCITT, LZW and PackBits decoders
// each on their own.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "imaging/ByteReader.h"
#include "imaging/ImageIO.h"
#include "imaging/InvalidGraphic.h"
#include "imaging/Monochrome.h"
#include "imaging/PackBits.h"
#include "imaging/TIFFCCITT.h"
#include "imaging/TIFFLZW.h"
#include "imaging/TIFFReader.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using test::ReadFileBytes;
using test::RgbOf;

// ---- Against libtiff ----

// Made at build time by tests/scripts/make_tiff_fixtures.py, which decodes each with libtiff.
struct TFixture {
  std::string name;
  int width = 0;
  int height = 0;
  int pages = 0;
  std::string dpi_x, dpi_y;  // "-" when the file gives no resolution
};

std::vector<TFixture> Fixtures() {
  std::ifstream manifest(SK_IMAGING_FIXTURES_DIR "/tiff/manifest.txt");
  std::vector<TFixture> fixtures;
  TFixture f;
  while (manifest >> f.name >> f.width >> f.height >> f.pages >> f.dpi_x >> f.dpi_y) {
    fixtures.push_back(f);
  }
  return fixtures;
}

// The first page as TImageIO shows it: bilevel pages expanded to black and white.
TPicture Shown(const TTIFFPage& page) {
  return page.bilevel ? ExpandMonochrome(*page.bilevel) : *page.picture;
}

TEST(TIFFReaderTest, DecodesEveryFixtureAsLibtiffDoes) {
  const std::vector<TFixture> fixtures = Fixtures();
  ASSERT_GE(fixtures.size(), 50u);
  for (const TFixture& f : fixtures) {
    SCOPED_TRACE(f.name);
    const std::string base = SK_IMAGING_FIXTURES_DIR "/tiff/" + f.name;
    const std::vector<uint8_t> file = ReadFileBytes(base + ".tif");
    TTIFFPage page;
    ASSERT_NO_THROW(page = ReadTIFF(file, 0));
    ASSERT_TRUE(page.HasPage());
    EXPECT_EQ(page.page_count, f.pages);
    if (f.dpi_x == "-") {
      EXPECT_FALSE(page.resolution);
    } else {
      ASSERT_TRUE(page.resolution);
      EXPECT_EQ(std::to_string(page.resolution->x), f.dpi_x);
      EXPECT_EQ(std::to_string(page.resolution->y), f.dpi_y);
    }
    const TPicture picture = Shown(page);
    ASSERT_EQ(picture.Width(), f.width);
    ASSERT_EQ(picture.Height(), f.height);
    EXPECT_TRUE(RgbOf(picture) == ReadFileBytes(base + ".rgb")) << "pixels differ";
  }
}

TEST(TIFFReaderTest, ReadsLaterPagesAndNoPageBeyondTheChain) {
  const std::vector<uint8_t> file = ReadFileBytes(SK_IMAGING_FIXTURES_DIR "/tiff/pages3.tif");
  const TTIFFPage second = ReadTIFF(file, 1);
  EXPECT_TRUE(second.bilevel);  // the text page
  EXPECT_EQ(second.page_count, 3);
  const TTIFFPage third = ReadTIFF(file, 2);
  const TTIFFPage first = ReadTIFF(file, 0);
  EXPECT_EQ(*third.picture, *first.picture);
  const TTIFFPage beyond = ReadTIFF(file, 3);
  EXPECT_FALSE(beyond.HasPage());
  EXPECT_EQ(beyond.page_count, 3);
}

// ---- Crafted files ----

// One directory entry; values longer than four bytes go out of line, as writers place them.
struct TField {
  uint16_t tag;
  uint16_t type;  // 3 SHORT, 4 LONG, 5 RATIONAL
  std::vector<uint32_t> values;
};

// A TIFF of the given byte order: the header, `data` at offset 8, the out-of-line values, and one
// directory (whose next offset is next_ifd, 0 ends the chain). Returns the file and the offset of
// the directory.
struct TCrafted {
  std::vector<uint8_t> bytes;
  uint32_t ifd = 0;
};

TCrafted Craft(bool big_endian, const std::vector<uint8_t>& data, std::vector<TField> fields,
               uint32_t next_ifd = 0) {
  std::vector<uint8_t> out;
  auto put16 = [&](std::vector<uint8_t>& v, uint32_t x) {
    if (big_endian) {
      v.insert(v.end(), {uint8_t(x >> 8), uint8_t(x)});
    } else {
      v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8)});
    }
  };
  auto put32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    if (big_endian) {
      v.insert(v.end(), {uint8_t(x >> 24), uint8_t(x >> 16), uint8_t(x >> 8), uint8_t(x)});
    } else {
      v.insert(v.end(), {uint8_t(x), uint8_t(x >> 8), uint8_t(x >> 16), uint8_t(x >> 24)});
    }
  };
  out.insert(out.end(), {uint8_t(big_endian ? 'M' : 'I'), uint8_t(big_endian ? 'M' : 'I')});
  put16(out, 42);
  put32(out, 0);  // patched below
  out.insert(out.end(), data.begin(), data.end());
  if (out.size() % 2 != 0) out.push_back(0);
  std::vector<std::vector<uint8_t>> packed;
  for (const TField& f : fields) {
    std::vector<uint8_t> v;
    for (uint32_t x : f.values) {
      if (f.type == 3) put16(v, x);
      if (f.type == 4) put32(v, x);
      if (f.type == 5) put32(v, x), put32(v, 1);
    }
    packed.push_back(v);
  }
  std::vector<uint32_t> fields_at(fields.size());
  for (size_t i = 0; i < fields.size(); ++i) {
    if (packed[i].size() > 4) {
      fields_at[i] = static_cast<uint32_t>(out.size());
      out.insert(out.end(), packed[i].begin(), packed[i].end());
    }
  }
  TCrafted crafted;
  crafted.ifd = static_cast<uint32_t>(out.size());
  put16(out, static_cast<uint32_t>(fields.size()));
  for (size_t i = 0; i < fields.size(); ++i) {
    put16(out, fields[i].tag);
    put16(out, fields[i].type);
    put32(out, static_cast<uint32_t>(fields[i].values.size()));
    if (packed[i].size() > 4) {
      put32(out, fields_at[i]);
    } else {
      std::vector<uint8_t> field = packed[i];
      field.resize(4, 0);
      out.insert(out.end(), field.begin(), field.end());
    }
  }
  put32(out, next_ifd);
  std::vector<uint8_t> header;
  put32(header, crafted.ifd);
  std::copy(header.begin(), header.end(), out.begin() + 4);
  crafted.bytes = out;
  return crafted;
}

// An uncompressed one-strip page of the given photometric, samples and bits, data at offset 8.
std::vector<TField> PlainPage(uint32_t width, uint32_t height, uint32_t photometric,
                              uint32_t samples, uint32_t bits, uint32_t byte_count) {
  return {
      {256, 3, {width}},       {257, 3, {height}}, {258, 3, std::vector<uint32_t>(samples, bits)},
      {262, 3, {photometric}}, {273, 4, {8}},      {277, 3, {samples}},
      {279, 4, {byte_count}}};
}

std::vector<TField> With(std::vector<TField> fields, const TField& field) {
  for (TField& f : fields) {
    if (f.tag == field.tag) {
      f = field;
      return fields;
    }
  }
  fields.push_back(field);
  return fields;
}

std::vector<TField> Without(std::vector<TField> fields, uint16_t tag) {
  std::erase_if(fields, [&](const TField& f) { return f.tag == tag; });
  return fields;
}

std::vector<uint8_t> Rgb(const TPicture& picture) {
  return RgbOf(picture);
}

TEST(TIFFReaderTest, BilevelPolarityFollowsThePhotometricAndTheCoding) {
  // Uncompressed rows hold the file's bits: 0x0F is four white then four black pixels for
  // WhiteIsZero and the opposite for BlackIsZero.
  for (const bool big_endian : {false, true}) {
    SCOPED_TRACE(big_endian);
    const TTIFFPage white_is_zero =
        ReadTIFF(Craft(big_endian, {0x0F}, PlainPage(8, 1, 0, 1, 1, 1)).bytes, 0);
    EXPECT_EQ(Rgb(Shown(white_is_zero)),
              (std::vector<uint8_t>{255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255,
                                    0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0}));
    const TTIFFPage black_is_zero =
        ReadTIFF(Craft(big_endian, {0x0F}, PlainPage(8, 1, 1, 1, 1, 1)).bytes, 0);
    EXPECT_EQ(Rgb(Shown(black_is_zero)),
              (std::vector<uint8_t>{0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,
                                    255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}));
  }
  // Modified Huffman: white 4 (1011), black 4 (011). CCITT white runs show white for
  // WhiteIsZero and black for BlackIsZero.
  const std::vector<uint8_t> mh = {0b10110110};
  const auto ccitt = [&](uint32_t photometric) {
    return Rgb(Shown(ReadTIFF(
        Craft(false, mh, With(PlainPage(8, 1, photometric, 1, 1, 1), {259, 3, {2}})).bytes, 0)));
  };
  EXPECT_EQ(ccitt(0),
            Rgb(Shown(ReadTIFF(Craft(false, {0x0F}, PlainPage(8, 1, 0, 1, 1, 1)).bytes, 0))));
  EXPECT_EQ(ccitt(1),
            Rgb(Shown(ReadTIFF(Craft(false, {0xF0}, PlainPage(8, 1, 0, 1, 1, 1)).bytes, 0))));
}

TEST(TIFFReaderTest, PageParametersAndTheirDefaults) {
  // A 4-bit greyscale value 15 is 240, 8 is 128; WhiteIsZero turns them round.
  EXPECT_EQ(Rgb(*ReadTIFF(Craft(false, {0xF8}, PlainPage(2, 1, 1, 1, 4, 1)).bytes, 0).picture),
            (std::vector<uint8_t>{240, 240, 240, 128, 128, 128}));
  EXPECT_EQ(Rgb(*ReadTIFF(Craft(false, {0xF8}, PlainPage(2, 1, 0, 1, 4, 1)).bytes, 0).picture),
            (std::vector<uint8_t>{15, 15, 15, 127, 127, 127}));
  // A 4-bit palette page looks each value up in the map (high bytes of the 16-bit entries).
  std::vector<uint32_t> map(48, 0);
  map[1] = 0x1100, map[16 + 1] = 0x2200, map[32 + 1] = 0x33FF, map[15] = 0xFF00;
  const TTIFFPage palette = ReadTIFF(
      Craft(false, {0x1F, 0x10}, With(PlainPage(3, 1, 3, 1, 4, 2), {320, 3, map})).bytes, 0);
  EXPECT_EQ(Rgb(*palette.picture),
            (std::vector<uint8_t>{0x11, 0x22, 0x33, 0xFF, 0, 0, 0x11, 0x22, 0x33}));
  // Resolution: unit 3 with 118/1 is 299 dpi; no resolution fields give 0 by 0 (unit inch);
  // an unknown unit gives none.
  const std::vector<TField> rgb = PlainPage(1, 1, 2, 3, 8, 3);
  const std::vector<TField> cm =
      With(With(With(rgb, {282, 5, {118}}), {283, 5, {59}}), {296, 3, {3}});
  EXPECT_EQ(ReadTIFF(Craft(true, {1, 2, 3}, cm).bytes, 0).resolution, (TResolution{299, 149}));
  EXPECT_EQ(ReadTIFF(Craft(true, {1, 2, 3}, rgb).bytes, 0).resolution, (TResolution{0, 0}));
  EXPECT_FALSE(ReadTIFF(Craft(true, {1, 2, 3}, With(cm, {296, 3, {4}})).bytes, 0).resolution);
  // The orientation is reported, not applied.
  EXPECT_EQ(ReadTIFF(Craft(false, {1, 2, 3}, With(rgb, {274, 3, {6}})).bytes, 0).orientation, 6);
  // Without a photometric interpretation a page is RGB.
  EXPECT_EQ(Rgb(*ReadTIFF(Craft(false, {1, 2, 3}, Without(rgb, 262)).bytes, 0).picture),
            (std::vector<uint8_t>{1, 2, 3}));
}

TEST(TIFFReaderTest, TwoShortsFitInTheEntryAndATiledPageIsBlank) {
  // Two strips of one row each: offsets and counts are two SHORTs held in their entries.
  std::vector<TField> fields = PlainPage(2, 2, 1, 1, 8, 0);
  fields = With(With(With(fields, {273, 3, {8, 10}}), {279, 3, {2, 2}}), {278, 3, {1}});
  EXPECT_EQ(Rgb(*ReadTIFF(Craft(false, {1, 2, 3, 4}, fields).bytes, 0).picture),
            (std::vector<uint8_t>{1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}));
  // Tiles instead of strips: a black picture of the page's size.
  std::vector<TField> tiled = Without(Without(PlainPage(5, 3, 2, 3, 8, 0), 273), 279);
  tiled.push_back({322, 3, {16}});
  tiled.push_back({323, 3, {16}});
  tiled.push_back({324, 4, {8}});
  tiled.push_back({325, 4, {3}});
  const TTIFFPage page = ReadTIFF(Craft(false, {9, 9, 9}, tiled).bytes, 0);
  EXPECT_EQ(*page.picture, TPicture(5, 3));
}

std::string Outcome(const std::vector<uint8_t>& file) {
  try {
    ReadTIFF(file, 0);
    return "";
  } catch (const EInvalidGraphic& error) {
    return error.what();
  }
}

TEST(TIFFReaderTest, RefusesMalformedFilesWithTheirMessages) {
  const std::vector<TField> grey = PlainPage(4, 2, 1, 1, 8, 8);
  const std::vector<uint8_t> pixels(8, 7);
  std::vector<uint8_t> bad_order = Craft(false, pixels, grey).bytes;
  bad_order[1] = 'M';
  std::vector<uint8_t> looping = Craft(false, pixels, grey).bytes;
  {
    // The directory's next offset points back at itself.
    const TCrafted c = Craft(false, pixels, grey, 0);
    looping = c.bytes;
    const size_t next = c.ifd + 2 + 12 * grey.size();
    std::memcpy(looping.data() + next, &c.ifd, 4);
  }
  std::vector<uint8_t> cut_directory = Craft(false, pixels, grey).bytes;
  cut_directory.resize(cut_directory.size() - 10);
  // LZW: 9-bit codes 256 (clear), 300 (beyond the table).
  const std::vector<uint8_t> bad_lzw = {0x80, 0x4B, 0x00, 0x00};
  // PackBits: a literal run of 5 bytes in a row of 4.
  const std::vector<uint8_t> long_run = {4, 1, 2, 3, 4, 5, 0, 0, 0};
  // Group 4: 0000001 starts an extension code (uncompressed mode).
  const std::vector<uint8_t> extension = {0x03, 0xC0, 0, 0};
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    const char* message;
  } cases[] = {
      {"valid page", Craft(false, pixels, grey).bytes, ""},
      {"too short for a header", {'I', 'I', 42, 0}, kUnrecognizedTiff},
      {"byte order IM", bad_order, kUnrecognizedTiff},
      {"directory chain that loops", looping, kUnrecognizedTiff},
      {"directory past the end", cut_directory, kUnrecognizedTiff},
      {"first directory past the end", {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0}, kUnrecognizedTiff},
      {"bits per sample 8,8,16",
       Craft(false, pixels, With(PlainPage(1, 1, 2, 3, 8, 3), {258, 3, {8, 8, 16}})).bytes,
       kInvalidTiffStream},
      {"16-bit greyscale", Craft(false, pixels, PlainPage(2, 2, 1, 1, 16, 8)).bytes,
       kUnrecognizedTiff},
      {"RGB with one sample", Craft(false, pixels, PlainPage(2, 2, 2, 1, 8, 4)).bytes,
       kUnrecognizedTiff},
      {"palette without a colour map", Craft(false, pixels, PlainPage(4, 2, 3, 1, 8, 8)).bytes,
       kUnrecognizedTiff},
      {"photometric 5 (CMYK)", Craft(false, pixels, PlainPage(2, 1, 5, 4, 8, 8)).bytes,
       kUnrecognizedTiff},
      {"compression 7 (JPEG)", Craft(false, pixels, With(grey, {259, 3, {7}})).bytes,
       kUnrecognizedTiff},
      {"Group 4 on an 8-bit page", Craft(false, pixels, With(grey, {259, 3, {4}})).bytes,
       kUnrecognizedTiff},
      {"strip offset past the end", Craft(false, pixels, With(grey, {273, 4, {4000}})).bytes,
       kUnrecognizedTiff},
      {"strip byte count past the end", Craft(false, pixels, With(grey, {279, 4, {4000}})).bytes,
       kUnrecognizedTiff},
      {"strip byte count short", Craft(false, pixels, With(grey, {279, 4, {5}})).bytes,
       kUnrecognizedTiff},
      {"strip byte counts missing", Craft(false, pixels, Without(grey, 279)).bytes,
       kUnrecognizedTiff},
      {"rows per strip 0", Craft(false, pixels, With(grey, {278, 3, {0}})).bytes,
       kUnrecognizedTiff},
      {"more strip offsets than byte counts",
       Craft(false, pixels, With(grey, {273, 4, std::vector<uint32_t>(2, 8)})).bytes,
       kUnrecognizedTiff},
      {"width x height beyond the pixel limit",
       Craft(false, pixels, With(With(grey, {256, 4, {0x10000}}), {257, 4, {0x10000}})).bytes,
       kUnrecognizedTiff},
      {"width 2^32 - 1", Craft(false, pixels, With(grey, {256, 4, {0xFFFFFFFF}})).bytes,
       kUnrecognizedTiff},
      {"LZW string code before any entry",
       Craft(false, bad_lzw, With(With(grey, {259, 3, {5}}), {279, 4, {4}})).bytes,
       kUnrecognizedTiff},
      {"PackBits run across the row end",
       Craft(false, long_run, With(With(grey, {259, 3, {32773}}), {279, 4, {9}})).bytes,
       kUnrecognizedTiff},
      {"CCITT uncompressed mode",
       Craft(false, extension,
             With(With(PlainPage(8, 1, 0, 1, 1, 4), {259, 3, {4}}), {279, 4, {4}}))
           .bytes,
       kUnrecognizedTiff},
      {"CCITT data that ends inside the row",
       Craft(false, {0b10110000}, With(PlainPage(16, 1, 0, 1, 1, 1), {259, 3, {2}})).bytes,
       kUnrecognizedTiff},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Outcome(c.file), c.message);
  }
  // A caller's lower pixel limit refuses pages above it.
  const std::vector<uint8_t> eight_pixels = Craft(false, pixels, grey).bytes;
  EXPECT_NO_THROW(ReadTIFF(eight_pixels, 0, 8));
  EXPECT_THROW(ReadTIFF(eight_pixels, 0, 7), EInvalidGraphic);
}

// Inputs found by fuzz/TIFFFuzz.cpp, each named after what is odd about it: they read or fail with
// the reader's message, and never touch memory they do not own (the suite runs under ASan).
TEST(TIFFReaderTest, ReplaysTheFuzzersFindings) {
  const std::filesystem::path dir = SK_TEST_DATA_DIR "/tiff/malformed";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    SCOPED_TRACE(entry.path().filename().string());
    ++count;
    const std::vector<uint8_t> file = ReadFileBytes(entry.path().string());
    for (const int page : {0, 1}) {
      try {
        ReadTIFF(file, page);
      } catch (const EInvalidGraphic& error) {
        EXPECT_TRUE(std::string(error.what()) == kUnrecognizedTiff ||
                    std::string(error.what()) == kInvalidTiffStream);
      }
    }
  }
  EXPECT_GE(count, 1);
}

TEST(TIFFReaderTest, LzwDataThatEndsEarlyLeavesTheRestOfTheStripBlank) {
  // Clear, 'A' (65), end: one byte of a 4 x 2 greyscale page.
  const std::vector<uint8_t> lzw = {0x80, 0x10, 0x60, 0x20};  // 256, 65, 257 in 9 bits
  const TTIFFPage page = ReadTIFF(
      Craft(false, lzw, With(With(PlainPage(4, 2, 1, 1, 8, 4), {259, 3, {5}}), {279, 4, {4}}))
          .bytes,
      0);
  std::vector<uint8_t> expected(24, 0);
  std::fill(expected.begin(), expected.begin() + 3, 65);
  EXPECT_EQ(Rgb(*page.picture), expected);
}

// ---- The decoders alone ----

TEST(PackBitsTest, DecodesRowsAndRefusesRunsPastTheRow) {
  // The example of TIFF 6.0, section 9, as one row of 24 bytes.
  const std::vector<uint8_t> packed = {0xFE, 0xAA, 0x02, 0x80, 0x00, 0x2A, 0xFD, 0xAA,
                                       0x03, 0x80, 0x00, 0x2A, 0x22, 0xF7, 0xAA};
  const std::vector<uint8_t> unpacked = {0xAA, 0xAA, 0xAA, 0x80, 0x00, 0x2A, 0xAA, 0xAA,
                                         0xAA, 0xAA, 0x80, 0x00, 0x2A, 0x22, 0xAA, 0xAA,
                                         0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA};
  const struct {
    const char* name;
    std::vector<uint8_t> data;
    size_t row;
    std::vector<uint8_t> expected;  // empty: refused
    size_t consumed;
  } cases[] = {
      {"standard example", packed, 24, unpacked, packed.size()},
      {"-128 is skipped", {0x80, 0x01, 7, 8, 0x80}, 2, {7, 8}, 4},
      {"two rows, the reader left between them", {0x00, 5, 0xFF, 6}, 1, {5}, 2},
      {"repeat across the row end", {0xFD, 1}, 3, {}, 0},
      {"literal across the row end", {0x03, 1, 2, 3, 4}, 3, {}, 0},
      {"data ends inside the row", {0x02, 1, 2}, 3, {}, 0},
      {"no data", {}, 1, {}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TByteReader reader(c.data, kUnrecognizedTiff);
    std::vector<uint8_t> row(c.row);
    if (c.expected.empty()) {
      EXPECT_THROW(UnpackBitsRow(reader, row), EInvalidGraphic);
      continue;
    }
    UnpackBitsRow(reader, row);
    EXPECT_EQ(row, c.expected);
    EXPECT_EQ(reader.Position(), c.consumed);
  }
}

// Packs codes of the given widths most significant bit first.
std::vector<uint8_t> PackCodes(const std::vector<std::pair<int, int>>& codes) {
  std::vector<uint8_t> out;
  uint64_t bits = 0;
  int count = 0;
  for (const auto& [code, width] : codes) {
    bits = bits << width | static_cast<uint64_t>(code);
    count += width;
    while (count >= 8) {
      out.push_back(static_cast<uint8_t>(bits >> (count - 8)));
      count -= 8;
    }
  }
  if (count > 0) out.push_back(static_cast<uint8_t>(bits << (8 - count)));
  return out;
}

TEST(TIFFLZWTest, DecodesRowsAcrossStringsAndTheCodeBeingDefined) {
  // "ABABABA": A B 258(AB) 260(ABA, being defined) then end.
  const std::vector<uint8_t> data =
      PackCodes({{256, 9}, {'A', 9}, {'B', 9}, {258, 9}, {260, 9}, {257, 9}});
  TTIFLZWDec decoder(data, 3);
  const auto row = [&] {
    const std::span<const uint8_t> r = decoder.NextRow();
    return std::string(r.begin(), r.end());
  };
  EXPECT_EQ(row(), "ABA");
  EXPECT_EQ(row(), "BAB");
  EXPECT_FALSE(decoder.Exhausted());
  EXPECT_EQ(row(), "A");  // the data ended
  EXPECT_TRUE(decoder.Exhausted());
}

TEST(TIFFLZWTest, WidensOneCodeEarlierThanGIF) {
  // After a clear, 253 literals define entries 258..510; the entry added with the 254th code
  // makes the next code 511 and the width 10, so the end code that follows is 10 bits wide.
  std::vector<std::pair<int, int>> codes = {{256, 9}};
  for (int i = 0; i < 254; ++i) codes.push_back({i % 200, 9});
  codes.push_back({257, 10});
  const std::vector<uint8_t> data = PackCodes(codes);
  TTIFLZWDec decoder(data, 254);
  EXPECT_EQ(decoder.NextRow()[253], 253 % 200);
  EXPECT_TRUE(decoder.NextRow().empty());
  EXPECT_TRUE(decoder.Exhausted());
  // A 9-bit end code there (the GIF rule), followed by a 0, reads as the 10-bit code 514, beyond
  // the table.
  codes.back() = {257, 9};
  codes.push_back({0, 9});
  const std::vector<uint8_t> gif_like = PackCodes(codes);
  TTIFLZWDec misread(gif_like, 254);
  misread.NextRow();
  EXPECT_THROW(misread.NextRow(), EInvalidGraphic);
}

TEST(TIFFLZWTest, RefusesCodesItCannotDecode) {
  const struct {
    const char* name;
    std::vector<uint8_t> data;
  } cases[] = {
      {"code beyond the next entry", PackCodes({{256, 9}, {'A', 9}, {300, 9}})},
      {"string code right after a clear", PackCodes({{256, 9}, {258, 9}})},
      {"string code as the first code", PackCodes({{258, 9}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTIFLZWDec decoder(c.data, 8);
    EXPECT_THROW(decoder.NextRow(), EInvalidGraphic);
  }
}

// A row as a string of 'W' and 'B'.
std::string Pixels(std::span<const uint8_t> bits, int width) {
  std::string s;
  for (int x = 0; x < width; ++x) s += (bits[x / 8] & (0x80 >> (x % 8))) != 0 ? 'W' : 'B';
  return s;
}

// Bits written as a string of '0' and '1' (spaces for reading), packed most significant first.
std::vector<uint8_t> Bits(const std::string& text) {
  std::vector<std::pair<int, int>> codes;
  for (char c : text) {
    if (c == '0' || c == '1') codes.push_back({c - '0', 1});
  }
  return PackCodes(codes);
}

TEST(CCITTTest, DecodesRowsOfEachCoding) {
  const struct {
    const char* name;
    TCCITTMode mode;
    int width;
    std::string bits;
    std::vector<std::string> rows;  // empty: refused
  } cases[] = {
      // Row 2 is W2 B5 W1; read from the pad bit on it would be other runs.
      {"MH rows start at byte boundaries",
       TCCITTMode::kModifiedHuffman,
       8,
       "1011 011 0"
       "0111 0011 000111",
       {"WWWWBBBB", "WWBBBBBW"}},
      {"G3 1D rows follow bit by bit, EOLs (with fill zeros) skipped",
       TCCITTMode::kGroup3OneD,
       8,
       "000000000001 1011 011 0000 000000000001 0111 0011 000111",
       {"WWWWBBBB", "WWBBBBBW"}},
      {"an EOL inside a 1D row makes the rest white",
       TCCITTMode::kGroup3OneD,
       8,
       "0111 10 000000000001 1000 10 0111",
       {"WWBBBWWW", "WWWBBBWW"}},
      {"a white run of 0 starts a row with black",
       TCCITTMode::kGroup3OneD,
       4,
       "00110101 011",
       {"BBBB"}},
      {"make-up codes then a terminating code",
       TCCITTMode::kGroup3OneD,
       1900,
       "11011 00110101"
       "0000001111 0000110111"
       "011000 00101101"
       "0000001111 0000110111",
       {std::string(64, 'W') + std::string(64, 'B') + std::string(1708, 'W') +
        std::string(64, 'B')}},
      {"extended make-up codes, white and black",
       TCCITTMode::kGroup3OneD,
       2600,
       "000000011111 00101001"
       "00110101 000000011111 000001101100",
       {std::string(2600, 'W'), std::string(2600, 'B')}},
      // Row 1: H W2 B3, then V0 with b1 at the row's end. Row 2: V0 three times copies row 1.
      // Row 3: pass to b2 = 5, VL1 at 7, V0.
      {"G4 vertical, horizontal and pass modes",
       TCCITTMode::kGroup4,
       8,
       "001 0111 10 1"
       "1 1 1"
       "0001 010 1",
       {"WWBBBWWW", "WWBBBWWW", "WWWWWWWB"}},
      {"G3 2D: the tag bit after each EOL chooses the coding",
       TCCITTMode::kGroup3TwoD,
       8,
       "000000000001 1 0111 10 1000"
       "000000000001 0 1 1 1",
       {"WWBBBWWW", "WWBBBWWW"}},
      // Row 1: VL3 from b1 = 8 turns black at 5, then an EOL; row 2 starts at that EOL.
      {"an EOL inside a 2D row keeps the current colour",
       TCCITTMode::kGroup3TwoD,
       8,
       "0000010 000000000001 1 1100 10",
       {"WWWWWBBB", "WWWWWBBB"}},
      {"a code with no table entry", TCCITTMode::kModifiedHuffman, 8, "00000000 10000000", {}},
      {"data ends inside a row", TCCITTMode::kGroup4, 8, "001 0111", {}},
      // Row 1 is WBWBWWWW; in row 2, VL2 from b1 = 2 would go back before a0 = 1.
      {"vertical mode before a0",
       TCCITTMode::kGroup4,
       8,
       "001 000111 010 001 000111 010 1"
       "1 000010",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> data = Bits(c.bits);
    TCCITTDecoder decoder(data, c.width, c.mode, false);
    std::vector<uint8_t> row(static_cast<size_t>(c.width + 7) / 8);
    if (c.rows.empty()) {
      EXPECT_THROW(
          {
            for (int i = 0; i < 4; ++i) decoder.NextRow(row);
          },
          EInvalidGraphic);
      continue;
    }
    for (const std::string& expected : c.rows) {
      decoder.NextRow(row);
      EXPECT_EQ(Pixels(row, c.width), expected);
    }
  }
}

TEST(CCITTTest, FillOrder2TakesEachBytesBitsInReverse) {
  std::vector<uint8_t> data = Bits("1011 011 0");
  for (uint8_t& b : data) {
    uint8_t r = 0;
    for (int i = 0; i < 8; ++i) r |= static_cast<uint8_t>(((b >> i) & 1) << (7 - i));
    b = r;
  }
  TCCITTDecoder decoder(data, 8, TCCITTMode::kModifiedHuffman, true);
  std::vector<uint8_t> row(1);
  decoder.NextRow(row);
  EXPECT_EQ(Pixels(row, 8), "WWWWBBBB");
}

}  // namespace
}  // namespace sk
