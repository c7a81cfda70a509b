// The journal of an open store's session: a small file beside its working files that names the
// store they belong to, written by the first Flush that makes them durable and removed when the
// store closes. Working files whose journal outlives their process are a stale session, which a
// later open of that store can recover or discard.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace sk {

enum class TProtection;

// The working files are named "<prefix><8 hex digits>.tmp" with one suffix for the whole session.
inline constexpr std::string_view kJournalPrefix = "JNL";
// A second name of the container as the session opened it, kept while the session lives so that
// its bodies stay readable when the container is replaced meanwhile.
inline constexpr std::string_view kPinPrefix = "SKB";
// The prefix of a session's index log (the changes its Flushes appended since the index file was
// last written whole).
inline constexpr std::string_view kIndexLogPrefix = "IXL";

struct TSessionJournal {
  std::string store;        // the container's full path
  TFileIdentity container;  // the container as the session opened it
  TProtection protection;
  int64_t data_length = 0;  // its data section's length: where the new bodies begin
  int64_t opened = 0;       // when the session opened it, seconds since the epoch
  bool pinned = false;      // the pin file holds the container as the session opened it

  std::string Format() const;
  // Empty for text that is not a journal (a damaged or foreign file).
  static std::optional<TSessionJournal> Parse(std::string_view text);
};

// The name of a session's file with another prefix: the journal of "KES1A2B3C4D.tmp" is
// "JNL1A2B3C4D.tmp", beside it.
std::string SessionFileName(const std::string& data_name, std::string_view prefix);

// A session whose process is gone: its journal names its store; its working files lie beside it.
struct TStaleSession {
  TSessionJournal journal;
  std::string journal_name, data_name, index_name, log_name, pin_name;
  // Deletes every file of the session (the index file and its log first, the journal last, so that
  // a session cut short by a crash here is still found and deleted again).
  void Discard() const;
};

// Every stale session in the temporary folder: a journal that parses, whose data file exists and
// is not locked by a live process. Oldest first.
std::vector<TStaleSession> FindStaleSessions();

}  // namespace sk
