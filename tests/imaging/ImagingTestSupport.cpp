// Helpers shared by the imaging tests.
#include "tests/imaging/ImagingTestSupport.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/Files.h"

namespace sk::test {

TTempDir::TTempDir() {
  std::string pattern = TempDirectory() + "/sk-imaging-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TTempDir::~TTempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::string& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

int Run(const std::string& command) {
  const int status = std::system(command.c_str());
  if (status == -1 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::vector<uint8_t> RgbOf(const TPicture& picture) {
  std::vector<uint8_t> rgb;
  rgb.reserve(static_cast<size_t>(picture.Width()) * picture.Height() * 3);
  for (int y = 0; y < picture.Height(); ++y) {
    const uint8_t* row = picture.Row(y);
    for (int x = 0; x < picture.Width(); ++x) {
      rgb.insert(rgb.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
    }
  }
  return rgb;
}

TPicture PictureFromRgb(std::span<const uint8_t> rgb, int width, int height) {
  TPicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = picture.Row(y);
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
      row[3 * x] = p[2];
      row[3 * x + 1] = p[1];
      row[3 * x + 2] = p[0];
    }
  }
  return picture;
}

TPicture NoisePicture(int width, int height, uint32_t seed) {
  std::mt19937 generator(seed);
  TPicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width * 3; ++x) picture.Row(y)[x] = static_cast<uint8_t>(generator());
  }
  return picture;
}

TOracleImage DecodeWithImageMagick(const std::string& path) {
  TOracleImage image;
  const std::string rgb_path = path + ".oracle.rgb";
  const std::string size_path = path + ".oracle.size";
  if (Run("/usr/bin/convert '" + path + "' -depth 8 rgb:'" + rgb_path + "'") != 0 ||
      Run("/usr/bin/convert '" + path + "' -format '%w %h' info: > '" + size_path + "'") != 0) {
    throw std::runtime_error("ImageMagick cannot read " + path);
  }
  image.rgb = ReadFileBytes(rgb_path);
  const std::vector<uint8_t> size = ReadFileBytes(size_path);
  std::istringstream(std::string(size.begin(), size.end())) >> image.width >> image.height;
  return image;
}

std::vector<uint8_t> Tiff(const char* order, std::initializer_list<std::array<uint32_t, 4>> entries,
                          uint32_t ifd_offset) {
  const bool little = order[0] == 'I';
  std::vector<uint8_t> out = {static_cast<uint8_t>(order[0]), static_cast<uint8_t>(order[1])};
  auto put16 = [&](uint32_t v) {
    if (little) {
      out.insert(out.end(), {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
    } else {
      out.insert(out.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)});
    }
  };
  auto put32 = [&](uint32_t v) {
    if (little) {
      put16(v & 0xFFFF);
      put16(v >> 16);
    } else {
      put16(v >> 16);
      put16(v & 0xFFFF);
    }
  };
  put16(42);
  put32(ifd_offset);
  put16(static_cast<uint32_t>(entries.size()));
  for (const auto& [tag, type, count, value] : entries) {
    put16(tag);
    put16(type);
    put32(count);
    put16(value);
    put16(0);
  }
  put32(0);  // no next directory
  return out;
}

std::vector<uint8_t> WithApp1(std::vector<uint8_t> jpeg, const std::vector<uint8_t>& payload) {
  const size_t length = payload.size() + 2;
  std::vector<uint8_t> segment = {0xFF, 0xE1, static_cast<uint8_t>(length >> 8),
                                  static_cast<uint8_t>(length)};
  segment.insert(segment.end(), payload.begin(), payload.end());
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

std::vector<uint8_t> Exif(const std::vector<uint8_t>& tiff) {
  std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return payload;
}

TPicture PictureOf(int width, int height, const std::vector<uint32_t>& colors) {
  TPicture picture(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t c = colors[static_cast<size_t>(y * width + x) % colors.size()];
      uint8_t* p = picture.Row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(c >> 16);
      p[1] = static_cast<uint8_t>(c >> 8);
      p[2] = static_cast<uint8_t>(c);
    }
  }
  return picture;
}

}  // namespace sk::test
