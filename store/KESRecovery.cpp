// TKES and stale sessions: the journal a Flush writes, and what an open does with the working
// files of a session of its store that ended without closing (a crash, a kill, a power failure).
#include <algorithm>
#include <map>
#include <set>

#include "store/IndexBytes.h"
#include "store/KES.h"
#include "store/ScratchFile.h"

namespace sk {

namespace {

// An index section's records by key (system entries included, flagged).
using TRecords = std::map<std::string, TIndex>;

std::optional<TRecords> ParseRecords(std::span<const uint8_t> bytes) {
  TIndexBytesReader reader(bytes);
  int32_t count = 0;
  if (!reader.ReadInteger(count) || count < 0) return std::nullopt;
  TRecords records;
  for (int32_t i = 0; i < count; ++i) {
    std::string key;
    TIndex index;
    int32_t flags = 0;
    if (!reader.ReadRecord(key, index.offset, index.size, flags)) return std::nullopt;
    index.flags = static_cast<uint32_t>(flags);
    records[key] = index;
  }
  return records;
}

// Whether a file is the container a session opened: the same size and time stamp (to the
// nanosecond) on the same device. The inode is left out: a file put back by a backup or a copy
// that keeps time stamps holds the same bytes under another inode.
bool SameContainer(const std::optional<TFileIdentity>& now, const TFileIdentity& then) {
  return now && now->device == then.device && now->size == then.size &&
         now->modified == then.modified;
}

bool SameRecords(const TRecords& a, const TRecords& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return x.first == y.first && x.second.offset == y.second.offset &&
           x.second.size == y.second.size && x.second.flags == y.second.flags;
  });
}

}  // namespace

void TKES::WriteJournal() {
  // The container as this session opened it gets a second name first, so that its bodies survive
  // its replacement by another process; where the temporary folder is on another file system it
  // cannot, and the session is recovered only while the container stays as it found it.
  const std::string pin = SessionFileName(data_name_, kPinPrefix);
  DeleteFile(pin);
  const bool pinned = opened_.DataLength() > 0 && opened_.LinkAs(pin);
  TSessionJournal journal{ResolveFileLinks(file_name_), *opened_identity_, Protection(),
                          opened_.DataLength(),         opened_at_,        pinned};
  const std::string text = journal.Format();
  WriteFileAtomically(
      SessionFileName(data_name_, kJournalPrefix),
      [&text](TFile& file) {
        file.Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
      },
      kContainerMode, "DBT");
  journaled_ = true;
}

void TKES::EndJournal() noexcept {
  if (!data_name_.empty()) {
    DeleteFile(SessionFileName(data_name_, kJournalPrefix));
    DeleteFile(SessionFileName(data_name_, kPinPrefix));
  }
  journaled_ = false;
}

void TKES::PrepareReader(TKES& reader) const {
  reader.offer_stale_sessions_ = false;
  reader.SetExpandedFileNames(false);
  reader.SetReadOnly(true);
  reader.Password = Password;
}

bool TKES::SessionWasClosed(const TStaleSession& session) {
  // A session whose close wrote the container but ended before its files were gone: the
  // container holds exactly the session's index.
  TKES now(collator_);
  PrepareReader(now);
  try {
    now.SetFileName(file_name_);
  } catch (const EKESError&) {
    return false;
  }
  const std::optional<TRecords> records = now.StaleRecords(session);
  if (!records) return false;
  TRecords current;
  for (const TIndexList* list : {&now.system_, &now.items_}) {
    for (int i = 0; i < list->Count(); ++i) current[std::string(list->Key(i))] = list->ValueAt(i);
  }
  return SameRecords(current, *records);
}

void TKES::OfferStaleSessions() {
  if (!offer_stale_sessions_) return;
  const std::string store = ResolveFileLinks(file_name_);
  for (const TStaleSession& session : FindStaleSessions()) {
    if (session.journal.store == store) HandleStaleSession(session);
  }
}

// The plain index of a stale session as its last Flush left it (its index file with its log
// applied), opened with this store's data key when it is strongly protected; empty when it cannot
// be read or is not this store's.
std::optional<std::vector<uint8_t>> TKES::StaleIndex(const TStaleSession& session,
                                                     bool& logged) const {
  return LoggedIndex(ReadFileBytes(session.index_name), ReadFileBytes(session.log_name), logged);
}

