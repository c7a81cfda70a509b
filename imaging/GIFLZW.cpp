// GIF's LZW coding: the table-and-stack decoder and the two encoders of the writer.
#include "imaging/GIFLZW.h"

#include <algorithm>
#include <vector>

#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

constexpr int kMaxMinCodeSize = 11;
constexpr int kWriterMinCodeSize = 8;
constexpr int kWriterClearCode = 1 << kWriterMinCodeSize;  // 256
constexpr int kWriterEndCode = kWriterClearCode + 1;       // 257
constexpr int kWriterFirstCode = kWriterClearCode + 2;     // 258, the first string code

[[noreturn]] void Unrecognized() {
  throw EInvalidGraphic(kUnrecognizedGif);
}

// Gathers image data bytes into sub-blocks of at most `limit` bytes and hands them to the sink
// in batches of many sub-blocks.
class TSubBlockWriter {
 public:
  TSubBlockWriter(TByteSink& sink, int limit) : sink_(sink), limit_(limit) {
    batch_.reserve(kBatchSize + 256);
  }

  void Append(uint8_t byte) {
    block_[1 + size_] = byte;
    if (++size_ >= limit_) EndBlock();
  }

  // Ends the current sub-block, if it holds anything.
  void EndBlock() {
    if (size_ == 0) return;
    block_[0] = static_cast<uint8_t>(size_);
    batch_.insert(batch_.end(), block_.begin(), block_.begin() + 1 + size_);
    size_ = 0;
    if (batch_.size() >= kBatchSize) WriteBatch();
  }

  // Ends the current sub-block and writes everything, followed by the terminating count of 0.
  void Terminate() {
    EndBlock();
    batch_.push_back(0);
    WriteBatch();
  }

 private:
  static constexpr size_t kBatchSize = 64 * 1024;

  void WriteBatch() {
    sink_.Write(batch_);
    batch_.clear();
  }

  TByteSink& sink_;
  const int limit_;
  int size_ = 0;
  std::array<uint8_t, 256> block_{};
  std::vector<uint8_t> batch_;
};

void WriteMinCodeSize(TByteSink& sink) {
  const uint8_t byte = kWriterMinCodeSize;
  sink.Write({&byte, 1});
}

// The string table of the LZW encoder: 16384 slots (four times the 4096 codes, so most searches
// end at their first slot), each holding key x 4096 + code for key = prefix code x 256 + pixel
// value, or all bits set when empty. Probing goes on to the next slot, wrapping at the end; the
// table never holds more than the 3837 strings of one clear, so a free slot is always found.
class TLZWHashTable {
 public:
  TLZWHashTable() { Clear(); }

  void Clear() { slots_.fill(kEmpty); }

  // The slot that holds the string `key`, or the free slot where it would go.
  uint32_t Find(uint32_t key) const {
    uint32_t h = Hash(key);
    for (;;) {
      const uint32_t slot_key = slots_[h] >> 12;
      if (slot_key == key || slot_key == kEmptyKey) return h;
      h = (h + 1) & (kSlots - 1);
    }
  }

  // The code in a slot that Find returned, or -1 when the slot is free.
  int Code(uint32_t slot) const {
    return slots_[slot] == kEmpty ? -1 : static_cast<int>(slots_[slot] & 0xFFF);
  }

  // Puts the string `key` in the free slot that Find returned for it.
  void Insert(uint32_t slot, uint32_t key, int code) {
    slots_[slot] = (key << 12) | (static_cast<uint32_t>(code) & 0xFFF);
  }

 private:
  static constexpr int kSlotBits = 14;
  static constexpr uint32_t kSlots = uint32_t{1} << kSlotBits;
  static constexpr uint32_t kEmpty = 0xFFFFFFFF;
  static constexpr uint32_t kEmptyKey = kEmpty >> 12;

  // Keys are below 2^20; the multiplication spreads them over the slots.
  static uint32_t Hash(uint32_t key) { return (key * 0x9E3779B1u) >> (32 - kSlotBits); }

  std::array<uint32_t, kSlots> slots_;
};

class TLZWEncoder {
 public:
  explicit TLZWEncoder(TByteSink& sink) : blocks_(sink, kMaxBlock) {}

