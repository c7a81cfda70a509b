// TKES item operations and navigation, and Pack and Kill.
#include <sys/statvfs.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "store/BFStream.h"
#include "store/KES.h"
#include "store/KESCodec.h"

namespace sk {

namespace {

constexpr int64_t kMaxDataFile = std::numeric_limits<int32_t>::max();
constexpr std::string_view kDataFileFull =
    "%s cannot hold this picture: a store keeps at most 2147483647 bytes of pictures";
constexpr std::string_view kZeroInKey = "A name may not contain a zero character";

// Free bytes on the file system that holds path, or -1 when unknown.
int64_t FreeSpace(const std::string& path) {
  struct statvfs fs {};
  if (::statvfs(path.c_str(), &fs) != 0) return -1;
  return static_cast<int64_t>(fs.f_bavail) * static_cast<int64_t>(fs.f_frsize);
}

}  // namespace

// ---- Adding, finding, reading ----

std::string TKES::CacheKey(const TIndex& index) {
  // Fixed-width capital hex digits: two serials compare alike only when they are equal.
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(index.serial));
  return digits;
}

void TKES::AddItem(TMemoryStream& stream, std::string_view key) {
  RequireActive();
  stream.Seek(0);
  if (read_only_) {
    Warn(WarnReadOnly, kWarnReadOnly);
    return;
  }
  const std::string name(key.substr(0, 255));
  if (name.find('\0') != std::string::npos) throw EKESIndexError(std::string(kZeroInKey));
  int position;
  if (items_.Find(name, position)) throw EKESIndexError(std::string(kes_msg::kDuplicateKey));

  std::vector<uint8_t> compressed;
  if (compression_) {
    try {
      compressed = CompressItem(stream.Bytes());
    } catch (const std::bad_alloc&) {
      throw EKESNoCompress(std::string(kes_msg::kNoCompress));
    }
  }
  std::span<const uint8_t> body = compression_ ? std::span<const uint8_t>(compressed)
                                                : stream.Bytes();
  // A strongly protected store keeps every body sealed and bound to its key.
  std::vector<uint8_t> sealed;
  if (strong_) {
    sealed = SealBytes(body, BodyBinding(name, false), strong_->data_key);
    body = sealed;
  }
  const int64_t offset = data_file_.Size();
  if (offset + static_cast<int64_t>(body.size()) > kMaxDataFile) {
    RaiseWithFileName(kDataFileFull, kIndexError);
  }

  // Append the body first; if anything fails the data file is cut back and the key never listed.
  try {
    data_file_.Seek(offset);
    data_file_.Write(body);
    TIndex index{static_cast<int32_t>(offset), static_cast<int32_t>(body.size()),
                 compression_ ? kFlagCompressed : 0u, ++serial_clock_};
    position = items_.Add(name, index);
  } catch (...) {
    try {
      data_file_.Truncate(offset);
    } catch (const EOSError&) {
    }
    try {
      throw;
    } catch (const EOSError& error) {
      ReportOsError(error, file_name_);
    } catch (const EKESListError& error) {
      throw EKESIndexError(error.what());
    } catch (const std::bad_alloc&) {
      RaiseWithFileName(kes_msg::kMemoryFull, kIndexError);
    }
  }
  NoteChange(true, name, items_.Value(position));
  item_index_ = position;
  current_key_ = name;
  cache_.Offer(stream, CacheKey(items_.Value(position)));
  modified_ = changed_ = true;
  Fire(OnAdded);
  Fire(OnNavigate);
  stream.Seek(0);
}

bool TKES::FindKey(std::string_view key) {
  int position;
  if (!items_.Find(key.substr(0, 255), position)) return false;
  MoveTo(position);
  Fire(OnFound);
  return true;
}

int TKES::IndexOfKey(std::string_view key) const {
  int position;
  return items_.Find(key.substr(0, 255), position) ? position : -1;
}

void TKES::CheckBody(const TIndex& index) const {
  if (index.offset < 0 || index.size < 0 ||
      int64_t{index.offset} + index.size > data_file_.Size()) {
    RaiseInvalidIndex();
  }
}

