// Files for the store and the codecs: an owning file handle, the temporary directory and
// unique temporary names, time stamps, the read-only test, path helpers and atomic replacement.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sk {

// A failed operating-system call on a file: errno and the path involved.
class EOSError : public std::runtime_error {
 public:
  EOSError(int error_code, std::string operation, std::string path);
  int Code() const { return code_; }
  const std::string& Path() const { return path_; }

 private:
  int code_;
  std::string path_;
};

// Fault injection for tests: when set, every file operation first asks the hook, which may return
// an errno value to make the operation fail as the system would. Operations are named "open",
// "write", "read", "sync", "rename", "truncate". Production code never sets it.
using FileFaultHook = std::function<int(std::string_view operation, const std::string& path)>;
void SetFileFaultHook(FileFaultHook hook);

enum class FileMode {
  kRead,            // existing file, read only
  kReadWrite,       // existing file, read and write
  kCreate,          // create or truncate, read and write, mode 0600 for a new file
  kCreateNew,       // create a file that must not exist yet (no links followed), mode 0600
};

// An open file. Move-only; closes itself. Every failure raises EOSError.
class TFile {
 public:
  TFile() = default;
  static TFile Open(const std::string& path, FileMode mode);
  // Takes ownership of an already open descriptor.
  TFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  TFile(TFile&& other) noexcept;
  TFile& operator=(TFile&& other) noexcept;
  TFile(const TFile&) = delete;
  TFile& operator=(const TFile&) = delete;
  ~TFile();

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  // Reads up to buffer.size() bytes; fewer only at the end of the file.
  size_t Read(std::span<uint8_t> buffer);
  // Reads exactly buffer.size() bytes or raises EOSError(EIO) at a premature end.
  void ReadExact(std::span<uint8_t> buffer);
  void Write(std::span<const uint8_t> data);
  // Writes length bytes read from the current position of source at this file's position, letting
  // the kernel copy them where it can, and moves both positions past them. When this file is
  // written at its end, holes of a sparse source stay holes. Raises EOSError(EIO) when source
  // ends early (nothing is written then).
  void CopyFrom(TFile& source, int64_t length);
  void Seek(int64_t position);
  int64_t Position() const;
  int64_t Size() const;
  void Truncate(int64_t length);
  void Sync();
  void Close();
  // Takes an exclusive advisory lock without waiting; false when another holder has one.
  bool TryLockExclusive();
  // Sets the permission bits (chmod).
  void SetMode(unsigned mode);

 private:
  // Copies length bytes from offset in of source to offset out of this file.
  void CopyRange(TFile& source, int64_t in, int64_t out, int64_t length);

  int fd_ = -1;
  std::string path_;
};

// The system temporary directory ($TMPDIR when set and usable, else /tmp), without trailing "/".
std::string TempDirectory();

// Creates a new empty file of mode 0600 named prefix + unique hex digits + ".tmp" in directory and
// returns its full name, or an empty string when none could be created.
std::string CreateTempFile(const std::string& directory, std::string_view prefix);

bool FileExists(const std::string& path);
// Deletes a file; returns false (and leaves errno) when it could not be deleted.
bool DeleteFile(const std::string& path);

// Last-modification time stamp with nanoseconds; empty when the file cannot be examined.
struct TFileTime {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
  friend bool operator==(const TFileTime&, const TFileTime&) = default;
};
std::optional<TFileTime> FileTimeStamp(const std::string& path);

// The read-only attribute: the file exists and none of its permission bits allows writing.
// (Root may write such a file anyway, so the bits are examined rather than access().)
bool IsReadOnlyFile(const std::string& path);

// Absolute, lexically normalised form of a path (relative names are taken from the current folder).
std::string ExpandFileName(const std::string& path);
// The extension from the last "." of the file-name part on ("" when there is none).
std::string ExtractFileExt(std::string_view path);
std::string ExtractFileDir(std::string_view path);
std::string ExtractFileName(std::string_view path);

// A file name made from a user's text (a key): "/" and NUL become "_", and a name that would mean
// the folder itself or its parent ("", ".", "..") becomes underscores, so the result is always
// one name inside the folder it is joined to.
std::string FileNameFromText(std::string_view text);

// Puts source in place of target atomically (an existing target's permission bits are carried
// over to the new file): fsyncs the source, renames it over the target and
// fsyncs the folder. When source and target lie on different file systems the bytes are first
// copied into a temporary file beside the target. On any failure the target is left as it was,
// the source is kept, and EOSError is raised.
void ReplaceFile(const std::string& source, const std::string& target);

// Writes a file through `write`, which gets a new temporary file beside path, and puts it in place
// with ReplaceFile only once all of it is written, so an existing file is never left half-written
// and a failure leaves it as it was (the temporary file is removed). The file keeps the mode of
// the file it replaces, or gets 0666 less the umask. Writing through a symbolic link replaces the
// file it points to and keeps the link. Raises EOSError, or whatever `write` raises.
void WriteFileAtomically(const std::string& path, const std::function<void(TFile& file)>& write);
void WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

}  // namespace sk
