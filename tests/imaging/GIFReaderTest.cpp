// The GIF reader against giflib, Pillow and ImageMagick on files those tools wrote, and hand-made
// files for the block structure, for truncation and for malformed data that must fail cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "imaging/GIFLZW.h"
#include "imaging/GIFReader.h"
#include "imaging/InvalidGraphic.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ReadFileBytes;
using test::RgbOf;

const std::string kScript = SK_TEST_SCRIPTS_DIR "/gif_oracles.py";

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

std::string Text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

// ---- Files written by the oracle tools ----

// What giflib's dump says of image 0 of a fixture (see tests/scripts/gif_oracles.py).
struct TFacts {
  int width = 0;
  int height = 0;
  int images = 0;
  bool interlaced = false;
  bool transparent = false;
  TRgb transparent_color;
  TRgb background;
};

TFacts MakeFixture(const test::TTempDir& dir, const std::string& name) {
  const std::string command = "/usr/bin/python3 " + kScript + " make '" + dir.Path() + "' " + name;
  if (test::Run(command) != 0) throw std::runtime_error("cannot make fixture " + name);
  std::istringstream line(Text(ReadFileBytes(dir.File(name + ".txt"))));
  TFacts facts;
  int values[11] = {};
  for (int& v : values) line >> v;
  facts.width = values[0];
  facts.height = values[1];
  facts.images = values[2];
  facts.interlaced = values[3] != 0;
  facts.transparent = values[4] != 0;
  auto color = [&](int i) {
    return TRgb{static_cast<uint8_t>(values[i]), static_cast<uint8_t>(values[i + 1]),
                static_cast<uint8_t>(values[i + 2])};
  };
  facts.transparent_color = color(5);
  facts.background = color(8);
  return facts;
}

uint32_t ColorValue(const TRgb& c) {
  return c.red | (c.green << 8) | (c.blue << 16);
}

// Written by ImageMagick (im_), Pillow (pil_), gifbuild (gb_) and gif2rgb (gl_): 256 and 2
// colours, interlaced at several heights, transparency, GIF87a, local tables, no global table,
// several images, 1-byte sub-blocks, and long LZW data with many clear codes.
const char* const kFixtureNames[] = {
    "im_256_colours",
    "im_256_colours_interlaced",
    "im_two_colours",
    "im_transparent",
    "im_gif87",
    "im_gif89",
    "im_noise_300x200",
    "im_three_frames",
    "im_one_byte_sub_blocks",
    "im_interlaced_h1",
    "im_interlaced_h2",
    "im_interlaced_h3",
    "im_interlaced_h4",
    "im_interlaced_h5",
    "im_interlaced_h9",
    "pil_interlaced",
    "pil_transparent_index_5",
    "gb_local_table",
    "gb_no_global_table",
    "gb_interlaced_local",
    "gb_two_images",
    "gl_quantised",
};

class GIFFixtureTest : public testing::TestWithParam<const char*> {};

TEST_P(GIFFixtureTest, ReadsWhatGiflibReads) {
  const std::string name = GetParam();
  test::TTempDir dir;
  const TFacts facts = MakeFixture(dir, name);
  // The vector holds exactly the file, so AddressSanitizer reports any read past its end.
  const Bytes file = ReadFileBytes(dir.File(name + ".gif"));

  const TGIFResult result = ReadGIF(file);
  ASSERT_TRUE(result.picture.has_value());
  EXPECT_EQ(result.picture->Width(), facts.width);
  EXPECT_EQ(result.picture->Height(), facts.height);
  EXPECT_EQ(RgbOf(*result.picture), ReadFileBytes(dir.File(name + ".0.rgb")));
  EXPECT_EQ(result.image_count, facts.images);
  EXPECT_EQ(result.image.interlaced, facts.interlaced);
  EXPECT_EQ(result.image.transparent, facts.transparent);
  if (facts.transparent) {
    EXPECT_EQ(result.image.transparent_color, facts.transparent_color);
  }
  EXPECT_EQ(result.screen.background, facts.background);
  EXPECT_EQ(GIFBackground(result),
            ColorValue(facts.transparent ? facts.transparent_color : facts.background));

  for (int k = 1; k < facts.images; ++k) {
    SCOPED_TRACE("image " + std::to_string(k));
    const TGIFResult later = ReadGIF(file, k);
    ASSERT_TRUE(later.picture.has_value());
    EXPECT_EQ(RgbOf(*later.picture),
              ReadFileBytes(dir.File(name + "." + std::to_string(k) + ".rgb")));
  }
}

