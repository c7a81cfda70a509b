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
#include <vector>

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
// an errno value to make the operation fail as the system would. Every change to a file or a
// folder goes through one of these operations, so a test sees all of them:
//   "open"     TFile::Open, any mode (path: the file)
//   "create"   a new temporary file, before it is made (path: the name it will get)
//   "read"     reads of file contents
//   "write"    writes and kernel copies into a file
//   "truncate" cutting or extending a file
//   "sync"     fsync of a file
//   "syncdir"  fsync of a folder, which makes its renames, new and deleted names durable
//   "chmod"    permission bits of an open file
//   "close"    TFile::Close (the destructor closes without asking: it cannot report)
//   "rename"   a rename (path: the new name; from: the old one)
//   "unlink"   deleting a file
// Production code never sets a hook.
struct TFileOperation {
  std::string_view name;
  const std::string& path;
  const std::string* from = nullptr;  // "rename" only
};
using FileOperationHook = std::function<int(const TFileOperation& operation)>;
void SetFileOperationHook(FileOperationHook hook);
// The same, for hooks that need only the operation's name and path.
using FileFaultHook = std::function<int(std::string_view operation, const std::string& path)>;
void SetFileFaultHook(FileFaultHook hook);

enum class FileMode {
  kRead,            // existing file, read only
  kReadWrite,       // existing file, read and write
  kCreate,          // create or truncate, read and write, mode 0600 for a new file
  kCreateNew,       // create a file that must not exist yet (no links followed), mode 0600
  kReadNoWait,      // existing file, read only, opened without waiting for a FIFO's writer
};

// A last-modification time stamp with nanoseconds.
struct TFileTime {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
  friend bool operator==(const TFileTime&, const TFileTime&) = default;
};

// Which file a path names and how it looked: two equal identities are the same file, unchanged.
struct TFileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  TFileTime modified;
  friend bool operator==(const TFileIdentity&, const TFileIdentity&) = default;
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
  // Whether the open file is a regular file (not a folder, device, FIFO or socket).
  bool IsRegular() const;
  const std::string& Path() const { return path_; }

  // Reads up to buffer.size() bytes; fewer only at the end of the file.
  size_t Read(std::span<uint8_t> buffer);
  // Reads exactly buffer.size() bytes or raises EOSError(EIO) at a premature end.
  void ReadExact(std::span<uint8_t> buffer);
  // Reads exactly buffer.size() bytes from position without moving the file position, or raises
  // EOSError(EIO) when the file ends before them.
  void ReadExactAt(int64_t position, std::span<uint8_t> buffer);
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
  // Closes the file; raises EOSError when the system reports an error (data written to it may be
  // lost then).
  void Close();
  // Closes the file without reporting anything: for a descriptor whose close cannot lose data
  // (one only read, one held for its lock, one whose bytes were synced and put in place).
  void Release() noexcept;
  // Takes an exclusive advisory lock without waiting; false when another holder has one.
  bool TryLockExclusive();
  // Sets the permission bits (chmod).
  void SetMode(unsigned mode);
  int Descriptor() const { return fd_; }
  // The open file's identity (fstat).
  TFileIdentity Identity() const;
  // Gives the open file one more name, even when its old name has gone or names another file
  // since; false (with errno) when the system refuses, e.g. across file systems (EXDEV).
  bool LinkAs(const std::string& new_path) const;

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

// Like CreateTempFile, but returns the new file open for reading and writing and holding an
// exclusive lock (see TryLockExclusive) for as long as it stays open, mode 0600 whatever the umask.
// Returns a closed TFile (errno set) when no file could be created. The lock tells a sweep of
// leftovers (see SweepStaleFiles) that the file is in use.
TFile CreateLockedTempFile(const std::string& directory, std::string_view prefix);

// The files in directory named as CreateTempFile names them for this prefix (prefix, eight capital
// hexadecimal digits, ".tmp"), as full paths.
std::vector<std::string> TempFilesNamed(const std::string& directory, std::string_view prefix);

