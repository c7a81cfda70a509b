// TKES container handling: creating, unpacking and packing the container file, loading and
// writing the index file, and the open and close sequences built on them.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>

#include "store/BFStream.h"
#include "store/IndexBytes.h"
#include "store/KES.h"
#include "store/KESCipher.h"

namespace sk {

namespace {

constexpr uint8_t kSignatureTag[4] = {'K', 'E', 'S', 0};
constexpr uint8_t kPasswordTag[4] = {'P', 'W', 'S', 0};
constexpr uint8_t kIndexTag[4] = {'I', 'X', 'S', 0};
// The smallest index record: an empty key's zero byte, offset, size and flags.
constexpr int64_t kMinIndexRecord = 13;

bool TagIs(const uint8_t (&bytes)[4], const uint8_t (&tag)[4]) {
  return std::memcmp(bytes, tag, 4) == 0;
}

int32_t ReadLE32(const uint8_t (&bytes)[4]) {
  return static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 |
                              uint32_t{bytes[2]} << 16 | uint32_t{bytes[3]} << 24);
}

void WriteLE32(TFile& file, int64_t value) {
  const auto v = static_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                            static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  file.Write(bytes);
}

}  // namespace

// ---- Open ----

void TKES::Open() {
  // Kept working files of an earlier store are named only until this open: a failing open
  // discards its own working files, never those.
  data_name_.clear();
  index_name_.clear();
  log_name_.clear();
  // The lists are empty here (a close or a failed open cleared them); the case mode must not
  // carry over from the previous store.
  items_.SetCaseSensitive(false);
  was_protected_ = false;
  strong_protection_ = false;
  changed_ = created_by_open_ = false;
  recovered_names_.clear();
  SweepLeftovers();
  switch (FileKind(file_name_)) {
    case TFileKind::kMissing:
      CreateEmptyContainer();
      created_by_open_ = true;  // its close writes it, as any close that changes the store
      break;
    case TFileKind::kRegular: OfferStaleSessions(); break;
    case TFileKind::kFolder: RaiseNotRegular(true);
    case TFileKind::kOther: RaiseNotRegular(false);
  }
  Unpack();
  OpenDataFile();
  LoadIndex();
  ApplyCaseMode();
  active_ = true;
  RecomputeBofEof();
}

void TKES::RaiseNotRegular(bool folder) const {
  ReportFileError(kErrCustom, folder ? kes_msg::kFolderNotStore : kes_msg::kNotRegularFile,
                  file_name_);
}

void TKES::CreateEmptyContainer() {
  // Signature, data length 0, index tag, index length 5, and the index: entry count 0 and a zero.
  static constexpr uint8_t kEmpty[21] = {'K', 'E', 'S', 0, 0, 0, 0, 0, 'I', 'X', 'S',
                                         0,   5,   0,   0, 0, 0, 0, 0, 0, 0};
  try {
    WriteFileAtomically(
        file_name_, [](TFile& file) { file.Write(kEmpty); }, kContainerMode, kContainerTempPrefix);
  } catch (const EOSError& error) {
    ReportOsError(error, file_name_);
  }
}

