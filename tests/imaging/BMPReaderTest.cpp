// The BMP reader against ImageMagick and Pillow on every variant, malformed files that must fail
// cleanly, and size limits and decompression bombs refused before they cost memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "imaging/BMPReader.h"
#include "imaging/InvalidGraphic.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using test::ReadFileBytes;
using test::RgbOf;

// The fixtures are made at build time by tests/scripts/make_bmp_fixtures.py, which also decodes
// them with the oracles.
struct TFixture {
  int width = 0;
  int height = 0;
  std::string oracle;
};

class TBMPFixtures {
 public:
  static const TBMPFixtures& Get() {
    static const TBMPFixtures fixtures;
    return fixtures;
  }
  std::string File(const std::string& name, const char* extension) const {
    return dir_ + "/" + name + extension;
  }
  const std::map<std::string, TFixture>& All() const { return fixtures_; }

 private:
  TBMPFixtures() {
    std::ifstream manifest(dir_ + "/manifest.txt");
    std::string name;
    TFixture fixture;
    while (manifest >> name >> fixture.width >> fixture.height >> fixture.oracle) {
      fixtures_[name] = fixture;
    }
  }
  std::string dir_ = SK_IMAGING_FIXTURES_DIR "/bmp";
  std::map<std::string, TFixture> fixtures_;
};

// Every variant the reader must handle; the first group is built byte by byte by the script, the
// second written by ImageMagick and Pillow.
const char* const kFixtureNames[] = {
    "pal1_info_w13",
    "pal1_core",
    "pal4_info_w7",
    "pal4_short_palette",
    "pal8_info_w5",
    "pal8_short_palette",
    "pal8_top_down",
    "pal8_core",
    "pal8_os2_v2_header",
    "pal8_gap_before_pixels",
    "rgb24_w5",
    "rgb24_top_down",
    "rgb24_core",
    "rgb16_555",
    "rgb16_555_top_down",
    "rgb16_565_bitfields",
    "rgb16_565_v4_header",
    "rgb32_bgrx",
    "rgb32_bitfields_rgbx_v5_header",
    "rgb32_bitfields_xrgb",
    "rle8_deltas",
    "rle4_deltas",
    // Written by the oracles' own writers.
    "im_bmp3_24",
    "im_bmp_v5_24",
    "im_bmp2_core_8",
    "im_bmp3_rle8",
    "im_bmp3_4bit",
    "im_bmp3_1bit",
    "im_rgb565",
    "im_argb1555",
    "pil_24",
    "pil_8",
    "pil_1",
};

class BMPFixtureTest : public testing::TestWithParam<const char*> {};

TEST_P(BMPFixtureTest, ReadsThePixelsTheOracleReads) {
  const TBMPFixtures& fixtures = TBMPFixtures::Get();
  const auto found = fixtures.All().find(GetParam());
  ASSERT_NE(found, fixtures.All().end()) << "the script made no fixture " << GetParam();
  SCOPED_TRACE("oracle: " + found->second.oracle);
  // The vector holds exactly the file, so AddressSanitizer reports any read past its end.
  const std::vector<uint8_t> file = ReadFileBytes(fixtures.File(GetParam(), ".bmp"));
  const TPicture picture = ReadBMP(file);
  EXPECT_EQ(picture.Width(), found->second.width);
  EXPECT_EQ(picture.Height(), found->second.height);
  EXPECT_EQ(RgbOf(picture), ReadFileBytes(fixtures.File(GetParam(), ".rgb")));
}

