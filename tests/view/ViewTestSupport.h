// Helpers shared by the widget tests: the application object the widgets need, pictures made from
// colour values, and a widget's rendering read back as colour values.
#pragma once

#include <QImage>
#include <cstdint>
#include <functional>

#include "imaging/Picture.h"

class QWidget;

namespace sk::test {

// A picture whose pixel at x, y has the colour value (red in the low byte) colour(x, y).
TPicture MakePicture(int width, int height, const std::function<uint32_t(int x, int y)>& colour);

// The colour value of the picture's pixel at x, y.
uint32_t PictureColour(const TPicture& picture, int x, int y);

// The widget drawn by Qt into an image as it would appear on screen.
QImage Render(QWidget& widget);

// The colour value of the image's pixel at x, y.
uint32_t ImageColour(const QImage& image, int x, int y);

}  // namespace sk::test
