// GIF files (GIF87a and GIF89a): a reader of one image of a file into a 24-bit picture with the
// file's screen and image records, and a writer of a picture as a one-image GIF89a file.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "imaging/ByteStream.h"
#include "imaging/ColorQuant.h"
#include "imaging/Picture.h"

namespace sk {

// Raised by WriteGIF for a picture whose size the file's 16-bit fields cannot hold.
inline constexpr char kGifTooLarge[] = "a GIF picture can be at most 65535 by 65535 pixels";

// The logical screen.
struct TGIFScreen {
  uint16_t width = 0;
  uint16_t height = 0;
  // The global colour table's entry at the background colour index; black when the file has no
  // global colour table (its background index then refers to nothing).
  TRgb background;
  uint8_t aspect = 0;
};

// The image read, with its graphic control extension (the last one before it).
struct TGIFImage {
  uint16_t left = 0;
  uint16_t top = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint16_t delay = 0;  // hundredths of a second; 0 without a graphic control extension
  bool transparent = false;
  // The entry at the transparent colour index (index 0 without a graphic control extension) of
  // the image's local colour table, or of the global one when it has none.
  TRgb transparent_color;
  bool interlaced = false;
};

struct TGIFResult {
  // The image, or nothing when the file holds no image of the index asked for.
  std::optional<TPicture> picture;
  // The number of image descriptors before the trailer (or the end of the data).
  int image_count = 0;
  TGIFScreen screen;
  TGIFImage image;
};

// Reads image `image_index` (0 is the first) of a GIF file held in memory into a 24-bit picture,
// each pixel the colour-table entry of its value (the image's local table, else the global one;
// entries beyond a table's size in the file are black). Interlaced images are placed row by row.
// Animation, disposal, placement and the screen size are not applied.
// Data that ends early is not an error: the pixels it does not reach stay black and reading goes
// on with the next block; a file that ends without a trailer ends there. The version after "GIF"
// is not checked. Raises EInvalidGraphic(kUnrecognizedGif) for a file not starting with "GIF", a
// header, colour table, graphic control extension or image descriptor cut short, image data the
// decoder refuses (see TGIFLzwDecoder), and an image larger than kMaxPicturePixels or than its
// data could possibly fill (both checked before allocating).
TGIFResult ReadGIF(std::span<const uint8_t> file, int image_index = 0);

// The colour a loaded GIF gives the picture's background: the transparent colour when the image
// has the transparency flag, else the screen's background; as a colour value (red + green x 256
// + blue x 65536).
uint32_t GIFBackground(const TGIFResult& result);

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
// descriptor, the image data with minimum code size 8 (EncodeGIFLzw or EncodeGIFRunLength) and
// the trailer. A picture of at most 255 colours is written exactly. An empty picture gives a
// valid file of a 0 by 0 image.
// Raises EInvalidGraphic(kGifTooLarge), before writing anything, for a picture wider or higher
// than 65535 pixels; the sink's errors and std::bad_alloc pass unchanged.
void WriteGIF(TByteSink& sink, const TPicture& picture, const TGIFWriteOptions& options);

}  // namespace sk
