// CCITT T.4 / T.6 decoding. The code tables are those of ITU-T T.4, tables 2 and 3 (terminating
// and make-up codes, separately for white and black runs) and the extended make-up codes shared
// by both colours; the mode codes are those of T.4 table 4.
#include "imaging/TIFFCCITT.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/InvalidGraphic.h"

namespace sk {

namespace {

struct TRunCode {
  int run;
  const char* bits;
};

// clang-format off
constexpr TRunCode kWhiteCodes[] = {
    {0, "00110101"},     {1, "000111"},       {2, "0111"},         {3, "1000"},
    {4, "1011"},         {5, "1100"},         {6, "1110"},         {7, "1111"},
    {8, "10011"},        {9, "10100"},        {10, "00111"},       {11, "01000"},
    {12, "001000"},      {13, "000011"},      {14, "110100"},      {15, "110101"},
    {16, "101010"},      {17, "101011"},      {18, "0100111"},     {19, "0001100"},
    {20, "0001000"},     {21, "0010111"},     {22, "0000011"},     {23, "0000100"},
    {24, "0101000"},     {25, "0101011"},     {26, "0010011"},     {27, "0100100"},
    {28, "0011000"},     {29, "00000010"},    {30, "00000011"},    {31, "00011010"},
    {32, "00011011"},    {33, "00010010"},    {34, "00010011"},    {35, "00010100"},
    {36, "00010101"},    {37, "00010110"},    {38, "00010111"},    {39, "00101000"},
    {40, "00101001"},    {41, "00101010"},    {42, "00101011"},    {43, "00101100"},
    {44, "00101101"},    {45, "00000100"},    {46, "00000101"},    {47, "00001010"},
    {48, "00001011"},    {49, "01010010"},    {50, "01010011"},    {51, "01010100"},
    {52, "01010101"},    {53, "00100100"},    {54, "00100101"},    {55, "01011000"},
    {56, "01011001"},    {57, "01011010"},    {58, "01011011"},    {59, "01001010"},
    {60, "01001011"},    {61, "00110010"},    {62, "00110011"},    {63, "00110100"},
    {64, "11011"},       {128, "10010"},      {192, "010111"},     {256, "0110111"},
    {320, "00110110"},   {384, "00110111"},   {448, "01100100"},   {512, "01100101"},
    {576, "01101000"},   {640, "01100111"},   {704, "011001100"},  {768, "011001101"},
    {832, "011010010"},  {896, "011010011"},  {960, "011010100"},  {1024, "011010101"},
    {1088, "011010110"}, {1152, "011010111"}, {1216, "011011000"}, {1280, "011011001"},
    {1344, "011011010"}, {1408, "011011011"}, {1472, "010011000"}, {1536, "010011001"},
    {1600, "010011010"}, {1664, "011000"},    {1728, "010011011"},
};

constexpr TRunCode kBlackCodes[] = {
    {0, "0000110111"},     {1, "010"},            {2, "11"},             {3, "10"},
    {4, "011"},            {5, "0011"},           {6, "0010"},           {7, "00011"},
    {8, "000101"},         {9, "000100"},         {10, "0000100"},       {11, "0000101"},
    {12, "0000111"},       {13, "00000100"},      {14, "00000111"},      {15, "000011000"},
    {16, "0000010111"},    {17, "0000011000"},    {18, "0000001000"},    {19, "00001100111"},
    {20, "00001101000"},   {21, "00001101100"},   {22, "00000110111"},   {23, "00000101000"},
    {24, "00000010111"},   {25, "00000011000"},   {26, "000011001010"},  {27, "000011001011"},
    {28, "000011001100"},  {29, "000011001101"},  {30, "000001101000"},  {31, "000001101001"},
    {32, "000001101010"},  {33, "000001101011"},  {34, "000011010010"},  {35, "000011010011"},
    {36, "000011010100"},  {37, "000011010101"},  {38, "000011010110"},  {39, "000011010111"},
    {40, "000001101100"},  {41, "000001101101"},  {42, "000011011010"},  {43, "000011011011"},
    {44, "000001010100"},  {45, "000001010101"},  {46, "000001010110"},  {47, "000001010111"},
    {48, "000001100100"},  {49, "000001100101"},  {50, "000001010010"},  {51, "000001010011"},
    {52, "000000100100"},  {53, "000000110111"},  {54, "000000111000"},  {55, "000000100111"},
    {56, "000000101000"},  {57, "000001011000"},  {58, "000001011001"},  {59, "000000101011"},
    {60, "000000101100"},  {61, "000001011010"},  {62, "000001100110"},  {63, "000001100111"},
    {64, "0000001111"},    {128, "000011001000"}, {192, "000011001001"}, {256, "000001011011"},
    {320, "000000110011"}, {384, "000000110100"}, {448, "000000110101"}, {512, "0000001101100"},
    {576, "0000001101101"},  {640, "0000001001010"},  {704, "0000001001011"},
    {768, "0000001001100"},  {832, "0000001001101"},  {896, "0000001110010"},
    {960, "0000001110011"},  {1024, "0000001110100"}, {1088, "0000001110101"},
    {1152, "0000001110110"}, {1216, "0000001110111"}, {1280, "0000001010010"},
    {1344, "0000001010011"}, {1408, "0000001010100"}, {1472, "0000001010101"},
    {1536, "0000001011010"}, {1600, "0000001011011"}, {1664, "0000001100100"},
    {1728, "0000001100101"},
};

constexpr TRunCode kExtendedMakeUpCodes[] = {
    {1792, "00000001000"},  {1856, "00000001100"},  {1920, "00000001101"},
    {1984, "000000010010"}, {2048, "000000010011"}, {2112, "000000010100"},
    {2176, "000000010101"}, {2240, "000000010110"}, {2304, "000000010111"},
    {2368, "000000011100"}, {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"},
};

// clang-format on

// Codes are looked up by their next 13 bits (the longest code's length).
constexpr int kLookupBits = 13;

struct TLookupEntry {
  uint16_t run = 0;
  uint8_t length = 0;  // 0: no code starts with these bits
};

using TLookupTable = std::array<TLookupEntry, 1 << kLookupBits>;

void Enter(TLookupTable& table, const TRunCode& code) {
  const int length = static_cast<int>(std::strlen(code.bits));
  int value = 0;
  for (int i = 0; i < length; ++i) value = value << 1 | (code.bits[i] == '1' ? 1 : 0);
  const int spare = kLookupBits - length;
  for (int tail = 0; tail < 1 << spare; ++tail) {
    TLookupEntry& entry = table[static_cast<size_t>(value << spare | tail)];
    entry.run = static_cast<uint16_t>(code.run);
    entry.length = static_cast<uint8_t>(length);
  }
}

template <size_t N>
TLookupTable MakeLookup(const TRunCode (&codes)[N]) {
  TLookupTable table{};
  for (const TRunCode& code : codes) Enter(table, code);
  for (const TRunCode& code : kExtendedMakeUpCodes) Enter(table, code);
  return table;
}

const TLookupTable& Lookup(bool black) {
  static const TLookupTable white_table = MakeLookup(kWhiteCodes);
  static const TLookupTable black_table = MakeLookup(kBlackCodes);
  return black ? black_table : white_table;
}

constexpr auto kReversed = [] {
  std::array<uint8_t, 256> table{};
  for (int value = 0; value < 256; ++value) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit) reversed |= ((value >> bit) & 1) << (7 - bit);
    table[static_cast<size_t>(value)] = static_cast<uint8_t>(reversed);
  }
  return table;
}();

// Sentinels after the changing elements of a row, so that b1 and b2 can always be read.
constexpr int kSentinels = 4;

// Clears bits [from, to) of a row (most significant bit first).
void ClearBits(std::span<uint8_t> bits, int from, int to) {
  while (from < to && from % 8 != 0) {
    bits[static_cast<size_t>(from / 8)] &= static_cast<uint8_t>(~(0x80 >> (from % 8)));
    ++from;
  }
  const int whole = (to - from) / 8;
  if (whole > 0) {
    std::memset(bits.data() + from / 8, 0, static_cast<size_t>(whole));
    from += 8 * whole;
  }
  for (; from < to; ++from) {
    bits[static_cast<size_t>(from / 8)] &= static_cast<uint8_t>(~(0x80 >> (from % 8)));
  }
}

}  // namespace

