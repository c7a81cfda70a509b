// The byte form of the requests one running program accepts from another (the file manager's
// "Add To Stillkeep" goes through it): length-prefixed frames carrying a topic and a text, each
// answered by one byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace sk {

// A frame: a 4-byte big-endian payload length N, then N bytes: the topic, one 0 byte, the text
// (UTF-8). N is at least 1 and at most kMaxRequestBytes.
inline constexpr size_t kMaxRequestBytes = 64 * 1024;
inline constexpr size_t kFrameHeaderBytes = 4;
// The one-byte reply to every frame.
inline constexpr char kReplyAccepted = 'A';
inline constexpr char kReplyRefused = 'R';

// The frame for topic and text. Raises std::length_error when the payload would be longer than
// kMaxRequestBytes, and std::invalid_argument when topic holds a 0 byte.
std::string EncodeRequest(std::string_view topic, std::string_view text);

// Reassembles frames from bytes that arrive in pieces.
class TRequestFramer {
 public:
  enum class TNext {
    kIncomplete,  // more bytes are needed
    kRequest,     // topic and text hold the next request
    kMalformed,   // a zero length or a payload without the 0 byte after the topic
    kOversized,   // the length is above kMaxRequestBytes; nothing after it can be trusted
  };

  // Appends bytes received. The buffer never holds more than one frame plus what Append
  // brought, since callers take every request before they append again.
  void Append(std::string_view bytes) { buffer_.append(bytes); }
  // Takes the next complete frame. After kMalformed the frame is dropped and the next one
  // follows; after kOversized every later call answers kOversized again.
  TNext Take(std::string& topic, std::string& text);
  size_t Buffered() const { return buffer_.size(); }

 private:
  std::string buffer_;
  bool broken_ = false;
};

// The lines of a request's text: split at "\r\n", "\n" and "\r". An empty text has no line; a
// text that ends with a break has no empty last line.
std::vector<std::string> SplitRequestLines(std::string_view text);

// True when bytes are well-formed UTF-8 (no overlong forms, surrogates or values above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

}  // namespace sk
