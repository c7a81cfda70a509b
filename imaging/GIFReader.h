// The GIF reader (GIF87a and GIF89a): one image of a file into a 24-bit picture, with the file's
// screen and image records.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "imaging/ColorQuant.h"
#include "imaging/LoadedPicture.h"
#include "imaging/Picture.h"

namespace sk {

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
// Data that ends early is not an error: the pixels it does not reach stay black (they are not
// painted at all) and reading goes on with the next block; a file that ends without a trailer ends
// there, also inside a later image's descriptor or colour table once the image asked for is read
// (a cut animation gives its first image). The version after "GIF" is not checked.
// Raises EInvalidGraphic(kUnrecognizedGif) for a file not starting with "GIF", a header, colour
// table, graphic control extension or image descriptor cut short before the image asked for is
// read, image data the decoder refuses (see TGIFLZWDecoder), and an image larger than
// kMaxPicturePixels or than its data could possibly fill (GIFLZWValueBound; both checked before
// allocating).
TGIFResult ReadGIF(std::span<const uint8_t> file, int image_index = 0);

// The colour a loaded GIF gives the picture's background: the transparent colour when the image
// has the transparency flag, else the screen's background; as a colour value (red + green x 256
// + blue x 65536).
uint32_t GIFBackground(const TGIFResult& result);

// Reads a GIF file's first image (ReadPictureFile, then ReadGIF); a file without an image gives an
// empty picture. Either way the file's background (GIFBackground) comes along. Raises EOSError when
// the file cannot be read, EInvalidGraphic(kUnrecognizedGif) as ReadGIF does and for a file over
// kMaxPictureFileSize.
TLoadedPicture ReadGIFFile(const std::string& file_name);

}  // namespace sk
