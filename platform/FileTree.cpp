// The POSIX directory tree: listings through opendir and readdir, details through fstatat.
#include "platform/FileTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <system_error>

namespace sk {

namespace {

TEntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return TEntryKind::kFile;
  if (S_ISDIR(mode)) return TEntryKind::kDirectory;
  if (S_ISLNK(mode)) return TEntryKind::kLink;
  return TEntryKind::kOther;
}

TEntryKind KindOfDirentType(unsigned char type) {
  switch (type) {
    case DT_REG: return TEntryKind::kFile;
    case DT_DIR: return TEntryKind::kDirectory;
    case DT_LNK: return TEntryKind::kLink;
    default: return TEntryKind::kOther;
  }
}

class TPosixListing : public TDirectoryListing {
 public:
  TPosixListing(DIR* dir, TDirectoryId id) : dir_(dir), id_(id) {}
  ~TPosixListing() override { ::closedir(dir_); }
  TPosixListing(const TPosixListing&) = delete;
  TPosixListing& operator=(const TPosixListing&) = delete;

  TDirectoryId Id() const override { return id_; }

  bool Next(TTreeEntry& entry) override {
    const dirent* found = ::readdir(dir_);
    if (found == nullptr) return false;
    entry.name = found->d_name;
    if (found->d_type != DT_UNKNOWN) {
      entry.kind = KindOfDirentType(found->d_type);
    } else {
      // Some file systems do not say what an entry is; ask for it.
      struct stat info {};
      entry.kind = ::fstatat(::dirfd(dir_), found->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0
                       ? KindOfMode(info.st_mode)
                       : TEntryKind::kOther;
    }
    return true;
  }

  std::optional<TEntryDetails> Details(const TTreeEntry& entry) override {
    struct stat info {};
    if (::fstatat(::dirfd(dir_), entry.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
      return std::nullopt;
    }
    TEntryDetails details;
    details.kind = KindOfMode(info.st_mode);
    if (details.kind == TEntryKind::kLink) {
      struct stat target {};
      if (::fstatat(::dirfd(dir_), entry.name.c_str(), &target, 0) == 0) {
        info = target;
        details.kind = KindOfMode(info.st_mode);
      } else {
        details.kind = TEntryKind::kOther;
      }
    }
    if (details.kind == TEntryKind::kFile) {
      details.size = static_cast<uint64_t>(info.st_size);
      details.attr |= kAttrArchive;
    } else if (details.kind == TEntryKind::kDirectory) {
      details.attr |= kAttrDirectory;
    }
    if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) details.attr |= kAttrReadOnly;
    if (!entry.name.empty() && entry.name.front() == '.') details.attr |= kAttrHidden;
    details.time = PackedFATTime(static_cast<int64_t>(info.st_mtim.tv_sec));
    return details;
  }

 private:
  DIR* dir_;
  TDirectoryId id_;
};

}  // namespace

std::unique_ptr<TDirectoryListing> TPosixFileTree::Open(const std::string& path, bool follow_link) {
  if (path.empty()) return nullptr;
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow_link ? 0 : O_NOFOLLOW);
  const int fd = ::open(path.c_str(), flags);
  if (fd < 0) return nullptr;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return nullptr;
  }
  DIR* dir = ::fdopendir(fd);  // owns fd from here on
  if (dir == nullptr) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<TPosixListing>(
      dir, TDirectoryId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)});
}

std::vector<TMountEntry> TPosixFileTree::Mounts() {
  return SystemMounts();
}

std::string TPosixFileTree::Canonical(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) return path;
  const std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, error);
  return error ? absolute.lexically_normal().string() : canonical.string();
}

bool TPosixFileTree::IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

uint32_t PackedFATTime(int64_t seconds) {
  constexpr uint32_t kEarliest = (0u << 25) | (1u << 21) | (1u << 16);  // 1980-01-01 00:00:00
  constexpr uint32_t kLatest =
      (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  const std::time_t when = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (::localtime_r(&when, &local) == nullptr) return kEarliest;
  const int year = local.tm_year + 1900;
  if (year < 1980) return kEarliest;
  if (year > 2107) return kLatest;
  const uint32_t date = (static_cast<uint32_t>(year - 1980) << 9) |
                        (static_cast<uint32_t>(local.tm_mon + 1) << 5) |
                        static_cast<uint32_t>(local.tm_mday);
  const uint32_t time = (static_cast<uint32_t>(local.tm_hour) << 11) |
                        (static_cast<uint32_t>(local.tm_min) << 5) |
                        static_cast<uint32_t>(local.tm_sec / 2);
  return (date << 16) | time;
}

}  // namespace sk
