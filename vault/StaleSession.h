// What the program and skd say about a stale session of a store (the working files of a session
// that ended without closing): the question put to the user, and the sessions whose store is gone.
#pragma once

#include <string>
#include <vector>

#include "store/KES.h"

namespace sk {

// "Stillkeep was not closed properly. Recover the N pictures added and the M deleted since
// <time>?", the time in the local time zone.
std::string StaleSessionQuestion(const TStaleSessionInfo& session);

// When a session opened its store, as the question shows it: "2026-12-10 16:45".
std::string SessionTimeText(int64_t seconds_since_epoch);

// Stale sessions whose store file no longer exists (nothing can open them any more).
std::vector<TStaleSession> OrphanedSessions();

}  // namespace sk
