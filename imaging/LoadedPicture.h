// What a format reader gives TImageIO for one file: the picture and what the file says about it.
#pragma once

#include <cstdint>
#include <optional>

#include "imaging/Picture.h"

namespace sk {

struct TLoadedPicture {
  TPicture picture;
  std::optional<TResolution> resolution;  // JPEG, TIFF and PCX files carry one
  std::optional<uint32_t> background;     // GIF files carry one (a colour value)
  // The EXIF orientation (1 to 8, see Orientation.h) in which the pixels are to be shown; 1 is
  // as stored. LoadFromFile turns the pixels accordingly.
  int orientation = 1;
  // The file ended before the picture did; its lower part is filled in (a JPEG cut short).
  bool ended_early = false;
};

}  // namespace sk