  void Encode(std::span<const uint8_t> indexes, int width, int height, bool interlaced) {
    ClearBlock();
    if (!indexes.empty()) {
      bool first = true;
      int current = 0;
      for (const int y : GIFRowOrder(height, interlaced)) {
        const uint8_t* row = indexes.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x) {
          const int pixel = row[x];
          if (first) {
            current = pixel;
            first = false;
            continue;
          }
          const uint32_t key = static_cast<uint32_t>(current) * 256 + pixel;
          const uint32_t slot = table_.Find(key);
          const int code = table_.Code(slot);
          if (code >= 0) {
            current = code;
            continue;
          }
          Output(current);
          current = pixel;
          if (free_entry_ >= kLastCode + 1) {
            ClearBlock();
          } else {
            table_.Insert(slot, key, free_entry_++);
          }
        }
      }
      Output(current);
    }
    Output(kWriterEndCode);
    blocks_.Terminate();
  }

 private:
  static constexpr int kMaxBlock = 254;
  static constexpr int kLastCode = 4094;  // the last code assigned before a clear
  static constexpr int kMaxBits = 12;

  void ClearBlock() {
    table_.Clear();
    free_entry_ = kWriterFirstCode;
    clear_flag_ = true;
    Output(kWriterClearCode);
  }

  void Output(int code) {
    // Keeps the bits not yet written, then adds the code above them.
    accumulator_ &= bit_count_ > 0 ? (1u << bit_count_) - 1 : 0;
    accumulator_ |= static_cast<uint32_t>(code) << bit_count_;
    bit_count_ += n_bits_;
    while (bit_count_ >= 8) {
      blocks_.Append(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      bit_count_ -= 8;
    }
    // The decoder widens its codes once its next free slot passes the widest code; after a clear
    // both start again at 9 bits.
    if (free_entry_ > max_code_ || clear_flag_) {
      if (clear_flag_) {
        n_bits_ = kWriterMinCodeSize + 1;
        max_code_ = (1 << n_bits_) - 1;
        clear_flag_ = false;
      } else {
        ++n_bits_;
        max_code_ = n_bits_ == kMaxBits ? 1 << kMaxBits : (1 << n_bits_) - 1;
      }
    }
    if (code == kWriterEndCode) {
      while (bit_count_ > 0) {
        blocks_.Append(static_cast<uint8_t>(accumulator_));
        accumulator_ >>= 8;
        bit_count_ -= 8;
      }
      blocks_.EndBlock();
    }
  }

  TSubBlockWriter blocks_;
  TLZWHashTable table_;
  int n_bits_ = kWriterMinCodeSize + 1;
  int max_code_ = (1 << (kWriterMinCodeSize + 1)) - 1;
  int free_entry_ = kWriterFirstCode;
  bool clear_flag_ = false;
  uint32_t accumulator_ = 0;
  int bit_count_ = 0;
};

// The largest n with n x n <= x.
uint64_t IntegerSqrt(uint64_t x) {
  if (x < 2) return x;
  uint64_t r = 1;
  for (uint64_t rest = x >> 2; rest != 0; rest >>= 2) r <<= 1;
  for (;;) {
    const uint64_t v = (x / r + r) / 2;
    if (v == r || v == r + 1) return r;
    r = v;
  }
}

class TRunLengthEncoder {
 public:
  explicit TRunLengthEncoder(TByteSink& sink) : blocks_(sink, kMaxBlock) {}

  void Encode(std::span<const uint8_t> indexes) {
    ClearStep();
    Output(kWriterClearCode);
    for (const uint8_t pixel : indexes) {
      if (run_count_ > 0 && pixel != run_pixel_) FlushRun();
      if (run_count_ > 0) {
        ++run_count_;
      } else {
        run_pixel_ = pixel;
        run_count_ = 1;
      }
    }
    if (run_count_ > 0) FlushRun();
    Output(kWriterEndCode);
    if (bit_count_ > 0) blocks_.Append(static_cast<uint8_t>(accumulator_));
    blocks_.Terminate();
  }

 private:
  static constexpr int kMaxBlock = 255;
  // Codes after a clear before the decoder's table (4096 slots less the 256 colours, the clear
  // and end codes and one spare) would be full; also the longest triangular series.
  static constexpr uint64_t kMaxOutputCodes = 4096 - (kWriterClearCode + 3);  // 3837
  static constexpr uint64_t kLiteralClearThreshold = kWriterClearCode - 2;    // 254

