// TIFF LZW decoding.
#include "imaging/TIFFLZW.h"

#include <algorithm>
#include <cstring>

#include "imaging/InvalidGraphic.h"

namespace sk {

TTIFLZWDec::TTIFLZWDec(std::span<const uint8_t> data, size_t row_length)
    : data_(data), ended_(data.empty()), row_length_(row_length) {
  for (int c = 0; c < 256; ++c) {
    last_[c] = first_[c] = static_cast<uint8_t>(c);
    length_[c] = 1;
  }
  Reset();
}

void TTIFLZWDec::Reset() {
  next_code_ = kFirstFree;
  code_width_ = 9;
}

int TTIFLZWDec::ReadCode() {
  const uint64_t total_bits = static_cast<uint64_t>(data_.size()) * 8;
  if (bit_position_ + static_cast<uint64_t>(code_width_) > total_bits) return -1;
  // A code of at most 12 bits spans at most three bytes.
  const size_t byte = static_cast<size_t>(bit_position_ / 8);
  uint32_t window = static_cast<uint32_t>(data_[byte]) << 16;
  if (byte + 1 < data_.size()) window |= static_cast<uint32_t>(data_[byte + 1]) << 8;
  if (byte + 2 < data_.size()) window |= data_[byte + 2];
  const int shift = 24 - static_cast<int>(bit_position_ % 8) - code_width_;
  bit_position_ += static_cast<uint64_t>(code_width_);
  return static_cast<int>(window >> shift) & ((1 << code_width_) - 1);
}

void TTIFLZWDec::Append(int code) {
  const size_t length = length_[code];
  // The buffer grows with the data decoded, never beyond a row plus one string.
  if (buffer_.size() < buffered_ + length) {
    buffer_.resize(std::min(std::max(2 * buffer_.size(), buffered_ + length),
                            row_length_ + static_cast<size_t>(kTableSize)));
  }
  uint8_t* out = buffer_.data() + buffered_;
  for (size_t i = length; i-- > 0;) {
    out[i] = last_[code];
    code = prefix_[code];
  }
  buffered_ += length;
}

void TTIFLZWDec::AddEntry(int prefix, uint8_t last) {
  // A full table takes no more entries; encoders send a clear code before that happens.
  if (next_code_ >= kTableSize) return;
  prefix_[next_code_] = static_cast<uint16_t>(prefix);
  last_[next_code_] = last;
  first_[next_code_] = first_[prefix];
  length_[next_code_] = static_cast<uint16_t>(length_[prefix] + 1);
  ++next_code_;
  // The width grows when the next code reaches 511, 1023 and 2047.
  if (next_code_ == 511) code_width_ = 10;
  if (next_code_ == 1023) code_width_ = 11;
  if (next_code_ == 2047) code_width_ = 12;
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
      AddEntry(old_code_, first_[code]);
    } else if (code == next_code_ && next_code_ < kTableSize) {
      AddEntry(old_code_, first_[old_code_]);
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