void TKES::SweepLeftovers() {
  // What a process that died (killed, crashed, or cut off by a power failure) left behind. Live
  // processes hold their data files, their new data files of a Pack, their index files being
  // written and their containers being written locked; an index file goes with its data file.
  // A session with a journal is kept until an open of its store decides what becomes of it.
  try {
    // Listed once: each step below checks the files it depends on as they are then.
    const TTempFolderListing temp(TempDirectory());
    auto journaled = [](const std::string& name) {
      return FileExists(SessionFileName(name, kJournalPrefix));
    };
    for (const std::string& name : temp.Named("DBT")) DeleteIfUnlocked(name);
    for (const std::string& name : temp.Named("KES")) {
      if (!journaled(name)) DeleteIfUnlocked(name);
    }
    for (const std::string_view prefix : {std::string_view("IXS"), kIndexLogPrefix}) {
      for (const std::string& name : temp.Named(prefix)) {
        if (journaled(name)) continue;
        const std::string partner = SessionFileName(name, "KES");
        if (!FileExists(partner) || DeleteIfUnlocked(partner)) DeleteIfUnlocked(name);
      }
    }
    // A journal without its data file, and a pin without its journal whose session is not live.
    for (const std::string& name : temp.Named(kJournalPrefix)) {
      if (!FileExists(SessionFileName(name, "KES"))) DeleteIfUnlocked(name);
    }
    for (const std::string& name : temp.Named(kPinPrefix)) {
      if (!journaled(name) && !IsLockedByOther(SessionFileName(name, "KES"))) DeleteFile(name);
    }
    const std::string dir = ExtractFileDir(ResolveFileLinks(file_name_));
    for (const std::string& name : TempFilesNamed(dir.empty() ? "." : dir, kContainerTempPrefix)) {
      DeleteIfUnlocked(name);
    }
  } catch (const std::exception&) {
    // Sweeping is housekeeping: it never keeps a store from opening.
  }
}

void TKES::Unpack() {
  open_time_ = FileTimeStamp(file_name_);
  opened_at_ = static_cast<int64_t>(std::time(nullptr));
  if (IsReadOnlyFile(file_name_) && !read_only_) {
    SetReadOnly(true);
    read_only_from_file_ = true;
  }

  TFile container;
  try {
    // Never wait on a FIFO put in the store's place since it was looked at.
    container = TFile::Open(file_name_, FileMode::kReadNoWait);
  } catch (const EOSError& error) {
    ReportOsError(error, file_name_);
  }
  if (!container.IsRegular()) RaiseNotRegular(FileKind(file_name_) == TFileKind::kFolder);
  opened_identity_ = container.Identity();
  const int64_t file_size = container.Size();
  uint8_t word[4];
  auto read_exact = [&](std::span<uint8_t> bytes) {
    if (container.Read(bytes) != bytes.size()) RaiseInvalidFile();
  };
  // A section length must be a non-negative 32-bit value that fits in what is left of the file.
  auto read_section_length = [&]() -> int64_t {
    read_exact(word);
    const int64_t length = ReadLE32(word);
    if (length < 0 || length > file_size - container.Position()) RaiseInvalidFile();
    return length;
  };

  read_exact(word);
  if (std::memcmp(word, kStrongSignature.data(), 4) == 0) {
    UnpackStrong(container, file_size);
    return;
  }
  if (!TagIs(word, kSignatureTag)) RaiseInvalidFile();

  std::optional<TDigest> key;
  const int64_t after_signature = container.Position();
  read_exact(word);
  if (TagIs(word, kPasswordTag)) {
    TDigest stored;
    read_exact(stored);
    if (Password.empty() && OnDemandPassword) {
      TPassword answer;
      OnDemandPassword(*this, answer);
      Password = answer.substr(0, 255);
    }
    key = KeyDigest(Password);
    if (CheckDigest(*key) != stored) throw EKESInvalidPW(std::string(kes_msg::kInvalidPassword));
    was_protected_ = true;
  } else {
    container.Seek(after_signature);
  }

  // Only the index is read now; bodies are read from the data section where it lies.
  const int64_t data_at = container.Position();
  const int64_t data_length = read_section_length();
  TSectionPlace index;
  try {
    container.Seek(data_at + 4 + data_length);
    read_exact(word);
    if (!TagIs(word, kIndexTag)) RaiseInvalidFile();
    index.length = read_section_length();
    index.at = container.Position();
  } catch (const EOSError& error) {
    ReportOsError(error, file_name_);
  }
  opened_ = TOpenedContainer(std::move(container), {data_at + 4, data_length}, index, key);
  opened_password_ = Password;
  try {
    opened_index_ = opened_.ReadIndex();
  } catch (const std::bad_alloc&) {
    RaiseWithFileName(kes_msg::kMemoryFull, kIndexError);
  } catch (const EOSError& error) {
    ReportOsError(error, file_name_);
  }
  MakeWorkingFiles(data_length);
}