std::optional<TRecords> TKES::StaleRecords(const TStaleSession& session) const {
  bool logged = false;
  const std::optional<std::vector<uint8_t>> index = StaleIndex(session, logged);
  if (!index) return std::nullopt;
  return ParseRecords(*index);
}

void TKES::HandleStaleSession(const TStaleSession& session) {
  const TSessionJournal& journal = session.journal;
  const bool unchanged = SameContainer(FileIdentityOf(file_name_), journal.container);
  if (!unchanged && SessionWasClosed(session)) {
    session.Discard();
    return;
  }
  // The bodies the session started from: the container itself while it is as the session found
  // it, else the session's pin of it. A session that holds every body itself (after Pack, or of
  // a store that was empty) needs the container only for its password. Without a base nothing
  // can be recovered: it stays.
  const bool own_bodies = journal.data_length == 0;
  std::string base_name = unchanged || own_bodies ? file_name_ : "";
  if (!unchanged && journal.pinned &&
      SameContainer(FileIdentityOf(session.pin_name), journal.container)) {
    base_name = session.pin_name;
  }
  if (base_name.empty()) return;
  // Opened read-only in a store of its own: this asks for the password (a wrong one fails this
  // open, as it would have anyway) and gives the keys, the kind and the data key of the session.
  TKES base(collator_);
  PrepareReader(base);
  base.OnDemandPassword = OnDemandPassword;
  try {
    base.SetFileName(base_name);
  } catch (const EKESError&) {
    if (unchanged) throw;  // the store itself does not open with this password
    return;  // a pin that this password does not open is not recovered into this store
  }
  Password = base.Password;
  if (base.Protection() != journal.protection ||
      (!own_bodies && base.opened_.DataLength() != journal.data_length)) {
    return;  // not the container this session opened
  }
  if (own_bodies) base.opened_.DropData();

  bool logged = false;
  const std::optional<std::vector<uint8_t>> index = base.StaleIndex(session, logged);
  const std::optional<TRecords> records = index ? ParseRecords(*index) : std::nullopt;
  const std::optional<TFileIdentity> data = FileIdentityOf(session.data_name);
  if (!records || !data || data->size < journal.data_length) return;

  TStaleSessionInfo info;
  info.opened = journal.opened;
  std::set<std::string> started;
  for (int i = 0; i < base.items_.Count(); ++i) started.emplace(base.items_.Key(i));
  for (const auto& [key, index] : *records) {
    if (!(index.flags & kFlagSystem) && !started.contains(key)) ++info.added;
  }
  for (const std::string& key : started) {
    if (!records->contains(key)) ++info.deleted;
  }
  const TStaleChoice choice = OnStaleSession ? OnStaleSession(*this, info) : TStaleChoice::kDiscard;
  if (choice == TStaleChoice::kLeave) return;
  if (choice == TStaleChoice::kRecover) {
    // Written as that session's close would have: the "1." rule keeps a container that changed
    // since it was opened.
    const std::string target = unchanged ? file_name_ : CopyName();
    if (base.Protection() == TProtection::kNone) base.Password.clear();
    int unsynced = 0;
    try {
      // An index file with a log is written out whole first, as that session's close would have.
      std::optional<TScratchFile> logged_index;
      std::string index_name = session.index_name;
      if (logged) {
        logged_index.emplace("DBT");
        logged_index->File().Write(
            base.strong_ ? SealBytes(*index, IndexBinding(), base.strong_->data_key) : *index);
        index_name = logged_index->File().Path();
      }
      unsynced = base.strong_ ? base.WriteStrongContainer(target, base.opened_, session.data_name,
                                                          index_name, base.strong_->header)
                              : base.WriteLegacyContainer(target, base.opened_, session.data_name,
                                                          index_name);
    } catch (const EOSError& error) {
      ReportOsError(error, target);
    }
    if (unsynced != 0) ReportOsError(EOSError(unsynced, "sync", target), target);
    recovered_names_.push_back(target);
  }
  session.Discard();
}

}  // namespace sk
