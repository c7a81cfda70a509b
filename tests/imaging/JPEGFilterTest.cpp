// The JPEG adapter: pixels against djpeg (same library, same default IDCT and upsampling: they must
// be identical), files against cjpeg (identical but for the JFIF density), and its errors.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <initializer_list>

#include "imaging/JPEGFilter.h"

// clang-format off
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <fstream>
#include <map>
#include <stdexcept>
#include <vector>

#include "imaging/InvalidGraphic.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using test::ReadFileBytes;
using test::RgbOf;

// Made at build time by tests/scripts/make_jpeg_fixtures.py, with djpeg's decodes beside them.
class TJPEGFixtures {
 public:
  static const TJPEGFixtures& Get() {
    static const TJPEGFixtures fixtures;
    return fixtures;
  }
  std::string File(const std::string& name, const char* extension = ".jpg") const {
    return dir_ + "/" + name + extension;
  }
  std::pair<int, int> Size(const std::string& name) const { return sizes_.at(name); }

 private:
  TJPEGFixtures() {
    std::ifstream manifest(dir_ + "/manifest.txt");
    std::string name;
    int width = 0;
    int height = 0;
    while (manifest >> name >> width >> height) sizes_[name] = {width, height};
  }
  std::string dir_ = SK_IMAGING_FIXTURES_DIR "/jpeg";
  std::map<std::string, std::pair<int, int>> sizes_;
};

TJpegImage Decode(std::span<const uint8_t> bytes) {
  TSpanSource source(bytes);
  return DecodeJpeg(source);
}

struct TDecodeCase {
  const char* name;
  TResolution resolution;
};

const TDecodeCase kDecodeCases[] = {
    {"baseline_420_300dpi", {300, 300}},
    {"baseline_444_72x96dpi", {72, 96}},
    {"baseline_422", {1, 1}},  // Pillow writes density unit 0 with densities 1 and 1
    {"progressive", {1, 1}},
    {"grayscale", {1, 1}},
    {"rgb_colour_space", {1, 1}},
    {"restart_markers", {1, 1}},
    {"optimized_huffman", {1, 1}},
    {"im_plasma", {1, 1}},
    {"exif_without_jfif", {1, 1}},            // the library's defaults
    {"density_dots_per_cm_118", {299, 299}},  // 118 x 2.54 = 299.72, truncated
    {"density_aspect_2_to_1", {2, 1}},
    {"density_unit_3", {0, 0}},
    {"cut_in_scan_data", {300, 300}},  // decodes as far as its data goes, like djpeg
};

class JPEGDecodeTest : public testing::TestWithParam<TDecodeCase> {};

TEST_P(JPEGDecodeTest, GivesDjpegsPixelsAndTheFilesResolution) {
  const TJPEGFixtures& fixtures = TJPEGFixtures::Get();
  const TJpegImage image = Decode(ReadFileBytes(fixtures.File(GetParam().name)));
  const auto [width, height] = fixtures.Size(GetParam().name);
  EXPECT_EQ(image.picture.Width(), width);
  EXPECT_EQ(image.picture.Height(), height);
  EXPECT_EQ(RgbOf(image.picture), ReadFileBytes(fixtures.File(GetParam().name, ".rgb")));
  EXPECT_EQ(image.resolution, GetParam().resolution);
}