void TKES::MakeWorkingFiles(int64_t data_length) {
  // The working data file holds new bodies at their offsets in the data section: below them lies
  // a hole where the container's own section stands in. The index file stays empty until the
  // index is first written.
  try {
    CreateWorkingFiles();
    TFile::Open(data_name_, FileMode::kReadWrite).Truncate(data_length);
  } catch (const EOSError& error) {
    ReportOsError(error, error.Path());
  }
  index_written_ = false;
}

void TKES::CreateWorkingFiles() {
  // The data file stays locked until it is deleted, so that no other process sweeps it away as a
  // leftover. The index file's name is derived from the data file's unique name; it must be a
  // new file of our own (never one planted under that name), so a taken name means trying another
  // pair.
  for (int attempt = 0; attempt < 16; ++attempt) {
    data_lock_ = CreateLockedTempFile(TempDirectory(), "KES");
    if (!data_lock_.IsOpen()) ReportFileError(FileErrorCode(errno), "", TempDirectory());
    data_name_ = data_lock_.Path();
    index_name_ = ExtractFileDir(data_name_) + "/IXS" + ExtractFileName(data_name_).substr(3);
    log_name_ = SessionFileName(data_name_, kIndexLogPrefix);
    try {
      TFile::Open(index_name_, FileMode::kCreateNew).Close();
      return;
    } catch (const EOSError& error) {
      DeleteFile(data_name_);
      data_lock_.Release();
      data_name_.clear();
      if (error.Code() != EEXIST) {
        index_name_.clear();
        throw;
      }
    }
  }
  index_name_.clear();
  ReportFileError(kErrInUse, "", TempDirectory());
}

void TKES::OpenDataFile() {
  // Exclusive use of the data file comes from the lock held since it was created.
  try {
    data_file_ = TFile::Open(data_name_, FileMode::kReadWrite);
  } catch (const EOSError& error) {
    ReportOsError(error, data_name_);
  }
}

void TKES::LoadIndex() {
  try {
    std::vector<uint8_t> index = std::move(opened_index_);
    opened_index_.clear();
    // A protected index is not hashed: the memo lies outside the container, in the clear.
    opened_index_digest_.reset();
    if (!was_protected_) opened_index_digest_ = DigestIndex(index);
    ReadIndexRecords(std::move(index));
  } catch (const EKESError&) {
    throw;
  } catch (const std::exception&) {
    // Lack of memory, a range error or a key-list failure: the index is not usable.
    RaiseInvalidIndex();
  }
  item_index_ = 0;
  current_key_ = items_.Count() > 0 ? TKey(items_.Key(0)) : TKey();
  modified_ = false;
  ProgressFinish();
}

namespace {

// An index record's value: the three integers after its key. The serial is one more than where
// the key lies in the index, so the records of one load have serials of their own, and the items
// added later count on from beyond the index's length.
TIndex ReadLoadedIndex(const uint8_t* value_bytes, uint32_t key_at) {
  TIndexBytesReader value({value_bytes, 12});
  TIndex index;
  int32_t flags = 0;
  value.ReadInteger(index.offset);
  value.ReadInteger(index.size);
  value.ReadInteger(flags);
  index.flags = static_cast<uint32_t>(flags);
  index.serial = key_at + 1;
  return index;
}

}  // namespace

