// POSIX implementation of the file services.
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <vector>

namespace sk {

namespace {

FileOperationHook& FaultHook() {
  static FileOperationHook hook;
  return hook;
}

// The errno the test hook wants this operation to fail with, or 0.
int InjectedFault(std::string_view operation, const std::string& path,
                  const std::string* from = nullptr) {
  if (!FaultHook()) return 0;
  return FaultHook()(TFileOperation{operation, path, from});
}

// Asks the test hook whether this operation should fail; raises as the system call would.
void CheckFault(std::string_view operation, const std::string& path,
                const std::string* from = nullptr) {
  if (const int error = InjectedFault(operation, path, from); error != 0) {
    throw EOSError(error, std::string(operation), path);
  }
}

std::string Describe(int error_code, const std::string& operation, const std::string& path) {
  return operation + " " + path + ": " + std::strerror(error_code);
}

void SyncDirectoryOf(const std::string& path) {
  const std::string dir = ExtractFileDir(path);
  CheckFault("syncdir", dir.empty() ? "." : dir);
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw EOSError(errno, "open", dir);
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0 && error != EINVAL) throw EOSError(error, "sync", dir);
}

// Copies all bytes of source into a new temporary file in target's folder and returns its name.
std::string CopyBeside(const std::string& source, const std::string& target) {
  const std::string dir = ExtractFileDir(target);
  const std::string temp = CreateTempFile(dir.empty() ? "." : dir, "SKR");
  if (temp.empty()) throw EOSError(errno ? errno : EIO, "create", dir);
  try {
    TFile in = TFile::Open(source, FileMode::kRead);
    TFile out = TFile::Open(temp, FileMode::kReadWrite);
    struct stat st {};
    if (::stat(source.c_str(), &st) == 0) out.SetMode(st.st_mode & 07777);
    std::vector<uint8_t> buffer(1 << 20);
    for (size_t n; (n = in.Read(buffer)) > 0;) out.Write(std::span(buffer.data(), n));
    out.Sync();
    out.Close();
  } catch (...) {
    DeleteFile(temp);
    throw;
  }
  return temp;
}

}  // namespace

EOSError::EOSError(int error_code, std::string operation, std::string path)
    : std::runtime_error(Describe(error_code, operation, path)),
      code_(error_code),
      path_(std::move(path)) {}

void SetFileOperationHook(FileOperationHook hook) { FaultHook() = std::move(hook); }

void SetFileFaultHook(FileFaultHook hook) {
  if (!hook) {
    FaultHook() = nullptr;
    return;
  }
  FaultHook() = [hook = std::move(hook)](const TFileOperation& operation) {
    return hook(operation.name, operation.path);
  };
}

void RenameFile(const std::string& source, const std::string& target) {
  CheckFault("rename", target, &source);
  if (::rename(source.c_str(), target.c_str()) != 0) throw EOSError(errno, "rename", target);
}

TFile TFile::Open(const std::string& path, FileMode mode) {
  CheckFault("open", path);
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileMode::kRead: flags |= O_RDONLY; break;
    case FileMode::kReadWrite: flags |= O_RDWR; break;
    case FileMode::kCreate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    case FileMode::kCreateNew: flags |= O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW; break;
    case FileMode::kReadNoWait: flags |= O_RDONLY | O_NONBLOCK; break;
  }
  const int fd = ::open(path.c_str(), flags, 0600);
  if (fd < 0) throw EOSError(errno, "open", path);
  TFile file(fd, path);
  // Once open, reads wait for data as usual.
  if (mode == FileMode::kReadNoWait && ::fcntl(fd, F_SETFL, O_RDONLY) != 0) {
    throw EOSError(errno, "open", path);
  }
  return file;
}

TFile::TFile(TFile&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
  other.fd_ = -1;
}

TFile& TFile::operator=(TFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    path_ = std::move(other.path_);
    other.fd_ = -1;
  }
  return *this;
}

TFile::~TFile() {
  if (fd_ >= 0) ::close(fd_);
}

