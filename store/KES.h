// TKES: the keyed single-file store. A store is one container file; while it is open the keys
// live in sorted in-memory lists, bodies are read from the container's data section where it lies,
// new bodies and the index written since go to two working files in the temporary directory, and
// recently used items stay in a cache. Assigning FileName opens and closes it; a close writes the
// container again only when the store changed.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "platform/MemoryStream.h"
#include "store/IndexLog.h"
#include "store/KESCache.h"
#include "store/KESCodec.h"
#include "store/KESErrors.h"
#include "store/KESFilter.h"
#include "store/KESList.h"
#include "store/OpenedContainer.h"
#include "store/OrderMemo.h"
#include "store/SessionJournal.h"
#include "store/StrongCipher.h"

namespace sk {

// The extension a store name without one is given.
inline constexpr char kDefaultKESExtension[] = ".kes";

// A new container is the user's alone; it is written as a temporary file of this prefix beside
// the container and renamed into place.
inline constexpr unsigned kContainerMode = 0600;
inline constexpr std::string_view kContainerTempPrefix = "TDB";

// The container file a store name stands for: the name with ".kes" appended when it has no
// extension, else the name as it is.
std::string KESFileName(const std::string& name);

class TKES;

using TKey = std::string;       // at most 255 Windows-1252 bytes, never a zero byte
using TPassword = std::string;  // at most 255 Windows-1252 bytes; empty means no protection
using TPercentage = int;

enum class TProgressOrigin { poOpen, poClose, poFlush, poPack, poGetKeys };

// How a container keeps its pictures from those without its password: not at all, with the
// legacy cipher (for exchanging stores with older versions), or strongly (sealed with a key that
// only the password unwraps; nothing of the store is plain on disk while it is open).
enum class TProtection { kNone, kLegacy, kStrong };

// What an open does with a stale session of its store (the working files of a process that ended
// without closing it): write the container as that session's close would have, delete the
// session, or leave it for later.
enum class TStaleChoice { kRecover, kDiscard, kLeave };
// What a stale session changed, for the question put to the user.
struct TStaleSessionInfo {
  int added = 0;  // items it holds that the container it opened did not
  int deleted = 0;  // items of that container it no longer holds
  int64_t opened = 0;  // when it opened the store, seconds since the epoch
};

using TNotifyEvent = std::function<void(TKES& sender)>;
using TStaleSessionEvent =
    std::function<TStaleChoice(TKES& sender, const TStaleSessionInfo& session)>;
using TConfirmEvent = std::function<void(TKES& sender, bool& ok)>;
using TPasswordEvent = std::function<void(TKES& sender, TPassword& password)>;
using TProgressEvent =
    std::function<void(TKES& sender, TPercentage percent, TProgressOrigin kind)>;

// A list of strings that GetKeys fills; when sorted, it keeps itself in collation order.
class TStringList {
 public:
  bool Sorted() const { return sorted_; }
  // Turning sorting on sorts the list (case-insensitively, by the default collator).
  void SetSorted(bool sorted);
  void Add(std::string text);
  void Clear() { items_.clear(); }
  // Makes room for count strings, so that filling the list moves none of them.
  void Reserve(int count) { items_.reserve(static_cast<size_t>(std::max(count, 0))); }
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& operator[](int i) const { return items_[static_cast<size_t>(i)]; }
  const std::vector<std::string>& Items() const { return items_; }
  // Hands the strings over, leaving the list empty.
  std::vector<std::string> TakeItems() { return std::exchange(items_, {}); }

 private:
  std::vector<std::string> items_;
  bool sorted_ = false;
};

// The name of the system entry that makes key comparison case-sensitive.
inline constexpr std::string_view kCaseSensitiveEntry = "KESCaseSensitive";

class TKES {
 public:
  // collator: the key order; the user's default collation when null.
  explicit TKES(const TCollator* collator = nullptr);
  virtual ~TKES();
  TKES(const TKES&) = delete;
  TKES& operator=(const TKES&) = delete;

