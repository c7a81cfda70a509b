// In-memory picture storage.
#include "imaging/Picture.h"

#include <stdexcept>

namespace sk {

bool PictureSizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPicturePixels && height <= kMaxPicturePixels &&
         width * height <= kMaxPicturePixels;
}

void TPicture::SetSize(int width, int height) {
  if (width == 0 || height == 0) {
    width_ = height_ = 0;
    row_bytes_ = 0;
    pixels_.clear();
    pixels_.shrink_to_fit();
    return;
  }
  if (!PictureSizeAllowed(width, height)) throw std::length_error("picture size out of range");
  const size_t row_bytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  pixels_.assign(row_bytes * static_cast<size_t>(height), 0);
  width_ = width;
  height_ = height;
  row_bytes_ = row_bytes;
}

void TMonoPicture::SetSize(int width, int height) {
  if (width == 0 || height == 0) {
    width_ = height_ = 0;
    row_bytes_ = 0;
    bits_.clear();
    bits_.shrink_to_fit();
    return;
  }
  if (!PictureSizeAllowed(width, height)) throw std::length_error("picture size out of range");
  const size_t row_bytes = ((static_cast<size_t>(width) + 31) / 32) * 4;
  bits_.assign(row_bytes * static_cast<size_t>(height), 0);
  width_ = width;
  height_ = height;
  row_bytes_ = row_bytes;
}

}  // namespace sk
