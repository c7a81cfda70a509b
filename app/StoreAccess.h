// Whether a store file can be written back where it lives, and why not. The store writes its
// container beside the file and renames it into place, so its folder must take a new file, on a
// disk that is not read-only and has room for it. The program opens a store it cannot write
// back as read-only, and names the cause when writing one back fails. (A file the user may write in
// a folder the user may not is written in place, so only both refusals together stop the write.)
#pragma once

#include <QString>
#include <cstdint>

namespace sk {

// What the file system says about a store file's place.
struct TWriteAccess {
  bool read_only_disk = false;  // the file system holding the folder is mounted read-only
  bool folder_writable = true;  // the folder takes new files and renames (for this user)
  bool file_writable = false;   // the file exists and this user may write it in place
  bool read_only_file = false;  // the file carries no write permission at all
  int64_t free_bytes = -1;      // room left for this user on that file system; -1: unknown
};

// Why a store cannot be written back; kNone when nothing is known to stop it.
enum class TWriteBlock { kNone, kReadOnlyFile, kReadOnlyDisk, kNoPermission, kDiskFull };

// Looks at the file system for store_path (which need not exist; its folder must).
TWriteAccess ProbeWriteAccess(const QString& store_path);

// The first cause in access that keeps a store of bytes_needed bytes from being written back
// (bytes_needed < 0: the room is not checked).
TWriteBlock WhyNotWritable(const TWriteAccess& access, int64_t bytes_needed);

// The sentence that tells the user the cause, naming the store (kNone gives "").
QString WriteBlockText(TWriteBlock block, const QString& store_path);

}  // namespace sk