INSTANTIATE_TEST_SUITE_P(Variants, BMPFixtureTest, testing::ValuesIn(kFixtureNames),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

TEST(BMPReaderTest, EveryTruncationOfACraftedFixtureReadsOrFailsCleanly) {
  const TBMPFixtures& fixtures = TBMPFixtures::Get();
  ASSERT_FALSE(fixtures.All().empty());
  for (const auto& [name, fixture] : fixtures.All()) {
    if (name.starts_with("im_") || name.starts_with("pil_")) continue;  // larger, same paths
    const std::vector<uint8_t> file = ReadFileBytes(fixtures.File(name, ".bmp"));
    for (size_t length = 0; length < file.size(); ++length) {
      const std::vector<uint8_t> prefix(file.begin(), file.begin() + static_cast<long>(length));
      try {
        ReadBMP(prefix);
      } catch (const EInvalidGraphic& error) {
        ASSERT_STREQ(error.what(), kUnrecognizedBmp) << name << " cut to " << length;
      }
    }
  }
}

// ---- Malformed files, each built from a small valid file by changing the bytes named ----

void Put16(std::vector<uint8_t>& file, size_t offset, uint32_t value) {
  file.at(offset) = static_cast<uint8_t>(value);
  file.at(offset + 1) = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& file, size_t offset, uint32_t value) {
  Put16(file, offset, value & 0xFFFF);
  Put16(file, offset + 2, value >> 16);
}

// Offsets in a file with a 40-byte info header.
constexpr size_t kPixelOffset = 10, kHeaderSize = 14, kWidth = 18, kHeight = 22, kBitCount = 28,
                 kCompression = 30, kColoursUsed = 46, kPalette = 54;

// A valid 4 x 2, 8-bit file with a two-entry palette: 14 + 40 + 8 + 2 rows of 4 bytes.
std::vector<uint8_t> Base8Bit() {
  std::vector<uint8_t> file(14 + 40 + 8 + 8, 0);
  file[0] = 'B';
  file[1] = 'M';
  Put32(file, 2, static_cast<uint32_t>(file.size()));
  Put32(file, kPixelOffset, kPalette + 8);
  Put32(file, kHeaderSize, 40);
  Put32(file, kWidth, 4);
  Put32(file, kHeight, 2);
  Put16(file, 26, 1);
  Put16(file, kBitCount, 8);
  Put32(file, kColoursUsed, 2);
  Put32(file, kPalette + 4, 0x00FFFFFF);
  for (size_t i = 0; i < 8; ++i) file[kPalette + 8 + i] = static_cast<uint8_t>(i % 2);
  return file;
}

// A valid 4 x 2 RLE8 file whose codes are `codes`.
std::vector<uint8_t> Rle8(std::vector<uint8_t> codes) {
  std::vector<uint8_t> file = Base8Bit();
  file.resize(kPalette + 8);
  Put32(file, kCompression, 1);
  file.insert(file.end(), codes.begin(), codes.end());
  return file;
}

std::vector<uint8_t> Rle4(std::vector<uint8_t> codes) {
  std::vector<uint8_t> file = Rle8(std::move(codes));
  Put16(file, kBitCount, 4);
  Put32(file, kCompression, 2);
  return file;
}

// A 4 x 1, 16-bit bit-field file whose masks follow the 40-byte header.
std::vector<uint8_t> BitFields16(uint32_t red, uint32_t green, uint32_t blue) {
  std::vector<uint8_t> file = Base8Bit();
  file.resize(kPalette);
  Put32(file, kHeight, 1);
  Put16(file, kBitCount, 16);
  Put32(file, kCompression, 3);
  Put32(file, kColoursUsed, 0);
  for (uint32_t mask : {red, green, blue}) {
    file.insert(file.end(), 4, 0);
    Put32(file, file.size() - 4, mask);
  }
  Put32(file, kPixelOffset, static_cast<uint32_t>(file.size()));
  file.insert(file.end(), 8, 0x11);
  return file;
}

std::vector<uint8_t> Prefix(std::vector<uint8_t> file, size_t length) {
  file.resize(length);
  return file;
}

template <typename Edit>
std::vector<uint8_t> Edited(std::vector<uint8_t> file, Edit edit) {
  edit(file);
  return file;
}

struct TMalformedCase {
  const char* name;
  std::vector<uint8_t> file;
};

std::vector<TMalformedCase> MalformedCases() {
  using F = std::vector<uint8_t>;
  return {
      {"empty_file", {}},
      {"file_header_cut", Prefix(Base8Bit(), 10)},
      {"signature_not_BM", Edited(Base8Bit(), [](F& f) { f[1] = 'A'; })},
      {"info_header_cut", Prefix(Base8Bit(), 40)},
      {"unknown_header_size_41", Edited(Base8Bit(), [](F& f) { Put32(f, kHeaderSize, 41); })},
      {"header_size_past_end", Edited(Base8Bit(), [](F& f) { Put32(f, kHeaderSize, 124); })},
      {"zero_width", Edited(Base8Bit(), [](F& f) { Put32(f, kWidth, 0); })},
      {"zero_height", Edited(Base8Bit(), [](F& f) { Put32(f, kHeight, 0); })},
      {"negative_width", Edited(Base8Bit(), [](F& f) { Put32(f, kWidth, 0xFFFFFFFC); })},
      {"height_minus_2_pow_31", Edited(Base8Bit(), [](F& f) { Put32(f, kHeight, 0x80000000); })},
      {"size_product_overflows_32_bits", Edited(Base8Bit(),
                                                [](F& f) {
                                                  Put32(f, kWidth, 0x7FFFFFFF);
                                                  Put32(f, kHeight, 0x7FFFFFFF);
                                                })},
      {"pixels_over_the_picture_limit", Edited(Base8Bit(),
                                               [](F& f) {
                                                 Put32(f, kWidth, 20000);
                                                 Put32(f, kHeight, 20000);
                                               })},
      {"depth_2_bits", Edited(Base8Bit(), [](F& f) { Put16(f, kBitCount, 2); })},
      {"depth_0_bits", Edited(Base8Bit(), [](F& f) { Put16(f, kBitCount, 0); })},
      {"compression_jpeg", Edited(Base8Bit(), [](F& f) { Put32(f, kCompression, 4); })},
      {"rle8_on_24_bits", Edited(Base8Bit(),
                                 [](F& f) {
                                   Put16(f, kBitCount, 24);
                                   Put32(f, kCompression, 1);
                                 })},
      {"bitfields_on_8_bits", Edited(Base8Bit(), [](F& f) { Put32(f, kCompression, 3); })},
      {"palette_past_end", Edited(Base8Bit(),
                                  [](F& f) {
                                    Put32(f, kColoursUsed, 200);
                                    Put32(f, kPixelOffset, 0);
                                  })},
      {"pixel_offset_past_end", Edited(Base8Bit(), [](F& f) { Put32(f, kPixelOffset, 1000); })},
      {"pixel_offset_inside_headers", Edited(Base8Bit(), [](F& f) { Put32(f, kPixelOffset, 20); })},
      {"pixel_rows_cut", Edited(Base8Bit(), [](F& f) { f.resize(f.size() - 5); })},
      {"pixel_rows_for_larger_height", Edited(Base8Bit(), [](F& f) { Put32(f, kHeight, 3); })},
      {"bitfield_masks_cut", Prefix(BitFields16(0x7C00, 0x3E0, 0x1F), 60)},
      {"bitfield_mask_not_contiguous", BitFields16(0xF0F0, 0x3E0, 0x1F)},
      {"bitfield_mask_wider_than_16_bit_pixel", BitFields16(0x1F0000, 0x3E0, 0x1F)},
      // Decompression bombs: 1 KB of end-of-line codes declaring pictures over the limit.
      {"rle8_bomb_16000x16000_in_1kb", Edited(Rle8(std::vector<uint8_t>(1024, 0)),
                                              [](F& f) {
                                                Put32(f, kWidth, 16000);
                                                Put32(f, kHeight, 16000);
                                              })},
      {"rle4_bomb_13378x13378_in_1kb", Edited(Rle4(std::vector<uint8_t>(1024, 0)),
                                              [](F& f) {
                                                Put32(f, kWidth, 13378);
                                                Put32(f, kHeight, 13378);
                                              })},
      // Over 16 M pixels, an RLE bitmap must have the data for them as runs of 255 pixels.
      {"rle8_bomb_4097x4096_in_1kb", Edited(Rle8(std::vector<uint8_t>(1024, 0)),
                                            [](F& f) {
                                              Put32(f, kWidth, 4097);
                                              Put32(f, kHeight, 4096);
                                            })},
      {"rle8_run_past_row_end", Rle8({5, 1, 0, 1})},  // 4 pixels of 8 bits need no padding
      {"rle8_run_after_row_end", Rle8({4, 1, 1, 1, 0, 1})},
      {"rle8_absolute_run_past_row_end", Rle8({0, 5, 1, 1, 1, 1, 1, 0, 0, 1})},
      {"rle8_absolute_run_past_data_end", Rle8({0, 4, 1, 1})},
      {"rle8_delta_past_right_edge", Rle8({0, 2, 5, 0, 0, 1})},
      {"rle8_delta_past_last_row", Rle8({0, 2, 0, 3, 0, 1})},
      {"rle8_delta_cut", Rle8({0, 2, 1})},
      {"rle8_run_below_last_row", Rle8({0, 0, 0, 0, 1, 1, 0, 1})},
      {"rle8_top_down", Edited(Rle8({4, 1, 0, 1}), [](F& f) { Put32(f, kHeight, 0xFFFFFFFE); })},
      // A 4-pixel RLE4 row is padded to 8 pixels, which runs may fill.
      {"rle4_run_past_padded_row_end", Rle4({9, 0x12, 0, 1})},
      {"rle4_absolute_run_past_padded_row_end", Rle4({0, 9, 0x12, 0x34, 0x56, 0x78, 0x90, 0, 1})},
  };
}

TEST(BMPReaderTest, MalformedFilesFailWithUnrecognizedBmp) {
  for (const TMalformedCase& c : MalformedCases()) {
    SCOPED_TRACE(c.name);
    try {
      ReadBMP(c.file);
      ADD_FAILURE() << "read without error";
    } catch (const EInvalidGraphic& error) {
      EXPECT_STREQ(error.what(), kUnrecognizedBmp);
    }
  }
}

// Inputs the fuzzer (fuzz/BMPFuzz.cpp) found, each named after what is wrong with it.
TEST(BMPReaderTest, FilesFoundByTheFuzzerFailCleanly) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(SK_TEST_DATA_DIR "/bmp/malformed")) {
    SCOPED_TRACE(entry.path().filename().string());
    try {
      ReadBMP(ReadFileBytes(entry.path().string()));
      ADD_FAILURE() << "read without error";
    } catch (const EInvalidGraphic& error) {
      EXPECT_STREQ(error.what(), kUnrecognizedBmp);
    }
    ++files;
  }
  EXPECT_GE(files, 1);
}

