// The sending side of the requests between running programs: connects to a program's Unix
// socket, sends framed requests and waits for each reply. Needs no event loop, so a program can
// use it before it has built its windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sk {

enum class TSendResult {
  kAccepted,  // every request was accepted
  kRefused,   // the server answered, but refused a request (the later ones were not sent)
  kNoServer,  // nothing listens at the path, or it stopped answering within the time allowed
};

// Sends each text as one request of topic over one connection to the socket at socket_path and
// waits up to timeout_ms for each reply. Raises std::length_error for a text too long to frame.
TSendResult SendRequests(const std::string& socket_path, std::string_view topic,
                         const std::vector<std::string>& texts, int timeout_ms);

}  // namespace sk
