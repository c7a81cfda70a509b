// What a picture file holds, as the program would read it: format, size, resolution and (for
// TIFF) page count, for tools that check files before adding them.
#pragma once

#include <optional>
#include <string>

#include "imaging/ImageIO.h"

namespace sk {

struct TPictureInfo {
  std::string format;  // "JPEG", "TIFF", "PCX", "GIF", "WMF or EMF" or "BMP", by extension
  int width = 0;
  int height = 0;
  std::optional<TResolution> resolution;  // when the file carries one (JPEG, TIFF, PCX)
  std::optional<int> page_count;          // TIFF files only
};

// Reads the file through TImageIO exactly as LoadFromFile would (the reader chosen by the
// lower-cased extension, metafiles drawn through canvas_factory) and reports what it holds. TIFF files are read
// through LoadFromFileTIFF for their first page. Raises what the load raises; a TIFF file without
// pages raises EInvalidGraphic("unrecognized TIFF").
TPictureInfo IdentifyPictureFile(const std::string& file_name, TMetafileCanvasFactory canvas_factory = {});

}  // namespace sk