uint64_t TKES::ExpandBody(const TIndex& index, const TBlockSink& sink) {
  // Read the body through one modest buffer: a compressed body is never held whole in memory.
  std::vector<uint8_t> buffer(std::min<size_t>(static_cast<size_t>(index.size), 65536));
  size_t have = 0, used = 0;
  int64_t left = index.size;
  int64_t next = index.offset;
  const TBlockSource source = [&](std::span<uint8_t> to) {
    size_t done = 0;
    while (done < to.size()) {
      if (used == have) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(left, buffer.size()));
        if (want == 0) break;
        opened_.ReadSection(data_file_, next, std::span(buffer.data(), want));
        have = want;
        next += static_cast<int64_t>(want);
        used = 0;
        left -= static_cast<int64_t>(have);
        if (have == 0) break;
      }
      const size_t n = std::min(to.size() - done, have - used);
      std::memcpy(to.data() + done, buffer.data() + used, n);
      used += n;
      done += n;
    }
    return done;
  };
  return ExpandBlocks(static_cast<uint64_t>(index.size), source, sink);
}

std::vector<uint8_t> TKES::StoredBody(TFile& working, const TIndex& index, std::string_view key,
                                      bool system) {
  if (index.offset < 0 || index.size < 0 || int64_t{index.offset} + index.size > working.Size()) {
    RaiseInvalidIndex();
  }
  std::vector<uint8_t> body(static_cast<size_t>(index.size));
  opened_.ReadSection(working, index.offset, body);
  if (!strong_) return body;
  std::optional<std::vector<uint8_t>> opened = OpenSealed(body, BodyBinding(key, system), strong_->data_key);
  // A body that does not open is damaged (or was moved to another key): only this item fails.
  if (!opened) RaiseInvalidIndex();
  return std::move(*opened);
}

TProtection TKES::Protection() const {
  if (!was_protected_) return TProtection::kNone;
  return strong_ ? TProtection::kStrong : TProtection::kLegacy;
}

void TKES::GetItem(TMemoryStream& stream) {
  RequireActive();
  if (Count() == 0) {
    Warn(WarnNoData, kWarnNoData);
    return;
  }
  // The item at the current position (after deleting the first item CurrentKey is empty while the
  // position already names the next one). The cache knows it by the item, not by its key text.
  const std::string cache_key = CacheKey(items_.ValueAt(item_index_));
  stream.Seek(0);
  try {
    if (!cache_.Hit(cache_key, stream)) {
      const TIndex index = items_.ValueAt(item_index_);
      CheckBody(index);
      if (strong_) {
        // Opened in memory: a strongly protected body is never plain on disk.
        const std::vector<uint8_t> stored = StoredBody(data_file_, index, items_.Key(item_index_), false);
        if (index.flags & kFlagCompressed) {
          if (stored.size() > kMaxItemSize / kMaxExpansionRatio) ExpandBytes(stored, nullptr);
          ExpandBytes(stored, [&stream](std::span<const uint8_t> bytes) { stream.Write(bytes); });
        } else {
          stream.Write(stored);
        }
      } else if (index.flags & kFlagCompressed) {
        // A body large enough to pass the item limit is counted first, so that a damaged one is
        // refused before the stream has grown by gigabytes.
        if (static_cast<uint64_t>(index.size) > kMaxItemSize / kMaxExpansionRatio) {
          ExpandBody(index, nullptr);
        }
        // Expand straight into the stream, one block at a time.
        ExpandBody(index, [&stream](std::span<const uint8_t> bytes) { stream.Write(bytes); });
      } else {
        const size_t size = static_cast<size_t>(index.size);
        if (stream.Size() < size) stream.SetSize(size);
        opened_.ReadSection(data_file_, index.offset, stream.MutableBytes().subspan(0, size));
        stream.Seek(size);
      }
      cache_.Offer(stream, cache_key);
    }
  } catch (...) {
    // A half-filled stream must not pass for the item; the caller passed it empty.
    stream.Clear();
    try {
      throw;
    } catch (const EKESError&) {
      throw;
    } catch (const std::exception&) {
      RaiseInvalidIndex();
    }
  }
  stream.Seek(0);
}

int64_t TKES::ItemSize() {
  if (Count() == 0) {
    Warn(WarnNoData, kWarnNoData);
    return 0;
  }
  const TIndex index = items_.ValueAt(item_index_);
  if (!(index.flags & kFlagCompressed)) {
    return strong_ ? std::max<int64_t>(index.size - static_cast<int64_t>(kSealOverhead), 0)
                   : index.size;
  }
  int position;
  if (cache_.Find(CacheKey(index), position)) return cache_.CachedSize(position);
  // Count the expanded bytes without keeping them.
  RequireActive();
  try {
    CheckBody(index);
    if (strong_) return static_cast<int64_t>(ExpandBytes(StoredBody(data_file_, index, items_.Key(item_index_), false), nullptr));
    return static_cast<int64_t>(ExpandBody(index, nullptr));
  } catch (const EKESError&) {
    throw;
  } catch (const std::exception&) {
    RaiseInvalidIndex();
  }
}

