// Request frames: encoding, reassembly, line splitting and the UTF-8 check.
#include "platform/RequestFrame.h"

#include <stdexcept>

namespace sk {

std::string EncodeRequest(std::string_view topic, std::string_view text) {
  if (topic.find('\0') != std::string_view::npos) {
    throw std::invalid_argument("a request topic cannot hold a 0 byte");
  }
  if (topic.size() > kMaxRequestBytes || text.size() > kMaxRequestBytes - topic.size() - 1) {
    throw std::length_error("the request is too long");
  }
  const size_t length = topic.size() + 1 + text.size();
  std::string frame;
  frame.reserve(kFrameHeaderBytes + length);
  for (int shift : {24, 16, 8, 0}) frame.push_back(static_cast<char>(length >> shift & 0xFF));
  frame.append(topic);
  frame.push_back('\0');
  frame.append(text);
  return frame;
}

TRequestFramer::TNext TRequestFramer::Take(std::string& topic, std::string& text) {
  if (broken_) return TNext::kOversized;
  if (buffer_.size() < kFrameHeaderBytes) return TNext::kIncomplete;
  uint32_t length = 0;
  for (size_t i = 0; i < kFrameHeaderBytes; ++i) {
    length = length << 8 | static_cast<uint8_t>(buffer_[i]);
  }
  if (length > kMaxRequestBytes) {
    broken_ = true;
    buffer_.clear();
    return TNext::kOversized;
  }
  if (buffer_.size() - kFrameHeaderBytes < length) return TNext::kIncomplete;
  const std::string_view payload(buffer_.data() + kFrameHeaderBytes, length);
  const size_t separator = payload.find('\0');
  TNext next = TNext::kMalformed;
  if (length > 0 && separator != std::string_view::npos) {
    topic.assign(payload.substr(0, separator));
    text.assign(payload.substr(separator + 1));
    next = TNext::kRequest;
  }
  buffer_.erase(0, kFrameHeaderBytes + length);
  return next;
}

std::vector<std::string> SplitRequestLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n' && text[i] != '\r') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t lead = static_cast<uint8_t>(bytes[i]);
    size_t extra = 0;
    uint32_t value = 0;
    uint32_t smallest = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1;
      value = lead & 0x1F;
      smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
      value = lead & 0x0F;
      smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
      value = lead & 0x07;
      smallest = 0x10000;
    } else {
      return false;
    }
    if (bytes.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const uint8_t next = static_cast<uint8_t>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      value = value << 6 | (next & 0x3F);
    }
    if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace sk
