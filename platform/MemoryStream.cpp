// In-memory byte stream.
#include "platform/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace sk {

size_t TMemoryStream::Read(std::span<uint8_t> buffer) {
  if (position_ >= bytes_.size()) return 0;
  const size_t n = std::min(buffer.size(), bytes_.size() - position_);
  std::memcpy(buffer.data(), bytes_.data() + position_, n);
  position_ += n;
  return n;
}

void TMemoryStream::Write(std::span<const uint8_t> data) {
  if (data.empty()) return;
  const size_t end = position_ + data.size();
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, data.data(), data.size());
  position_ = end;
}

}  // namespace sk
