// The GIF writer: a picture as a one-image GIF89a file, quantised to at most 255 colours and
// coded with LZW or with the run-length scheme.
#pragma once

#include <cstdint>

#include "imaging/ByteStream.h"
#include "imaging/Picture.h"

namespace sk {

// Raised by WriteGIF for a picture whose size the file's 16-bit fields cannot hold.
inline constexpr char kGIFTooLarge[] = "a GIF picture can be at most 65535 by 65535 pixels";

struct TGIFWriteOptions {
  bool use_lzw = false;      // LZW when true, else the run-length scheme
  bool interlaced = false;   // honoured with LZW only; the run-length scheme has no interlaced form
  uint16_t delay = 0;        // hundredths of a second, in the graphic control extension
  bool transparent = false;  // colour-table entry 0 (the background) is transparent
  uint16_t left = 0;         // the image's position on the logical screen
  uint16_t top = 0;
  uint32_t background = 0;  // colour value (red in the low byte) of colour-table entry 0
};

// Writes the picture as a GIF89a file: a header with the picture's size and a 256-entry global
// colour table whose entry 0 is the background and entries 1 to k the picture's colours
// quantised to k <= 255 (OctQuantize, remaining entries black), a graphic control extension
// (disposal "restore to background", the delay, transparency of index 0 when asked), an image
// descriptor, the image data with minimum code size 8 (EncodeGIFLZW or EncodeGIFRunLength) and
// the trailer. A picture of at most 255 colours is written exactly. An empty picture gives a
// valid file of a 0 by 0 image.
// Raises EInvalidGraphic(kGIFTooLarge), before writing anything, for a picture wider or higher
// than 65535 pixels; the sink's errors and std::bad_alloc pass unchanged.
void WriteGIF(TByteSink& sink, const TPicture& picture, const TGIFWriteOptions& options);

}  // namespace sk
