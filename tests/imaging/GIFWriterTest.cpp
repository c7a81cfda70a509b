// The GIF writer: its file layout, sub-block limits, and files read back by our reader, giflib
// and Pillow as the pixels written.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "imaging/ColorQuant.h"
#include "imaging/GIFReader.h"
#include "imaging/GIFWriter.h"
#include "imaging/InvalidGraphic.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using Bytes = std::vector<uint8_t>;
using test::ReadFileBytes;
using test::RgbOf;

const std::string kScript = SK_TEST_SCRIPTS_DIR "/gif_oracles.py";
const std::string kVectorScript = SK_TEST_SCRIPTS_DIR "/gif_encoder_vectors.py";

std::string Text(const Bytes& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

Bytes Write(const TPicture& picture, const TGIFWriteOptions& options) {
  TVectorSink sink;
  WriteGIF(sink, picture, options);
  return sink.Bytes();
}

uint16_t Le16(const Bytes& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

TEST(WriteGIF, WritesTheGif89aLayout) {
  const TPicture picture = test::NoisePicture(3, 2, 1);
  const TQuantizedPicture quantized = OctQuantize(picture, 255);
  ASSERT_EQ(quantized.palette.size(), 6u);
  const struct {
    const char* name;
    TGIFWriteOptions options;
    uint8_t control_packed;
    uint8_t image_packed;
  } cases[] = {
      {"run_length", {false, false, 0, false, 0, 0, 0x302010}, 0x08, 0x00},
      {"run_length_has_no_interlaced_form", {false, true, 0, false, 0, 0, 0x302010}, 0x08, 0x00},
      {"lzw_interlaced_transparent", {true, true, 300, true, 7, 9, 0xABCDEF}, 0x09, 0x40},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = Write(picture, c.options);
    ASSERT_GT(file.size(), 800u);
    EXPECT_EQ(Text(Bytes(file.begin(), file.begin() + 6)), "GIF89a");
    EXPECT_EQ(Le16(file, 6), 3);
    EXPECT_EQ(Le16(file, 8), 2);
    EXPECT_EQ(Bytes(file.begin() + 10, file.begin() + 13), (Bytes{0xF7, 0, 0}));
    // Entry 0 is the background, 1 to 6 the quantiser's colours, the rest black.
    const uint32_t bg = c.options.background;
    Bytes table = {static_cast<uint8_t>(bg), static_cast<uint8_t>(bg >> 8),
                   static_cast<uint8_t>(bg >> 16)};
    for (const TRgb& color : quantized.palette)
      table.insert(table.end(), {color.red, color.green, color.blue});
    table.resize(768, 0);
    EXPECT_EQ(Bytes(file.begin() + 13, file.begin() + 781), table);
    EXPECT_EQ(Bytes(file.begin() + 781, file.begin() + 789),
              (Bytes{0x21, 0xF9, 4, c.control_packed, static_cast<uint8_t>(c.options.delay),
                     static_cast<uint8_t>(c.options.delay >> 8), 0, 0}));
    EXPECT_EQ(file[789], 0x2C);
    EXPECT_EQ(Le16(file, 790), c.options.left);
    EXPECT_EQ(Le16(file, 792), c.options.top);
    EXPECT_EQ(Le16(file, 794), 3);
    EXPECT_EQ(Le16(file, 796), 2);
    EXPECT_EQ(file[798], c.image_packed);
    EXPECT_EQ(file[799], 8);  // minimum code size
    EXPECT_EQ(file.back(), 0x3B);
  }
}

// The sizes of the data sub-blocks after the minimum code size, up to the terminator, which must
// be followed by the trailer alone.
std::vector<int> SubBlockSizes(const Bytes& file) {
  std::vector<int> sizes;
  size_t at = 800;
  while (at < file.size() && file[at] != 0) {
    sizes.push_back(file[at]);
    at += 1 + file[at];
  }
  EXPECT_EQ(at + 2, file.size()) << "terminator and trailer must end the file";
  return sizes;
}

TEST(WriteGIF, KeepsSubBlocksWithinTheirLimits) {
  const TPicture picture = test::NoisePicture(120, 90, 3);
  for (const auto& [use_lzw, limit] : {std::pair{true, 254}, std::pair{false, 255}}) {
    SCOPED_TRACE(use_lzw ? "LZW" : "run-length");
    TGIFWriteOptions options;
    options.use_lzw = use_lzw;
    const std::vector<int> sizes = SubBlockSizes(Write(picture, options));
    ASSERT_GT(sizes.size(), 2u);
    EXPECT_EQ(*std::max_element(sizes.begin(), sizes.end()), limit);
  }
}

TEST(WriteGIF, RefusesPicturesBeyond65535Pixels) {
  for (const auto& [width, height] : {std::pair{65536, 1}, std::pair{1, 65536}}) {
    TVectorSink sink;
    try {
      WriteGIF(sink, TPicture(width, height), TGIFWriteOptions{});
      ADD_FAILURE() << width << " x " << height << " was written";
    } catch (const EInvalidGraphic& e) {
      EXPECT_STREQ(e.what(), kGIFTooLarge);
    }
    EXPECT_TRUE(sink.Bytes().empty());
  }
}

TEST(WriteGIF, EmptyPictureGivesAZeroByZeroImage) {
  const TGIFResult result = ReadGIF(Write(TPicture(), TGIFWriteOptions{true, false}));
  EXPECT_EQ(result.image_count, 1);
  ASSERT_TRUE(result.picture.has_value());
  EXPECT_TRUE(result.picture->Empty());
}

// A picture of `colours` colours: runs of random lengths (1 to max_run) of random colours.
TPicture RunsPicture(int width, int height, int colours, int max_run, uint32_t seed) {
  std::vector<uint8_t> rgb;
  uint32_t state = seed;
  auto next = [&state] { return state = state * 1664525u + 1013904223u, state >> 8; };
  const size_t total = static_cast<size_t>(width) * height;
  while (rgb.size() < 3 * total) {
    const uint32_t c = next() % colours;
    const uint32_t run = 1 + next() % max_run;
    for (uint32_t i = 0; i < run && rgb.size() < 3 * total; ++i) {
      rgb.insert(rgb.end(), {static_cast<uint8_t>(40 * c), static_cast<uint8_t>(255 - 30 * c),
                             static_cast<uint8_t>(c)});
    }
  }
  return test::PictureFromRgb(rgb, width, height);
}

// 256 colours, one pixel each, rows from the top: 254 colours whose top 7 bits differ in some
// channel from every other's, then (0, 0, 0) and, last, (0, 0, 1). Only those two share a node
// above the leaves, so the quantiser's one reduction, at the 256th colour, merges exactly them
// into their truncated average (0, 0, 0): the picture read back is this one with its last pixel
// black, which can be checked by hand.
TPicture TwoHundredFiftySixColours() {
  Bytes rgb;
  for (int i = 0; i < 254; ++i) {
    rgb.insert(rgb.end(),
               {static_cast<uint8_t>(2 * (i % 128)), static_cast<uint8_t>(2 * (i / 128)), 100});
  }
  rgb.insert(rgb.end(), {0, 0, 0, 0, 0, 1});
  return test::PictureFromRgb(rgb, 16, 16);
}

struct TWriterCase {
  const char* name;
  TPicture picture;
  bool exact;  // 255 colours or fewer: written exactly; else as TwoHundredFiftySixColours says
};

TEST(WriteGIF, GiflibAndPillowReadThePixelsWritten) {
  const TWriterCase cases[] = {
      {"colours_256_one_pair_merged", TwoHundredFiftySixColours(), false},
      {"colours_255", RunsPicture(97, 61, 255, 1, 11), true},
      // Runs up to 5000 pixels of 6 colours: literals, triangular series and table repeats.
      {"long_runs", RunsPicture(640, 480, 6, 5000, 12), true},
      {"short_runs", RunsPicture(200, 100, 3, 12, 13), true},
      {"one_pixel", test::NoisePicture(1, 1, 14), true},
      {"height_2", RunsPicture(7, 2, 4, 3, 15), true},
      {"height_3", RunsPicture(7, 3, 4, 3, 16), true},
      {"height_4", RunsPicture(7, 4, 4, 3, 17), true},
      {"height_9", RunsPicture(7, 9, 4, 3, 18), true},
  };
  test::TTempDir dir;
  for (const TWriterCase& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes expected = RgbOf(c.picture);
    if (!c.exact) expected.back() = 0;  // (0, 0, 1) merged into (0, 0, 0)
    std::string command = "/usr/bin/python3 " + kScript + " decode";
    std::vector<std::string> prefixes;
    for (const bool use_lzw : {false, true}) {
      for (const bool interlaced : {false, true}) {
        const std::string prefix = dir.File(std::string(c.name) + (use_lzw ? "_lzw" : "_rle") +
                                            (interlaced ? "_interlaced" : ""));
        const Bytes file = Write(c.picture, {use_lzw, interlaced, 0, false, 0, 0, 0x00FF00});
        test::WriteFileBytes(prefix + ".gif", file);
        const TGIFResult ours = ReadGIF(file);
        ASSERT_TRUE(ours.picture.has_value());
        EXPECT_EQ(RgbOf(*ours.picture), expected) << prefix << " read by ReadGIF";
        command += " '" + prefix + ".gif' '" + prefix + "'";
        prefixes.push_back(prefix);
      }
    }
    ASSERT_EQ(test::Run(command), 0) << command;
    for (const std::string& prefix : prefixes) {
      EXPECT_EQ(ReadFileBytes(prefix + ".giflib.rgb"), expected) << prefix << " read by giflib";
      EXPECT_EQ(ReadFileBytes(prefix + ".pillow.rgb"), expected) << prefix << " read by Pillow";
    }
  }
}

// tests/scripts/gif_encoder_vectors.py writes, from its own implementation of both encoders and
// the file layout, the exact files expected for a few small pictures.
TEST(WriteGIF, WritesTheBytesOfAnIndependentEncoder) {
  test::TTempDir dir;
  ASSERT_EQ(test::Run("/usr/bin/python3 " + kVectorScript + " '" + dir.Path() + "'"), 0);
  std::ifstream manifest(dir.File("manifest.txt"));
  std::string name;
  std::string variant;
  int width = 0;
  int height = 0;
  int use_lzw = 0;
  int interlaced = 0;
  int delay = 0;
  int transparent = 0;
  int left = 0;
  int top = 0;
  uint32_t background = 0;
  int files = 0;
  while (manifest >> name >> variant >> width >> height >> use_lzw >> interlaced >> delay >>
         transparent >> left >> top >> background) {
    SCOPED_TRACE(name + " " + variant);
    const TPicture picture =
        test::PictureFromRgb(ReadFileBytes(dir.File(name + ".rgb")), width, height);
    const TGIFWriteOptions options{use_lzw != 0,
                                   interlaced != 0,
                                   static_cast<uint16_t>(delay),
                                   transparent != 0,
                                   static_cast<uint16_t>(left),
                                   static_cast<uint16_t>(top),
                                   background};
    EXPECT_TRUE(Write(picture, options) == ReadFileBytes(dir.File(name + "_" + variant + ".gif")));
    ++files;
  }
  EXPECT_EQ(files, 20);
}

// 8 million pixels of one colour make a run longer than a whole triangular series of 3837 codes,
// so the run-length scheme clears the table in the middle of it.
TEST(WriteGIF, RunLengthSchemeCodesRunsBeyondOneSeries) {
  TPicture picture(4000, 2000);
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) picture.Row(y)[3 * x] = 200;
  }
  picture.Row(1999)[3 * 3999 + 1] = 1;  // a last run of one pixel
  test::TTempDir dir;
  const std::string prefix = dir.File("one_colour");
  test::WriteFileBytes(prefix + ".gif", Write(picture, TGIFWriteOptions{}));
  ASSERT_EQ(
      test::Run("/usr/bin/python3 " + kScript + " decode '" + prefix + ".gif' '" + prefix + "'"),
      0);
  const Bytes expected = RgbOf(picture);
  EXPECT_TRUE(ReadFileBytes(prefix + ".giflib.rgb") == expected) << "giflib differs";
  EXPECT_TRUE(ReadFileBytes(prefix + ".pillow.rgb") == expected) << "Pillow differs";
}

}  // namespace
}  // namespace sk
