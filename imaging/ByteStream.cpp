// Bindings of the codecs' byte streams to memory streams and files.
#include "imaging/ByteStream.h"

#include <algorithm>

namespace sk {

size_t TLimitedSource::Read(std::span<uint8_t> buffer) {
  const size_t wanted = static_cast<size_t>(std::min<uint64_t>(buffer.size(), left_));
  if (wanted == 0) return 0;
  const size_t n = source_.Read(buffer.first(wanted));
  left_ -= n;
  return n;
}

std::optional<uint64_t> TLimitedSource::Remaining() const {
  const std::optional<uint64_t> inner = source_.Remaining();
  return inner ? std::min(*inner, left_) : left_;
}

size_t TSpanSource::Read(std::span<uint8_t> buffer) {
  const size_t n = std::min(buffer.size(), bytes_.size() - position_);
  if (n > 0) std::copy_n(bytes_.data() + position_, n, buffer.data());
  position_ += n;
  return n;
}

void TFileSink::Write(std::span<const uint8_t> data) {
  if (buffer_.size() + data.size() > kBufferSize) {
    Flush();
    // A write at least as large as the buffer goes straight to the file.
    if (data.size() >= kBufferSize) {
      file_.Write(data);
      return;
    }
  }
  buffer_.insert(buffer_.end(), data.begin(), data.end());
}

void TFileSink::Flush() {
  if (buffer_.empty()) return;
  file_.Write(buffer_);
  buffer_.clear();
}

}  // namespace sk
