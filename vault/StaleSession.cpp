// Texts about stale sessions, and the sessions no store can claim.
#include "vault/StaleSession.h"

#include <ctime>

#include "platform/Files.h"

namespace sk {

std::string SessionTimeText(int64_t seconds_since_epoch) {
  const std::time_t time = static_cast<std::time_t>(seconds_since_epoch);
  std::tm local{};
  if (!localtime_r(&time, &local)) return "an unknown time";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
  return text;
}

std::string StaleSessionQuestion(const TStaleSessionInfo& session) {
  return "Stillkeep was not closed properly. Recover the " + std::to_string(session.added) +
         " pictures added and the " + std::to_string(session.deleted) + " deleted since " +
         SessionTimeText(session.opened) + "?";
}

std::vector<TStaleSession> OrphanedSessions() {
  std::vector<TStaleSession> orphaned;
  for (TStaleSession& session : FindStaleSessions()) {
    if (FileKind(session.journal.store) == TFileKind::kMissing) {
      orphaned.push_back(std::move(session));
    }
  }
  return orphaned;
}

}  // namespace sk
