// The error every codec raises for a picture it cannot read or write; the message names the
// format ("unrecognized GIF", ...) and is shown to the user as it stands.
#pragma once

#include <stdexcept>
#include <string>

namespace sk {

class EInvalidGraphic : public std::runtime_error {
 public:
  explicit EInvalidGraphic(const std::string& message) : std::runtime_error(message) {}
};

// The fixed messages of the codecs, each naming the format the user tried to read.
inline constexpr char kUnrecognizedJpeg[] = "unrecognized JPEG";
inline constexpr char kUnrecognizedJpegStream[] = "unrecognized JPEG stream";
inline constexpr char kUnrecognizedBmp[] = "unrecognized BMP";
inline constexpr char kUnrecognizedTiff[] = "unrecognized TIFF";
inline constexpr char kUnrecognizedPcx[] = "unrecognized PCX";
inline constexpr char kUnrecognizedGif[] = "unrecognized GIF";
inline constexpr char kUnrecognizedMetafile[] = "unrecognized WMF or EMF";

// The JPEG adapter's message for an error of the JPEG library, with the library's message code:
// "unrecognized JPeg - JPEG error #<code>".
inline std::string JpegLibraryMessage(int code) {
  return "unrecognized JPeg - JPEG error #" + std::to_string(code);
}

}  // namespace sk
