// The parts of the file system a disk scan reads: directory listings in the order the file system
// returns them, the details of one entry, and the mount table. Production code uses the POSIX tree;
// tests put an in-memory or failing tree in its place.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Drives.h"

namespace sk {

// What a directory entry is, as far as a listing tells it without following links.
enum class TEntryKind { kFile, kDirectory, kLink, kOther };

// Attribute bits of an entry, as a scan reports them.
inline constexpr uint32_t kAttrReadOnly = 0x01;  // no write permission bit set
inline constexpr uint32_t kAttrHidden = 0x02;    // the name starts with "."
inline constexpr uint32_t kAttrDirectory = 0x10;
inline constexpr uint32_t kAttrArchive = 0x20;  // a regular file

struct TTreeEntry {
  std::string name;
  TEntryKind kind = TEntryKind::kOther;
};

// What a scan keeps of an entry. For a link, everything but the hidden bit describes the entry it
// points to.
struct TEntryDetails {
  TEntryKind kind = TEntryKind::kOther;  // never kLink: a link's target (kOther when dangling)
  uint64_t size = 0;                     // bytes; 0 for directories
  uint32_t attr = 0;                     // the kAttr bits
  uint32_t time = 0;                     // last write, local time, as PackedFATTime packs it
};

// Identifies a directory on the system: its file system's device number and its inode.
struct TDirectoryId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const TDirectoryId&) const = default;
};

// An open directory listing. Destroying it closes the listing.
class TDirectoryListing {
 public:
  virtual ~TDirectoryListing() = default;
  // The directory being listed.
  virtual TDirectoryId Id() const = 0;
  // The next entry, "." and ".." included as the system returns them; false at the end and when
  // the system fails to read further.
  virtual bool Next(TTreeEntry& entry) = 0;
  // The details of entry, an entry this listing returned; nothing when it has vanished.
  virtual std::optional<TEntryDetails> Details(const TTreeEntry& entry) = 0;
};

class TFileTree {
 public:
  virtual ~TFileTree() = default;
  // Opens the listing of the directory path, following a link at its last part only with
  // follow_link; null when the directory cannot be listed (missing, not a directory, no access,
  // too many open files).
  virtual std::unique_ptr<TDirectoryListing> Open(const std::string& path, bool follow_link) = 0;
  // The mount table.
  virtual std::vector<TMountEntry> Mounts() = 0;
  // path made absolute with links and "." and ".." parts resolved as far as it exists.
  virtual std::string Canonical(const std::string& path) = 0;
  // Whether path is a directory (following links).
  virtual bool IsDirectory(const std::string& path) = 0;
};

// The system's own tree (opendir and readdir, /proc/self/mounts).
class TPosixFileTree : public TFileTree {
 public:
  std::unique_ptr<TDirectoryListing> Open(const std::string& path, bool follow_link) override;
  std::vector<TMountEntry> Mounts() override;
  std::string Canonical(const std::string& path) override;
  bool IsDirectory(const std::string& path) override;
};

// A time in seconds since 1970 as the FAT file system packs local time: the date
// ((year - 1980) << 9 | month << 5 | day) in the high 16 bits and the time
// (hour << 11 | minute << 5 | second / 2) in the low 16 bits. Times before 1980 give
// 1980-01-01 00:00:00, times after 2107 give 2107-12-31 23:59:58.
uint32_t PackedFATTime(int64_t seconds);

}  // namespace sk
