// Turning a picture so that it shows as its file's EXIF orientation asks (TIFF tag 274, also
// carried by JPEG files): the eight combinations of mirroring and quarter turns.
#pragma once

#include "imaging/Picture.h"

namespace sk {

// The picture as a viewer shows a file whose orientation value is `orientation`, where the value
// tells where the stored rows and columns belong: 1 as stored, 2 mirrored left to right, 3 turned
// by 180 degrees, 4 mirrored top to bottom, 5 transposed (mirrored along the top-left to
// bottom-right diagonal), 6 turned a quarter clockwise, 7 transversed (mirrored along the other
// diagonal), 8 turned a quarter anticlockwise. Values 5 to 8 swap width and height. Any other
// value gives the picture as it is. Pure: the picture given is not changed.
TPicture ApplyOrientation(const TPicture& picture, int orientation);

}  // namespace sk
