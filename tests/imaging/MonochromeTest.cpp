// The two-colour conversions: finding a picture's two colours and expanding 1-bit rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "imaging/Monochrome.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using test::PictureOf;

TEST(MonochromeTest, ExpandMonochromeGivesWhiteForSetBitsAndBlackForClearOnes) {
  TMonoPicture bits(13, 2);
  bits.Row(0)[0] = 0b1000'0001;
  bits.Row(0)[1] = 0b0000'1111;  // pixels 12..15 set; only 12 belongs to the picture
  bits.Row(1)[0] = 0xFF;
  const TPicture picture = ExpandMonochrome(bits);
  ASSERT_EQ(picture.Width(), 13);
  const std::string expected[] = {"#......#....#", "########....."};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 13; ++x) {
      const uint8_t* p = picture.Row(y) + 3 * x;
      const uint8_t level = expected[y][x] == '#' ? 0xFF : 0x00;
      EXPECT_EQ(std::vector<uint8_t>(p, p + 3), std::vector<uint8_t>(3, level)) << x << "," << y;
    }
  }
}

TEST(MonochromeTest, MakeMonochromeMarksTheDarkerColourWithClearBits) {
  const TPicture picture = PictureOf(3, 1, {0xFFFFFF, 0x000000, 0xFFFFFF});
  const std::optional<TMonochrome> mono = MakeMonochrome(picture);
  ASSERT_TRUE(mono);
  EXPECT_EQ(mono->colours, (std::array<uint32_t, 2>{0x000000, 0xFFFFFF}));
  EXPECT_EQ(mono->bits.Row(0)[0], 0b1010'0000);
  EXPECT_EQ(ExpandMonochrome(mono->bits), picture);
}

}  // namespace
}  // namespace sk
