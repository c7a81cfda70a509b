// The drive list from the mount table.
#include "platform/Drives.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace sk {

namespace {

struct TTypeRow {
  std::string_view fs_type;
  TDriveType type;
};

// File system types by the storage they reach; every other type is a pseudo file system or one
// not known here.
constexpr TTypeRow kTypes[] = {
    // Local disks and media, and file systems layered over them.
    {"ext2", TDriveType::kFixed},
    {"ext3", TDriveType::kFixed},
    {"ext4", TDriveType::kFixed},
    {"xfs", TDriveType::kFixed},
    {"btrfs", TDriveType::kFixed},
    {"f2fs", TDriveType::kFixed},
    {"jfs", TDriveType::kFixed},
    {"reiserfs", TDriveType::kFixed},
    {"zfs", TDriveType::kFixed},
    {"bcachefs", TDriveType::kFixed},
    {"nilfs2", TDriveType::kFixed},
    {"vfat", TDriveType::kFixed},
    {"msdos", TDriveType::kFixed},
    {"exfat", TDriveType::kFixed},
    {"ntfs", TDriveType::kFixed},
    {"ntfs3", TDriveType::kFixed},
    {"fuseblk", TDriveType::kFixed},
    {"hfs", TDriveType::kFixed},
    {"hfsplus", TDriveType::kFixed},
    {"apfs", TDriveType::kFixed},
    {"ufs", TDriveType::kFixed},
    {"fuse.exfat", TDriveType::kFixed},
    {"fuse.ntfs-3g", TDriveType::kFixed},
    {"overlay", TDriveType::kFixed},
    // Optical discs.
    {"iso9660", TDriveType::kCDROM},
    {"udf", TDriveType::kCDROM},
    // Files on another machine, or on the host of a virtual machine.
    {"nfs", TDriveType::kNetwork},
    {"nfs4", TDriveType::kNetwork},
    {"cifs", TDriveType::kNetwork},
    {"smb3", TDriveType::kNetwork},
    {"smbfs", TDriveType::kNetwork},
    {"ncpfs", TDriveType::kNetwork},
    {"afs", TDriveType::kNetwork},
    {"ceph", TDriveType::kNetwork},
    {"9p", TDriveType::kNetwork},
    {"virtiofs", TDriveType::kNetwork},
    {"vboxsf", TDriveType::kNetwork},
    {"davfs", TDriveType::kNetwork},
    {"sshfs", TDriveType::kNetwork},
    {"fuse.sshfs", TDriveType::kNetwork},
    {"fuse.rclone", TDriveType::kNetwork},
    {"fuse.glusterfs", TDriveType::kNetwork},
    {"glusterfs", TDriveType::kNetwork},
    // Memory.
    {"tmpfs", TDriveType::kRAMDisk},
    {"ramfs", TDriveType::kRAMDisk},
};

// Places where the system mounts what it needs for itself.
constexpr std::array<std::string_view, 13> kSystemPlaces = {
    "/bin", "/boot", "/dev",  "/etc", "/lib", "/lib64", "/proc",
    "/run", "/sbin", "/snap", "/sys", "/usr", "/var"};

// Places where removable media are mounted by the desktop or by hand.
constexpr std::array<std::string_view, 3> kRemovablePlaces = {"/media", "/run/media", "/mnt"};

// Whether path is place or lies inside it.
bool Within(std::string_view path, std::string_view place) {
  if (path.substr(0, place.size()) != place) return false;
  return path.size() == place.size() || path[place.size()] == '/';
}

template <size_t N>
bool WithinAny(std::string_view path, const std::array<std::string_view, N>& places) {
  return std::any_of(places.begin(), places.end(),
                     [path](std::string_view place) { return Within(path, place); });
}

bool IsOctal(char c) {
  return c >= '0' && c <= '7';
}

// A folder path without trailing slashes ("/" stays "/").
std::string Normalised(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string DecodeMountField(std::string_view field) {
  std::string decoded;
  decoded.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value > 0 && value < 256) {
        decoded.push_back(static_cast<char>(value));
        i += 3;
        continue;
      }
    }
    decoded.push_back(field[i]);
  }
  return decoded;
}

std::vector<TMountEntry> ParseMounts(std::istream& table) {
  std::vector<TMountEntry> entries;
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string device, mount_point, fs_type;
    if (!(fields >> device >> mount_point >> fs_type)) continue;
    entries.push_back(
        {DecodeMountField(device), DecodeMountField(mount_point), DecodeMountField(fs_type)});
  }
  return entries;
}

