// The TIFF constants the reader uses (TIFF 6.0): byte-order marks, field types, tag numbers and
// the values of the compression, photometric, planar, predictor and resolution-unit fields.
#pragma once

#include <cstdint>

namespace sk::tiff {

inline constexpr uint8_t kLittleEndianMark = 'I';  // "II"
inline constexpr uint8_t kBigEndianMark = 'M';     // "MM"
inline constexpr uint64_t kHeaderSize = 8;
inline constexpr uint64_t kEntrySize = 12;

// Field types of a directory entry.
enum class TType : uint16_t { kByte = 1, kAscii = 2, kShort = 3, kLong = 4, kRational = 5 };

enum class TTag : uint16_t {
  kImageWidth = 256,
  kImageLength = 257,
  kBitsPerSample = 258,
  kCompression = 259,
  kPhotometric = 262,
  kFillOrder = 266,
  kStripOffsets = 273,
  kOrientation = 274,
  kSamplesPerPixel = 277,
  kRowsPerStrip = 278,
  kStripByteCounts = 279,
  kXResolution = 282,
  kYResolution = 283,
  kPlanarConfiguration = 284,
  kT4Options = 292,
  kT6Options = 293,
  kResolutionUnit = 296,
  kTransferFunction = 301,
  kPredictor = 317,
  kColorMap = 320,
  kTileWidth = 322,
  kTileLength = 323,
  kTileOffsets = 324,
  kTileByteCounts = 325,
  kJpegTables = 347,
};

enum class TCompression : uint32_t {
  kNone = 1,
  kModifiedHuffman = 2,  // CCITT T.4 one-dimensional, each row byte-aligned
  kGroup3 = 3,           // CCITT T.4, one- or two-dimensional (T4 options bit 0)
  kGroup4 = 4,           // CCITT T.6
  kLZW = 5,
  kPackBits = 32773,
};

enum class TPhotometric : uint32_t { kWhiteIsZero = 0, kBlackIsZero = 1, kRGB = 2, kPalette = 3 };

inline constexpr uint32_t kPlanarChunky = 1;
inline constexpr uint32_t kPlanarSeparate = 2;
inline constexpr uint32_t kPredictorHorizontal = 2;
inline constexpr uint32_t kT4TwoDimensional = 1;  // bit 0 of the T4 options
inline constexpr uint32_t kFillOrderLsbFirst = 2;
inline constexpr uint32_t kRowsPerStripWhole = 0xFFFFFFFF;  // the whole page in one strip

enum class TResolutionUnit : uint32_t { kNone = 1, kInch = 2, kCentimetre = 3 };

}  // namespace sk::tiff
