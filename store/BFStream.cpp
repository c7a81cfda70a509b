// Buffered index-file streams and the store's file helpers.
#include "store/BFStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "store/KESErrors.h"

namespace sk {

std::vector<uint8_t> AllocateBuffer(int64_t size_hint) {
  size_t request = static_cast<size_t>(
      std::clamp<int64_t>(size_hint, kMinTransferBuffer, kMaxTransferBuffer));
  for (;;) {
    try {
      return std::vector<uint8_t>(request);
    } catch (const std::bad_alloc&) {
      if (request <= 1) throw;
      request /= 2;
    }
  }
}

std::string GetTempName(std::string_view prefix) { return CreateTempFile(TempDirectory(), prefix); }

void MoveFileOver(const std::string& source, const std::string& target) {
  ReplaceFile(source, target);
}

TBFStream::TBFStream(const std::string& path, int64_t size_hint, FileMode mode)
    : file_(TFile::Open(path, mode)) {
  if (size_hint == -1) size_hint = file_.Size();
  buffer_ = AllocateBuffer(size_hint);
  usable_ = buffer_.size() - 1;
  Reset();
}

TBFStream::~TBFStream() {
  // Close() reports write errors; here they can only be dropped, and the owner that needed the
  // bytes has called Close() already.
  try {
    Close();
  } catch (...) {
  }
}

void TBFStream::Reset() {
  if (dirty_) {
    dirty_ = false;
    file_.Write(std::span(buffer_.data(), place_));
  }
  std::fill(buffer_.begin(), buffer_.end(), 0);
  place_ = usable_;
  valid_ = usable_;
}

void TBFStream::Refill() {
  if (dirty_) Reset();
  // Start the next read at the first byte not yet consumed.
  const size_t unconsumed = valid_ - place_;
  file_.Seek(file_.Position() - static_cast<int64_t>(unconsumed));
  std::fill(buffer_.begin(), buffer_.end(), 0);
  place_ = 0;
  valid_ = file_.Read(std::span(buffer_.data(), usable_));
}

bool TBFStream::Available(size_t n) {
  if (place_ + n <= valid_) return true;
  if (valid_ < usable_) return false;  // the file is exhausted
  Refill();
  return place_ + n <= valid_;
}

bool TBFStream::ReadString(std::string& key) {
  auto terminated_length = [&]() -> size_t {
    const void* zero = std::memchr(buffer_.data() + place_, 0, valid_ - place_);
    return zero ? static_cast<const uint8_t*>(zero) - (buffer_.data() + place_) + 1 : SIZE_MAX;
  };
  size_t length = place_ <= valid_ ? terminated_length() : SIZE_MAX;
  if (length == SIZE_MAX) {
    if (valid_ < usable_) return false;
    Refill();
    length = terminated_length();
    if (length == SIZE_MAX) return false;  // longer than a whole buffer, or cut off
  }
  const size_t characters = length - 1;
  key.assign(reinterpret_cast<const char*>(buffer_.data() + place_), std::min<size_t>(characters, 255));
  place_ += length;
  return true;
}

bool TBFStream::ReadInteger(int32_t& value) {
  if (!Available(4)) return false;
  const uint8_t* p = buffer_.data() + place_;
  value = static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                               uint32_t{p[3]} << 24);
  place_ += 4;
  return true;
}

void TBFStream::Write(const void* data, size_t length) {
  if (place_ + length > usable_) {
    Reset();
    place_ = 0;
  }
  std::memcpy(buffer_.data() + place_, data, length);
  place_ += length;
  dirty_ = true;
}

void TBFStream::WriteString(std::string_view key) {
  uint8_t record[256];
  const size_t n = std::min<size_t>(key.size(), 255);
  std::memcpy(record, key.data(), n);
  record[n] = 0;
  Write(record, n + 1);
}

void TBFStream::WriteBytes(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const size_t n = std::min(bytes.size(), usable_);
    Write(bytes.data(), n);
    bytes = bytes.subspan(n);
  }
}

void TBFStream::WriteInteger(int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  const uint8_t bytes[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                            static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
  Write(bytes, 4);
}

void TBFStream::Seek(int64_t position) {
  Reset();
  file_.Seek(position);
}

void TBFStream::Close() {
  if (!file_.IsOpen()) return;
  Reset();
  file_.Close();
}

namespace {
TFile LockedTempOrThrow() {
  TFile file = CreateLockedTempFile(TempDirectory(), "DBT");
  if (!file.IsOpen()) throw EKESIndexError(std::string(kes_msg::kNoTempFile));
  return file;
}
}  // namespace

TTempBFStream::TTempBFStream(std::string target)
    : TTempBFStream(LockedTempOrThrow(), std::move(target)) {}

TTempBFStream::TTempBFStream(TFile lock, std::string target)
try : TBFStream(lock.Path(), 32768, FileMode::kCreate),
      lock_(std::move(lock)),
      temp_name_(lock_.Path()),
      target_(std::move(target)) {
} catch (...) {
  DeleteFile(lock.Path());
  throw;
}

TTempBFStream::~TTempBFStream() {
  if (!committed_) {
    try {
      Close();
    } catch (...) {
    }
    DeleteFile(temp_name_);
  }
}

void TTempBFStream::Commit() {
  Close();
  MoveFileOver(temp_name_, target_);
  committed_ = true;
  lock_.Release();
}

}  // namespace sk
