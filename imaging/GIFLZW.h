// The variable-code-size LZW coding of GIF image data (GIF89a, section 22 and appendix F): the
// decoder of the GIF reader, and the two encoders of the GIF writer, true LZW and a run-length
// scheme that uses only codes every decoder understands.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "imaging/ByteReader.h"
#include "imaging/ByteStream.h"

namespace sk {

// The order in which an image's rows follow each other in its data: top to bottom, or interlaced
// in four passes (every 8th row from row 0, every 8th from row 4, every 4th from row 2, every 2nd
// from row 1; a pass whose first row lies beyond the image is skipped).
std::vector<int> GIFRowOrder(int height, bool interlaced);

// Skips data sub-blocks (a count byte, then that many bytes) up to a count of 0, leaving the
// reader after it, or at the end of the data when that comes first (not an error).
void SkipGIFSubBlocks(TByteReader& in);

// Decodes the image data at the reader's position in a GIF file: the minimum code size byte
// followed by data sub-blocks up to a count of 0. Values come out in the order the encoder took
// them; placing rows (and interlacing) is the caller's business. The reader must outlive the
// decoder and carry the GIF reader's message, which every refusal raises.
class TGIFLZWDecoder {
 public:
  // Reads the minimum code size byte. Data that ends before it gives a decoder with no values.
  // A minimum code size above 11 (a clear code the 4096-entry table cannot hold) raises
  // EInvalidGraphic(kUnrecognizedGif).
  explicit TGIFLZWDecoder(TByteReader& in);

  // Fills `values` from the start with decoded values and returns how many it filled: all of them
  // unless the data ends first (the end code, a count of 0 or the end of the file). Values of codes
  // wider than 8 bits (minimum code sizes 9 to 11) keep their low 8 bits.
  // Raises EInvalidGraphic(kUnrecognizedGif) for a sub-block cut short by the end of the file, a
  // code that is neither a colour nor the clear or end code right after a clear, and a string
  // whose chain of prefixes loops (back to itself or to any other code on it).
  size_t Read(std::span<uint8_t> values);

  // Skips what is left of the image data, leaving the reader just after its terminating count of
  // 0 (or at the end of the data when that comes first). Call once, after reading.
  void Finish();

 private:
  static constexpr int kTableSize = 4096;
  static constexpr int kStackSize = 8192;
  static constexpr int kDataEnded = -1;
  static constexpr int kEndOfImage = -2;

  int NextValue();
  int ReadCode();
  bool NextSubBlock();
  void ResetTable();
  void Push(int value);

  TByteReader& in_;
  std::span<const uint8_t> block_;  // the current sub-block's bytes
  size_t block_position_ = 0;       // the next byte of block_
  bool data_ended_ = false;         // a count of 0 or the end of the file was met
  bool image_ended_ = false;        // no more values: the end code, or the data ended
  uint32_t bit_buffer_ = 0;
  int bit_count_ = 0;

  int min_code_size_ = 0;
  int clear_code_ = 0;
  int end_code_ = 0;
  int code_size_ = 0;
  int max_code_ = 0;       // next free table slot
  int max_code_size_ = 0;  // slot count at which codes grow one bit wider
  int first_code_ = 0;
  int old_code_ = 0;
  bool fresh_ = true;  // no code read yet: the table starts as after a clear code

  std::array<uint16_t, kTableSize> prefix_{};
  std::array<uint16_t, kTableSize> suffix_{};
  std::array<uint16_t, kStackSize> stack_{};
  int stack_size_ = 0;
};

// An upper bound of how many values the image data at the reader's position can decode to, so
// that a reader can refuse a size no data could fill before it allocates. The k-th code after a
// clear gives at most k + 1 values (each code defines at most one string, one value longer than
// an existing one) and never more than the decoder's stack holds, while the code widths grow as
// the decoder's do; a single run of codes without clears gives the most values for the data's
// bits. Reads only count bytes (the reader given is a copy); never raises.
uint64_t GIFLZWValueBound(TByteReader in);

// Writes `indexes` (width x height values, rows from the top, no padding) as GIF image data with
// minimum code size 8: true LZW with codes of 9 to 12 bits, a clear code whenever code 4094 has
// been assigned and the next string is new, sub-blocks of at most 254 bytes, then the terminating
// count of 0. Rows are taken in GIFRowOrder(height, interlaced). Requires
// indexes.size() == width x height.
void EncodeGIFLZW(TByteSink& sink, std::span<const uint8_t> indexes, int width, int height,
                  bool interlaced);

// Writes `indexes` as GIF image data with minimum code size 8 using only literal codes and codes
// the decoder has just built from repeats of one value: runs become literals, or a triangular
// series of ever longer repeat codes after a clear, or repeats of the longest such code, whichever
// takes fewer codes. Sub-blocks of at most 255 bytes, then the terminating count of 0. No
// interlaced form.
void EncodeGIFRunLength(TByteSink& sink, std::span<const uint8_t> indexes);

}  // namespace sk
