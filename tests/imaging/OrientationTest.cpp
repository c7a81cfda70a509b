// The eight EXIF orientations applied to a small asymmetric picture, checked against
// ImageMagick's -auto-orient.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/Orientation.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using test::RgbOf;

// 3 x 2 pixels, each with its own colour, so that every mirror and turn gives another picture.
TPicture Asymmetric() {
  std::vector<uint8_t> rgb;
  for (uint8_t i = 0; i < 6; ++i) rgb.insert(rgb.end(), {i, static_cast<uint8_t>(10 + i), 99});
  return test::PictureFromRgb(rgb, 3, 2);
}

TEST(ApplyOrientation, TurnsThePictureAsImageMagicksAutoOrientDoes) {
  // ImageMagick's names for the orientation values 1 to 8.
  const char* const kNames[] = {"TopLeft", "TopRight", "BottomRight", "BottomLeft",
                                "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
  const TPicture picture = Asymmetric();
  test::TTempDir dir;
  test::WriteFileBytes(dir.File("in.rgb"), RgbOf(picture));
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const std::string out = dir.File("out" + std::to_string(orientation) + ".rgb");
    ASSERT_EQ(test::Run("/usr/bin/convert -size 3x2 -depth 8 'rgb:" + dir.File("in.rgb") +
                        "' -orient " + kNames[orientation - 1] + " -auto-orient 'rgb:" + out + "'"),
              0);
    const TPicture turned = ApplyOrientation(picture, orientation);
    const bool swapped = orientation >= 5;
    EXPECT_EQ(turned.Width(), swapped ? 2 : 3);
    EXPECT_EQ(turned.Height(), swapped ? 3 : 2);
    EXPECT_EQ(RgbOf(turned), test::ReadFileBytes(out));
  }
  EXPECT_EQ(picture, Asymmetric()) << "the picture given must not change";
}

TEST(ApplyOrientation, OtherValuesAndEmptyPicturesStayAsTheyAre) {
  for (const int orientation : {0, 1, 9, -6, 274}) {
    SCOPED_TRACE(orientation);
    EXPECT_EQ(ApplyOrientation(Asymmetric(), orientation), Asymmetric());
  }
  EXPECT_TRUE(ApplyOrientation(TPicture(), 6).Empty());
}

}  // namespace
}  // namespace sk