TCCITTDecoder::TCCITTDecoder(std::span<const uint8_t> data, int width, TCCITTMode mode,
                             bool lsb_first)
    : data_(data), width_(width), mode_(mode), lsb_first_(lsb_first) {
  // The reference row of the first row is all white: no changes.
  reference_.assign(kSentinels, width_);
}

void TCCITTDecoder::Fail() const {
  throw EInvalidGraphic(kUnrecognizedTiff);
}

uint32_t TCCITTDecoder::Peek(int count) const {
  const uint64_t byte = bit_position_ / 8;
  uint32_t window = 0;
  for (uint64_t i = 0; i < 4; ++i) {
    uint8_t value = byte + i < data_.size() ? data_[static_cast<size_t>(byte + i)] : 0;
    if (lsb_first_) value = kReversed[value];
    window = window << 8 | value;
  }
  window <<= bit_position_ % 8;
  return window >> (32 - count);
}

bool TCCITTDecoder::HasBits(int count) const {
  return bit_position_ + static_cast<uint64_t>(count) <= static_cast<uint64_t>(data_.size()) * 8;
}

void TCCITTDecoder::Consume(int count) {
  if (!HasBits(count)) Fail();
  bit_position_ += static_cast<uint64_t>(count);
}

int TCCITTDecoder::EndOfLineZeros() const {
  const uint32_t bits = Peek(20);
  int zeros = 0;
  while (zeros < 20 && (bits & (1u << (19 - zeros))) == 0) ++zeros;
  if (zeros < 11 || zeros > 19 || !HasBits(zeros + 1)) return 0;
  return zeros;
}

