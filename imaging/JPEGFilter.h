// The JPEG adapter: decodes JPEG data streams into pictures and encodes pictures as baseline JFIF
// files through libjpeg-turbo, with the library's errors turned into EInvalidGraphic; and the
// reading of a JPEG file with its EXIF orientation.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/ByteStream.h"
#include "imaging/LoadedPicture.h"
#include "imaging/Picture.h"

namespace sk {

struct TJpegImage {
  TPicture picture;
  TResolution resolution;
  // The data ended before the last row: the library filled in the picture's lower part.
  bool ended_early = false;
};

// The most scans a JPEG data stream may start. Each scan of a progressive stream passes over the
// whole picture, so a stream of a few bytes per repeated scan header would otherwise cost time
// out of all proportion to its size; real files have a few dozen at most.
inline constexpr int kMaxJpegScans = 500;

// Decodes the JPEG data stream that starts at the source's position into a 24-bit picture.
// Every colour space the library converts gives blue-green-red pixels (grayscale gives three
// equal bytes); CMYK and YCCK are refused. The source is read in 4096-byte blocks, so it may be
// left up to 4095 bytes past the end of the JPEG data. Corrupt-data warnings never stop the
// decoding: data cut inside the scan gives a whole picture whose missing part the library fills,
// and ended_early says so.
// Resolution from the JFIF header: density unit 0 or 1 gives the densities as they stand, unit 2
// (dots per centimetre) gives density x 2.54 truncated, any other unit gives 0 by 0; a stream
// without a JFIF header gives 1 by 1 (the library's defaults).
// Raises EInvalidGraphic(JpegLibraryMessage(code)) for every library error (empty input, no image
// in the stream, a stream that ends before its first scan has any data, a picture over
// kMaxPicturePixels, a stream that starts more than kMaxJpegScans scans, which gives
// JERR_BAD_SCAN_SCRIPT, ...) and, before decompressing, for a source that knows its size
// (TByteSource::Remaining) when its bytes cannot hold one bit for each 8x8 block of the declared
// size: no entropy-coded JPEG is that small, so such a file could only cost memory and time.
// Errors raised by the source itself pass through unchanged.
TJpegImage DecodeJpeg(TByteSource& source);

// The EXIF orientation (tag 274 of the TIFF structure in the first APP1 "Exif" segment, in either
// byte order) of a JPEG file held in memory: 1 to 8 as the file says, 1 when the file has none,
// holds another value, or its headers cannot be read. Looks only at the markers before the first
// scan; never raises.
int ReadJPEGOrientation(std::span<const uint8_t> jpeg);

// Reads a JPEG file (ReadPictureFile, then DecodeJpeg) with its resolution and EXIF orientation.
// Raises EOSError when the file cannot be read, EInvalidGraphic(kUnrecognizedJpeg) for a file over
// kMaxPictureFileSize, and the decoder's errors.
TLoadedPicture ReadJPEGFile(const std::string& file_name);

// Writes the picture as a baseline JFIF file (YCbCr with the library's default sampling, its
// standard tables scaled to the quality, density unit 1 with the low 16 bits of each resolution)
// at the sink's position. The quality is clamped by the library to 1..100. An empty picture, like
// every other library error, raises EInvalidGraphic(JpegLibraryMessage(code)); errors raised by
// the sink pass through unchanged, and the sink then holds a partial file.
void EncodeJpeg(TByteSink& sink, const TPicture& picture, TResolution resolution, int quality);

}  // namespace sk
