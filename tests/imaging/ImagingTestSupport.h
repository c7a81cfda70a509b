// Helpers shared by the imaging tests: temporary folders, whole-file I/O, running the oracle tools,
// and pictures as plain red-green-blue bytes for comparison with them.
#pragma once

#include <cstdint>
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

// Decodes an image file with ImageMagick into red-green-blue bytes and its size.
struct TOracleImage {
  std::vector<uint8_t> rgb;
  int width = 0;
  int height = 0;
};
TOracleImage DecodeWithImageMagick(const std::string& path);

}  // namespace sk::test