INSTANTIATE_TEST_SUITE_P(Files, JPEGDecodeTest, testing::ValuesIn(kDecodeCases),
                         [](const testing::TestParamInfo<TDecodeCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(JPEGDecodeTest, GrayscaleGivesThreeEqualBytesPerPixel) {
  const TJpegImage image = Decode(ReadFileBytes(TJPEGFixtures::Get().File("grayscale")));
  for (int y = 0; y < image.picture.Height(); ++y) {
    const uint8_t* row = image.picture.Row(y);
    for (int x = 0; x < image.picture.Width(); ++x) {
      ASSERT_EQ(row[3 * x], row[3 * x + 1]);
      ASSERT_EQ(row[3 * x], row[3 * x + 2]);
    }
  }
}

TEST(JPEGDecodeTest, RefusedStreamsReportTheLibrarysMessageCode) {
  const struct {
    const char* name;
    int code;
  } cases[] = {
      {"empty", JERR_INPUT_EMPTY},
      {"not_a_jpeg", JERR_NO_SOI},
      {"tables_only", JERR_NO_IMAGE},
      {"cmyk", JERR_CONVERSION_NOTIMPL},
      {"cut_after_scan_header", JERR_INPUT_EOF},  // no image data at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      Decode(ReadFileBytes(TJPEGFixtures::Get().File(c.name)));
      ADD_FAILURE() << "decoded without error";
    } catch (const EInvalidGraphic& error) {
      EXPECT_EQ(error.what(), JpegLibraryMessage(c.code));
    }
  }
}

// The offset of the first SOF0 segment's height field (ITU-T T.81 B.2.2).
size_t FrameHeightOffset(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 2; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) return i + 5;
  }
  throw std::runtime_error("no SOF0");
}

TEST(JPEGDecodeTest, APictureOverThePixelLimitIsRefusedBeforeAllocating) {
  std::vector<uint8_t> jpeg = ReadFileBytes(TJPEGFixtures::Get().File("baseline_420_300dpi"));
  const size_t at = FrameHeightOffset(jpeg);
  // 65000 x 65000 pixels: 12.7 GB of picture, which AddressSanitizer would refuse to allocate.
  for (size_t i : {at, at + 2}) {
    jpeg[i] = 0xFD;
    jpeg[i + 1] = 0xE8;
  }
  try {
    Decode(jpeg);
    ADD_FAILURE() << "decoded without error";
  } catch (const EInvalidGraphic& error) {
    EXPECT_EQ(error.what(), JpegLibraryMessage(JERR_IMAGE_TOO_BIG));
  }
}

// A source that hides its size, as a stream of unknown length would.
class TUnsizedSource : public TByteSource {
 public:
  explicit TUnsizedSource(std::span<const uint8_t> bytes) : inner_(bytes) {}
  size_t Read(std::span<uint8_t> buffer) override { return inner_.Read(buffer); }

 private:
  TSpanSource inner_;
};

// A file of N bytes holds at most 8N bits, and every 8x8 block of a Huffman-coded scan takes one:
// the fixture declared as 8N x 64 pixels (N x 8 blocks) may be decoded, one block column more is
// refused before the library allocates anything.
TEST(JPEGDecodeTest, DataTooSmallForTheDeclaredSizeIsRefusedBeforeDecompressing) {
  std::vector<uint8_t> jpeg = ReadFileBytes(TJPEGFixtures::Get().File("baseline_420_300dpi"));
  const size_t at = FrameHeightOffset(jpeg);
  const size_t n = jpeg.size();
  ASSERT_LE(8 * (n + 1), 65535u);
  const struct {
    const char* name;
    size_t width;
    size_t height;
    bool refused;
  } cases[] = {
      {"one_bit_per_block", 8 * n, 64, false},
      {"one_block_column_more", 8 * (n + 1), 64, true},
      {"bomb_12000x12000", 12000, 12000, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    jpeg[at] = static_cast<uint8_t>(c.height >> 8);
    jpeg[at + 1] = static_cast<uint8_t>(c.height);
    jpeg[at + 2] = static_cast<uint8_t>(c.width >> 8);
    jpeg[at + 3] = static_cast<uint8_t>(c.width);
    try {
      const TJpegImage image = Decode(jpeg);
      EXPECT_FALSE(c.refused) << "decoded";
      EXPECT_EQ(image.picture.Width(), static_cast<int>(c.width));
    } catch (const EInvalidGraphic& error) {
      EXPECT_TRUE(c.refused) << error.what();
      EXPECT_EQ(error.what(), JpegLibraryMessage(JERR_INPUT_EOF));
    }
  }
  // Without a known size the check cannot apply; a small declared size still decodes.
  jpeg[at] = 0;
  jpeg[at + 1] = 8;
  jpeg[at + 2] = 0;
  jpeg[at + 3] = 8;
  TUnsizedSource unsized(jpeg);
  EXPECT_EQ(DecodeJpeg(unsized).picture.Width(), 8);
}

// The progressive fixture with its last scan repeated until the stream holds `scans` scans. The
// last scan is the one that ends at the end-of-image marker; the library only warns about a
// repeated scan, so the count alone decides.
std::vector<uint8_t> WithScans(const std::vector<uint8_t>& jpeg, int scans) {
  int found = 0;
  size_t last_scan = 0;
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) {
      ++found;
      last_scan = i;
    }
  }
  const size_t end = jpeg.size() - 2;  // the end-of-image marker
  EXPECT_TRUE(jpeg[end] == 0xFF && jpeg[end + 1] == 0xD9);
  EXPECT_GT(found, 1);
  EXPECT_LE(found, scans);
  std::vector<uint8_t> result(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(end));
  for (int i = found; i < scans; ++i) {
    result.insert(result.end(), jpeg.begin() + static_cast<std::ptrdiff_t>(last_scan),
                  jpeg.begin() + static_cast<std::ptrdiff_t>(end));
  }
  result.insert(result.end(), {0xFF, 0xD9});
  return result;
}

