// CCITT bilevel fax decoding for TIFF strips: modified Huffman, Group 3 one- and two-dimensional
// (ITU-T T.4) and Group 4 (ITU-T T.6), one row at a time.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace sk {

enum class TCCITTMode {
  kModifiedHuffman,  // one-dimensional, each row starting at a byte boundary
  kGroup3OneD,       // one-dimensional, rows follow each other bit by bit
  kGroup3TwoD,       // T.4 two-dimensional: each row's end-of-line tag bit chooses the coding
  kGroup4,           // T.6: every row two-dimensional against the row before
};

class TCCITTDecoder {
 public:
  // Decodes data (which must outlive the decoder) into rows of width pixels (width >= 1). With
  // lsb_first (fill order 2) the bits of each byte are taken least significant first.
  TCCITTDecoder(std::span<const uint8_t> data, int width, TCCITTMode mode, bool lsb_first);

  // Decodes the next row into bits ((width + 7) / 8 bytes at least, most significant bit first):
  // a set bit for each white pixel, a clear bit for each black one; padding bits are set.
  // Raises EInvalidGraphic(kUnrecognizedTiff) for a code with no table entry, a change before the
  // previous one, the uncompressed-mode extension, and data that ends inside the row.
  void NextRow(std::span<uint8_t> bits);

 private:
  uint32_t Peek(int count) const;  // count <= 24 bits, zeros past the end
  void Consume(int count);
  bool HasBits(int count) const;
  // The number of zeros before a one at the position when they make an end-of-line code (11 to
  // 19 zeros), else 0.
  int EndOfLineZeros() const;
  // Reads one run (make-up codes, then a terminating code) of the colour; -1 at an end-of-line.
  int64_t ReadRun(bool black);
  void DecodeOneD();
  void DecodeTwoD();
  void AddChange(int64_t position);
  void Fail() const;

  std::span<const uint8_t> data_;
  int width_;
  TCCITTMode mode_;
  bool lsb_first_;
  uint64_t bit_position_ = 0;
  // Changing elements (positions where the colour changes, the first to black) of the reference
  // row and of the row being decoded, each followed by sentinels at width_.
  std::vector<int> reference_;
  std::vector<int> current_;
};

}  // namespace sk