int64_t TCCITTDecoder::ReadRun(bool black) {
  const TLookupTable& table = Lookup(black);
  int64_t total = 0;
  for (;;) {
    // No run code starts with eight zeros; an end-of-line code does.
    if (Peek(8) == 0) {
      if (EndOfLineZeros() > 0) return -1;
      Fail();
    }
    const TLookupEntry& entry = table[Peek(kLookupBits)];
    if (entry.length == 0) Fail();
    Consume(entry.length);
    // Runs beyond the row are clipped by the caller; the sum only needs to stay bounded.
    total = std::min<int64_t>(total + entry.run, int64_t{1} << 40);
    if (entry.run < 64) return total;
  }
}

void TCCITTDecoder::AddChange(int64_t position) {
  const int clipped = static_cast<int>(std::min<int64_t>(position, width_));
  // Two changes at one place cancel: the run between them is empty.
  if (!current_.empty() && current_.back() == clipped) {
    current_.pop_back();
  } else {
    current_.push_back(clipped);
  }
}

void TCCITTDecoder::DecodeOneD() {
  int64_t a0 = 0;
  bool black = false;
  while (a0 < width_) {
    const int64_t run = ReadRun(black);
    if (run < 0) {
      // An end-of-line code ends the row early; the rest of the row is white.
      if (black) AddChange(a0);
      return;
    }
    a0 += run;
    AddChange(a0);
    black = !black;
  }
}

void TCCITTDecoder::DecodeTwoD() {
  int64_t a0 = -1;
  bool black = false;
  size_t r = 0;  // the first changing element of the reference row after a0
  while (a0 < width_) {
    while (reference_[r] <= a0) ++r;
    // Changes to black have even indexes: b1 is the first change after a0 to the other colour.
    size_t b1_index = r;
    if ((b1_index % 2 == 0) == black) ++b1_index;
    const int64_t b1 = reference_[b1_index];
    const int64_t b2 = reference_[b1_index + 1];
    const uint32_t code = Peek(7);
    int vertical = 0;
    int length = 0;
    if ((code & 0x40) != 0) {
      vertical = 0, length = 1;
    } else if ((code >> 4) == 0b011) {
      vertical = 1, length = 3;
    } else if ((code >> 4) == 0b010) {
      vertical = -1, length = 3;
    } else if ((code >> 4) == 0b001) {
      // Horizontal mode: a run of the current colour, then one of the other.
      Consume(3);
      const int64_t first = ReadRun(black);
      const int64_t second = first < 0 ? -1 : ReadRun(!black);
      if (second < 0) Fail();
      const int64_t a1 = std::min<int64_t>(std::max<int64_t>(a0, 0) + first, width_);
      const int64_t a2 = std::min<int64_t>(a1 + second, width_);
      AddChange(a1);
      AddChange(a2);
      a0 = a2;
      continue;
    } else if ((code >> 3) == 0b0001) {
      // Pass mode: the current colour runs on to b2.
      Consume(4);
      a0 = b2;
      continue;
    } else if ((code >> 1) == 0b000011) {
      vertical = 2, length = 6;
    } else if ((code >> 1) == 0b000010) {
      vertical = -2, length = 6;
    } else if (code == 0b0000011) {
      vertical = 3, length = 7;
    } else if (code == 0b0000010) {
      vertical = -3, length = 7;
    } else if (code == 0 && EndOfLineZeros() > 0) {
      // An end-of-line code ends the row early: the rest keeps the current colour, and the code
      // starts the next row.
      return;
    } else {
      // The extension codes (uncompressed mode) and codes with no table entry.
      Fail();
    }
    Consume(length);
    const int64_t a1 = std::min<int64_t>(b1 + vertical, width_);
    if (a1 < std::max<int64_t>(a0, 0)) Fail();
    AddChange(a1);
    a0 = a1;
    black = !black;
  }
}

void TCCITTDecoder::NextRow(std::span<uint8_t> bits) {
  current_.clear();
  switch (mode_) {
    case TCCITTMode::kModifiedHuffman: bit_position_ = (bit_position_ + 7) / 8 * 8; [[fallthrough]];
    case TCCITTMode::kGroup3OneD:
      if (const int zeros = EndOfLineZeros(); zeros > 0) Consume(zeros + 1);
      DecodeOneD();
      break;
    case TCCITTMode::kGroup3TwoD:
    case TCCITTMode::kGroup4:
      if (const int zeros = EndOfLineZeros(); zeros > 0) {
        Consume(zeros + 1);
        if (!HasBits(1)) Fail();
        const bool one_dimensional = Peek(1) != 0;
        Consume(1);
        if (one_dimensional) {
          DecodeOneD();
          break;
        }
      }
      DecodeTwoD();
      break;
  }
  // Changes at the row's end change nothing.
  while (!current_.empty() && current_.back() >= width_) current_.pop_back();

  const size_t row_bytes = (static_cast<size_t>(width_) + 7) / 8;
  std::memset(bits.data(), 0xFF, row_bytes);
  for (size_t i = 0; i < current_.size(); i += 2) {
    const int end = i + 1 < current_.size() ? current_[i + 1] : width_;
    ClearBits(bits, current_[i], end);
  }
  reference_.swap(current_);
  reference_.insert(reference_.end(), kSentinels, width_);
}

}  // namespace sk
