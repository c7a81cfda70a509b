// An index held in memory, read and written record by record as the index file is through
// TBFStream: keys as zero-terminated strings (at most 255 characters kept), 32-bit little-endian
// integers. A strongly protected store's index is never plain on disk, so it goes through these.
#pragma once

#include <endian.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sk {

class TIndexBytesReader {
 public:
  explicit TIndexBytesReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  // False at the end of the bytes, or when the last string is not terminated.
  bool ReadString(std::string& key) {
    std::string_view view;
    if (!ReadString(view)) return false;
    key.assign(view);
    return true;
  }
  // The same, as a view of the bytes read.
  bool ReadString(std::string_view& key) {
    const uint8_t* zero = FindZero();
    if (!zero) return false;
    const size_t length = static_cast<size_t>(zero - (bytes_.data() + place_));
    key = std::string_view(reinterpret_cast<const char*>(bytes_.data() + place_),
                           std::min<size_t>(length, 255));
    place_ += length + 1;
    return true;
  }
  // One index record: the key, the body's offset and size, and the flags; false when the bytes
  // end before it does.
  template <class TKeyOut>
  bool ReadRecord(TKeyOut& key, int32_t& offset, int32_t& size, int32_t& flags) {
    // The three integers are checked for at once.
    if (!ReadString(key) || bytes_.size() - place_ < 12) return false;
    offset = IntegerAt(place_);
    size = IntegerAt(place_ + 4);
    flags = IntegerAt(place_ + 8);
    place_ += 12;
    return true;
  }
  // Where the next read starts in the bytes.
  size_t Place() const { return place_; }
  bool ReadInteger(int32_t& value) {
    if (bytes_.size() - place_ < 4) return false;
    value = IntegerAt(place_);
    place_ += 4;
    return true;
  }

 private:
  int32_t IntegerAt(size_t at) const {
    const uint8_t* p = bytes_.data() + at;
    return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                uint32_t{p[3]} << 24);
  }

  // The first zero byte from the place on, or nullptr when there is none. Keys are short, so
  // eight bytes are tested at a time in place of a library call per key.
  const uint8_t* FindZero() const {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHighs = 0x8080808080808080ull;
    size_t at = place_;
    for (; bytes_.size() - at >= 8; at += 8) {
      uint64_t word;
      std::memcpy(&word, bytes_.data() + at, 8);
      word = le64toh(word);
      // The lowest set high bit marks the first zero byte (higher ones may be false alarms).
      const uint64_t zeros = (word - kOnes) & ~word & kHighs;
      if (zeros != 0) return bytes_.data() + at + std::countr_zero(zeros) / 8;
    }
    return static_cast<const uint8_t*>(std::memchr(bytes_.data() + at, 0, bytes_.size() - at));
  }

  std::span<const uint8_t> bytes_;
  size_t place_ = 0;
};

class TIndexBytesWriter {
 public:
  void WriteString(std::string_view key) {
    key = key.substr(0, 255);
    bytes_.insert(bytes_.end(), key.begin(), key.end());
    bytes_.push_back(0);
  }
  void WriteInteger(int32_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(v >> shift));
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace sk
