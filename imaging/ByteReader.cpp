// The bounds-checked byte reader and the whole-file read.
#include "imaging/ByteReader.h"

#include <cstring>

#include "imaging/InvalidGraphic.h"
#include "imaging/Picture.h"
#include "platform/Files.h"

namespace sk {

namespace {

uint16_t Load16(const uint8_t* p, TByteOrder order) {
  return order == TByteOrder::kLittleEndian ? static_cast<uint16_t>(p[0] | p[1] << 8)
                                            : static_cast<uint16_t>(p[0] << 8 | p[1]);
}

uint32_t Load32(const uint8_t* p, TByteOrder order) {
  if (order == TByteOrder::kLittleEndian) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  }
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

}  // namespace

const uint64_t kMaxPictureFileSize = 4 * static_cast<uint64_t>(kMaxPicturePixels) + (1 << 20);

void TByteReader::Fail() const {
  throw EInvalidGraphic(message_);
}

const uint8_t* TByteReader::Need(uint64_t count) {
  if (count > Remaining()) Fail();
  const uint8_t* p = bytes_.data() + position_;
  position_ += static_cast<size_t>(count);
  return p;
}

void TByteReader::Seek(uint64_t position) {
  if (position > bytes_.size()) Fail();
  position_ = static_cast<size_t>(position);
}

void TByteReader::Skip(uint64_t count) {
  Need(count);
}

uint8_t TByteReader::U8() {
  return *Need(1);
}

uint16_t TByteReader::U16() {
  return Load16(Need(2), order_);
}

uint32_t TByteReader::U32() {
  return Load32(Need(4), order_);
}

uint16_t TByteReader::U16LE() {
  return Load16(Need(2), TByteOrder::kLittleEndian);
}

uint32_t TByteReader::U32LE() {
  return Load32(Need(4), TByteOrder::kLittleEndian);
}

uint16_t TByteReader::U16BE() {
  return Load16(Need(2), TByteOrder::kBigEndian);
}

uint32_t TByteReader::U32BE() {
  return Load32(Need(4), TByteOrder::kBigEndian);
}

std::span<const uint8_t> TByteReader::Take(uint64_t count) {
  const uint8_t* p = Need(count);
  return {p, static_cast<size_t>(count)};
}

void TByteReader::ReadInto(std::span<uint8_t> buffer) {
  const uint8_t* p = Need(buffer.size());
  if (!buffer.empty()) std::memcpy(buffer.data(), p, buffer.size());
}

uint8_t TByteReader::U8At(uint64_t offset) const {
  return SpanAt(offset, 1)[0];
}

uint16_t TByteReader::U16At(uint64_t offset) const {
  return Load16(SpanAt(offset, 2).data(), order_);
}

uint32_t TByteReader::U32At(uint64_t offset) const {
  return Load32(SpanAt(offset, 4).data(), order_);
}

std::span<const uint8_t> TByteReader::SpanAt(uint64_t offset, uint64_t length) const {
  if (!Contains(offset, length)) Fail();
  return bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
}

TByteReader TByteReader::Sub(uint64_t offset, uint64_t length) const {
  return TByteReader(SpanAt(offset, length), message_, order_);
}

std::vector<uint8_t> ReadPictureFile(const std::string& file_name, const char* message,
                                     uint64_t max_size) {
  TFile file = TFile::Open(file_name, FileMode::kRead);
  const int64_t size = file.Size();
  if (size < 0 || static_cast<uint64_t>(size) > max_size) throw EInvalidGraphic(message);
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  file.ReadExact(bytes);
  file.Close();
  return bytes;
}

}  // namespace sk