  // ---- Published properties ----
  std::string AboutAuthor() const { return "Stillkeep picture store, (c) Quillmoor"; }
  std::string AboutVersion() const { return "0.1"; }
  void SetAboutAuthor(std::string_view) {}   // display only
  void SetAboutVersion(std::string_view) {}  // display only

  bool AggressiveUpdate() const { return aggressive_update_; }
  void SetAggressiveUpdate(bool value) { aggressive_update_ = value; }
  // Read: cache hit rate in percent. Write: resets the cache statistics (the value is ignored).
  int CacheFrequency() const { return cache_.Frequency(); }
  void SetCacheFrequency(int) { cache_.ResetStatistics(); }
  int64_t CacheSize() const { return cache_.Budget(); }
  // Empties the cache and sets its byte budget.
  void SetCacheSize(int64_t budget) { cache_.SetBudget(budget); }
  bool Compression() const { return compression_; }
  void SetCompression(bool value) { compression_ = value; }
  const std::string& FileName() const { return file_name_; }
  // The only way to open and close: closes the current store (writing it back) and opens the new
  // name (creating a missing container; a name without extension gets ".kes"). Raises what open
  // raises, leaving FileName empty; when closing fails the old store stays open and FileName
  // keeps its name, so the user can retry.
  virtual void SetFileName(const std::string& name);
  const std::string& Filter() const { return filter_text_; }
  void SetFilter(std::string_view text);
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  bool SaveOnClose() const { return save_on_close_; }
  void SetSaveOnClose(bool value) { save_on_close_ = value; }
  bool ExpandedFileNames() const { return expanded_file_names_; }
  void SetExpandedFileNames(bool value) { expanded_file_names_ = value; }
  bool UseGrepMatch() const { return use_grep_match_; }
  void SetUseGrepMatch(bool value);

  // Events; each fires only when assigned.
  TNotifyEvent AfterCancel, AfterDelete, AfterEdit, AfterInsert, AfterPost;
  TNotifyEvent BeforeCancel, BeforeDelete, BeforeEdit, BeforeInsert, BeforePost;
  TConfirmEvent BeforeKill, BeforeOverWrite;
  TProgressEvent ProgressUpdate;
  TNotifyEvent WarnNoData, WarnOutOfBounds, WarnReadOnly;
  TNotifyEvent OnAdded, OnChanged, OnDeleted, OnFileAssigned, OnFound, OnKilled, OnNavigate;
  TPasswordEvent OnDemandPassword;
  // Asked by an open for each stale session of its store that the password (asked first, for a
  // protected store) opens; unassigned, stale sessions are discarded.
  TStaleSessionEvent OnStaleSession;
  // Called at every progress step so that a window can process pending messages.
  std::function<void()> ProcessMessages;