size_t TFile::Read(std::span<uint8_t> buffer) {
  CheckFault("read", path_);
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EOSError(errno, "read", path_);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

void TFile::ReadExact(std::span<uint8_t> buffer) {
  if (Read(buffer) != buffer.size()) throw EOSError(EIO, "read", path_);
}

void TFile::ReadExactAt(int64_t position, std::span<uint8_t> buffer) {
  CheckFault("read", path_);
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                              position + static_cast<int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EOSError(errno, "read", path_);
    }
    if (n == 0) throw EOSError(EIO, "read", path_);
    done += static_cast<size_t>(n);
  }
}

void TFile::Write(std::span<const uint8_t> data) {
  CheckFault("write", path_);
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EOSError(errno, "write", path_);
    }
    done += static_cast<size_t>(n);
  }
}

void TFile::CopyFrom(TFile& source, int64_t length) {
  CheckFault("write", path_);
  int64_t in = source.Position();
  int64_t out = Position();
  const int64_t end = in + length;
  if (source.Size() < end) throw EOSError(EIO, "read", source.path_);
  // Holes of the source stay holes when this file is written at its end: a sparse section costs
  // neither the disk space nor the time of its zeros.
  const bool appending = out == Size();
  while (in < end) {
    if (appending) {
      int64_t data = ::lseek(source.fd_, in, SEEK_DATA);
      if (data < 0) data = errno == ENXIO ? end : in;  // ENXIO: only a hole is left
      data = std::min(data, end);
      out += data - in;
      in = data;
      if (in == end) break;
    }
    int64_t hole = appending ? ::lseek(source.fd_, in, SEEK_HOLE) : end;
    if (hole <= in || hole > end) hole = end;
    CopyRange(source, in, out, hole - in);
    out += hole - in;
    in = hole;
  }
  if (Size() < out) Truncate(out);
  Seek(out);
  source.Seek(end);
}

void TFile::CopyRange(TFile& source, int64_t in, int64_t out, int64_t length) {
  bool kernel = true;
  std::vector<uint8_t> buffer;
  while (length > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(length, 1 << 30));
    ssize_t n = -1;
    if (kernel) {
      loff_t from = in, to = out;
      n = ::copy_file_range(source.fd_, &from, fd_, &to, want, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
        kernel = false;  // the kernel cannot copy between these files: go through a buffer
        continue;
      }
      if (n < 0) throw EOSError(errno, "write", path_);
    } else {
      if (buffer.empty()) buffer.resize(static_cast<size_t>(std::min<int64_t>(length, 1 << 20)));
      n = ::pread(source.fd_, buffer.data(), std::min(want, buffer.size()), in);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throw EOSError(errno, "read", source.path_);
      for (ssize_t done = 0; done < n;) {
        const ssize_t w =
            ::pwrite(fd_, buffer.data() + done, static_cast<size_t>(n - done), out + done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) throw EOSError(errno, "write", path_);
        done += w;
      }
    }
    if (n == 0) throw EOSError(EIO, "read", source.path_);
    in += n;
    out += n;
    length -= n;
  }
}

void TFile::Seek(int64_t position) {
  if (::lseek(fd_, position, SEEK_SET) < 0) throw EOSError(errno, "seek", path_);
}

int64_t TFile::Position() const {
  const off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (pos < 0) throw EOSError(errno, "seek", path_);
  return pos;
}

int64_t TFile::Size() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw EOSError(errno, "stat", path_);
  return st.st_size;
}

void TFile::Truncate(int64_t length) {
  CheckFault("truncate", path_);
  if (::ftruncate(fd_, length) != 0) throw EOSError(errno, "truncate", path_);
}

void TFile::Sync() {
  CheckFault("sync", path_);
  if (::fsync(fd_) != 0) throw EOSError(errno, "sync", path_);
}

void TFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  fd_ = -1;
  // The descriptor is released even when the hook fails the close, as close(2) releases it.
  const int injected = InjectedFault("close", path_);
  if (::close(fd) != 0) throw EOSError(errno, "close", path_);
  if (injected != 0) throw EOSError(injected, "close", path_);
}

void TFile::Release() noexcept {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
}

bool TFile::IsRegular() const {
  struct stat st {};
  return ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
}

bool TFile::TryLockExclusive() { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0; }

void TFile::SetMode(unsigned mode) {
  CheckFault("chmod", path_);
  if (::fchmod(fd_, mode) != 0) throw EOSError(errno, "chmod", path_);
}

