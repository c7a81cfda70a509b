// TKES and its index log: what a Flush appends instead of writing the whole index again, and the
// index that the index file and the log make together.
#include <algorithm>

#include "store/BFStream.h"
#include "store/KES.h"

namespace sk {

namespace {

// The log is started again with the whole index once it is larger than this and than half the
// index file, so that applying it stays cheap beside writing the index.
constexpr int64_t kLogFloor = 256 * 1024;

// What one change is assumed to take in the log, to foresee a large record.
constexpr int64_t kChangeEstimate = 32;

}  // namespace

bool TKES::WholeIndexDue() const {
  if (whole_index_due_ || !index_written_ || log_size_ == 0) return true;
  return log_size_ + std::ssize(unflushed_) * kChangeEstimate > log_limit_;
}

void TKES::StartIndexLog() {
  const std::vector<uint8_t> index = ReadWholeFile(index_name_);
  const std::vector<uint8_t> header = IndexLogHeader(index);
  log_file_ = TFile();
  log_size_ = 0;
  log_has_changes_ = false;
  WriteFileAtomically(
      log_name_, [&header](TFile& file) { file.Write(header); }, kContainerMode, "DBT");
  log_file_ = TFile::Open(log_name_, FileMode::kReadWrite);
  log_size_ = std::ssize(header);
  log_limit_ = std::max<int64_t>(kLogFloor, std::ssize(index) / 2);
}

void TKES::AppendIndexLog() {
  std::vector<uint8_t> payload = EncodeIndexChanges(unflushed_);
  // A strongly protected store's log is sealed like its index: no key is plain on disk.
  if (strong_) payload = SealBytes(payload, IndexLogBinding(), strong_->data_key);
  const std::vector<uint8_t> record = IndexLogRecord(payload);
  log_file_.Seek(log_size_);
  log_file_.Write(record);
  log_file_.Sync();
  log_size_ += std::ssize(record);
  log_has_changes_ = true;
}

std::optional<std::vector<uint8_t>> TKES::LoggedIndex(std::span<const uint8_t> index_file,
                                                      std::span<const uint8_t> log,
                                                      bool& changed) const {
  changed = false;
  std::vector<uint8_t> plain(index_file.begin(), index_file.end());
  if (strong_) {
    std::optional<std::vector<uint8_t>> opened =
        OpenSealed(index_file, IndexBinding(), strong_->data_key);
    if (!opened) return std::nullopt;
    plain = std::move(*opened);
  }
  std::vector<TIndexChange> changes;
  for (const std::vector<uint8_t>& payload : IndexLogPayloads(log, index_file)) {
    std::optional<std::vector<uint8_t>> bytes = payload;
    if (strong_) bytes = OpenSealed(payload, IndexLogBinding(), strong_->data_key);
    std::vector<TIndexChange> record;
    // A record that does not open or decode ends the log, as a torn one does.
    if (!bytes || !DecodeIndexChanges(*bytes, record)) break;
    changes.insert(changes.end(), std::make_move_iterator(record.begin()),
                   std::make_move_iterator(record.end()));
  }
  if (changes.empty()) return plain;
  changed = true;
  try {
    return ApplyIndexChanges(plain, changes, *collator_, items_.CaseSensitive());
  } catch (const EKESListError&) {
    return std::nullopt;  // an index the key lists refuse
  }
}

void TKES::ApplyIndexLog() {
  if (!log_has_changes_) return;
  bool changed = false;
  const std::optional<std::vector<uint8_t>> plain =
      LoggedIndex(ReadWholeFile(index_name_), ReadWholeFile(log_name_), changed);
  if (!plain) throw EOSError(EIO, "read", index_name_);
  TTempBFStream stream(index_name_);
  stream.WriteBytes(strong_ ? SealBytes(*plain, IndexBinding(), strong_->data_key) : *plain);
  stream.Commit();
  log_size_ = 0;
  log_has_changes_ = false;
}

void TKES::DropIndexLog() noexcept {
  log_file_.Release();
  if (!log_name_.empty()) DeleteFile(log_name_);
  log_size_ = 0;
  log_has_changes_ = false;
  whole_index_due_ = true;
}

void TKES::NoteChange(bool added, std::string_view key, const TIndex& index) noexcept {
  try {
    unflushed_.push_back(TIndexChange{added, std::string(key), index});
  } catch (const std::bad_alloc&) {
    whole_index_due_ = true;  // the log would miss this change: the next Flush writes it whole
  }
}

}  // namespace sk
