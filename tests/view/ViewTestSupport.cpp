// The application object for the widget tests and the picture and rendering helpers.
#include "ViewTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QWidget>
#include <memory>

namespace sk::test {

namespace {

// Widgets need one application object for the whole test run.
class TQtEnvironment : public testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[10] = "view_test";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// gtest takes ownership of the environment.
[[maybe_unused]] testing::Environment* const kQtEnvironment =
    testing::AddGlobalTestEnvironment(new TQtEnvironment);

}  // namespace

TPicture MakePicture(int width, int height, const std::function<uint32_t(int x, int y)>& colour) {
  TPicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = picture.Row(y);
    for (int x = 0; x < width; ++x) {
      const uint32_t value = colour(x, y);
      row[3 * x] = static_cast<uint8_t>(value >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(value >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(value);
    }
  }
  return picture;
}

uint32_t PictureColour(const TPicture& picture, int x, int y) {
  const uint8_t* pixel = picture.Row(y) + 3 * x;
  return pixel[2] | pixel[1] << 8 | pixel[0] << 16;
}

QImage Render(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

uint32_t ImageColour(const QImage& image, int x, int y) {
  const QRgb pixel = image.pixel(x, y);
  return static_cast<uint32_t>(qRed(pixel) | qGreen(pixel) << 8 | qBlue(pixel) << 16);
}

}  // namespace sk::test