// 16 M pixels of skipped codes are still read: small pictures may skip as they please.
TEST(BMPReaderTest, AnRlePictureUpTo16MPixelsMaySkipAllItsPixels) {
  std::vector<uint8_t> file = Rle8({0, 1});
  Put32(file, kWidth, 4096);
  Put32(file, kHeight, 4096);
  Put32(file, kPalette, 0x00010203);
  const TPicture picture = ReadBMP(file);
  ASSERT_EQ(picture.Width(), 4096);
  EXPECT_EQ(std::vector<uint8_t>(picture.Row(4095) + 3 * 4095, picture.Row(4095) + 3 * 4096),
            (std::vector<uint8_t>{3, 2, 1}));
}

TEST(BMPReaderTest, TheMalformedCasesDifferFromValidFilesOnlyInWhatTheirNamesSay) {
  // The bases themselves read, so each malformed case fails for its own reason.
  EXPECT_EQ(ReadBMP(Base8Bit()).Width(), 4);
  EXPECT_EQ(ReadBMP(Rle8({4, 1, 0, 0, 0, 2, 0, 0, 0, 1})).Height(), 2);
  EXPECT_EQ(ReadBMP(Rle4({4, 0x12, 0, 1})).Width(), 4);
  EXPECT_EQ(ReadBMP(BitFields16(0x7C00, 0x3E0, 0x1F)).Height(), 1);
}