std::string TempDirectory() {
  std::error_code ec;
  std::string dir = std::filesystem::temp_directory_path(ec).string();
  if (ec || dir.empty()) dir = "/tmp";
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string CreateTempFile(const std::string& directory, std::string_view prefix) {
  static std::mt19937_64 generator{std::random_device{}()};
  char digits[17];
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::snprintf(digits, sizeof digits, "%08llX",
                  static_cast<unsigned long long>(generator() & 0xFFFFFFFFu));
    std::string name = directory + "/" + std::string(prefix) + digits + ".tmp";
    if (const int error = InjectedFault("create", name); error != 0) {
      errno = error;
      return {};
    }
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      ::fchmod(fd, 0600);  // whatever the umask took away
      ::close(fd);
      return name;
    }
    if (errno != EEXIST) return {};
  }
  return {};
}

TFile CreateLockedTempFile(const std::string& directory, std::string_view prefix) {
  static std::mt19937_64 generator{std::random_device{}()};
  char digits[17];
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::snprintf(digits, sizeof digits, "%08llX",
                  static_cast<unsigned long long>(generator() & 0xFFFFFFFFu));
    std::string name = directory + "/" + std::string(prefix) + digits + ".tmp";
    if (const int error = InjectedFault("create", name); error != 0) {
      errno = error;
      return {};
    }
    const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    TFile file(fd, name);
    // A sweep in another process may have locked the new file before us, to delete it; then it
    // is gone or going, and another name is needed. Once locked, the name must still be ours.
    struct stat by_fd {}, by_name {};
    if (file.TryLockExclusive() && ::fstat(fd, &by_fd) == 0 &&
        ::lstat(name.c_str(), &by_name) == 0 && by_fd.st_ino == by_name.st_ino &&
        by_fd.st_dev == by_name.st_dev) {
      // 0600 whatever the umask: these files hold the user's pictures.
      try {
        file.SetMode(0600);
      } catch (const EOSError& error) {
        DeleteFile(name);
        errno = error.Code();
        return {};
      }
      return file;
    }
  }
  errno = EEXIST;
  return {};
}

std::vector<std::string> TempFilesNamed(const std::string& directory, std::string_view prefix) {
  return TTempFolderListing(directory).Named(prefix);
}