// Every scan of a progressive stream passes over the whole picture again: a stream of up to
// kMaxJpegScans scans decodes, one more is refused with the library's scan-script error.
TEST(JPEGDecodeTest, AStreamOfMoreThanTheScanLimitIsRefused) {
  const std::vector<uint8_t> jpeg = ReadFileBytes(TJPEGFixtures::Get().File("progressive"));
  const auto [width, height] = TJPEGFixtures::Get().Size("progressive");
  const TJpegImage image = Decode(WithScans(jpeg, kMaxJpegScans));
  EXPECT_EQ(image.picture.Width(), width);
  EXPECT_EQ(image.picture.Height(), height);
  try {
    Decode(WithScans(jpeg, kMaxJpegScans + 1));
    ADD_FAILURE() << "decoded";
  } catch (const EInvalidGraphic& error) {
    EXPECT_EQ(error.what(), JpegLibraryMessage(JERR_BAD_SCAN_SCRIPT));
  }
}

// ---- EXIF orientation ----

using test::Exif;
using test::Tiff;
using test::WithApp1;

TEST(ReadJPEGOrientation, ReadsTag274InEitherByteOrderAndFallsBackTo1) {
  const std::vector<uint8_t> jpeg = ReadFileBytes(TJPEGFixtures::Get().File("baseline_420_300dpi"));
  const std::vector<uint8_t> xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0};
  const struct {
    const char* name;
    std::vector<uint8_t> file;
    int orientation;
    bool oracle;  // well formed: ImageMagick must read the same value
  } cases[] = {
      {"no_exif", jpeg, 1, false},
      {"little_endian_6", WithApp1(jpeg, Exif(Tiff("II", {{274, 3, 1, 6}}))), 6, true},
      {"big_endian_8", WithApp1(jpeg, Exif(Tiff("MM", {{274, 3, 1, 8}}))), 8, true},
      {"after_other_tags_3",
       WithApp1(jpeg, Exif(Tiff("MM", {{271, 2, 1, 0}, {272, 2, 1, 0}, {274, 3, 1, 3}}))), 3, true},
      {"after_an_xmp_segment_5", WithApp1(WithApp1(jpeg, Exif(Tiff("II", {{274, 3, 1, 5}}))), xmp),
       5, true},
      {"no_orientation_tag", WithApp1(jpeg, Exif(Tiff("II", {{271, 2, 1, 0}}))), 1, false},
      {"value_9", WithApp1(jpeg, Exif(Tiff("II", {{274, 3, 1, 9}}))), 1, false},
      {"value_0", WithApp1(jpeg, Exif(Tiff("MM", {{274, 3, 1, 0}}))), 1, false},
      {"not_a_short", WithApp1(jpeg, Exif(Tiff("II", {{274, 4, 1, 6}}))), 1, false},
      {"bad_byte_order", WithApp1(jpeg, Exif(Tiff("IM", {{274, 3, 1, 6}}))), 1, false},
      {"directory_past_the_segment", WithApp1(jpeg, Exif(Tiff("II", {{274, 3, 1, 6}}, 4000))), 1,
       false},
      {"directory_cut_short", WithApp1(jpeg, Exif([] {
                                         std::vector<uint8_t> tiff = Tiff("II", {{274, 3, 1, 6}});
                                         tiff.resize(tiff.size() - 10);
                                         return tiff;
                                       }())),
       1, false},
      {"not_a_jpeg", std::vector<uint8_t>{'G', 'I', 'F', '8'}, 1, false},
      {"empty", std::vector<uint8_t>{}, 1, false},
  };
  test::TTempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadJPEGOrientation(c.file), c.orientation);
    // Every prefix of the file reads without touching memory past it.
    for (size_t length = 0; length < std::min<size_t>(c.file.size(), 120); ++length) {
      const std::vector<uint8_t> prefix(c.file.begin(), c.file.begin() + static_cast<long>(length));
      const int orientation = ReadJPEGOrientation(prefix);
      EXPECT_TRUE(orientation >= 1 && orientation <= 8);
    }
    if (c.oracle) {
      const std::string path = dir.File(std::string(c.name) + ".jpg");
      test::WriteFileBytes(path, c.file);
      const std::string out = dir.File(std::string(c.name) + ".txt");
      ASSERT_EQ(test::Run("/usr/bin/identify -format '%[EXIF:Orientation]' '" + path + "' > '" +
                          out + "'"),
                0);
      const std::vector<uint8_t> text = ReadFileBytes(out);
      EXPECT_EQ(std::string(text.begin(), text.end()), std::to_string(c.orientation));
    }
  }
}