// ---- Deleting and flushing ----

void TKES::Delete() {
  Fire(BeforeDelete);
  InternalDelete();
  Fire(AfterDelete);
}

void TKES::InternalDelete() {
  RequireActive();
  if (read_only_) {
    Warn(WarnReadOnly, kWarnReadOnly);
    return;
  }
  if (Count() == 0) {
    Warn(WarnNoData, kWarnNoData);
    return;
  }
  editing_ = inserting_ = false;
  const int deleted = item_index_;
  cache_.Remove(CacheKey(items_.ValueAt(deleted)));
  NoteChange(false, items_.Key(deleted), items_.ValueAt(deleted));
  items_.Delete(deleted);
  if (deleted == 0) {
    current_key_.clear();
    item_index_ = 0;
  } else {
    MoveTo(deleted - 1);
  }
  modified_ = changed_ = true;
  Fire(OnDeleted);
  RecomputeBofEof();
}

void TKES::Flush() {
  RequireActive();
  if (read_only_ || !modified_) return;
  try {
    // The bodies first: the index written next must never name bodies a power failure can take.
    data_file_.Sync();
    if (WholeIndexDue()) {
      WriteIndexFile(TProgressOrigin::poFlush);
      StartIndexLog();
      whole_index_due_ = false;
    } else {
      // The progress that writing the whole index reports, without walking every key.
      ProgressStart(items_.Count(), TProgressOrigin::poFlush);
      for (int64_t tick = 0; tick < items_.Count(); tick += progress_step_) ProgressTick(tick);
      AppendIndexLog();
    }
    unflushed_.clear();
    if (!journaled_) WriteJournal();
    data_file_.Close();
  } catch (const EOSError& error) {
    // The log may end in a torn record now, which would hide the records after it.
    whole_index_due_ = true;
    if (!data_file_.IsOpen()) OpenDataFile();
    ReportOsError(error, file_name_);
  }
  OpenDataFile();
  modified_ = false;
  ProgressFinish();
}

// ---- Listing and navigation ----

void TKES::GetKeys(TStringList& strings) {
  strings.Clear();
  strings.Reserve(Count());
  const bool sorted = strings.Sorted();
  strings.SetSorted(false);
  ProgressStart(Count(), TProgressOrigin::poGetKeys);
  for (int i = 0; i < Count(); ++i) {
    ProgressTick(i + 1);
    if (Passes(i)) strings.Add(std::string(items_.Key(i)));
  }
  strings.SetSorted(sorted);
  ProgressFinish();
}

bool TKES::Passes(int index) const { return filter_.Empty() || filter_.Passes(items_.Key(index)); }

void TKES::MoveTo(int index) {
  if (Count() == 0) {
    Warn(WarnNoData, kWarnNoData);
    return;
  }
  if (index < 0 || index > Count() - 1) {
    Warn(WarnOutOfBounds, kWarnOutOfBounds);
    return;
  }
  item_index_ = index;
  current_key_ = items_.Key(index);
  Fire(OnNavigate);
}

void TKES::First() {
  bof_ = true;
  eof_ = false;
  int i = 0;
  while (i < Count() && !Passes(i)) ++i;
  MoveTo(i);
  RecomputeBofEof();
}

void TKES::Last() {
  bof_ = false;
  eof_ = true;
  int i = Count() - 1;
  while (i >= 0 && !Passes(i)) --i;
  MoveTo(i);
  RecomputeBofEof();
}

void TKES::Next() {
  bof_ = eof_ = false;
  int i = item_index_ + 1;
  while (i < Count() && !Passes(i)) ++i;
  if (i < Count()) {
    MoveTo(i);
  } else {
    eof_ = true;
  }
  RecomputeBofEof();
}

void TKES::Prior() {
  bof_ = eof_ = false;
  int i = item_index_ - 1;
  while (i >= 0 && !Passes(i)) --i;
  if (i >= 0) {
    MoveTo(i);
  } else {
    bof_ = true;
  }
  RecomputeBofEof();
}

void TKES::RecomputeBofEof() {
  if (filter_.Empty()) {
    bof_ = Count() > 0 && item_index_ == 0;
    eof_ = Count() > 0 && item_index_ == Count() - 1;
    return;
  }
  if (!aggressive_update_) return;
  bool before = false, after = false;
  for (int i = 0; i < item_index_ && i < Count() && !before; ++i) before = Passes(i);
  for (int i = item_index_ + 1; i < Count() && !after; ++i) after = Passes(i);
  if (!before) bof_ = true;
  if (!after) eof_ = true;
}

// ---- Pack and Kill ----

