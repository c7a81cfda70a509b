// The LZW coding of TIFF strips (TIFF 6.0, section 13): codes most significant bit first, a clear
// code 256 and an end code 257, and a code width that grows one code earlier than in GIF.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace sk {

// Decodes one strip (or one plane's strip) row by row.
class TTIFLZWDec {
 public:
  // Decodes data (which must outlive the decoder) into rows of row_length bytes.
  TTIFLZWDec(std::span<const uint8_t> data, size_t row_length);

  // The next row_length decoded bytes; the span stays valid until the next call. When the data
  // ends (the end code, or no whole code left) before the row is full, the span is shorter: it
  // holds the bytes decoded, and later rows are empty. A code beyond the next free table entry,
  // or a first code after a clear that is not a literal byte, raises
  // EInvalidGraphic(kUnrecognizedTiff).
  std::span<const uint8_t> NextRow();

  // True when the data has ended and every decoded byte has been handed out: all further rows
  // are empty.
  bool Exhausted() const { return ended_ && buffered_ == handed_out_; }

 private:
  // The next code, or -1 when fewer than code_width_ bits are left.
  int ReadCode();
  void Reset();
  // Writes the string of code at the end of the output buffer.
  void Append(int code);
  void AddEntry(int prefix, uint8_t last);

  static constexpr int kClear = 256;
  static constexpr int kEnd = 257;
  static constexpr int kFirstFree = 258;
  static constexpr int kTableSize = 4096;

  // The string table as prefix chains: entry c is the string of entry prefix followed by last,
  // length bytes long, starting with first. One entry's fields sit together, so walking a chain
  // touches one cache line per step.
  struct TEntry {
    uint16_t prefix = 0;
    uint16_t length = 0;
    uint8_t last = 0;
    uint8_t first = 0;
  };
  std::array<TEntry, kTableSize> table_{};

  std::span<const uint8_t> data_;
  size_t next_byte_ = 0;  // the next byte of data_ to take into bits_
  uint64_t bits_ = 0;     // unread bits, the next one in the top bit
  int bit_count_ = 0;     // how many bits_ holds
  int code_width_ = 9;
  int next_code_ = kFirstFree;
  int old_code_ = -1;
  bool ended_ = false;

  size_t row_length_;
  std::vector<uint8_t> buffer_;  // at most a row plus one string of up to 4096 bytes
  size_t buffered_ = 0;          // decoded bytes in buffer_
  size_t handed_out_ = 0;        // of which the first ones were handed out as the last row
};

}  // namespace sk