  void Output(int code) {
    accumulator_ |= static_cast<uint32_t>(code) << bit_count_;
    bit_count_ += out_bits_;
    while (bit_count_ >= 8) {
      blocks_.Append(static_cast<uint8_t>(accumulator_));
      accumulator_ >>= 8;
      bit_count_ -= 8;
    }
  }

  void ClearStep() {
    out_bits_ = kWriterMinCodeSize + 1;
    bump_ = kWriterClearCode - 1;
    clear_threshold_ = kLiteralClearThreshold;
    out_count_ = 0;
    table_max_ = 0;
    just_cleared_ = true;
  }

  void ClearNow() {
    Output(kWriterClearCode);
    ClearStep();
  }

  // Every code makes the decoder add a table entry (but the first after a clear), so counting
  // codes tells when its codes grow wider and when its table would fill.
  void PlainOutput(int code) {
    just_cleared_ = false;
    Output(code);
    ++out_count_;
    if (out_count_ >= bump_) {
      ++out_bits_;
      bump_ += uint64_t{1} << (out_bits_ - 1);
    }
    if (out_count_ >= clear_threshold_) ClearNow();
  }

  void ResetThreshold() {
    clear_threshold_ = kLiteralClearThreshold;
    if (out_count_ >= clear_threshold_) ClearNow();
  }

  // Codes a run of `count` takes as a triangular series (1, 2, 3, ... pixels per code), starting
  // again after every r codes.
  static uint64_t TriangleCost(uint64_t count, uint64_t r) {
    const uint64_t per = r * (r + 1) / 2;
    uint64_t cost = (count / per) * r;
    count %= per;
    if (count > 0) {
      // The smallest n with n (n + 1) >= 2 count.
      uint64_t n = IntegerSqrt(2 * count);
      while (n > 0 && (n - 1) * n >= 2 * count) --n;
      while (n * (n + 1) < 2 * count) ++n;
      cost += n;
    }
    return cost;
  }

  // Right after a clear: codes for 1, 2, 3, ... pixels of the run, each new code being the slot
  // the decoder is just filling with the previous string plus one more pixel.
  void FlushFromClear(uint64_t count) {
    clear_threshold_ = kMaxOutputCodes;
    table_pixel_ = run_pixel_;
    uint64_t n = 1;
    while (count > 0) {
      if (n == 1) {
        table_max_ = 1;
        PlainOutput(run_pixel_);
        count -= 1;
      } else if (count >= n) {
        table_max_ = n;
        PlainOutput(RepeatCode(n));
        count -= n;
      } else if (count == 1) {
        ++table_max_;
        PlainOutput(run_pixel_);
        count = 0;
      } else {
        ++table_max_;
        PlainOutput(RepeatCode(count));
        count = 0;
      }
      n = out_count_ == 0 ? 1 : n + 1;
    }
    ResetThreshold();
  }

  void FlushByClearOrRepeat(uint64_t count) {
    if (1 + TriangleCost(count, kMaxOutputCodes) < count) {
      ClearNow();
      FlushFromClear(count);
    } else {
      for (uint64_t i = 0; i < count; ++i) PlainOutput(run_pixel_);
    }
  }

  // The decoder's table holds repeats of the run pixel up to table_max_ pixels.
  void FlushWithTable(uint64_t count) {
    uint64_t rep_max = count / table_max_;
    uint64_t left_over = count % table_max_;
    uint64_t rep_left = left_over > 0 ? 1 : 0;
    if (out_count_ + rep_max + rep_left > kMaxOutputCodes) {
      rep_max = kMaxOutputCodes - out_count_;
      left_over = count - rep_max * table_max_;
      rep_left = 1 + TriangleCost(left_over, kMaxOutputCodes);
    }
    if (1 + TriangleCost(count, kMaxOutputCodes) < rep_max + rep_left) {
      ClearNow();
      FlushFromClear(count);
      return;
    }
    clear_threshold_ = kMaxOutputCodes;
    for (uint64_t i = 0; i < rep_max; ++i) PlainOutput(RepeatCode(table_max_));
    if (left_over > 0) {
      if (just_cleared_) {
        FlushFromClear(left_over);
      } else if (left_over == 1) {
        PlainOutput(run_pixel_);
      } else {
        PlainOutput(RepeatCode(left_over));
      }
    }
    ResetThreshold();
  }

