// In-memory picture storage.
#include "imaging/Picture.h"

#include <sys/mman.h>

#include <cstring>
#include <new>
#include <stdexcept>

namespace sk {

bool PictureSizeAllowed(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= kMaxPicturePixels && height <= kMaxPicturePixels &&
         width * height <= kMaxPicturePixels;
}

namespace {
// Pictures at least this large get a mapping of their own.
constexpr size_t kMappedPictureBytes = size_t{8} << 20;
}  // namespace

void TPictureMemoryFree::operator()(uint8_t* p) const noexcept {
  if (mapped != 0) {
    ::munmap(p, mapped);
  } else {
    std::free(p);
  }
}

TPicture::TPixels TPicture::AllocateZeroed(size_t size) {
  if (size >= kMappedPictureBytes) {
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    ::madvise(p, size, MADV_HUGEPAGE);  // advice only: without huge pages it still works
    return TPixels(static_cast<uint8_t*>(p), TPictureMemoryFree{size});
  }
  auto* p = static_cast<uint8_t*>(std::calloc(size, 1));
  if (p == nullptr) throw std::bad_alloc();
  return TPixels(p, TPictureMemoryFree{0});
}

TPicture::TPicture(const TPicture& other)
    : width_(other.width_), height_(other.height_), row_bytes_(other.row_bytes_) {
  if (other.pixels_) {
    pixels_ = AllocateZeroed(ByteSize());
    std::memcpy(pixels_.get(), other.pixels_.get(), ByteSize());
  }
}

TPicture& TPicture::operator=(const TPicture& other) {
  if (this != &other) *this = TPicture(other);
  return *this;
}

bool operator==(const TPicture& a, const TPicture& b) {
  return a.width_ == b.width_ && a.height_ == b.height_ && a.row_bytes_ == b.row_bytes_ &&
         (a.ByteSize() == 0 || std::memcmp(a.pixels_.get(), b.pixels_.get(), a.ByteSize()) == 0);
}

void TPicture::SetSize(int width, int height) {
  if (width == 0 || height == 0) {
    width_ = height_ = 0;
    row_bytes_ = 0;
    pixels_.reset();
    return;
  }
  if (!PictureSizeAllowed(width, height)) throw std::length_error("picture size out of range");
  const size_t row_bytes = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
  const size_t size = row_bytes * static_cast<size_t>(height);
  if (pixels_ && size == ByteSize()) {
    std::memset(pixels_.get(), 0, size);
  } else {
    pixels_.reset();
    pixels_ = AllocateZeroed(size);
  }
  width_ = width;
  height_ = height;
  row_bytes_ = row_bytes;
}

void TMonoPicture::SetSize(int width, int height) {
  if (width == 0 || height == 0) {
    width_ = height_ = 0;
    row_bytes_ = 0;
    bits_.clear();
    bits_.shrink_to_fit();
    return;
  }
  if (!PictureSizeAllowed(width, height)) throw std::length_error("picture size out of range");
  const size_t row_bytes = ((static_cast<size_t>(width) + 31) / 32) * 4;
  bits_.assign(row_bytes * static_cast<size_t>(height), 0);
  width_ = width;
  height_ = height;
  row_bytes_ = row_bytes;
}

}  // namespace sk