void TKES::Pack() {
  RequireActive();
  if (read_only_) {
    Warn(WarnReadOnly, kWarnReadOnly);
    return;
  }
  const int remembered = item_index_;

  // Check every entry before touching anything: a damaged index must not make Pack read or
  // allocate absurd amounts, and the new data file must fit on the disk.
  const int64_t data_size = data_file_.Size();
  int64_t live_bytes = 0;
  for (TIndexList* list : {&system_, &items_}) {
    for (int i = 0; i < list->Count(); ++i) {
      const TIndex& index = list->Value(i);
      if (index.offset < 0 || index.size < 0 || int64_t{index.offset} + index.size > data_size) {
        RaiseInvalidIndex();
      }
      live_bytes += index.size;
    }
  }
  // Bodies of a sound index never overlap, so together they fit the data file's limit; more
  // means shared bodies, whose packed offsets would no longer fit 32 bits.
  if (live_bytes > kMaxDataFile) RaiseInvalidIndex();
  // The session's journal goes first, for good: the bodies move, and until the next Flush writes
  // the index for their new places no stale session of this store may be recovered from them.
  if (journaled_) {
    EndJournal();
    try {
      SyncFolderOf(data_name_);
    } catch (const EOSError& error) {
      ReportOsError(error, data_name_);
    }
  }
  // The log names bodies by their places too: its changes go into the index file, and the next
  // Flush writes the whole index and starts a new log.
  try {
    ApplyIndexLog();
  } catch (const EOSError& error) {
    ReportOsError(error, index_name_);
  }
  DropIndexLog();
  // The new data file is locked from its creation on and keeps that lock once it has taken the
  // data file's place, so another process never sweeps it away as a leftover.
  TFile out = CreateLockedTempFile(TempDirectory(), "KES");
  if (!out.IsOpen()) throw EKESIndexError(std::string(kes_msg::kNoTempFile));
  const std::string temp = out.Path();
  if (const int64_t free = FreeSpace(ExtractFileDir(temp)); free >= 0 && free < live_bytes) {
    DeleteFile(temp);
    ReportFileError(kErrDriveFull, "", file_name_);
  }

  std::vector<int32_t> old_system, old_items;
  for (int i = 0; i < system_.Count(); ++i) old_system.push_back(system_.Value(i).offset);
  for (int i = 0; i < items_.Count(); ++i) old_items.push_back(items_.Value(i).offset);
  auto restore_offsets = [&] {
    for (int i = 0; i < system_.Count(); ++i) system_.Value(i).offset = old_system[i];
    for (int i = 0; i < items_.Count(); ++i) items_.Value(i).offset = old_items[i];
  };

  ProgressStart(Count(), TProgressOrigin::poPack);
  try {
    auto copy_body = [&](TIndex& index) {
      std::vector<uint8_t> body(static_cast<size_t>(index.size));
      try {
        opened_.ReadSection(data_file_, index.offset, body);
      } catch (const EOSError&) {
        RaiseInvalidIndex();
      }
      index.offset = static_cast<int32_t>(out.Size());
      out.Seek(index.offset);
      out.Write(body);
    };
    for (int i = 0; i < system_.Count(); ++i) copy_body(system_.Value(i));
    for (int i = 0; i < items_.Count(); ++i) {
      ProgressTick(i + 1);
      copy_body(items_.Value(i));
    }
    out.Sync();
    data_file_.Close();
    MoveFileOver(temp, data_name_);
    data_lock_ = std::move(out);
    opened_.DropData();  // every body is in the new data file now
  } catch (...) {
    restore_offsets();
    DeleteFile(temp);
    if (!data_file_.IsOpen()) OpenDataFile();
    try {
      throw;
    } catch (const EOSError& error) {
      ReportOsError(error, file_name_);
    }
  }
  OpenDataFile();
  if (remembered > 0) MoveTo(remembered);
  // Every offset changed: the next Flush writes the whole index, and the log starts anew.
  whole_index_due_ = true;
  modified_ = changed_ = true;
  ProgressFinish();
}

void TKES::Kill() {
  RequireActive();
  bool ok = false;
  if (BeforeKill) BeforeKill(*this, ok);
  if (!ok) return;
  if (read_only_) {
    Warn(WarnReadOnly, kWarnReadOnly);
    return;
  }
  if (file_name_.empty()) return;
  SetFileName("");
  // Delete what the close wrote (it may have saved under a new name if the file had changed).
  if (!DeleteFile(last_written_name_)) {
    ReportFileError(FileErrorCode(errno), "", last_written_name_);
  }
  Fire(OnKilled);
}

}  // namespace sk