TEST(JPEGDecodeTest, EveryTruncationDecodesOrFailsCleanly) {
  const std::vector<uint8_t> jpeg = ReadFileBytes(TJPEGFixtures::Get().File("baseline_420_300dpi"));
  for (size_t length = 0; length < jpeg.size(); ++length) {
    const std::vector<uint8_t> prefix(jpeg.begin(), jpeg.begin() + static_cast<long>(length));
    try {
      const TJpegImage image = Decode(prefix);
      EXPECT_EQ(image.picture.Width(), 37) << length;
    } catch (const EInvalidGraphic&) {
    }
  }
}

TEST(JPEGDecodeTest, ReadsTheStreamInBlocksOf4096Bytes) {
  // A JPEG followed by more data: the decoder reads whole blocks, so it stops 4096 bytes in.
  std::vector<uint8_t> bytes = ReadFileBytes(TJPEGFixtures::Get().File("baseline_420_300dpi"));
  bytes.resize(10000, 0xEE);
  TMemoryStream stream(bytes);
  TMemorySource source(stream);
  DecodeJpeg(source);
  EXPECT_EQ(stream.Position(), 4096u);
}

TEST(JPEGDecodeTest, AStreamErrorPassesThroughUnchanged) {
  class TFailingSource : public TByteSource {
   public:
    size_t Read(std::span<uint8_t>) override { throw std::runtime_error("device gone"); }
  } source;
  try {
    DecodeJpeg(source);
    ADD_FAILURE() << "decoded without error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "device gone");
  }
}

// ---- Encoding ----

