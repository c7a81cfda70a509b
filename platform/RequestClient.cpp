// Sending requests over a Unix socket with plain system calls.
#include "platform/RequestClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/RequestFrame.h"

namespace sk {

namespace {

// Closes the descriptor it holds.
class TSocket {
 public:
  explicit TSocket(int fd) : fd_(fd) {}
  ~TSocket() {
    if (fd_ >= 0) ::close(fd_);
  }
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

bool Wait(int fd, short events, int timeout_ms) {
  pollfd entry{fd, events, 0};
  for (;;) {
    const int ready = ::poll(&entry, 1, timeout_ms);
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

bool SendAll(int fd, std::string_view bytes, int timeout_ms) {
  while (!bytes.empty()) {
    if (!Wait(fd, POLLOUT, timeout_ms)) return false;
    // MSG_NOSIGNAL: a server that went away must not end this program with SIGPIPE.
    const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(sent));
  }
  return true;
}

}  // namespace

TSendResult SendRequests(const std::string& socket_path, std::string_view topic,
                         const std::vector<std::string>& texts, int timeout_ms) {
  std::vector<std::string> frames;
  frames.reserve(texts.size());
  for (const std::string& text : texts) frames.push_back(EncodeRequest(topic, text));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socket_path.empty() || socket_path.size() >= sizeof(address.sun_path)) {
    return TSendResult::kNoServer;
  }
  std::memcpy(address.sun_path, socket_path.data(), socket_path.size());
  TSocket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (socket.Fd() < 0) return TSendResult::kNoServer;
  int connected;
  do {
    connected =
        ::connect(socket.Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  } while (connected < 0 && errno == EINTR);
  if (connected < 0) return TSendResult::kNoServer;
  for (const std::string& frame : frames) {
    if (!SendAll(socket.Fd(), frame, timeout_ms)) return TSendResult::kNoServer;
    char reply = 0;
    ssize_t got = -1;
    while (got < 0) {
      if (!Wait(socket.Fd(), POLLIN, timeout_ms)) return TSendResult::kNoServer;
      got = ::recv(socket.Fd(), &reply, 1, 0);
      if (got < 0 && errno != EINTR && errno != EAGAIN) return TSendResult::kNoServer;
    }
    if (got == 0) return TSendResult::kNoServer;
    if (reply != kReplyAccepted) return TSendResult::kRefused;
  }
  return TSendResult::kAccepted;
}

}  // namespace sk
