// The picture component: clearing, colour depth, and loads through its input/output part.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <string>
#include <vector>

#include "ViewTestSupport.h"
#include "view/Image.h"

namespace sk {
namespace {

using test::ImageColour;
using test::MakePicture;
using test::PictureColour;
using test::Render;

// Pixels that differ from each other and from every background used here.
uint32_t Pattern(int x, int y) {
  return 0x102030u + static_cast<uint32_t>(x * 7 + y * 1000);
}

// Records the host calls a load makes, in order.
class TRecordingImage : public TImage {
 public:
  void Update() override {
    calls.push_back("Update");
    TImage::Update();
  }
  void ImageChange() override {
    calls.push_back("ImageChange");
    TImage::ImageChange();
  }
  std::vector<std::string> calls;
};

TEST(ImageTest, ClearFillsThePictureWithTheBackgroundAndRepaints) {
  struct Case {
    uint32_t background;
    uint32_t fill;
  };
  QPalette palette;
  palette.setColor(QPalette::Button, QColor(0x11, 0x22, 0x33));
  const Case cases[] = {{0x00336699, 0x336699}, {0x8000000F, 0x332211}, {0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.background);
    TImage image;
    image.setPalette(palette);
    image.SetBackground(c.background);
    image.Bitmap() = MakePicture(3, 2, Pattern);
    image.Update();
    const QImage before = Render(image);  // the picture is now cached for drawing
    ASSERT_EQ(ImageColour(before, 2, 1), Pattern(2, 1));
    int image_changes = 0;
    image.OnImageChange = [&image_changes](TImageView&) { ++image_changes; };

    image.Clear();

    EXPECT_EQ(image_changes, 1);
    ASSERT_EQ(image.Bitmap().Width(), 3);
    ASSERT_EQ(image.Bitmap().Height(), 2);
    for (int y = 0; y < 2; ++y) {
      for (int x = 0; x < 3; ++x) EXPECT_EQ(PictureColour(image.Bitmap(), x, y), c.fill);
    }
    const QImage after = Render(image);
    for (int y = 0; y < 105; ++y) {
      for (int x = 0; x < 105; ++x) ASSERT_EQ(ImageColour(after, x, y), c.fill) << x << "," << y;
    }
  }
}

TEST(ImageTest, ClearOfAnEmptyPictureStaysEmpty) {
  TImage image;
  int image_changes = 0;
  image.OnImageChange = [&image_changes](TImageView&) { ++image_changes; };
  image.Clear();
  EXPECT_TRUE(image.Bitmap().Empty());
  EXPECT_EQ(image_changes, 1);
}

TEST(ImageTest, ColourDepthAlwaysReads24Bit) {
  TImage image;
  image.Bitmap() = MakePicture(4, 3, Pattern);
  const TPicture before = image.Bitmap();
  EXPECT_EQ(image.NColors(), TNColors::nc24bit);
  for (const TNColors colors : {TNColors::nc8bit, TNColors::nc24bit}) {
    image.SetNColors(colors);
    EXPECT_EQ(image.NColors(), TNColors::nc24bit);
    EXPECT_EQ(image.Bitmap(), before);
  }
}

TEST(ImageTest, OptionsStartAsDocumentedAndReachTheInputOutputPart) {
  TImage image;
  EXPECT_TRUE(image.AutoUndo());
  EXPECT_FALSE(image.UseLZW());
  EXPECT_EQ(image.IO().AttachedImage(), &image);
  image.SetUseLZW(true);
  EXPECT_TRUE(image.IO().UseLZW());
  image.SetBackground(0x00ABCDEF);
  EXPECT_EQ(image.IO().Background(), 0x00ABCDEFu);
}

TEST(ImageTest, LoadUpdatesThenReportsTheNewPicture) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.filePath("pattern.bmp").toStdString();
  TImage source;
  source.Bitmap() = MakePicture(5, 4, Pattern);
  source.SaveToFileBMP(path);

  TRecordingImage image;
  image.Bitmap() = MakePicture(5, 4, [](int, int) { return 0u; });
  image.SetZoom(200);
  Render(image);  // the old picture is now cached for drawing
  image.calls.clear();

  image.LoadFromFile(path);

  EXPECT_EQ(image.calls, (std::vector<std::string>{"Update", "ImageChange"}));
  EXPECT_EQ(image.Bitmap(), source.Bitmap());
  EXPECT_EQ(image.Zoom(), 200);
  const QImage rendered = Render(image);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 10; ++x) {
      ASSERT_EQ(ImageColour(rendered, x, y), Pattern(x / 2, y / 2)) << x << "," << y;
    }
  }
}

TEST(ImageTest, StreamRoundTripThroughTheComponent) {
  TImage source;
  source.Bitmap() = MakePicture(16, 8, [](int, int) { return 0x00808080u; });
  TMemoryStream stream;
  source.SaveToStreamJpeg(stream, 90);
  stream.Seek(0);
  TRecordingImage image;
  image.LoadFromStreamJpeg(stream);
  EXPECT_EQ(image.calls, (std::vector<std::string>{"Update", "ImageChange"}));
  EXPECT_EQ(image.Bitmap().Width(), 16);
  EXPECT_EQ(image.Bitmap().Height(), 8);
}

}  // namespace
}  // namespace sk
