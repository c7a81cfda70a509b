// Helpers shared by the skd subcommands.
#include "tools/skd/Commands.h"

namespace sk::skd {

namespace {
int exit_status = 0;
}  // namespace

void SetExitStatus(int status) { exit_status = status; }
int ExitStatus() { return exit_status; }

}  // namespace sk::skd
