// The "drives" a person browses when choosing a folder: the home folder, the root, and the mounted
// file systems that hold a person's files (other disks, removable media, network shares), taken
// from the kernel's mount table. Pseudo file systems (proc, sysfs, tmpfs run folders, cgroups, ...)
// and system mounts are left out.
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

namespace sk {

// One line of a mount table (the format of /proc/self/mounts and /etc/mtab).
struct TMountEntry {
  std::string device;
  std::string mount_point;  // with the table's octal escapes ("\040" for a blank) decoded
  std::string fs_type;
  bool operator==(const TMountEntry&) const = default;
};

enum class TDriveKind { kHome, kRoot, kFixed, kRemovable, kNetwork };

struct TDrive {
  std::string path;  // an absolute folder
  TDriveKind kind;
  bool operator==(const TDrive&) const = default;
};

// Reads the entries of a mount table, one per line: device, mount point, type, options, dump and
// pass, separated by blanks. Lines with fewer than three fields are skipped.
std::vector<TMountEntry> ParseMounts(std::istream& table);

// Decodes the octal escapes ("\ooo") the kernel writes for blanks, tabs, newlines and backslashes
// in the fields of a mount table; any other backslash stays as it is.
std::string DecodeMountField(std::string_view field);

// The kind of drive a mount is, or kNone when a person would not browse it: a pseudo or memory
// file system, or a disk mounted at a system place (/boot, /proc, /sys, /dev, /run except
// /run/media, /snap, /usr, /var, /etc and the like).
enum class TMountClass { kNone, kFixed, kRemovable, kNetwork };
TMountClass ClassifyMount(const TMountEntry& entry);

// The drives in the order a chooser lists them: home (when not empty), then "/", then the browsable
// mounts in table order, each folder once. is_folder tells whether a mount point is a folder
// (bind mounts of single files are left out); it is not asked about home and "/".
std::vector<TDrive> BrowsableDrives(std::istream& table, const std::string& home,
                                    const std::function<bool(const std::string&)>& is_folder);

// BrowsableDrives of /proc/self/mounts with $HOME, checking folders on disk. Without a readable
// mount table the list is home and "/".
std::vector<TDrive> SystemDrives();

// The drive of drives that holds folder: the one with the longest path that is folder or one of
// its parents; the first drive when none is (drives must not be empty).
const TDrive& DriveOfFolder(const std::vector<TDrive>& drives, std::string_view folder);

}  // namespace sk
