// The TIFF reader: one page (image file directory) of a TIFF file held in memory, decoded from
// its strips, with the file's page count and the page's resolution and orientation.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "imaging/LoadedPicture.h"
#include "imaging/Picture.h"
#include <string>

namespace sk {

// Raised by the TIFF reader for a page whose bits-per-sample values differ.
inline constexpr char kInvalidTiffStream[] = "Invalid TIFF stream";

struct TTIFFPage {
  // The page, when it exists: bilevel pages (1 bit, 1 sample) as 1-bit pictures in which a set
  // bit is a white pixel, all others as 24-bit pictures.
  std::optional<TPicture> picture;
  std::optional<TMonoPicture> bilevel;
  int page_count = 0;  // the length of the directory chain
  // Dots per inch, when the resolution unit is 1 (none), 2 (inch) or 3 (centimetre).
  std::optional<TResolution> resolution;
  int orientation = 1;  // the orientation field (274), which the reader does not apply

  bool HasPage() const { return picture.has_value() || bilevel.has_value(); }
};

// Reads page page_index (0-based) of a TIFF file. A page index beyond the chain gives no
// picture, only the page count. Understands both byte orders; chunky strips, and planar strips
// of 8-bit RGB (other planar pages with more than one sample stay blank); compression none, CCITT
// modified Huffman, Group 3 (one- and two-dimensional), Group 4, LZW and PackBits; horizontal
// differencing of 8-bit samples; bilevel, 4- and 8-bit greyscale and palette, and 8-bit RGB pages.
// A page without strips (a tiled page) is a blank (black) picture of its size.
//
// Raises EInvalidGraphic(kInvalidTiffStream) when the bits-per-sample values differ, and
// EInvalidGraphic(kUnrecognizedTiff) for anything else it cannot read safely: a bad byte-order
// mark, a directory chain that loops, values, strips or tables outside the file, a missing or
// short strip byte count list, sizes that overflow or exceed kMaxPicturePixels, a compression
// other than the six above, another combination of photometric interpretation, samples and
// bits, and strip data the decoders cannot decode within the strip. LZW data that ends early
// leaves the rest of its strip blank, and strips missing from the list leave their rows
// blank. Pages of more than max_pixels pixels are refused like those beyond kMaxPicturePixels.
TTIFFPage ReadTIFF(std::span<const uint8_t> file, int page_index,
                   int64_t max_pixels = kMaxPicturePixels);

// A page of a TIFF file as a loaded picture (bilevel pages expanded to black and white, the
// orientation field passed on); a page index beyond the file's pages gives no picture, only the
// page count. The file is read whole with ReadPictureFile; failures raise as ReadTIFF does.
struct TTIFFFilePage {
  std::optional<TLoadedPicture> loaded;
  int page_count = 0;
};
TTIFFFilePage ReadTIFFFilePage(const std::string& file_name, int page_index);

// The first page of a TIFF file; a file without pages raises EInvalidGraphic("unrecognized TIFF").
TLoadedPicture ReadTIFFFile(const std::string& file_name);

}  // namespace sk