namespace {

constexpr std::string_view kTempSuffix = ".tmp";
constexpr size_t kTempDigits = 8;

bool EndsInTempDigits(std::string_view name) {
  if (name.size() < kTempDigits + kTempSuffix.size() || !name.ends_with(kTempSuffix)) return false;
  const std::string_view digits =
      name.substr(name.size() - kTempSuffix.size() - kTempDigits, kTempDigits);
  return std::all_of(digits.begin(), digits.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

}  // namespace

TTempFolderListing::TTempFolderListing(std::string directory) : directory_(std::move(directory)) {
  DIR* folder = ::opendir(directory_.c_str());
  if (folder == nullptr) return;  // nothing to find
  const std::unique_ptr<DIR, int (*)(DIR*)> closer(folder, ::closedir);
  while (const dirent* entry = ::readdir(folder)) {
    const std::string_view name(entry->d_name);
    if (EndsInTempDigits(name)) names_.emplace_back(name);
  }
}

std::vector<std::string> TTempFolderListing::Named(std::string_view prefix) const {
  std::vector<std::string> paths;
  for (const std::string& name : names_) {
    if (name.size() == prefix.size() + kTempDigits + kTempSuffix.size() &&
        name.starts_with(prefix)) {
      paths.push_back(directory_ + "/" + name);
    }
  }
  return paths;
}

bool DeleteIfUnlocked(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  TFile file(fd, path);
  struct stat by_fd {}, by_name {};
  if (::fstat(fd, &by_fd) != 0 || !S_ISREG(by_fd.st_mode) || by_fd.st_uid != ::geteuid()) {
    return false;
  }
  if (!file.TryLockExclusive()) return false;  // a live process holds it
  // Delete only the file that was locked, not one that took its name meanwhile.
  if (::lstat(path.c_str(), &by_name) != 0 || by_name.st_ino != by_fd.st_ino ||
      by_name.st_dev != by_fd.st_dev) {
    return false;
  }
  return DeleteFile(path);
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

TFileKind FileKind(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return TFileKind::kMissing;
  if (S_ISREG(st.st_mode)) return TFileKind::kRegular;
  return S_ISDIR(st.st_mode) ? TFileKind::kFolder : TFileKind::kOther;
}

bool DeleteFile(const std::string& path) {
  if (const int error = InjectedFault("unlink", path); error != 0) {
    errno = error;
    return false;
  }
  return ::unlink(path.c_str()) == 0;
}

std::optional<TFileTime> FileTimeStamp(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return TFileTime{st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

namespace {
TFileIdentity IdentityOfStat(const struct stat& st) {
  return TFileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino),
                       static_cast<int64_t>(st.st_size),
                       TFileTime{st.st_mtim.tv_sec, st.st_mtim.tv_nsec}};
}
}  // namespace

std::optional<TFileIdentity> FileIdentityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return IdentityOfStat(st);
}

TFileIdentity TFile::Identity() const {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) throw EOSError(errno, "stat", path_);
  return IdentityOfStat(st);
}

bool TFile::LinkAs(const std::string& new_path) const {
  if (const int fault = InjectedFault("link", new_path); fault != 0) {
    errno = fault;
    return false;
  }
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, new_path.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

void SyncFolderOf(const std::string& path) { SyncDirectoryOf(path); }

bool IsLockedByOther(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  TFile file(fd, path);
  return !file.TryLockExclusive();  // the lock, if taken, goes with the descriptor
}

bool IsReadOnlyFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::string ExpandFileName(const std::string& path) {
  if (path.empty()) return path;
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(path, ec);
  if (ec) absolute = path;
  std::string result = absolute.lexically_normal().string();
  // A trailing separator would make "dir/" and "dir" differ; a file name never has one.
  while (result.size() > 1 && result.back() == '/') result.pop_back();
  return result;
}

std::string ExtractFileName(std::string_view path) {
  const size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string ExtractFileDir(std::string_view path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string ExtractFileExt(std::string_view path) {
  const std::string name = ExtractFileName(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

std::string FileNameFromText(std::string_view text) {
  std::string name(text);
  for (char& c : name) {
    if (c == '/' || c == '\0') c = '_';
  }
  if (name.empty() || name == "." || name == "..") name = std::string(name.size() + 1, '_');
  return name;
}

namespace {

// Whether the user may write the file or folder at path. Root may write anything, but a file whose
// permission bits allow nobody to write is read-only for root too, as it is for the user who set
// them; everyone else asks the system, which knows groups and access lists.
bool UserMayWrite(const std::string& path, const struct stat& st) {
  if (::geteuid() == 0) return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
  return ::access(path.c_str(), W_OK) == 0;
}

bool FolderWritable(const std::string& path) {
  const std::string dir = ExtractFileDir(path);
  struct stat st {};
  const std::string folder = dir.empty() ? "." : dir;
  return ::stat(folder.c_str(), &st) == 0 && UserMayWrite(folder, st);
}

// How an existing target is to be written.
enum class TTargetKind { kNew, kReplace, kInPlace };

// Decides for the resolved target: a regular file the user may write is replaced, or written in
// place when its folder cannot take a new file; a read-only one is refused (EACCES) and a folder
// too (EISDIR); a device, FIFO or socket is written in place.
TTargetKind ClassifyTarget(const std::string& real, const std::string& shown, struct stat& st) {
  if (::stat(real.c_str(), &st) != 0) return TTargetKind::kNew;
  if (S_ISDIR(st.st_mode)) throw EOSError(EISDIR, "replace", shown);
  if (!S_ISREG(st.st_mode)) return TTargetKind::kInPlace;
  if (!UserMayWrite(real, st)) throw EOSError(EACCES, "replace", shown);
  return FolderWritable(real) ? TTargetKind::kReplace : TTargetKind::kInPlace;
}

// Opens an existing target for writing over its bytes; a FIFO waits for its reader, as a shell's
// redirection does.
TFile OpenInPlace(const std::string& real) {
  CheckFault("open", real);
  const int fd = ::open(real.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) throw EOSError(errno, "open", real);
  return TFile(fd, real);
}

// After writing in place: a regular file is cut to what was written and synced.
void FinishInPlace(TFile& file) {
  if (file.IsRegular()) {
    file.Truncate(file.Position());
    file.Sync();
  }
  file.Close();
}

}  // namespace

std::string ResolveFileLinks(const std::string& path) {
  std::error_code error;
  std::filesystem::path p = path;
  // Follow the chain by hand: a last link that points nowhere yet still names where to write.
  for (int hops = 0; hops < 40 && std::filesystem::is_symlink(p, error); ++hops) {
    const std::filesystem::path to = std::filesystem::read_symlink(p, error);
    if (error) break;
    p = to.is_absolute() ? to : p.parent_path() / to;
  }
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(p, error);
  return error ? p.lexically_normal().string() : resolved.string();
}

int ReplaceFile(const std::string& source, const std::string& target) {
  const std::string real = ResolveFileLinks(target);
  struct stat st {};
  const TTargetKind kind = ClassifyTarget(real, target, st);
  if (kind == TTargetKind::kInPlace) {
    TFile in = TFile::Open(source, FileMode::kRead);
    TFile out = OpenInPlace(real);
    std::vector<uint8_t> buffer(1 << 20);
    for (size_t n; (n = in.Read(buffer)) > 0;) out.Write(std::span(buffer.data(), n));
    FinishInPlace(out);
    in.Release();
    DeleteFile(source);
    return 0;
  }
  {
    TFile file = TFile::Open(source, FileMode::kReadWrite);
    if (kind == TTargetKind::kReplace) {
      file.SetMode(st.st_mode & 07777);
      // Keep the owner of a file replaced on someone's behalf (by root); others cannot, and the
      // file is then theirs, as after any editor's save.
      if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
        [[maybe_unused]] const int ignored = ::fchown(file.Descriptor(), st.st_uid, st.st_gid);
      }
    }
    file.Sync();
    file.Close();
  }
  try {
    RenameFile(source, real);
  } catch (const EOSError& error) {
    if (error.Code() != EXDEV) throw;
    // Another file system: copy beside the target first, so the final step is still a rename.
    const std::string beside = CopyBeside(source, real);
    try {
      RenameFile(beside, real);
    } catch (...) {
      DeleteFile(beside);
      throw;
    }
    DeleteFile(source);
  }
  // The rename has replaced the target: a failing folder sync cannot undo that, so raising would
  // make callers act on a state that no longer exists. It is returned for them to report.
  try {
    SyncDirectoryOf(real);
  } catch (const EOSError& error) {
    return error.Code();
  }
  return 0;
}

int WriteFileAtomically(const std::string& path, const std::function<void(TFile& file)>& write,
                        unsigned new_file_mode, std::string_view temp_prefix) {
  const std::string real = ResolveFileLinks(ExpandFileName(path));
  struct stat st {};
  if (ClassifyTarget(real, path, st) == TTargetKind::kInPlace) {
    TFile file = OpenInPlace(real);
    write(file);
    FinishInPlace(file);
    return 0;
  }
  errno = 0;
  TFile file = CreateLockedTempFile(ExtractFileDir(real), temp_prefix);
  if (!file.IsOpen()) throw EOSError(errno ? errno : EIO, "create", path);
  int unsynced = 0;
  try {
    if (new_file_mode == kModeFromUmask) {
      // The usual mode for the user's umask (ReplaceFile keeps an old file's mode); umask can
      // only be read by setting it, and the program has one thread.
      const mode_t mask = ::umask(0);
      ::umask(mask);
      file.SetMode(0666 & ~mask);
    } else {
      file.SetMode(new_file_mode);
    }
    write(file);
    // The file stays open, and so locked, until it has taken the target's place: a sweep of
    // leftovers by another process never takes it for one.
    unsynced = ReplaceFile(file.Path(), real);
  } catch (...) {
    DeleteFile(file.Path());
    throw;
  }
  // Its bytes were synced and have taken the target's place: only the lock is let go here.
  file.Release();
  return unsynced;
}

void WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  WriteFileAtomically(path, [bytes](TFile& file) { file.Write(bytes); });
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  TFile file = TFile::Open(path, FileMode::kRead);
  std::vector<uint8_t> bytes(static_cast<size_t>(file.Size()));
  file.ReadExact(bytes);
  file.Release();
  return bytes;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  try {
    return ReadWholeFile(path);
  } catch (const EOSError&) {
    return {};
  }
}

}  // namespace sk
