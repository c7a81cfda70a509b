// Helpers shared by the imaging tests: temporary folders, whole-file I/O, running the oracle tools,
// and pictures as plain red-green-blue bytes for comparison with them.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "imaging/Picture.h"

namespace sk::test {

// A new empty folder under the temporary directory, removed with everything in it.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes);

// Runs a shell command and returns its exit status (-1 when it could not run).
int Run(const std::string& command);

// The picture's pixels top row first, red-green-blue, without row padding: the layout of
// ImageMagick's "rgb:" output and of Pillow's tobytes().
std::vector<uint8_t> RgbOf(const TPicture& picture);
// The inverse of RgbOf.
TPicture PictureFromRgb(std::span<const uint8_t> rgb, int width, int height);

// A picture of deterministic pseudo-random pixels.
TPicture NoisePicture(int width, int height, uint32_t seed);

// A picture whose pixels repeat the colour values given (red in the low byte), row by row.
TPicture PictureOf(int width, int height, const std::vector<uint32_t>& colors);

// Decodes an image file with ImageMagick into red-green-blue bytes and its size.
struct TOracleImage {
  std::vector<uint8_t> rgb;
  int width = 0;
  int height = 0;
};
TOracleImage DecodeWithImageMagick(const std::string& path);

// A TIFF structure with one image file directory of the entries given (tag, type, count, value
// as the first 16 bits of the value field), in the byte order of `order` ("II" or "MM"), the
// directory at ifd_offset (where it is written is always 8).
std::vector<uint8_t> Tiff(const char* order, std::initializer_list<std::array<uint32_t, 4>> entries,
                          uint32_t ifd_offset = 8);
// The JPEG with an APP1 segment of `payload` right after its start-of-image marker.
std::vector<uint8_t> WithApp1(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& payload);
// An APP1 payload: "Exif", two zero bytes, and the TIFF structure.
std::vector<uint8_t> Exif(const std::vector<uint8_t>& tiff);

}  // namespace sk::test