// The same for several prefixes from one reading of the folder: a temporary folder may hold
// thousands of entries, and an open looks for files of six kinds in it.
class TTempFolderListing {
 public:
  explicit TTempFolderListing(std::string directory);
  std::vector<std::string> Named(std::string_view prefix) const;

 private:
  std::string directory_;
  std::vector<std::string> names_;  // entries ending in eight hexadecimal digits and ".tmp"
};

// Deletes path if it is a regular file (not a link) of this user that no open file holds locked,
// as a process that died leaves its files; true when it was deleted. Never waits.
bool DeleteIfUnlocked(const std::string& path);

bool FileExists(const std::string& path);

// Makes the names in path's folder durable (fsync of the folder); raises EOSError.
void SyncFolderOf(const std::string& path);

// Renames source to target (replacing a file there); raises EOSError.
void RenameFile(const std::string& source, const std::string& target);

// What a path names, following symbolic links.
enum class TFileKind { kMissing, kRegular, kFolder, kOther };
TFileKind FileKind(const std::string& path);
// Deletes a file; returns false (and leaves errno) when it could not be deleted.
bool DeleteFile(const std::string& path);

// Last-modification time stamp with nanoseconds; empty when the file cannot be examined.
std::optional<TFileTime> FileTimeStamp(const std::string& path);

// Follows symbolic links; empty when the file cannot be examined.
std::optional<TFileIdentity> FileIdentityOf(const std::string& path);

// Whether a live process holds the file's lock (an open that fails counts as not locked).
bool IsLockedByOther(const std::string& path);

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

// The file that path finally names: symbolic links are followed, also a last one that points to
// a file that does not exist yet (up to 40 links). A path without links comes back normalised.
std::string ResolveFileLinks(const std::string& path);

// Puts source in place of target, following target's symbolic links so that the file they name is
// replaced and the links are kept. What target is decides how:
// - missing, or a regular file the user may write in a folder the user may write: atomically. An
//   existing file's permission bits (and, where the user may set them, its owner and group) are
//   carried over to the new file, which is fsynced, renamed over the target, and the folder is
//   fsynced; across file systems the bytes are first copied into a temporary file beside it.
// - a regular file whose permission bits do not let the user write it (checked as bits even for
//   root): refused with EOSError(EACCES); a folder: EOSError(EISDIR).
// - a writable file in a folder the user may not write, a device, a FIFO or a socket: the bytes are
//   written into it in place (a regular file is then cut to their length and fsynced) and source
//   is deleted. An in-place write that fails may leave the target partly written.
// On a failure before the rename the target is left as it was, the source is kept, and EOSError
// is raised. Returns 0, or the errno of a folder sync that failed after the rename: the target is
// replaced then, but the replacement may not survive a power failure (a caller that promises
// durability reports that).
int ReplaceFile(const std::string& source, const std::string& target);

// The mode WriteFileAtomically gives a new file unless told otherwise: 0666 less the umask.
inline constexpr unsigned kModeFromUmask = ~0u;

// Writes a file through `write` and puts it in place of path by ReplaceFile's rules. Normally
// `write` gets a new temporary file (named temp_prefix + hex digits + ".tmp") beside the file path
// finally names, locked while it exists, which takes the target's place only once all of it is
// written, so an existing file is never left half-written and a failure leaves it as it was (the
// temporary file is removed). Where ReplaceFile writes in place, `write` gets the target itself.
// A new file gets new_file_mode exactly (whatever the umask), or 0666 less the umask; a replaced
// file keeps its mode. Symbolic links are kept and the file they name is written. Raises EOSError,
// or whatever `write` raises; returns what ReplaceFile returns (0 when the file is durably in place).
int WriteFileAtomically(const std::string& path, const std::function<void(TFile& file)>& write,
                        unsigned new_file_mode = kModeFromUmask,
                        std::string_view temp_prefix = "SKW");
void WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

// The whole content of the file at path; raises EOSError when it cannot be opened or read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);
// The same, but empty when the file cannot be opened or read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace sk