  // ---- Public state ----
  TPassword Password;
  int Count() const { return items_.Count(); }
  int ItemIndex() const { return item_index_; }
  const TKey& CurrentKey() const { return current_key_; }
  bool Bof() const { return bof_; }
  bool Eof() const { return eof_; }
  bool CaseSensitive() const { return items_.CaseSensitive(); }
  bool Active() const { return active_; }
  bool Modified() const { return modified_; }
  // After a close that failed: gives up the store and keeps its working files, renamed from
  // "<name>.tmp" to "<name>.kept" so that no later open sweeps them away; DataFileName and
  // IndexFileName then name the kept files until the next open. The destructor does this when
  // its close fails. Nothing happens when no working files exist.
  void KeepWorkingFiles() noexcept;
  // The working files of the open store (empty while closed). The data file holds the bodies added
  // since the store was opened at their offsets in the data section, with a hole below them where
  // the container's own section stands in (until Pack writes every body into it); the index file
  // is empty until the index is first written.
  const std::string& DataFileName() const { return data_name_; }
  const std::string& IndexFileName() const { return index_name_; }
  // The key at a position of the item list (0 <= index < Count()), valid while that key stays in
  // the open store.
  std::string_view KeyAt(int index) const { return items_.Key(index); }
  TIndex IndexAt(int index) const { return items_.ValueAt(index); }
  // Byte lengths of the data section and of the index (0 while closed), as the next close would
  // write them when nothing changes before it.
  int64_t DataSize() const;
  int64_t IndexSize() const;
  // The container the last close wrote (it differs from the name assigned when the container had
  // changed on disk and BeforeOverWrite did not agree to overwrite it).
  const std::string& LastWrittenName() const { return last_written_name_; }
  // The containers the last open wrote from stale sessions it recovered: the store's own name, or
  // a "1." name when the container had changed since that session opened it.
  const std::vector<std::string>& RecoveredNames() const { return recovered_names_; }
  // Whether the container of the open store was protected when it was opened.
  bool WasProtected() const { return was_protected_; }
  // How the container of the open store was protected when it was opened.
  TProtection Protection() const;
  // The kind of protection a password gives the store when it is next written: strong, or the
  // legacy cipher. An open sets it to the kind the container has (legacy for one without a
  // password), so a store keeps its kind unless the password's setter chooses another one. An
  // empty Password always writes an unprotected container.
  bool StrongProtection() const { return strong_protection_; }
  void SetStrongProtection(bool strong) { strong_protection_ = strong; }
  // How costly deriving a key from a password is when a strongly protected store gets a new
  // password (at least libsodium's moderate limits unless a test lowers it). Opening reads the
  // cost from the container.
  TKeyCost KeyCost = ModerateKeyCost();

  // ---- Item operations ----
  // Stores the stream's whole content under key (the stream is left at position 0).
  void AddItem(TMemoryStream& stream, std::string_view key);
  // Makes key the current item; false (and nothing changes) when it does not exist.
  bool FindKey(std::string_view key);
  // The position of key in the store's order (a binary search; the current item, the filter and
  // the events are left alone), or -1 when it does not exist.
  int IndexOfKey(std::string_view key) const;
  // Copies the current item into stream (which the caller passes empty) and rewinds it.
  void GetItem(TMemoryStream& stream);
  // The current item's size, expanded for a compressed item.
  int64_t ItemSize();
  void Delete();
  // Makes added and deleted items durable in the working files: the new bodies are synced, the
  // index file written and synced, and the first Flush of a session writes its journal, so that
  // a later open recovers them after a crash or a power failure.
  void Flush();
  // Lists the item keys that pass the filter into strings.
  void GetKeys(TStringList& strings);
  void MoveTo(int index);
  virtual void First();
  virtual void Last();
  virtual void Next();
  virtual void Prior();
  virtual void Edit();
  virtual void Insert();
  virtual void Post();
  virtual void Cancel();
  // Rewrites the data file with only the bodies of live entries.
  void Pack();
  // Deletes the container after BeforeKill agrees.
  void Kill();

  // Reads the body of a system entry; raises EKESBadKey when there is none.
  std::vector<uint8_t> ReadSystemEntry(std::string_view key);

 protected:
  virtual void InternalDelete();

