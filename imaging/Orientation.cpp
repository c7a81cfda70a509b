// The eight EXIF orientations as pixel moves: each output pixel is copied from the input pixel
// that the orientation puts there.
#include "imaging/Orientation.h"

#include <cstring>

namespace sk {

TPicture ApplyOrientation(const TPicture& picture, int orientation) {
  if (orientation < 2 || orientation > 8 || picture.Empty()) return picture;
  const int w = picture.Width();
  const int h = picture.Height();
  const bool swapped = orientation >= 5;
  TPicture result(swapped ? h : w, swapped ? w : h);
  for (int y = 0; y < result.Height(); ++y) {
    uint8_t* out = result.Row(y);
    for (int x = 0; x < result.Width(); ++x) {
      // The input column and row of output pixel (x, y).
      int in_x = x;
      int in_y = y;
      switch (orientation) {
        case 2: in_x = w - 1 - x; break;
        case 3:
          in_x = w - 1 - x;
          in_y = h - 1 - y;
          break;
        case 4: in_y = h - 1 - y; break;
        case 5:
          in_x = y;
          in_y = x;
          break;
        case 6:
          in_x = y;
          in_y = h - 1 - x;
          break;
        case 7:
          in_x = w - 1 - y;
          in_y = h - 1 - x;
          break;
        case 8:
          in_x = w - 1 - y;
          in_y = x;
          break;
      }
      std::memcpy(out + 3 * x, picture.Row(in_y) + 3 * in_x, 3);
    }
  }
  return result;
}

}  // namespace sk