void TKES::ReadIndexRecords(std::vector<uint8_t> bytes) {
  // The items stay in the index bytes, read in place; the few system entries get records.
  items_.Load(std::move(bytes), &ReadLoadedIndex);
  const std::vector<uint8_t>& index = items_.LoadedBytes();
  TIndexBytesReader stream(index);
  int32_t count = 0;
  if (!stream.ReadInteger(count)) RaiseInvalidIndex();
  // Every record takes at least 13 bytes: a count that cannot fit is a damaged index.
  if (count < 0 || count > (std::ssize(index) - 4) / kMinIndexRecord) RaiseInvalidIndex();

  items_.SetSorted(false);
  try {
    items_.SetCapacity(count);
  } catch (const EKESListError&) {
    RaiseInvalidIndex();  // more entries than a key list can hold (4^13 or more)
  }
  ProgressStart(count, TProgressOrigin::poOpen);
  for (int32_t i = 0; i < count; ++i) {
    // The index section's length is a 32-bit value, so every place in it fits in 32 bits.
    const auto key_at = static_cast<uint32_t>(stream.Place());
    std::string_view key;
    TIndex record;
    int32_t flags = 0;
    if (!stream.ReadRecord(key, record.offset, record.size, flags)) RaiseInvalidIndex();
    record.flags = static_cast<uint32_t>(flags);
    record.serial = key_at + 1;
    // The whole key, also beyond the 255 characters kept: its record's integers follow it.
    const auto length = static_cast<uint32_t>(stream.Place() - 12 - 1 - key_at);
    try {
      if (record.flags & kFlagSystem) {
        system_.Add(std::string(key), record);
      } else {
        items_.AppendLoaded(key_at, length);
      }
    } catch (const std::bad_alloc&) {
      RaiseWithFileName(kes_msg::kMemoryFull, kIndexError);
    } catch (const EKESListError&) {
      RaiseWithFileName(kes_msg::kMemoryFull, kIndexError);
    }
    ProgressTick(i + 1);
  }
  serial_clock_ = static_cast<uint32_t>(index.size());
  items_.ReverseAndSort();
}

void TKES::ApplyCaseMode() {
  int position;
  if (system_.Find(kCaseSensitiveEntry, position)) {
    const std::vector<uint8_t> body = ReadSystemEntry(kCaseSensitiveEntry);
    items_.SetCaseSensitive(body.size() == 1 && body[0] == 1);
  }
  // An index written under another collation may be out of this machine's order: sort it so
  // binary search finds every key. Equal keys (a damaged store) are all kept. The close then
  // writes the store in this order, so that later opens need not sort it again. Comparing every
  // adjacent pair is most of an open's work, so an index already found in order under this
  // collation and case mode (the memo holds its fingerprint) is taken as it is.
  std::optional<TOrderFingerprint> fingerprint;
  std::optional<TOrderMemo> memo;
  if (opened_index_digest_) {
    fingerprint = OrderFingerprint(*opened_index_digest_, items_.Collator().Identity(),
                                   items_.CaseSensitive());
    memo.emplace(TOrderMemo::DefaultPath());
  }
  opened_in_order_ = fingerprint && memo->Contains(*fingerprint);
  if (!opened_in_order_) {
    opened_in_order_ = items_.Ascending();
    if (!opened_in_order_) {
      items_.StableSort();
      changed_ = true;
    } else if (fingerprint) {
      memo->Remember(*fingerprint);
    }
  }
  filter_.Set(filter_text_, use_grep_match_, CaseSensitive());
  if (items_.Count() > 0) current_key_ = TKey(items_.Key(0));
}

std::vector<uint8_t> TKES::ReadSystemEntry(std::string_view key) {
  int position;
  if (!system_.Find(key, position)) throw EKESBadKey(FormatMessage(kes_msg::kBadKey, key));
  return StoredBody(data_file_, system_.Value(position), key, true);
}

// ---- Close ----

void TKES::Close() {
  ProgressStart(Count(), TProgressOrigin::poClose);
  // A store that nothing changed is not written again: its container holds it as it is.
  const bool writes = !read_only_ && NeedsWriting();
  try {
    if (writes && save_on_close_) {
      WriteIndexFile(TProgressOrigin::poClose);
    } else {
      for (int i = 0; i < Count(); ++i) ProgressTick(i);
    }
    data_file_.Close();
    if (writes) {
      const bool index_from_lists = index_written_;
      EnsureIndexFile();
      WriteContainer();
      RememberWrittenOrder(index_from_lists);
    } else {
      last_written_name_ = file_name_;
    }
  } catch (const EOSError& error) {
    // The container is as it was and the working files hold the user's data: stay open.
    if (!data_file_.IsOpen()) OpenDataFile();
    ReportOsError(error, file_name_);
  } catch (...) {
    if (!data_file_.IsOpen()) OpenDataFile();
    throw;
  }
  DiscardWorkingFiles();
  ProgressFinish();
  ClearState();
}