INSTANTIATE_TEST_SUITE_P(Oracles, GIFFixtureTest, testing::ValuesIn(kFixtureNames),
                         [](const testing::TestParamInfo<const char*>& info) {
                           return std::string(info.param);
                         });

TEST(ReadGIF, Gif87aAndGif89aGiveTheSamePicture) {
  test::TTempDir dir;
  MakeFixture(dir, "im_gif87");
  MakeFixture(dir, "im_gif89");
  const Bytes gif87 = ReadFileBytes(dir.File("im_gif87.gif"));
  const Bytes gif89 = ReadFileBytes(dir.File("im_gif89.gif"));
  ASSERT_EQ(Text(Bytes(gif87.begin(), gif87.begin() + 6)), "GIF87a");
  ASSERT_EQ(Text(Bytes(gif89.begin(), gif89.begin() + 6)), "GIF89a");
  EXPECT_EQ(ReadGIF(gif87).picture, ReadGIF(gif89).picture);
}

// ---- Hand-made files ----

// Codes (value, width in bits) packed least significant bit first, as GIF image data packs them.
Bytes PackCodes(std::initializer_list<std::pair<int, int>> codes) {
  Bytes out;
  uint32_t buffer = 0;
  int bits = 0;
  for (const auto& [code, width] : codes) {
    buffer |= static_cast<uint32_t>(code) << bits;
    bits += width;
    for (; bits >= 8; bits -= 8, buffer >>= 8) out.push_back(static_cast<uint8_t>(buffer));
  }
  if (bits > 0) out.push_back(static_cast<uint8_t>(buffer));
  return out;
}

// Image data: the minimum code size, the codes as one sub-block, the terminator.
Bytes ImageData(int min_code_size, const Bytes& packed) {
  return Cat(
      {{static_cast<uint8_t>(min_code_size), static_cast<uint8_t>(packed.size())}, packed, {0}});
}

void Put16(Bytes& out, uint16_t value) {
  out.insert(out.end(), {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)});
}

// "GIF89a", the screen's size, and a global table of `entries` colours (entry i is
// (i, 255 - i, 7), so black appears nowhere); entries 0 means no global table.
Bytes Header(uint16_t width, uint16_t height, int entries) {
  Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, width);
  Put16(out, height);
  out.insert(out.end(), {0, 0, 0});  // packed byte, background index, aspect
  if (entries > 0) {
    int size_bits = 0;
    while ((2 << size_bits) < entries) ++size_bits;
    out[10] = static_cast<uint8_t>(0x80 | size_bits);
    for (int i = 0; i < entries; ++i) {
      out.insert(out.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7});
    }
  }
  return out;
}

Bytes Descriptor(uint16_t width, uint16_t height, uint8_t packed = 0) {
  Bytes out = {0x2C, 0, 0, 0, 0};  // at left 0, top 0
  Put16(out, width);
  Put16(out, height);
  out.push_back(packed);
  return out;
}

// The colours of Header's table, as RgbOf gives them.
Bytes TableRgb(std::initializer_list<int> indexes) {
  Bytes out;
  for (const int i : indexes) {
    if (i < 0) {
      out.insert(out.end(), {0, 0, 0});  // not reached by the data
    } else {
      out.insert(out.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7});
    }
  }
  return out;
}