  void FlushRun() {
    if (run_count_ == 1) {
      PlainOutput(run_pixel_);
    } else if (just_cleared_) {
      FlushFromClear(run_count_);
    } else if (table_max_ < 2 || table_pixel_ != run_pixel_) {
      FlushByClearOrRepeat(run_count_);
    } else {
      FlushWithTable(run_count_);
    }
    run_count_ = 0;
  }

  // The code of the decoder's string of n >= 2 run pixels.
  static int RepeatCode(uint64_t n) { return kWriterFirstCode + static_cast<int>(n) - 2; }

  TSubBlockWriter blocks_;
  int out_bits_ = 0;
  uint64_t bump_ = 0;
  uint64_t clear_threshold_ = 0;
  uint64_t out_count_ = 0;
  uint64_t table_max_ = 0;
  int table_pixel_ = -1;
  bool just_cleared_ = false;
  int run_pixel_ = -1;
  uint64_t run_count_ = 0;
  uint32_t accumulator_ = 0;
  int bit_count_ = 0;
};

}  // namespace

std::vector<int> GIFRowOrder(int height, bool interlaced) {
  std::vector<int> rows;
  rows.reserve(static_cast<size_t>(std::max(height, 0)));
  if (!interlaced) {
    for (int y = 0; y < height; ++y) rows.push_back(y);
    return rows;
  }
  static constexpr int kStart[] = {0, 4, 2, 1};
  static constexpr int kStep[] = {8, 8, 4, 2};
  for (int pass = 0; pass < 4; ++pass) {
    for (int y = kStart[pass]; y < height; y += kStep[pass]) rows.push_back(y);
  }
  return rows;
}

// ---- Decoder ----

void SkipGIFSubBlocks(TByteReader& in) {
  while (!in.AtEnd()) {
    const uint8_t count = in.U8();
    if (count == 0) return;
    in.Skip(std::min<uint64_t>(count, in.Remaining()));
  }
}

TGIFLZWDecoder::TGIFLZWDecoder(TByteReader& in) : in_(in) {
  if (in_.AtEnd()) {
    // No minimum code size: a decoder that gives no values.
    data_ended_ = true;
    min_code_size_ = kWriterMinCodeSize;
  } else {
    min_code_size_ = in_.U8();
    if (min_code_size_ > kMaxMinCodeSize) Unrecognized();
  }
  clear_code_ = 1 << min_code_size_;
  end_code_ = clear_code_ + 1;
  ResetTable();
}

void TGIFLZWDecoder::ResetTable() {
  for (int slot = 0; slot < kTableSize; ++slot) {
    prefix_[slot] = 0;
    suffix_[slot] = static_cast<uint16_t>(slot < clear_code_ ? slot : 0);
  }
  code_size_ = min_code_size_ + 1;
  max_code_size_ = 2 * clear_code_;
  max_code_ = clear_code_ + 2;
  stack_size_ = 0;
}

bool TGIFLZWDecoder::NextSubBlock() {
  if (data_ended_) return false;
  const uint8_t count = in_.AtEnd() ? 0 : in_.U8();
  if (count == 0) {
    data_ended_ = true;
    return false;
  }
  block_ = in_.Take(count);  // a sub-block cut short is refused
  block_position_ = 0;
  return true;
}

int TGIFLZWDecoder::ReadCode() {
  // A code may span any number of sub-blocks, short ones included.
  while (bit_count_ < code_size_) {
    if (block_position_ == block_.size() && !NextSubBlock()) return kDataEnded;
    bit_buffer_ |= static_cast<uint32_t>(block_[block_position_++]) << bit_count_;
    bit_count_ += 8;
  }
  const int code = static_cast<int>(bit_buffer_ & ((1u << code_size_) - 1));
  bit_buffer_ >>= code_size_;
  bit_count_ -= code_size_;
  return code;
}

void TGIFLZWDecoder::Push(int value) {
  // A valid string is at most 4096 values long; a longer one is a chain that loops.
  if (stack_size_ == kStackSize) Unrecognized();
  stack_[stack_size_++] = static_cast<uint16_t>(value);
}

