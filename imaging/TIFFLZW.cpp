// TIFF LZW decoding.
#include "imaging/TIFFLZW.h"

#include <algorithm>
#include <cstring>

#include "imaging/InvalidGraphic.h"

namespace sk {

TTIFLZWDec::TTIFLZWDec(std::span<const uint8_t> data, size_t row_length)
    : data_(data), ended_(data.empty()), row_length_(row_length) {
  for (int c = 0; c < 256; ++c) {
    table_[c].last = table_[c].first = static_cast<uint8_t>(c);
    table_[c].length = 1;
  }
  Reset();
}

void TTIFLZWDec::Reset() {
  next_code_ = kFirstFree;
  code_width_ = 9;
}

inline int TTIFLZWDec::ReadCode() {
  if (bit_count_ < code_width_) {
    while (bit_count_ <= 56 && next_byte_ < data_.size()) {
      bits_ |= static_cast<uint64_t>(data_[next_byte_++]) << (56 - bit_count_);
      bit_count_ += 8;
    }
    if (bit_count_ < code_width_) return -1;
  }
  const int code = static_cast<int>(bits_ >> (64 - code_width_));
  bits_ <<= code_width_;
  bit_count_ -= code_width_;
  return code;
}

inline void TTIFLZWDec::Append(int code) {
  const size_t length = table_[code].length;
  // The buffer grows with the data decoded, never beyond a row plus one string.
  if (buffer_.size() < buffered_ + length) {
    buffer_.resize(std::min(std::max(2 * buffer_.size(), buffered_ + length),
                            row_length_ + static_cast<size_t>(kTableSize)));
  }
  uint8_t* out = buffer_.data() + buffered_;
  if (length == 1) {
    *out = table_[code].last;
    ++buffered_;
    return;
  }
  for (size_t i = length; i-- > 0;) {
    const TEntry& entry = table_[code];
    out[i] = entry.last;
    code = entry.prefix;
  }
  buffered_ += length;
}

inline void TTIFLZWDec::AddEntry(int prefix, uint8_t last) {
  // A full table takes no more entries; encoders send a clear code before that happens.
  if (next_code_ >= kTableSize) return;
  TEntry& entry = table_[next_code_];
  entry.prefix = static_cast<uint16_t>(prefix);
  entry.last = last;
  entry.first = table_[prefix].first;
  entry.length = static_cast<uint16_t>(table_[prefix].length + 1);
  ++next_code_;
  // The width grows when the next code reaches 511, 1023 and 2047.
  if (next_code_ == (1 << code_width_) - 1 && code_width_ < 12) ++code_width_;
}

std::span<const uint8_t> TTIFLZWDec::NextRow() {
  if (handed_out_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + handed_out_, buffered_ - handed_out_);
    buffered_ -= handed_out_;
    handed_out_ = 0;
  }
  // Every string is at most 4096 bytes long, so appending one never overflows the buffer while
  // less than a row is buffered.
  while (buffered_ < row_length_ && !ended_) {
    int code = ReadCode();
    if (code < 0 || code == kEnd) {
      ended_ = true;
      break;
    }
    if (code == kClear) {
      Reset();
      code = ReadCode();
      if (code < 0 || code == kEnd) {
        ended_ = true;
        break;
      }
      if (code >= 256) throw EInvalidGraphic(kUnrecognizedTiff);
      Append(code);
      old_code_ = code;
      continue;
    }
    if (old_code_ < 0) {
      // The first code of a strip without a clear code must be a literal byte.
      if (code >= 256) throw EInvalidGraphic(kUnrecognizedTiff);
      Append(code);
    } else if (code < next_code_) {
      Append(code);
      AddEntry(old_code_, table_[code].first);
    } else if (code == next_code_ && next_code_ < kTableSize) {
      AddEntry(old_code_, table_[old_code_].first);
      Append(code);
    } else {
      throw EInvalidGraphic(kUnrecognizedTiff);
    }
    old_code_ = code;
  }
  handed_out_ = std::min(buffered_, row_length_);
  return {buffer_.data(), handed_out_};
}

}  // namespace sk