// Pixels that RLE codes skip (end of line, delta, end of bitmap, data that ends) show palette
// entry 0; every other pixel is the one its code gives. "w" is entry 1 (white), "0" entry 0.
TEST(BMPReaderTest, PixelsSkippedByRleCodesTakePaletteEntryZero) {
  const struct {
    const char* name;
    std::vector<uint8_t> codes;
    const char* top;  // the picture's rows, top first; file row 0 is the bottom one
    const char* bottom;
  } cases[] = {
      {"end_of_line_then_end_of_bitmap", {2, 1, 0, 0, 1, 1, 0, 1}, "w000", "ww00"},
      {"delta_over_the_row_end", {1, 1, 0, 2, 2, 1, 1, 1, 0, 1}, "000w", "w000"},
      {"delta_within_the_row", {1, 1, 0, 2, 2, 0, 1, 1, 0, 1}, "0000", "w00w"},
      {"absolute_run_then_data_ends", {0, 3, 1, 0, 1, 0}, "0000", "w0w0"},
      {"data_ends_inside_a_code", {1, 1, 0}, "0000", "w000"},
      {"no_codes", {}, "0000", "0000"},
  };
  for (const bool black_entry_0 : {false, true}) {
    const uint32_t entry_0 = black_entry_0 ? 0 : 0x00123456;  // RGBQUAD: blue 56, red 12
    const std::vector<uint8_t> zero =
        black_entry_0 ? std::vector<uint8_t>{0, 0, 0} : std::vector<uint8_t>{0x12, 0x34, 0x56};
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (black_entry_0 ? ", black entry 0" : ""));
      std::vector<uint8_t> file = Rle8(c.codes);
      Put32(file, kPalette, entry_0);
      std::vector<uint8_t> expected;
      for (const char* row : {c.top, c.bottom}) {
        for (const char* p = row; *p != 0; ++p) {
          if (*p == 'w') {
            expected.insert(expected.end(), {0xFF, 0xFF, 0xFF});
          } else {
            expected.insert(expected.end(), zero.begin(), zero.end());
          }
        }
      }
      EXPECT_EQ(RgbOf(ReadBMP(file)), expected);
    }
  }
}

TEST(BMPReaderTest, FiveAndSixBitChannelsWidenToTheFullRange) {
  // 16-bit 5-6-5 pixels: all bits set, then the top bit of each channel alone.
  std::vector<uint8_t> file = BitFields16(0xF800, 0x07E0, 0x001F);
  const size_t pixels = file.size() - 8;
  Put16(file, pixels, 0xFFFF);
  Put16(file, pixels + 2, 0x8410);
  const TPicture picture = ReadBMP(file);
  const uint8_t* row = picture.Row(0);
  EXPECT_EQ(std::vector<uint8_t>(row, row + 6),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0x84, 0x82, 0x84}));
}

}  // namespace
}  // namespace sk
