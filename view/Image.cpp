// The picture component: the view joined with its input/output part.
#include "view/Image.h"

#include <algorithm>

namespace sk {

TImage::TImage(QWidget* parent) : TImageView(parent) {
  io_.SetAttachedImage(this);
  io_.SetUseLZW(false);
}

// The input/output part, a member, detaches itself before the view goes.
TImage::~TImage() = default;

void TImage::Clear() {
  const uint32_t rgb = ResolveColor(Background());
  const uint8_t pixel[3] = {static_cast<uint8_t>(rgb >> 16 & 0xFF),
                            static_cast<uint8_t>(rgb >> 8 & 0xFF),
                            static_cast<uint8_t>(rgb & 0xFF)};
  TPicture& picture = Bitmap();
  for (int y = 0; y < picture.Height(); ++y) {
    uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.Width(); ++x) std::copy(pixel, pixel + 3, row + 3 * x);
  }
  Update();
  ImageChange();
}

void TImage::SetNColors(TNColors /*colors*/) {
  // The picture is held at 24 bits per pixel at all times, which is what either value asks for.
}

}  // namespace sk
