// The progress line on standard error.
#include "tools/skd/Progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>

namespace sk::skd {

namespace {
bool shown = false;
bool drawn = false;     // a progress line is on the terminal
std::string last_text;  // what it says, so that an unchanged line is not drawn again

const char* OperationName(TProgressOrigin origin) {
  switch (origin) {
    case TProgressOrigin::poOpen: return "opening";
    case TProgressOrigin::poClose: return "closing";
    case TProgressOrigin::poFlush: return "saving";
    case TProgressOrigin::poPack: return "packing";
    case TProgressOrigin::poGetKeys: return "reading the keys of";
  }
  return "working on";
}
}  // namespace

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

void SetProgressShown(bool value) {
  if (!value) ClearProgress();
  shown = value;
}

bool ProgressShown() {
  return shown;
}

void ShowProgress(const std::string& text) {
  if (!shown || (drawn && text == last_text)) return;
  std::string line = "skd: " + text;
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
      line.size() >= size.ws_col) {
    // One column fewer than the width, so the cursor never wraps to a new line.
    line.resize(size.ws_col - 1);
  }
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  drawn = true;
  last_text = text;
}

void ShowCountProgress(const std::string& what, size_t done, size_t total) {
  const size_t percent = total == 0 ? 100 : done * 100 / total;
  ShowProgress(what + " " + std::to_string(done) + "/" + std::to_string(total) + " (" +
               std::to_string(percent) + "%)");
}

void ClearProgress() {
  if (!drawn) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  drawn = false;
  last_text.clear();
}

TProgressEvent StoreProgress(std::string file) {
  // The store reports 0 at an operation's first step and again at its end: a 0 after any step
  // of the same operation is the end.
  struct TState {
    std::string file;
    TProgressOrigin origin = TProgressOrigin::poOpen;
    int last = -1;
  };
  auto state = std::make_shared<TState>();
  state->file = std::move(file);
  return [state](TKES&, TPercentage percent, TProgressOrigin origin) {
    if (origin != state->origin) state->last = -1;
    state->origin = origin;
    if (percent == 0 && state->last >= 0) {
      state->last = -1;
      ClearProgress();
      return;
    }
    state->last = percent;
    ShowProgress(std::string(OperationName(origin)) + " " + state->file + " " +
                 std::to_string(percent > 100 ? 100 : percent) + "%");
  };
}

}  // namespace sk::skd