TMountClass ClassifyMount(const TMountEntry& entry) {
  const std::string& place = entry.mount_point;
  if (place.empty() || place.front() != '/') return TMountClass::kNone;
  const bool removable_place = WithinAny(place, kRemovablePlaces);
  if (!removable_place && WithinAny(place, kSystemPlaces)) return TMountClass::kNone;
  switch (DriveTypeOf(entry.fs_type)) {
    case TDriveType::kNetwork: return TMountClass::kNetwork;
    case TDriveType::kFixed:
    case TDriveType::kCDROM: return removable_place ? TMountClass::kRemovable : TMountClass::kFixed;
    // A memory file system holds nothing a person keeps.
    case TDriveType::kRAMDisk:
    case TDriveType::kUnknown: return TMountClass::kNone;
  }
  return TMountClass::kNone;
}

TDriveType DriveTypeOf(std::string_view fs_type) {
  for (const TTypeRow& row : kTypes) {
    if (row.fs_type == fs_type) return row.type;
  }
  return TDriveType::kUnknown;
}

std::vector<std::string> ScanDrives(const std::vector<TMountEntry>& mounts,
                                    const std::function<bool(const std::string&)>& is_folder) {
  std::vector<std::string> drives;
  for (const TMountEntry& entry : mounts) {
    if (entry.mount_point.empty() || entry.mount_point.front() != '/') continue;
    if (DriveTypeOf(entry.fs_type) == TDriveType::kUnknown) continue;
    std::string path = Normalised(entry.mount_point);
    if (std::find(drives.begin(), drives.end(), path) != drives.end()) continue;
    if (!is_folder(path)) continue;
    drives.push_back(std::move(path));
  }
  return drives;
}

std::string MountPointOf(const std::vector<TMountEntry>& mounts, std::string_view folder) {
  std::string best = "/";
  for (const TMountEntry& entry : mounts) {
    if (entry.mount_point.empty() || entry.mount_point.front() != '/') continue;
    const std::string path = Normalised(entry.mount_point);
    if ((path == "/" || Within(folder, path)) && path.size() >= best.size()) best = path;
  }
  return best;
}

std::vector<TMountEntry> SystemMounts() {
  std::ifstream table("/proc/self/mounts");
  if (!table) return {};
  return ParseMounts(table);
}

std::vector<TDrive> BrowsableDrives(std::istream& table, const std::string& home,
                                    const std::function<bool(const std::string&)>& is_folder) {
  std::vector<TDrive> drives;
  auto listed = [&drives](const std::string& path) {
    return std::any_of(drives.begin(), drives.end(),
                       [&path](const TDrive& drive) { return drive.path == path; });
  };
  const std::string home_path = Normalised(home);
  if (!home_path.empty() && home_path.front() == '/' && home_path != "/") {
    drives.push_back({home_path, TDriveKind::kHome});
  }
  drives.push_back({"/", TDriveKind::kRoot});
  for (const TMountEntry& entry : ParseMounts(table)) {
    const std::string path = Normalised(entry.mount_point);
    TDriveKind kind = TDriveKind::kFixed;
    switch (ClassifyMount({entry.device, path, entry.fs_type})) {
      case TMountClass::kNone: continue;
      case TMountClass::kFixed: kind = TDriveKind::kFixed; break;
      case TMountClass::kRemovable: kind = TDriveKind::kRemovable; break;
      case TMountClass::kNetwork: kind = TDriveKind::kNetwork; break;
    }
    if (listed(path) || !is_folder(path)) continue;
    drives.push_back({path, kind});
  }
  return drives;
}

std::vector<TDrive> SystemDrives() {
  const char* home = std::getenv("HOME");
  std::ifstream table("/proc/self/mounts");
  return BrowsableDrives(table, home == nullptr ? std::string() : std::string(home),
                         [](const std::string& path) {
                           struct stat info {};
                           return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
                         });
}

const TDrive& DriveOfFolder(const std::vector<TDrive>& drives, std::string_view folder) {
  const TDrive* best = &drives.front();
  size_t best_length = 0;
  for (const TDrive& drive : drives) {
    if (Within(folder, drive.path) || drive.path == "/") {
      const size_t length = drive.path == "/" ? 1 : drive.path.size();
      if (length > best_length) {
        best = &drive;
        best_length = length;
      }
    }
  }
  return *best;
}

}  // namespace sk