 private:
  // Lifecycle (KES.cpp, KESContainer.cpp).
  void Open();
  void Close();
  void CreateEmptyContainer();
  void SweepLeftovers();
  // Stale sessions (KESRecovery.cpp): finding those of this store, asking OnStaleSession, and
  // recovering or discarding them; the journal a Flush writes.
  void OfferStaleSessions();
  void HandleStaleSession(const TStaleSession& session);
  bool SessionWasClosed(const TStaleSession& session);
  // Makes reader a store that only reads a container for this one: read-only, offering no stale
  // sessions itself, with this store's password.
  void PrepareReader(TKES& reader) const;
  std::optional<std::vector<uint8_t>> StaleIndex(const TStaleSession& session, bool& logged) const;
  std::optional<std::map<std::string, TIndex>> StaleRecords(const TStaleSession& session) const;
  void WriteJournal();
  // Deletes the session's journal, then its pin: from then on no open recovers these working
  // files. Nothing happens without working files.
  void EndJournal() noexcept;
  // The name the "1." rule gives a container that must not replace the one at file_name_.
  std::string CopyName() const;
  void Unpack();
  void CreateWorkingFiles();
  void MakeWorkingFiles(int64_t data_length);
  void LoadIndex();
  void ApplyCaseMode();
  // Records in the memo of verified orders that the index the close just wrote into an unprotected
  // container is in this machine's order, when it is: it was written from the lists
  // (index_from_lists) or is the index the open found in order.
  void RememberWrittenOrder(bool index_from_lists) noexcept;
  void WriteIndexFile(TProgressOrigin origin);
  // The index log (KESIndexLog.cpp): a Flush after the whole index was written appends the
  // changes since the last Flush to the log instead of writing the index again.
  bool WholeIndexDue() const;
  void StartIndexLog();
  void AppendIndexLog();
  // The plain index that an index file's bytes and its log's hold together (this store's data key
  // opens them when it is strongly protected); nullopt when the index file does not open or is
  // not a well-formed index. changed tells whether the log changed anything.
  std::optional<std::vector<uint8_t>> LoggedIndex(std::span<const uint8_t> index_file,
                                                  std::span<const uint8_t> log,
                                                  bool& changed) const;
  // Writes the index file as the last Flush left the index file and the log together.
  void ApplyIndexLog();
  // Deletes the log once the index file holds its changes (or no longer needs them).
  void DropIndexLog() noexcept;
  // Remembers an item change for the next Flush's log record.
  void NoteChange(bool added, std::string_view key, const TIndex& index) noexcept;
  void ReadIndexRecords(std::vector<uint8_t> index);
  template <class TWriter>
  void WriteIndexRecords(TWriter& stream, TProgressOrigin origin);
  // Whether the close must write the container: the store was created by this open, an item was
  // added or deleted, Pack ran, or the password or kind of protection changed.
  bool NeedsWriting() const;
  // Makes the working index file from the container's index section unless it was written since.
  void EnsureIndexFile();
  void WriteContainer();
  // The protected sections (KESStrong.cpp): opening a strongly protected container, writing one,
  // and turning the working files from one kind into the other when the kind changes at close.
  // The writers return what WriteFileAtomically returns (0 when the container is durably in
  // place).
  void UnpackStrong(TFile& container, int64_t file_size);
  // Their data section is opened's below its length and data_name's above.
  int WriteStrongContainer(const std::string& target, TOpenedContainer& opened,
                           const std::string& data_name, const std::string& index_name,
                           const TStrongHeader& header);
  int WriteLegacyContainer(const std::string& target, TOpenedContainer& opened,
                           const std::string& data_name, const std::string& index_name);
  int WriteConvertedContainer(const std::string& target, bool strong);
  // A body as it is stored (compressed or not), read from the opened container or working (the
  // working data file), opened when the store is strongly protected; raises the invalid-file error when it does
  // not open.
  std::vector<uint8_t> StoredBody(TFile& working, const TIndex& index, std::string_view key,
                                  bool system);
  std::string OverwriteTarget();
  void OpenDataFile();
  void DiscardWorkingFiles();
  void ClearState();

  // Warnings and errors.
  enum WarningKind { kWarnNoData, kWarnOutOfBounds, kWarnReadOnly, kIndexError };
  [[noreturn]] void RaiseWithFileName(std::string_view message, int kind) const;
  [[noreturn]] void RaiseInvalidIndex() const;
  [[noreturn]] void RaiseInvalidFile() const;
  // The store's name is a folder (or another kind of file that is not a regular file).
  [[noreturn]] void RaiseNotRegular(bool folder) const;
  void Warn(const TNotifyEvent& handler, int kind);
  void RequireActive() const;
  void ReportOsError(const EOSError& error, const std::string& file_name) const;

