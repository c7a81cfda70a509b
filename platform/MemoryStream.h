// A growable in-memory byte stream with a read/write position: the form in which items travel
// between the store, the codecs and the program.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sk {

class TMemoryStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

  // Copies up to buffer.size() bytes from the position on; returns how many were copied.
  size_t Read(std::span<uint8_t> buffer);
  // Writes at the position, growing the stream as needed, and advances the position.
  void Write(std::span<const uint8_t> data);
  // Moves the position; it may lie past the end (a later write fills the gap with zeros).
  void Seek(size_t position) { position_ = position; }

  size_t Position() const { return position_; }
  size_t Size() const { return bytes_.size(); }
  // Truncates or extends (with zeros); the position is kept.
  void SetSize(size_t size) { bytes_.resize(size); }
  void Clear() {
    bytes_.clear();
    position_ = 0;
  }

  std::span<const uint8_t> Bytes() const { return bytes_; }
  std::span<uint8_t> MutableBytes() { return bytes_; }
  std::vector<uint8_t> TakeBytes() {
    position_ = 0;
    return std::move(bytes_);
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
};

}  // namespace sk