// A 2 x 2 image of table entries 0 1 / 2 3 with minimum code size 2: clear (4), 0, 1 and 2 in
// 3 bits; entry 2 fills slot 7, so 3 and the end code (5) take 4 bits.
const Bytes kTwoByTwo = Cat(
    {Descriptor(2, 2), ImageData(2, PackCodes({{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {5, 4}}))});
const Bytes kTwoByTwoRgb = TableRgb({0, 1, 2, 3});
const Bytes kComment = {0x21, 0xFE, 3, 'a', 'b', 'c', 0};
const Bytes kTrailer = {0x3B};

struct TStructureCase {
  const char* name;
  Bytes file;
  int image_count;
  std::optional<Bytes> rgb;  // of the picture; nothing when the file gives none
};

TEST(ReadGIF, FollowsTheBlockStructure) {
  const TStructureCase cases[] = {
      {"one_image", Cat({Header(2, 2, 4), kTwoByTwo, kTrailer}), 1, kTwoByTwoRgb},
      {"comment_before_image_and_no_trailer", Cat({Header(2, 2, 4), kComment, kTwoByTwo}), 1,
       kTwoByTwoRgb},
      {"comment_cut_short_after_image", Cat({Header(2, 2, 4), kTwoByTwo, {0x21, 0xFE, 9, 'x'}}), 1,
       kTwoByTwoRgb},
      {"unknown_bytes_between_blocks", Cat({Header(2, 2, 4), {0x00, 0x99}, kTwoByTwo, kTrailer}), 1,
       kTwoByTwoRgb},
      {"several_images_counted_first_read",
       Cat({Header(2, 2, 4), kTwoByTwo, kComment, Descriptor(2, 2, 0x40),
            ImageData(2, PackCodes({{4, 3}, {3, 3}, {3, 3}, {3, 3}, {3, 4}, {5, 4}})), kTwoByTwo,
            kTrailer}),
       3, kTwoByTwoRgb},
      // Codes 9 bits wide: clear (256), 10 and 20 fill the only sub-block, and the file ends.
      {"data_ends_at_a_sub_block_boundary",
       Cat({Header(4, 1, 256), Descriptor(4, 1), {8, 4}, PackCodes({{256, 9}, {10, 9}, {20, 9}})}),
       1, TableRgb({10, 20, -1, -1})},
      {"end_code_before_the_last_pixel",
       Cat({Header(3, 1, 4), Descriptor(3, 1), ImageData(2, PackCodes({{4, 3}, {1, 3}, {5, 3}})),
            kTrailer}),
       1, TableRgb({1, -1, -1})},
      {"zero_by_zero_image",
       Cat({Header(2, 2, 4), Descriptor(0, 0), ImageData(2, PackCodes({{4, 3}, {5, 3}})),
            kTrailer}),
       1, Bytes{}},
      // Cut inside a later image's descriptor or colour table: data that ended early, so the
      // first image stands and the cut image is not counted.
      {"second_descriptor_cut_short",
       Cat({Header(2, 2, 4), kTwoByTwo, {0x21, 0xF9, 4, 1, 0, 0, 0, 0}, {0x2C, 0, 0, 0, 0, 2}}), 1,
       kTwoByTwoRgb},
      {"second_local_table_cut_short",
       Cat({Header(2, 2, 4), kTwoByTwo, Descriptor(2, 2, 0x81), {1, 2, 3, 4, 5}}), 1, kTwoByTwoRgb},
      {"second_graphic_control_cut_short", Cat({Header(2, 2, 4), kTwoByTwo, {0x21, 0xF9, 4, 1}}), 1,
       kTwoByTwoRgb},
      {"third_descriptor_cut_after_its_separator",
       Cat({Header(2, 2, 4), kTwoByTwo, kTwoByTwo, {0x2C}}), 2, kTwoByTwoRgb},
      {"no_image", Cat({Header(2, 2, 4), kComment, kTrailer}), 0, std::nullopt},
      {"trailer_before_image", Cat({Header(2, 2, 4), kTrailer, kTwoByTwo}), 0, std::nullopt},
  };
  for (const TStructureCase& c : cases) {
    SCOPED_TRACE(c.name);
    const TGIFResult result = ReadGIF(c.file);
    EXPECT_EQ(result.image_count, c.image_count);
    ASSERT_EQ(result.picture.has_value(), c.rgb.has_value());
    if (c.rgb) {
      EXPECT_EQ(RgbOf(*result.picture), *c.rgb);
    }
  }
}

TEST(ReadGIF, GraphicControlAppliesToTheImageAfterIt) {
  // Transparent index 5 and delay 300 before image 1; none before image 0.
  const Bytes control = {0x21, 0xF9, 4, 0x09, 0x2C, 0x01, 5, 0};
  const Bytes file = Cat({Header(2, 2, 8), kTwoByTwo, control, kTwoByTwo, kTrailer});

  const TGIFResult first = ReadGIF(file, 0);
  EXPECT_FALSE(first.image.transparent);
  EXPECT_EQ(first.image.delay, 0);
  EXPECT_EQ(GIFBackground(first), ColorValue({0, 255, 7}));  // global entry 0, the background

  const TGIFResult second = ReadGIF(file, 1);
  ASSERT_TRUE(second.picture.has_value());
  EXPECT_TRUE(second.image.transparent);
  EXPECT_EQ(second.image.delay, 300);
  EXPECT_EQ(second.image.transparent_color, (TRgb{5, 250, 7}));
  EXPECT_EQ(GIFBackground(second), ColorValue({5, 250, 7}));

  const TGIFResult missing = ReadGIF(file, 2);
  EXPECT_FALSE(missing.picture.has_value());
  EXPECT_EQ(missing.image_count, 2);
}

// An animation written by ImageMagick, cut at every length: once the data holds the whole first
// image, no cut may fail (the later frames' descriptors and colour tables included), and the
// picture is the first image of the whole file.
TEST(ReadGIF, ATruncatedAnimationGivesItsFirstImage) {
  test::TTempDir dir;
  const TFacts facts = MakeFixture(dir, "im_three_frames");
  ASSERT_EQ(facts.images, 3);
  const Bytes file = ReadFileBytes(dir.File("im_three_frames.gif"));
  const TGIFResult whole = ReadGIF(file);
  ASSERT_TRUE(whole.picture.has_value());
  bool complete = false;
  int later_cuts = 0;
  for (size_t length = 0; length < file.size(); ++length) {
    const Bytes prefix(file.begin(), file.begin() + static_cast<long>(length));
    try {
      const TGIFResult cut = ReadGIF(prefix);
      if (cut.picture == whole.picture) complete = true;
      if (complete) {
        EXPECT_TRUE(cut.picture == whole.picture) << length;
        EXPECT_GE(cut.image_count, 1) << length;
        ++later_cuts;
      }
    } catch (const EInvalidGraphic&) {
      EXPECT_FALSE(complete) << "a cut at " << length << " after the first image failed";
    }
  }
  // The first image ends well before the file does: the later frames were cut many times.
  EXPECT_GT(later_cuts, 20);
}

// Each file is wrong in the one way its name says and must be refused without touching memory
// outside its buffers (run under AddressSanitizer) and without hanging.
TEST(ReadGIF, RefusesMalformedFiles) {
  const Bytes header = Header(8, 8, 4);
  // Clear, then 0, 0, 1 fill slots 6 and 7 (codes grow to 4 bits); 10 (beyond the table) fills
  // slot 8; 9 fills slot 9 with prefix 10; 10 fills slot 10 with prefix 9; then 9 walks
  // 9 -> 10 -> 9 -> ... for ever.
  const Bytes looping_codes =
      PackCodes({{4, 3}, {0, 3}, {0, 3}, {1, 3}, {10, 4}, {9, 4}, {10, 4}, {9, 4}, {5, 4}});
  const struct {
    const char* name;
    Bytes file;
  } cases[] = {
      {"signature_is_not_gif", Cat({{'G', 'I', 'T'}, Bytes(header.begin() + 3, header.end())})},
      {"header_cut_short", Bytes(header.begin(), header.begin() + 12)},
      {"global_table_cut_short", Bytes(header.begin(), header.end() - 4)},
      {"graphic_control_cut_short", Cat({header, {0x21, 0xF9, 4, 1}})},
      {"image_descriptor_cut_short", Cat({header, {0x2C, 0, 0, 0, 0, 8}})},
      {"local_table_cut_short", Cat({header, Descriptor(8, 8, 0x81), {1, 2, 3}})},
      // The images below are small enough for their data to fill, so that the decoder meets
      // the fault rather than the size check.
      {"min_code_size_12", Cat({header, Descriptor(1, 1), ImageData(12, {0, 0x10, 0, 0})})},
      {"sub_block_cut_short", Cat({header, Descriptor(2, 2), {2, 10, 0x44, 0x01, 0x33}})},
      // Right after a clear (4) only colours 0..3 may come; 6 has no string yet.
      {"code_after_clear_is_not_a_colour",
       Cat({header, Descriptor(3, 3), ImageData(2, PackCodes({{4, 3}, {6, 3}, {0, 3}}))})},
      // 0; 7 (beyond the table: taken as the previous string); 7 again, which now fills slot 7
      // with prefix 7; then 7 (4 bits) walks a prefix that is itself.
      {"code_refers_to_itself",
       Cat({header, Descriptor(4, 4),
            ImageData(2, PackCodes({{4, 3}, {0, 3}, {7, 3}, {7, 3}, {7, 4}, {5, 4}}))})},
      {"code_chain_loops_back", Cat({header, Descriptor(7, 7), ImageData(2, looping_codes)})},
      // 65535 x 65535 is beyond kMaxPicturePixels.
      {"size_beyond_max_pixels",
       Cat({header, Descriptor(0xFFFF, 0xFFFF), ImageData(2, PackCodes({{4, 3}, {0, 3}}))})},
      // 13377 x 13377 is one row within kMaxPicturePixels, 13378 x 13378 beyond it.
      {"size_just_beyond_max_pixels",
       Cat({header, Descriptor(13378, 13378), ImageData(2, PackCodes({{4, 3}, {0, 3}}))})},
      // 12000 x 12000 is within kMaxPicturePixels, but 2 bytes of codes cannot fill it.
      {"huge_size_in_tiny_file",
       Cat({header, Descriptor(12000, 12000), ImageData(2, PackCodes({{4, 3}, {0, 3}}))})},
      // 1 KB of codes (4 sub-blocks of 255 bytes) holds at most a few hundred thousand values.
      {"bomb_1kb_12000x12000", Cat({header,
                                    Descriptor(12000, 12000),
                                    {2, 255},
                                    Bytes(255, 0),
                                    {255},
                                    Bytes(255, 0),
                                    {255},
                                    Bytes(255, 0),
                                    {255},
                                    Bytes(255, 0),
                                    {0}})},
      {"bomb_1kb_12000x12000_min_code_size_8", Cat({Header(8, 8, 256),
                                                    Descriptor(12000, 12000),
                                                    {8, 255},
                                                    Bytes(255, 0),
                                                    {255},
                                                    Bytes(255, 0),
                                                    {255},
                                                    Bytes(255, 0),
                                                    {255},
                                                    Bytes(255, 0),
                                                    {0}})},
      // No data at all after the minimum code size.
      {"image_data_missing", Cat({header, Descriptor(2, 1), {2}})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      ReadGIF(c.file);
      ADD_FAILURE() << "no error";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), kUnrecognizedGif);
    }
  }
}

}  // namespace
}  // namespace sk
