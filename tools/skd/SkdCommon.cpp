// Helpers shared by the skd subcommands.
#include <string.h>

#include "platform/TerminationSignals.h"
#include "tools/skd/Commands.h"

namespace sk::skd {

namespace {
int exit_status = 0;
TMetafileCanvasFactory& CanvasFactory() {
  static TMetafileCanvasFactory factory;
  return factory;
}
}  // namespace

void SetExitStatus(int status) {
  exit_status = status;
}
int ExitStatus() {
  return exit_status;
}

void SetMetafileCanvasFactory(TMetafileCanvasFactory factory) {
  CanvasFactory() = std::move(factory);
}

const TMetafileCanvasFactory& MetafileCanvasFactory() {
  return CanvasFactory();
}

void ThrowIfInterrupted() {
  if (const int signal_number = PendingTerminationSignal(); signal_number != 0) {
    throw ECommandError(std::string("interrupted by SIG") + sigabbrev_np(signal_number));
  }
}

}  // namespace sk::skd