int TGIFLZWDecoder::NextValue() {
  if (stack_size_ > 0) return stack_[--stack_size_] & 0xFF;
  int code;
  if (fresh_) {
    // The table starts as a clear code leaves it.
    fresh_ = false;
    code = clear_code_;
  } else {
    code = ReadCode();
  }
  if (code < 0) return kDataEnded;
  if (code == clear_code_) {
    ResetTable();
    do {
      code = ReadCode();
    } while (code == clear_code_);
    if (code < 0) return kDataEnded;
    if (code == end_code_) return kEndOfImage;
    // Right after a clear only colours have strings.
    if (code > end_code_) Unrecognized();
    first_code_ = old_code_ = code;
    return code & 0xFF;
  }
  if (code == end_code_) return kEndOfImage;

  const int in_code = code;
  if (code >= max_code_) {
    // The string being defined by this very code: the previous string plus its first value.
    Push(first_code_);
    code = old_code_;
  }
  while (code >= clear_code_) {
    Push(suffix_[code]);
    if (prefix_[code] == code) Unrecognized();
    code = prefix_[code];
  }
  first_code_ = suffix_[code];
  Push(first_code_);
  if (max_code_ < kTableSize) {
    prefix_[max_code_] = static_cast<uint16_t>(old_code_);
    suffix_[max_code_] = static_cast<uint16_t>(first_code_);
    ++max_code_;
    if (max_code_ >= max_code_size_ && max_code_size_ < kTableSize) {
      max_code_size_ *= 2;
      ++code_size_;
    }
  }
  old_code_ = in_code;
  return stack_[--stack_size_] & 0xFF;
}

size_t TGIFLZWDecoder::Read(std::span<uint8_t> values) {
  size_t filled = 0;
  while (filled < values.size() && !image_ended_) {
    const int value = NextValue();
    if (value < 0) {
      image_ended_ = true;
      break;
    }
    values[filled++] = static_cast<uint8_t>(value);
  }
  return filled;
}

void TGIFLZWDecoder::Finish() {
  // The rest of the current sub-block was taken whole; whole sub-blocks follow up to the count
  // of 0.
  if (!data_ended_) SkipGIFSubBlocks(in_);
  data_ended_ = true;
  image_ended_ = true;
}

uint64_t GIFLZWValueBound(TByteReader in) {
  if (in.AtEnd()) return 0;
  const int min_code_size = in.U8();
  if (min_code_size > kMaxMinCodeSize) return 0;  // the decoder refuses such data
  uint64_t bits = 0;
  while (!in.AtEnd()) {
    const uint8_t count = in.U8();
    if (count == 0) break;
    const uint64_t present = std::min<uint64_t>(count, in.Remaining());
    bits += 8 * present;
    in.Skip(present);
  }
  // Follow the decoder's code widths through one run of codes after a clear.
  constexpr uint64_t kLongest = 8192;  // the decoder's stack
  const int clear_code = 1 << min_code_size;
  int code_size = min_code_size + 1;
  int max_code = clear_code + 2;
  int max_code_size = 2 * clear_code;
  uint64_t values = 0;
  uint64_t k = 1;  // the code's number after the clear
  while (bits >= static_cast<uint64_t>(code_size) && k + 1 < kLongest) {
    bits -= static_cast<uint64_t>(code_size);
    values += k + 1;
    if (k >= 2 && max_code < 4096) {
      ++max_code;
      if (max_code >= max_code_size && max_code_size < 4096) {
        max_code_size *= 2;
        ++code_size;
      }
    }
    ++k;
  }
  return values + bits / static_cast<uint64_t>(code_size) * kLongest;
}

void EncodeGIFLZW(TByteSink& sink, std::span<const uint8_t> indexes, int width, int height,
                  bool interlaced) {
  WriteMinCodeSize(sink);
  TLZWEncoder(sink).Encode(indexes, width, height, interlaced);
}

void EncodeGIFRunLength(TByteSink& sink, std::span<const uint8_t> indexes) {
  WriteMinCodeSize(sink);
  TRunLengthEncoder(sink).Encode(indexes);
}

}  // namespace sk
