// Catching the signals that ask a process to end (SIGINT, SIGTERM, SIGHUP), so that the program
// and skd can end as a normal exit would: closing the store, which writes it back and removes its
// working files. The handler only records the signal; the process acts on it at a safe point.
#pragma once

namespace sk {

// Installs the handlers (once; later calls do nothing). Raises EOSError when the self-pipe cannot
// be made.
void CatchTerminationSignals();

// The first termination signal received since the handlers were installed, or 0.
int PendingTerminationSignal();

// A descriptor that becomes readable when a termination signal arrives (for an event loop to
// watch); -1 before CatchTerminationSignals. Reading it is not needed.
int TerminationSignalDescriptor();

}  // namespace sk
