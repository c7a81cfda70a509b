// WMF and EMF files drawn through TImageIO with the QPainter canvas, compared with ImageMagick's
// rendering of the WMF (the same scene is written in both formats by
// tests/scripts/make_metafile_fixtures.py, and by libuemf through tests/scripts/uemf_writer.c)
// and checked for the shapes' positions and colours.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "imaging/ImageIO.h"
#include "imaging/PictureHost.h"
#include "platform/qt/QtMetafileCanvas.h"

namespace sk {
namespace {

const std::string kFixtures = SK_METAFILE_FIXTURES_DIR;

// Text needs the graphics system. One application serves the binary's tests; it is made on
// first use and ends with the test run, before static destruction (too late for Qt).
class TGuiEnvironment : public ::testing::Environment {
 public:
  static void Ensure() {
    if (app_ == nullptr) app_ = std::make_unique<QGuiApplication>(argc_, argv_);
  }
  void TearDown() override { app_.reset(); }

 private:
  static inline int argc_ = 1;
  static inline char name_[] = "platform_tests";
  static inline char* argv_[] = {name_, nullptr};
  static inline std::unique_ptr<QGuiApplication> app_;
};

// gtest owns registered environments.
::testing::Environment* const kGuiEnvironment =
    ::testing::AddGlobalTestEnvironment(new TGuiEnvironment);

void EnsureGui() {
  TGuiEnvironment::Ensure();
}

struct TRgb {
  int r, g, b;
};

// The picture as TImageIO loads it with the QPainter canvas, on a white background.
TPicture Load(const std::string& name) {
  EnsureGui();
  TPictureHost host;
  TImageIO io;
  io.SetAttachedImage(&host);
  io.SetMetafileCanvasFactory(MakeQtMetafileCanvas);
  io.SetBackground(0xFFFFFF);
  io.LoadFromFile(kFixtures + "/" + name);
  return host.Bitmap();
}

TRgb At(const TPicture& picture, int x, int y) {
  const uint8_t* p = picture.Row(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

bool Near(TRgb a, TRgb b, int tolerance = 8) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

std::string Describe(TRgb c) {
  return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

struct TSample {
  int x, y;
  TRgb color;
};

constexpr TRgb kWhite{255, 255, 255}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255},
    kBlack{0, 0, 0}, kYellow{255, 255, 0}, kMagenta{255, 0, 255}, kCyan{0, 255, 255};

void ExpectSamples(const TPicture& picture, const std::vector<TSample>& samples) {
  for (const TSample& s : samples) {
    SCOPED_TRACE(std::to_string(s.x) + "," + std::to_string(s.y));
    EXPECT_TRUE(Near(At(picture, s.x, s.y), s.color))
        << Describe(At(picture, s.x, s.y)) << " instead of " << Describe(s.color);
  }
}

TEST(QtMetafileCanvasTest, ShapesLandWhereTheyBelongInTheirColours) {
  for (const char* name : {"shapes.wmf", "shapes.emf"}) {
    SCOPED_TRACE(name);
    const TPicture picture = Load(name);
    ASSERT_EQ(picture.Width(), 199);
    ASSERT_EQ(picture.Height(), 149);
    ExpectSamples(picture, {
                               {50, 45, kRed},
                               {21, 21, kRed},
                               {78, 68, kRed},
                               {18, 45, kWhite},
                               {82, 45, kWhite},
                               {50, 72, kWhite},
                               {140, 50, kBlue},
                               {102, 50, kBlue},
                               {104, 24, kWhite},
                               {50, 125, kGreen},
                               {50, 88, kWhite},
                               {22, 125, kWhite},
                               {140, 110, kBlack},
                               {140, 106, kWhite},
                               {140, 114, kWhite},
                               {140, 132, kYellow},
                               {100, 120, kWhite},
                               {10, 10, kWhite},
                           });
  }
}

// ImageMagick's rendering of a WMF on white at 96 dpi, as red-green-blue rows.
std::vector<uint8_t> ImageMagickRendering(const std::string& name, int width, int height) {
  const std::string oracle = ::testing::TempDir() + "/" + name + ".oracle.rgb";
  EXPECT_EQ(std::system(("/usr/bin/convert -density 96 '" + kFixtures + "/" + name +
                         "' -background white -flatten -depth 8 rgb:'" + oracle + "'")
                            .c_str()),
            0);
  std::ifstream in(oracle, std::ios::binary);
  std::vector<uint8_t> rgb((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(rgb.size(), static_cast<size_t>(width) * height * 3);
  rgb.resize(static_cast<size_t>(width) * height * 3);
  return rgb;
}

// Pixels of the picture with no pixel of its colour in the oracle within one pixel: edges differ
// by anti-aliasing and by whether the last row and column of a shape are filled.
int Differing(const TPicture& picture, const std::vector<uint8_t>& rgb, int width, int height) {
  int differing = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int x = 0; x < picture.Width(); ++x) {
      bool agrees = false;
      for (int dy = -1; dy <= 1 && !agrees; ++dy) {
        for (int dx = -1; dx <= 1 && !agrees; ++dx) {
          const int ox = std::clamp(x + dx, 0, width - 1);
          const int oy = std::clamp(y + dy, 0, height - 1);
          const uint8_t* o = rgb.data() + 3 * (oy * width + ox);
          agrees = Near(At(picture, x, y), {o[0], o[1], o[2]}, 64);
        }
      }
      if (!agrees) ++differing;
    }
  }
  return differing;
}

TEST(QtMetafileCanvasTest, ShapesMatchImageMagicksRenderingOfTheWmf) {
  const std::vector<uint8_t> rgb = ImageMagickRendering("shapes.wmf", 200, 150);
  for (const char* name : {"shapes.wmf", "shapes.emf"}) {
    SCOPED_TRACE(name);
    const TPicture picture = Load(name);
    EXPECT_LT(Differing(picture, rgb, 200, 150), picture.Width() * picture.Height() / 100);
  }
}

TEST(QtMetafileCanvasTest, FilesWrittenByLibuemfLoadAtTheirSizeAndLookRight) {
  const std::vector<uint8_t> rgb = ImageMagickRendering("uemf.wmf", 240, 144);
  for (const char* name : {"uemf.wmf", "uemf.emf"}) {
    SCOPED_TRACE(name);
    const TPicture picture = Load(name);
    ASSERT_EQ(picture.Width(), 239);
    ASSERT_EQ(picture.Height(), 143);
    ExpectSamples(picture, {
                               {60, 54, kRed},
                               {25, 25, kRed},
                               {94, 82, kRed},
                               {22, 54, kWhite},
                               {168, 60, kBlue},
                               {122, 60, kBlue},
                               {60, 125, kGreen},
                               {60, 94, kWhite},
                               {168, 108, kBlack},
                               {120, 120, kBlack},
                               {168, 120, kWhite},
                               {168, 102, kWhite},
                               {10, 10, kWhite},
                               {230, 140, kWhite},
                           });
    // ImageMagick reads only the WMF; the EMF holds the same drawing. The 5-pixel outline's
    // anti-aliased edges add to the differences; a shape missing or moved by two pixels would
    // differ in thousands of pixels.
    EXPECT_LT(Differing(picture, rgb, 240, 144), picture.Width() * picture.Height() / 50);
  }
}

TEST(QtMetafileCanvasTest, TextIsDrawnWithTheSelectedFontWhereItWasPlaced) {
  for (const char* name : {"text.wmf", "text.emf"}) {
    SCOPED_TRACE(name);
    const TPicture picture = Load(name);
    int dark = 0, left = picture.Width(), right = 0, top = picture.Height(), bottom = 0;
    for (int y = 0; y < picture.Height(); ++y) {
      for (int x = 0; x < picture.Width(); ++x) {
        const TRgb c = At(picture, x, y);
        if (c.r + c.g + c.b > 3 * 128) continue;
        ++dark;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
    }
    // "Stillkeep" 20 pixels high, its top at (20, 20): about 90 pixels wide.
    EXPECT_GT(dark, 150);
    EXPECT_GE(left, 20);
    EXPECT_LE(left, 24);
    EXPECT_GE(top, 20);
    EXPECT_LE(top, 26);
    EXPECT_GT(right, 90);
    EXPECT_LT(right, 140);
    EXPECT_LE(bottom, 45);
  }
}

TEST(QtMetafileCanvasTest, DibPixelsAreStretchedOntoTheirRectangle) {
  for (const char* name : {"dib.wmf", "dib.emf"}) {
    SCOPED_TRACE(name);
    const TPicture picture = Load(name);
    ExpectSamples(picture, {
                               {50, 50, kRed},
                               {70, 50, kGreen},
                               {90, 50, kBlue},
                               {110, 50, kWhite},
                               {50, 70, kBlack},
                               {70, 70, kYellow},
                               {90, 70, kMagenta},
                               {110, 70, kCyan},
                               {41, 41, kRed},
                               {118, 78, kCyan},
                               {38, 60, kWhite},
                               {60, 82, kWhite},
                           });
  }
}

TEST(QtMetafileCanvasTest, AHundredByEightyMetafileGivesANinetyNineBySeventyNinePicture) {
  for (const char* name : {"size100x80.wmf", "size100x80.emf"}) {
    SCOPED_TRACE(name);
    const TPicture picture = Load(name);
    ASSERT_EQ(picture.Width(), 99);
    ASSERT_EQ(picture.Height(), 79);
    ExpectSamples(picture, {{0, 0, kRed}, {98, 78, kRed}, {50, 40, kRed}});
  }
}

}  // namespace
}  // namespace sk
