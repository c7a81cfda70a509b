// The one way codecs read bytes: a bounds-checked cursor over a span, with 8-, 16- and 32-bit
// values in either byte order and sub-ranges at an offset, and the whole-file read with a size
// cap that every reader of TImageIO uses. Every read past the end raises EInvalidGraphic with the
// codec's own message, so no codec does offset arithmetic of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sk {

enum class TByteOrder { kLittleEndian, kBigEndian };

class TByteReader {
 public:
  // Reads bytes (which must outlive the reader) in the given byte order. message is the codec's
  // own message ("unrecognized TIFF"), raised as EInvalidGraphic by every failed read; it must be
  // a string with static storage (the constants of InvalidGraphic.h).
  TByteReader(std::span<const uint8_t> bytes, const char* message,
              TByteOrder order = TByteOrder::kLittleEndian)
      : bytes_(bytes), message_(message), order_(order) {}

  size_t Size() const { return bytes_.size(); }
  size_t Position() const { return position_; }
  size_t Remaining() const { return bytes_.size() - position_; }
  bool AtEnd() const { return position_ == bytes_.size(); }
  std::span<const uint8_t> Bytes() const { return bytes_; }
  const char* Message() const { return message_; }

  TByteOrder Order() const { return order_; }
  void SetOrder(TByteOrder order) { order_ = order; }

  // Moves to an absolute position; Size() is allowed (nothing left), beyond it raises.
  void Seek(uint64_t position);
  // Skips count bytes; raises when fewer are left.
  void Skip(uint64_t count);

  // Values at the position, which then moves past them; raise when they do not fit.
  uint8_t U8();
  uint16_t U16();  // in Order()
  uint32_t U32();  // in Order()
  int16_t S16() { return static_cast<int16_t>(U16()); }
  int32_t S32() { return static_cast<int32_t>(U32()); }
  uint16_t U16LE();
  uint32_t U32LE();
  uint16_t U16BE();
  uint32_t U32BE();
  int16_t S16LE() { return static_cast<int16_t>(U16LE()); }
  int32_t S32LE() { return static_cast<int32_t>(U32LE()); }

  // The next count bytes, which the position moves past; raises when fewer are left.
  std::span<const uint8_t> Take(uint64_t count);
  // Copies buffer.size() bytes; raises when fewer are left.
  void ReadInto(std::span<uint8_t> buffer);

  // Values at an absolute offset; the position does not move. Raise when they do not fit.
  uint8_t U8At(uint64_t offset) const;
  uint16_t U16At(uint64_t offset) const;  // in Order()
  uint32_t U32At(uint64_t offset) const;  // in Order()
  // length bytes at an absolute offset; raises when they are not all inside.
  std::span<const uint8_t> SpanAt(uint64_t offset, uint64_t length) const;

  // A reader over length bytes at an absolute offset (its position 0), with this reader's message
  // and byte order; raises when the range is not inside.
  TByteReader Sub(uint64_t offset, uint64_t length) const;
  // A reader over the next count bytes (its position 0); this reader's position moves past them.
  TByteReader TakeReader(uint64_t count) { return TByteReader(Take(count), message_, order_); }

  // True when offset + length lies within the bytes (no overflow).
  bool Contains(uint64_t offset, uint64_t length) const {
    return offset <= bytes_.size() && length <= bytes_.size() - offset;
  }

  // Raises EInvalidGraphic(Message()).
  [[noreturn]] void Fail() const;

 private:
  const uint8_t* Need(uint64_t count);

  std::span<const uint8_t> bytes_;
  const char* message_;
  TByteOrder order_;
  size_t position_ = 0;
};

// No picture file this library reads can be larger: 4 bytes for each of kMaxPicturePixels pixels,
// plus headers and tables. Larger files are refused before they are read into memory.
extern const uint64_t kMaxPictureFileSize;

// Reads a whole picture file. A file that cannot be opened or read raises its EOSError; one
// larger than max_size raises EInvalidGraphic(message) before anything is read.
std::vector<uint8_t> ReadPictureFile(const std::string& file_name, const char* message,
                                     uint64_t max_size = kMaxPictureFileSize);

}  // namespace sk