void TKES::RememberWrittenOrder(bool index_from_lists) noexcept {
  // Only a plain container holds the working index file's bytes as they are. The lists are kept
  // in this machine's order under the case mode the open applied, which the store keeps.
  if (!Password.empty() || strong_ || !(index_from_lists || opened_in_order_)) return;
  try {
    const std::optional<TIndexDigest> digest = DigestIndexFile(index_name_);
    if (!digest) return;
    TOrderMemo(TOrderMemo::DefaultPath())
        .Remember(OrderFingerprint(*digest, items_.Collator().Identity(), items_.CaseSensitive()));
  } catch (const std::exception&) {
    // The memo is a cache: without the fingerprint the next open checks the order.
  }
}

bool TKES::NeedsWriting() const {
  if (created_by_open_ || changed_) return true;
  const TProtection kind = Password.empty()     ? TProtection::kNone
                           : strong_protection_ ? TProtection::kStrong
                                                : TProtection::kLegacy;
  if (kind != Protection()) return true;
  return kind != TProtection::kNone && Password != opened_password_;
}

void TKES::EnsureIndexFile() {
  if (index_written_) {
    ApplyIndexLog();
    return;
  }
  // The index as the container holds it (deciphered from the legacy cipher, a strong one sealed).
  const std::vector<uint8_t> bytes = opened_.ReadIndex();
  TFile index = TFile::Open(index_name_, FileMode::kReadWrite);
  index.Truncate(0);
  index.Write(bytes);
  index.Close();
  index_written_ = true;
}

void TKES::WriteIndexFile(TProgressOrigin origin) {
  TTempBFStream stream(index_name_);
  if (strong_) {
    // The index of a strongly protected store is sealed in memory: it is never plain on disk.
    TIndexBytesWriter records;
    WriteIndexRecords(records, origin);
    stream.WriteBytes(SealBytes(records.Bytes(), IndexBinding(), strong_->data_key));
  } else {
    WriteIndexRecords(stream, origin);
  }
  stream.Commit();
  index_written_ = true;
  // The log, if any, applies to the index file as it was: it no longer applies.
  log_size_ = 0;
  log_has_changes_ = false;
}

template <class TWriter>
void TKES::WriteIndexRecords(TWriter& stream, TProgressOrigin origin) {
  stream.WriteInteger(items_.Count() + system_.Count());
  auto write_record = [&stream](std::string_view key, const TIndex& index) {
    stream.WriteString(key);
    stream.WriteInteger(index.offset);
    stream.WriteInteger(index.size);
    stream.WriteInteger(static_cast<int32_t>(index.flags));
  };
  for (int i = system_.Count() - 1; i >= 0; --i) write_record(system_.Key(i), system_.ValueAt(i));
  ProgressStart(items_.Count(), origin);
  for (int i = items_.Count() - 1, tick = 0; i >= 0; --i, ++tick) {
    write_record(items_.Key(i), items_.ValueAt(i));
    ProgressTick(tick);
  }
}

// The strong container's writer (KESStrong.cpp) writes records into memory too.
template void TKES::WriteIndexRecords<TIndexBytesWriter>(TIndexBytesWriter&, TProgressOrigin);

std::string TKES::OverwriteTarget() {
  const std::optional<TFileTime> now = FileTimeStamp(file_name_);
  if (!open_time_ || !now || *now == *open_time_) return file_name_;
  bool ok = false;
  if (BeforeOverWrite) BeforeOverWrite(*this, ok);
  if (ok) return file_name_;
  // Keep the other writer's container: save under "1." + name, "1.1." + name, ...
  return CopyName();
}

std::string TKES::CopyName() const {
  const std::string dir = ExtractFileDir(file_name_);
  std::string name = ExtractFileName(file_name_);
  std::string target;
  do {
    name = "1." + name;
    target = dir.empty() ? name : (dir == "/" ? "/" + name : dir + "/" + name);
  } while (FileExists(target));
  return target;
}

