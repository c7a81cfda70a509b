// The PCX reader: one-plane 1-, 4- and 8-bit files and three-plane 24-bit files, uncompressed or
// run-length encoded, with the header's 16-colour and the end-of-file 256-colour palettes.
#pragma once

#include <cstdint>
#include <span>

#include "imaging/ByteReader.h"
#include "imaging/LoadedPicture.h"
#include "imaging/Picture.h"
#include <string>

namespace sk {

// The resolution reported for a file whose header gives 0 for either direction, where no screen
// can be asked for its own.
inline constexpr TResolution kPCXDefaultResolution{96, 96};

struct TPCXImage {
  TPicture picture;
  TResolution resolution;
};

// Decodes the next plane line (line.size() bytes) at the reader's position. Without run_length the
// bytes are copied; with it, a byte below 192 is one data byte and a byte b of 192 or more repeats
// the byte after it (b & 63) times, the part of a run beyond the line's end being dropped. Data
// that ends before the line is full raises EInvalidGraphic(data.Message()).
void DecodePCXLine(TByteReader& data, std::span<uint8_t> line, bool run_length);

// Decodes a whole PCX file held in memory into a 24-bit picture. One plane of 8 bits looks its
// values up in the last 768 bytes of the file, one of 4 bits in the header's palette (high nibble
// first), one of 1 bit gives white for set bits and black for clear ones; one plane of 2 bits
// gives black rows; three planes of 8 bits give red, green and blue. A header resolution of 0 in
// either direction gives `screen` for both.
// Raises EInvalidGraphic(kUnrecognizedPcx) for a first byte other than 10, an encoding other than
// 0 or 1, more than 8 bits per plane, other than 1 or 3 planes, three planes of other than 8 bits,
// a maximum below the minimum, a line length too short for the width, a size beyond
// kMaxPicturePixels or max_pixels, a file too short for its palette, and pixel data that ends
// early.
TPCXImage ReadPCX(std::span<const uint8_t> file, TResolution screen = kPCXDefaultResolution,
                  int64_t max_pixels = kMaxPicturePixels);

// A PCX file read whole with ReadPictureFile, as a loaded picture with its resolution.
TLoadedPicture ReadPCXFile(const std::string& file_name);

}  // namespace sk
