// Probing picture files through the program's own readers.
#include "imaging/PictureInfo.h"

#include <utility>

#include "imaging/InvalidGraphic.h"
#include "imaging/PictureHost.h"
#include "platform/Files.h"

namespace sk {

namespace {

std::string LowerCaseExtension(const std::string& file_name) {
  std::string extension = ExtractFileExt(file_name);
  for (char& c : extension) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return extension;
}

// The format LoadFromFile reads a file as, by its extension.
std::string FormatOf(const std::string& extension) {
  if (extension == ".jpg" || extension == ".jpeg") return "JPEG";
  if (extension == ".tif" || extension == ".tiff") return "TIFF";
  if (extension == ".pcx") return "PCX";
  if (extension == ".gif") return "GIF";
  if (extension == ".wmf" || extension == ".emf") return "WMF or EMF";
  return "BMP";
}

// A resolution no file gives, to tell loads that set one from those that leave it.
constexpr int kNoResolution = -1;

}  // namespace

TPictureInfo IdentifyPictureFile(const std::string& file_name,
                                 TMetafileCanvasFactory canvas_factory) {
  TPictureHost host;
  host.SetDPI(kNoResolution, kNoResolution);
  TImageIO io;
  io.SetAttachedImage(&host);
  io.SetMetafileCanvasFactory(std::move(canvas_factory));
  TPictureInfo info;
  info.format = FormatOf(LowerCaseExtension(file_name));
  if (info.format == "TIFF") {
    info.page_count = io.LoadFromFileTIFF(file_name, 0);
    if (*info.page_count == 0) throw EInvalidGraphic(kUnrecognizedTiff);
  } else {
    io.LoadFromFile(file_name);
  }
  info.width = host.Bitmap().Width();
  info.height = host.Bitmap().Height();
  if (host.DpiX() != kNoResolution) info.resolution = TResolution{host.DpiX(), host.DpiY()};
  return info;
}

}  // namespace sk
