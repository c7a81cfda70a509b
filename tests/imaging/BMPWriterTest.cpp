// The BMP writer: 24-bit and 1-bit files read back by ImageMagick and by our reader.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "imaging/BMPReader.h"
#include "imaging/BMPWriter.h"
#include "imaging/InvalidGraphic.h"
#include "tests/imaging/ImagingTestSupport.h"

namespace sk {
namespace {

using test::RgbOf;

TEST(BMPWriterTest, TwentyFourBitFilesReadBackInImageMagickAsWritten) {
  test::TTempDir dir;
  for (const auto& [width, height] : {std::pair{1, 1}, {5, 3}, {64, 9}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const TPicture picture = test::NoisePicture(width, height, 11);
    TVectorSink sink;
    WriteBMP(sink, picture);
    EXPECT_EQ(sink.Bytes()[28], 24);
    const std::string path = dir.File("w.bmp");
    test::WriteFileBytes(path, sink.Bytes());
    const test::TOracleImage oracle = test::DecodeWithImageMagick(path);
    EXPECT_EQ(oracle.width, width);
    EXPECT_EQ(oracle.height, height);
    EXPECT_EQ(oracle.rgb, RgbOf(picture));
    EXPECT_EQ(ReadBMP(sink.Bytes()), picture);
  }
}

TEST(BMPWriterTest, OneBitFilesCarryTheirTwoPaletteColours) {
  test::TTempDir dir;
  TMonoPicture bits(13, 3);
  bits.Row(0)[0] = 0b1010'0000;
  bits.Row(1)[1] = 0b0001'1000;  // pixels 11 and 12, the last of the row
  bits.Row(2)[0] = 0xFF;
  TVectorSink sink;
  WriteBMP(sink, bits, {0x00123456, 0x00ABCDEF});
  EXPECT_EQ(sink.Bytes()[28], 1);
  const std::string path = dir.File("mono.bmp");
  test::WriteFileBytes(path, sink.Bytes());
  const test::TOracleImage oracle = test::DecodeWithImageMagick(path);
  ASSERT_EQ(oracle.rgb.size(), 13u * 3 * 3);
  auto pixel = [&](int x, int y) {
    const uint8_t* p = &oracle.rgb[(static_cast<size_t>(y) * 13 + x) * 3];
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16);  // as a colour value
  };
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 13; ++x) {
      const bool set = (bits.Row(y)[x / 8] & (0x80 >> (x % 8))) != 0;
      EXPECT_EQ(pixel(x, y), set ? 0x00ABCDEFu : 0x00123456u) << x << "," << y;
    }
  }
}

TEST(BMPWriterTest, AnEmptyPictureIsRefused) {
  TVectorSink sink;
  EXPECT_THROW(WriteBMP(sink, TPicture()), EInvalidGraphic);
}

}  // namespace
}  // namespace sk
