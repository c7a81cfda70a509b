// The in-memory picture that every codec fills and every writer reads: 24 bits per pixel in the
// byte order blue, green, red, rows addressed by index with 0 the top row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <utility>
#include <vector>

namespace sk {

// Horizontal and vertical resolution in dots per inch; 0 means unknown.
struct TResolution {
  int x = 0;
  int y = 0;
  friend bool operator==(const TResolution&, const TResolution&) = default;
};

// Pictures larger than this are refused by every decoder before it allocates: the limit of the
// well-known decoders (2^31 / 12 pixels), so that no file refused elsewhere costs us the 512 MB
// such a picture takes. Also bounds the size of a picture file (kMaxPictureFileSize).
inline constexpr int64_t kMaxPicturePixels = 178'956'970;

// Releases picture memory. Large pictures get a mapping of their own backed by huge pages where
// the system allows it (a 36 MB picture then takes a few dozen page faults instead of nine
// thousand, which dominate loading in virtual machines); small ones come from the heap.
struct TPictureMemoryFree {
  size_t mapped = 0;  // length of the mapping, 0 for heap memory
  void operator()(uint8_t* p) const noexcept;
};

class TPicture {
 public:
  TPicture() = default;
  // Allocates a width x height picture filled with black. Throws std::length_error when the
  // size is negative or exceeds kMaxPicturePixels (decoders check first and raise their own error).
  TPicture(int width, int height) { SetSize(width, height); }
  TPicture(const TPicture& other);
  TPicture& operator=(const TPicture& other);
  // A moved-from picture is empty.
  TPicture(TPicture&& other) noexcept { Swap(other); }
  TPicture& operator=(TPicture&& other) noexcept {
    TPicture taken(std::move(other));
    Swap(taken);
    return *this;
  }
  void Swap(TPicture& other) noexcept {
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(row_bytes_, other.row_bytes_);
    std::swap(pixels_, other.pixels_);
  }

  void SetSize(int width, int height);
  void Clear() { SetSize(0, 0); }

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }

  // Rows are stored top-down, each padded to a multiple of 4 bytes (so a view can wrap them
  // without copying). Row(y) points at Width() blue-green-red triples.
  size_t RowBytes() const { return row_bytes_; }
  uint8_t* Row(int y) { return pixels_.get() + static_cast<size_t>(y) * row_bytes_; }
  const uint8_t* Row(int y) const { return pixels_.get() + static_cast<size_t>(y) * row_bytes_; }
  uint8_t* Data() { return pixels_.get(); }
  const uint8_t* Data() const { return pixels_.get(); }

  friend bool operator==(const TPicture& a, const TPicture& b);

 private:
  using TPixels = std::unique_ptr<uint8_t[], TPictureMemoryFree>;
  static TPixels AllocateZeroed(size_t size);
  size_t ByteSize() const { return row_bytes_ * static_cast<size_t>(height_); }

  int width_ = 0;
  int height_ = 0;
  size_t row_bytes_ = 0;
  TPixels pixels_;
};

// A 1-bit picture: each row holds Width() bits, most significant bit of each byte first, padded to
// a multiple of 4 bytes (the layout of a 1-bit BMP row). Set bits and clear bits mean whatever
// the producer says (a two-entry palette, or white and black for a bilevel TIFF page).
class TMonoPicture {
 public:
  TMonoPicture() = default;
  // Allocates a width x height picture of clear bits. Throws std::length_error as TPicture does.
  TMonoPicture(int width, int height) { SetSize(width, height); }

  void SetSize(int width, int height);

  int Width() const { return width_; }
  int Height() const { return height_; }
  size_t RowBytes() const { return row_bytes_; }
  uint8_t* Row(int y) { return bits_.data() + static_cast<size_t>(y) * row_bytes_; }
  const uint8_t* Row(int y) const { return bits_.data() + static_cast<size_t>(y) * row_bytes_; }

  friend bool operator==(const TMonoPicture&, const TMonoPicture&) = default;

 private:
  int width_ = 0;
  int height_ = 0;
  size_t row_bytes_ = 0;
  std::vector<uint8_t> bits_;
};

// True when a width x height picture may be allocated (both positive, within kMaxPicturePixels).
bool PictureSizeAllowed(int64_t width, int64_t height);

}  // namespace sk
