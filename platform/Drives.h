// The "drives" of the system, taken from the kernel's mount table: the ones a person browses when
// choosing a folder (home, the root, other disks, removable media, network shares; pseudo file
// systems and system mounts left out), and the ones a disk scan visits (every mounted file system
// of a disk, network, CD-ROM or RAM disk type).
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

// What kind of storage a file system type names: a disk (ext4, xfs, btrfs, vfat, exfat, ntfs3,
// fuseblk, overlay, ...), a network share (nfs, cifs, smb3, sshfs, 9p, ...), an optical disc
// (iso9660, udf), memory (tmpfs, ramfs), or kUnknown for pseudo file systems (proc, sysfs,
// devtmpfs, cgroup, ...) and types not known here.
enum class TDriveType { kUnknown, kFixed, kNetwork, kCDROM, kRAMDisk };
TDriveType DriveTypeOf(std::string_view fs_type);

// The mount points a scan of all disks visits, each once, in table order: mounts whose type is
// fixed, network, CD-ROM or RAM disk (DriveTypeOf) and whose mount point is an absolute path that
// is_folder accepts (bind mounts of single files and vanished mounts are left out). Trailing
// slashes are removed.
std::vector<std::string> ScanDrives(const std::vector<TMountEntry>& mounts,
                                    const std::function<bool(const std::string&)>& is_folder);

// The mount point that holds folder (an absolute path without "." or ".." parts): the longest
// mount point of mounts that is folder or one of its parents, the later one of equal mount points
// (a later mount hides an earlier one), "/" when none is.
std::string MountPointOf(const std::vector<TMountEntry>& mounts, std::string_view folder);

// The entries of /proc/self/mounts; empty when it cannot be read.
std::vector<TMountEntry> SystemMounts();

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
