// TKES lifecycle: construction, FileName (open and close), properties, warnings and progress.
#include "store/KES.h"

#include <algorithm>
#include <cstdio>

namespace sk {

void TStringList::SetSorted(bool sorted) {
  if (sorted && !sorted_) {
    const TCollator& collator = TCollator::Default();
    std::stable_sort(items_.begin(), items_.end(), [&](const std::string& a, const std::string& b) {
      return collator.Compare(a, b, false) < 0;
    });
  }
  sorted_ = sorted;
}

void TStringList::Add(std::string text) {
  if (!sorted_) {
    items_.push_back(std::move(text));
    return;
  }
  const TCollator& collator = TCollator::Default();
  const auto at = std::upper_bound(items_.begin(), items_.end(), text,
                                   [&](const std::string& a, const std::string& b) {
                                     return collator.Compare(a, b, false) < 0;
                                   });
  items_.insert(at, std::move(text));
}

TKES::TKES(const TCollator* collator)
    : collator_(collator ? collator : &TCollator::Default()),
      items_(collator_),
      system_(collator_),
      cache_(collator_) {
  items_.SetSorted(true);
  system_.SetSorted(true);
  filter_.Set("", false, false);
}

std::string KESFileName(const std::string& name) {
  return ExtractFileExt(name).empty() ? name + kDefaultKESExtension : name;
}

TKES::~TKES() {
  if (file_name_.empty()) return;
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the working files are kept so nothing is lost.
    KeepWorkingFiles();
  }
}

void TKES::KeepWorkingFiles() noexcept {
  if (data_name_.empty()) return;
  // The kept files make a whole store on their own: the index is written out and the hole below
  // the new bodies filled from the container. When that fails the container still holds what the
  // hole stands for.
  try {
    EnsureIndexFile();
    std::vector<uint8_t> buffer;
    for (int64_t at = 0; at < opened_.DataLength(); at += std::ssize(buffer)) {
      buffer.resize(static_cast<size_t>(std::min<int64_t>(opened_.DataLength() - at, 1 << 20)));
      opened_.ReadData(at, buffer);
      data_file_.Seek(at);
      data_file_.Write(buffer);
    }
  } catch (const std::exception&) {
  }
  try {
    data_file_.Close();
  } catch (const EOSError&) {
  }
  // The index file holds what the log added to it now; a log it could not take is kept too.
  log_file_.Release();
  if (!log_has_changes_ && !log_name_.empty()) DeleteFile(log_name_);
  // The kept files no longer belong to a session that an open could recover.
  EndJournal();
  // Renamed out of the pattern that opens sweep away as a dead process's leftovers: without their
  // lock they would look like one.
  for (std::string* name : {&index_name_, &log_name_, &data_name_}) {
    if (name->size() < 4) continue;
    const std::string kept = name->substr(0, name->size() - 4) + ".kept";
    try {
      RenameFile(*name, kept);
      *name = kept;
    } catch (const EOSError&) {
    }
  }
  data_lock_.Release();
  ClearState();
  file_name_.clear();
}

void TKES::SetFileName(const std::string& name) {
  const std::string expanded =
      expanded_file_names_ && !name.empty() ? ExpandFileName(name) : name;
  if (expanded == file_name_) return;
  // A store that cannot be written back stays open under its name: the exception propagates.
  if (!file_name_.empty()) Close();
  file_name_ = expanded;
  if (!file_name_.empty()) file_name_ = KESFileName(file_name_);
  if (!file_name_.empty()) {
    try {
      Open();
    } catch (...) {
      DiscardWorkingFiles();
      ClearState();
      file_name_.clear();
      throw;
    }
  }
  Fire(OnFileAssigned);
}

void TKES::SetFilter(std::string_view text) {
  filter_text_ = std::string(text.substr(0, 255));
  filter_.Set(filter_text_, use_grep_match_, CaseSensitive());
}

void TKES::SetUseGrepMatch(bool value) {
  use_grep_match_ = value;
  filter_.Set(filter_text_, use_grep_match_, CaseSensitive());
}

void TKES::SetReadOnly(bool value) {
  if (value == read_only_) return;
  read_only_ = value;
  RecomputeBofEof();
}

int64_t TKES::DataSize() const { return data_file_.IsOpen() ? data_file_.Size() : 0; }

int64_t TKES::IndexSize() const {
  if (index_name_.empty()) return 0;
  if (!index_written_) return opened_.IndexLength();
  // The index file and the log together: a close writes the index whole.
  if (log_has_changes_) {
    return std::ssize(IndexBytesOf(system_, items_)) +
           (strong_ ? static_cast<int64_t>(kSealOverhead) : 0);
  }
  try {
    return TFile::Open(index_name_, FileMode::kRead).Size();
  } catch (const EOSError&) {
    return 0;
  }
}

void TKES::RaiseWithFileName(std::string_view message, int kind) const {
  const std::string text = FormatMessage(message, file_name_);
  switch (kind) {
    case kWarnNoData: throw EKESNoData(text);
    case kWarnOutOfBounds: throw EKESOutOfBounds(text);
    case kWarnReadOnly: throw EKESReadOnly(text);
    default: throw EKESIndexError(text);
  }
}

void TKES::Warn(const TNotifyEvent& handler, int kind) {
  if (handler) {
    handler(*this);
    return;
  }
  static constexpr std::string_view kMessages[] = {kes_msg::kNoData, kes_msg::kOutOfBounds,
                                                   kes_msg::kReadOnly};
  RaiseWithFileName(kMessages[kind], kind);
}

void TKES::RaiseInvalidIndex() const { RaiseWithFileName(kes_msg::kInvalidFile, kIndexError); }

void TKES::RaiseInvalidFile() const { ReportFileError(kErrCustom, kes_msg::kInvalidFile, file_name_); }

void TKES::RequireActive() const {
  if (!active_) throw EKESNoFile(std::string(kes_msg::kNoFile));
}

void TKES::ReportOsError(const EOSError& error, const std::string& file_name) const {
  ReportFileError(FileErrorCode(error.Code()), "", file_name);
}

void TKES::ProgressStart(int64_t total, TProgressOrigin origin) {
  progress_step_ = total / 10 + 1;
  progress_mark_ = -progress_step_;
  progress_origin_ = origin;
}

void TKES::ProgressStep(int64_t i) {
  const int64_t remainder = i % progress_step_;
  progress_mark_ = i - remainder;
  if (remainder != 0) return;
  if (ProcessMessages) ProcessMessages();
  if (ProgressUpdate) {
    ProgressUpdate(*this, static_cast<TPercentage>(i * 10 / progress_step_), progress_origin_);
  }
}

void TKES::ProgressFinish() {
  if (ProgressUpdate) ProgressUpdate(*this, 0, progress_origin_);
}

// Editing flags: kept for derived stores; nothing in the store reads them.
void TKES::Edit() {
  editing_ = true;
  RecomputeBofEof();
}
void TKES::Insert() {
  inserting_ = true;
  RecomputeBofEof();
}
void TKES::Post() {
  editing_ = inserting_ = false;
  RecomputeBofEof();
}
void TKES::Cancel() {
  editing_ = inserting_ = false;
  RecomputeBofEof();
}

}  // namespace sk
