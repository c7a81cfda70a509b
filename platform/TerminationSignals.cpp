// Termination signals recorded by an async-signal-safe handler and a self-pipe.
#include "platform/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/Files.h"

namespace sk {

namespace {

volatile sig_atomic_t pending_signal = 0;
int pipe_ends[2] = {-1, -1};
std::atomic<bool> installed{false};

extern "C" void RecordTerminationSignal(int signal_number) {
  const int saved_errno = errno;
  if (pending_signal == 0) pending_signal = signal_number;
  if (pipe_ends[1] >= 0) {
    const char byte = 1;
    // A full pipe already wakes the reader; the result does not matter.
    [[maybe_unused]] const ssize_t written = ::write(pipe_ends[1], &byte, 1);
  }
  errno = saved_errno;
}

}  // namespace

void CatchTerminationSignals() {
  if (installed.exchange(true)) return;
  if (::pipe2(pipe_ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    installed = false;
    throw EOSError(errno, "pipe", "");
  }
  struct sigaction action {};
  action.sa_handler = RecordTerminationSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted system calls resume: the process acts on the signal at its next safe point.
  action.sa_flags = SA_RESTART;
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP})
    ::sigaction(signal_number, &action, nullptr);
}

int PendingTerminationSignal() {
  return pending_signal;
}

int TerminationSignalDescriptor() {
  return pipe_ends[0];
}

}  // namespace sk
