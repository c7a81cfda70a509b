// Buffered reading and writing of index files (zero-terminated keys and 32-bit integers through
// one buffer), a writer that replaces its target only when committed, and the store's file
// helpers: buffer allocation with fallback, unique temporary names, and moving a file over another.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace sk {

inline constexpr size_t kMinTransferBuffer = 1024;
inline constexpr size_t kMaxTransferBuffer = 524288;

// A buffer of max(hint, 1024) bytes, at most 524288; halves the request while memory is short.
std::vector<uint8_t> AllocateBuffer(int64_t size_hint);

// Creates a new empty file named from the three-character prefix in the system temporary
// directory and returns its full name, or "" when none could be created.
std::string GetTempName(std::string_view prefix);

// Puts source in place of target atomically (see ReplaceFile); raises EOSError on failure and
// leaves the target as it was.
void MoveFileOver(const std::string& source, const std::string& target);

// A file read or written through one buffer. The buffer's last byte is never filled, so a key at
// its end is always terminated; usable size U = B - 1. A stream is used for reading only or for
// writing only. Errors from the file raise EOSError.
class TBFStream {
 public:
  // Opens path; a size hint of -1 takes the file's length as the hint.
  TBFStream(const std::string& path, int64_t size_hint, FileMode mode);
  virtual ~TBFStream();
  TBFStream(const TBFStream&) = delete;
  TBFStream& operator=(const TBFStream&) = delete;

  // Reads a zero-terminated string (at most 255 characters are kept); false at the end of file.
  bool ReadString(std::string& key);
  // Reads a 32-bit little-endian integer; false at the end of file.
  bool ReadInteger(int32_t& value);
  void WriteString(std::string_view key);
  void WriteInteger(int32_t value);
  // Writes bytes as they are, through the buffer.
  void WriteBytes(std::span<const uint8_t> bytes);
  // Writes pending bytes and empties the buffer.
  void Reset();
  void Seek(int64_t position);
  // Writes pending bytes and closes the file; errors are raised here rather than lost.
  void Close();

  size_t BufferSize() const { return buffer_.size(); }

 protected:
  const std::string& Path() const { return file_.Path(); }

 private:
  void Refill();
  void Write(const void* data, size_t length);
  // Makes n bytes available at the current place, refilling once; false at the end of file.
  bool Available(size_t n);

  TFile file_;
  std::vector<uint8_t> buffer_;
  size_t usable_ = 0;
  size_t place_ = 0;
  size_t valid_ = 0;
  bool dirty_ = false;
};

// Writes a new file with the prefix "DBT" in the temporary directory, locked until it has taken the
// target's place (so no other process sweeps it away as a leftover); Commit puts it in place of
// the target. Destroyed without a commit, it deletes its file, so a target is never replaced by
// an incomplete one.
class TTempBFStream : public TBFStream {
 public:
  // Raises EKESIndexError "Could not create a necessary temporary file..." when no name is had.
  explicit TTempBFStream(std::string target);
  ~TTempBFStream() override;
  void Commit();

 private:
  TTempBFStream(TFile lock, std::string target);
  TFile lock_;
  std::string temp_name_;
  std::string target_;
  bool committed_ = false;
};

}  // namespace sk