// The JPEG with its JFIF density fields (unit, X, Y) replaced, so that files that differ only
// there compare equal.
std::vector<uint8_t> WithDensity(std::vector<uint8_t> jpeg, uint8_t unit, uint16_t x, uint16_t y) {
  // SOI, then APP0: FF E0, length (2), "JFIF\0" (5), version (2), unit at byte 13.
  EXPECT_EQ(std::string(jpeg.begin() + 6, jpeg.begin() + 11), std::string("JFIF\0", 5));
  jpeg[13] = unit;
  jpeg[14] = static_cast<uint8_t>(x >> 8);
  jpeg[15] = static_cast<uint8_t>(x);
  jpeg[16] = static_cast<uint8_t>(y >> 8);
  jpeg[17] = static_cast<uint8_t>(y);
  return jpeg;
}

std::vector<uint8_t> Encode(const TPicture& picture, TResolution resolution, int quality) {
  TVectorSink sink;
  EncodeJpeg(sink, picture, resolution, quality);
  return sink.Bytes();
}

TEST(JPEGEncodeTest, WritesWhatCjpegWritesAtTheSameQuality) {
  test::TTempDir dir;
  const TPicture picture = Decode(ReadFileBytes(TJPEGFixtures::Get().File("im_plasma"))).picture;
  // The same picture as a PPM file for cjpeg.
  std::vector<uint8_t> ppm;
  const std::string head = "P6\n53 41\n255\n";
  ppm.assign(head.begin(), head.end());
  const std::vector<uint8_t> rgb = RgbOf(picture);
  ppm.insert(ppm.end(), rgb.begin(), rgb.end());
  test::WriteFileBytes(dir.File("in.ppm"), ppm);
  const struct {
    int quality;
    int cjpeg_quality;  // what the library makes of it
  } cases[] = {{75, 75}, {90, 90}, {100, 100}, {1, 1}, {0, 1}, {-5, 1}, {250, 100}};
  for (const auto& c : cases) {
    SCOPED_TRACE("quality " + std::to_string(c.quality));
    const std::string out = dir.File("cjpeg.jpg");
    ASSERT_EQ(test::Run("cjpeg -baseline -quality " + std::to_string(c.cjpeg_quality) + " '" +
                        dir.File("in.ppm") + "' > '" + out + "'"),
              0);
    const std::vector<uint8_t> ours = Encode(picture, {300, 300}, c.quality);
    EXPECT_EQ(WithDensity(ours, 0, 1, 1), ReadFileBytes(out));
  }
}

TEST(JPEGEncodeTest, WritesTheResolutionInDotsPerInchKeepingItsLow16Bits) {
  const TPicture picture = test::NoisePicture(9, 7, 5);
  const struct {
    TResolution given;
    TResolution written;
  } cases[] = {{{0, 0}, {0, 0}}, {{300, 72}, {300, 72}}, {{70000, 1}, {70000 & 0xFFFF, 1}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.given.x) + "x" + std::to_string(c.given.y));
    const std::vector<uint8_t> jpeg = Encode(picture, c.given, 75);
    EXPECT_EQ(jpeg[13], 1);  // dots per inch
    EXPECT_EQ(Decode(jpeg).resolution, c.written);
  }
}

TEST(JPEGEncodeTest, AnEmptyPictureFailsWithTheLibrarysEmptyImageError) {
  try {
    Encode(TPicture(), {}, 75);
    ADD_FAILURE() << "encoded without error";
  } catch (const EInvalidGraphic& error) {
    EXPECT_EQ(error.what(), JpegLibraryMessage(JERR_EMPTY_IMAGE));
  }
}

TEST(JPEGEncodeTest, AStreamErrorPassesThroughUnchanged) {
  class TFullSink : public TByteSink {
   public:
    void Write(std::span<const uint8_t>) override { throw std::runtime_error("disk full"); }
  } sink;
  try {
    EncodeJpeg(sink, test::NoisePicture(8, 8, 1), {}, 75);
    ADD_FAILURE() << "encoded without error";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "disk full");
  }
}

}  // namespace
}  // namespace sk