  // Item bodies (KESItems.cpp): the bounds check against the data file, the streaming expansion
  // of a compressed body, and the name of an item in the cache.
  void CheckBody(const TIndex& index) const;
  uint64_t ExpandBody(const TIndex& index, const TBlockSink& sink);
  static std::string CacheKey(const TIndex& index);

  // Navigation helpers.
  bool Passes(int index) const;
  void RecomputeBofEof();

  // Progress.
  void ProgressStart(int64_t total, TProgressOrigin origin);
  // Called once per record: between two multiples of the step there is nothing to do, and that
  // is known without a division or a call.
  void ProgressTick(int64_t i) {
    if (i > progress_mark_ && i - progress_mark_ < progress_step_) return;
    ProgressStep(i);
  }
  void ProgressStep(int64_t i);
  void ProgressFinish();

  void Fire(const TNotifyEvent& event) {
    if (event) event(*this);
  }

  const TCollator* collator_;
  TIndexList items_;
  TIndexList system_;
  TCacheList cache_;
  TKeyFilter filter_;

  std::string file_name_;
  std::string filter_text_;
  std::string data_name_, index_name_;
  TOpenedContainer opened_;  // the container as it was opened
  TPassword opened_password_;  // the password that opened a protected container
  bool index_written_ = false;  // the working index file holds the index
  // The index log beside the working files: its name, the open file, and how many of its bytes
  // apply to the index file (0 while none do: no log, or one left from an earlier index file).
  std::string log_name_;
  TFile log_file_;
  int64_t log_size_ = 0;
  int64_t log_limit_ = 0;         // past this size the next Flush writes the whole index again
  bool log_has_changes_ = false;  // the log holds a record
  bool whole_index_due_ = true;   // the next Flush writes the whole index (after an open, a Pack
                                  // or a failed Flush)
  std::vector<TIndexChange> unflushed_;  // item changes since the last Flush, in order
  bool created_by_open_ = false;  // the open created the container
  bool changed_ = false;  // items were added or deleted, or Pack ran, since the open
  std::optional<TFileIdentity> opened_identity_;  // the container as the open found it
  int64_t opened_at_ = 0;  // when the store was opened, seconds since the epoch
  bool journaled_ = false;  // the session's journal is written
  bool offer_stale_sessions_ = true;  // false for a store opened to read a stale session's base
  std::vector<std::string> recovered_names_;
  TFile data_file_;
  TFile data_lock_;  // holds the data file's lock from its creation to its deletion
  std::optional<TFileTime> open_time_;
  std::string last_written_name_;  // the container the last close wrote

  uint32_t serial_clock_ = 0;  // the last serial given to an item
  int item_index_ = 0;
  TKey current_key_;
  bool bof_ = false, eof_ = false;
  bool active_ = false, modified_ = false, was_protected_ = false;
  bool editing_ = false, inserting_ = false;
  bool aggressive_update_ = false, compression_ = false, read_only_ = false;
  bool read_only_from_file_ = false;  // ReadOnly was set by the container's attribute

  // While the working files hold sealed bodies and a sealed index: the data key, the header that
  // wraps it and the password that unwrapped it.
  struct TStrongState {
    TSecretKey data_key;
    TStrongHeader header;
    TPassword password;
  };
  std::unique_ptr<TStrongState> strong_;
  bool strong_protection_ = false;
  std::vector<uint8_t> opened_index_;  // a strong index Unpack opened, until LoadIndex reads it
  // The digest of the index section an unprotected container was opened with (for the memo of
  // verified orders), and whether that index was found in this machine's order.
  std::optional<TIndexDigest> opened_index_digest_;
  bool opened_in_order_ = false;
  bool save_on_close_ = true, expanded_file_names_ = true, use_grep_match_ = false;

  int64_t progress_step_ = 1;
  int64_t progress_mark_ = -1;  // a multiple of progress_step_ at or below the last tick
  TProgressOrigin progress_origin_ = TProgressOrigin::poOpen;
};

}  // namespace sk