void TKES::WriteContainer() {
  const std::string target = OverwriteTarget();
  const bool strong = !Password.empty() && strong_protection_;
  int unsynced = 0;
  if (strong != (strong_ != nullptr)) {
    unsynced = WriteConvertedContainer(target, strong);
  } else if (strong) {
    // The same data key; a new password only wraps it anew.
    const TStrongHeader header = Password == strong_->password
                                     ? strong_->header
                                     : TStrongHeader::Seal(Password, strong_->data_key, KeyCost);
    unsynced = WriteStrongContainer(target, opened_, data_name_, index_name_, header);
  } else {
    unsynced = WriteLegacyContainer(target, opened_, data_name_, index_name_);
  }
  file_name_ = target;
  last_written_name_ = target;
  open_time_ = FileTimeStamp(target);
  // The new container is in place, but its name may not survive a power failure: the close fails,
  // the store stays open with its working files, and a retry writes it again over this one.
  if (unsynced != 0) throw EOSError(unsynced, "sync", ExtractFileDir(target));
}

int TKES::WriteLegacyContainer(const std::string& target, TOpenedContainer& opened,
                               const std::string& data_name, const std::string& index_name) {
  // Written beside the file the name finally names (a symbolic link is kept) and put in its place
  // by a rename; new containers are private to the user.
  return WriteFileAtomically(
      target,
      [&](TFile& out) {
        out.Write(kSignatureTag);
        std::optional<TDigest> key;
        if (!Password.empty()) {
          key = KeyDigest(Password);
          out.Write(kPasswordTag);
          out.Write(CheckDigest(*key));
        }
        TFile data = TFile::Open(data_name, FileMode::kRead);
        const int64_t data_length = data.Size();
        TFile index = TFile::Open(index_name, FileMode::kRead);
        const int64_t index_length = index.Size();
        if (std::max(data_length, index_length) > std::numeric_limits<int32_t>::max()) {
          throw EOSError(EFBIG, "write", target);
        }
        WriteLE32(out, data_length);
        opened.WriteDataSection(out, data, data_length, key);
        out.Write(kIndexTag);
        WriteLE32(out, index_length);
        CopySection(index, out, index_length, key);
      },
      kContainerMode, kContainerTempPrefix);
}

void TKES::DiscardWorkingFiles() {
  try {
    data_file_.Close();
  } catch (const EOSError&) {
  }
  // The journal first: working files without one are swept by the next open.
  EndJournal();
  // The index file and the log first: while the data file exists (and is locked) they are in use.
  if (!index_name_.empty()) DeleteFile(index_name_);
  DropIndexLog();
  if (!data_name_.empty()) DeleteFile(data_name_);
  data_lock_.Release();
  data_name_.clear();
  index_name_.clear();
  log_name_.clear();
  index_written_ = false;
}

void TKES::ClearState() {
  items_.Clear();
  system_.Clear();
  cache_.Clear();
  serial_clock_ = 0;  // the cache, which names items by serial, is empty
  items_.SetSorted(true);
  items_.SetCaseSensitive(false);  // every open starts case-insensitive
  item_index_ = 0;
  current_key_.clear();
  active_ = modified_ = was_protected_ = false;
  editing_ = inserting_ = false;
  open_time_.reset();
  opened_identity_.reset();
  Password.clear();
  strong_.reset();  // wipes the data key
  opened_.Close();
  opened_password_.clear();
  changed_ = created_by_open_ = false;
  strong_protection_ = false;
  opened_index_.clear();
  unflushed_.clear();
  whole_index_due_ = true;
  opened_index_digest_.reset();
  opened_in_order_ = false;
  // A read-only container makes only itself read-only, not the stores opened after it.
  if (read_only_from_file_) {
    read_only_ = false;
    read_only_from_file_ = false;
  }
  RecomputeBofEof();
}

}  // namespace sk
