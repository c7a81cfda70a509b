// Tests of the drive list: mount-table parsing, classification by file-system type and place,
// and the order a folder chooser shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "platform/Drives.h"

namespace sk {
namespace {

TEST(DrivesTest, ParsesFieldsAndDecodesOctalEscapes) {
  std::istringstream table(
      "/dev/sda1 / ext4 rw,relatime 0 0\n"
      "\n"
      "incomplete-line\n"
      "//nas/My\\040Photos /mnt/my\\040photos cifs rw 0 0\n"
      "/dev/sdb1 /media/ann/back\\134slash\\011tab vfat rw 0 0\n");
  const std::vector<TMountEntry> expected = {
      {"/dev/sda1", "/", "ext4"},
      {"//nas/My Photos", "/mnt/my photos", "cifs"},
      {"/dev/sdb1", "/media/ann/back\\slash\ttab", "vfat"},
  };
  EXPECT_EQ(ParseMounts(table), expected);
}

TEST(DrivesTest, DecodeKeepsBackslashesThatAreNoEscape) {
  const struct {
    const char* field;
    const char* decoded;
  } cases[] = {
      {"plain", "plain"},   {"a\\040b", "a b"}, {"end\\04", "end\\04"},
      {"x\\9yz", "x\\9yz"}, {"\\000", "\\000"}, {"\\012\\134", "\n\\"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(DecodeMountField(c.field), c.decoded);
  }
}

TEST(DrivesTest, ClassifiesByFileSystemTypeAndPlace) {
  const struct {
    const char* mount_point;
    const char* fs_type;
    TMountClass expected;
  } cases[] = {
      {"/data", "ext4", TMountClass::kFixed},
      {"/home", "btrfs", TMountClass::kFixed},
      {"/media/ann/USB STICK", "vfat", TMountClass::kRemovable},
      {"/run/media/ann/DVD", "iso9660", TMountClass::kRemovable},
      {"/mnt/backup", "ntfs3", TMountClass::kRemovable},
      {"/media/ann/phone", "fuseblk", TMountClass::kRemovable},
      {"/srv/share", "nfs4", TMountClass::kNetwork},
      {"/home/ann/nas", "cifs", TMountClass::kNetwork},
      {"/home/ann/remote", "fuse.sshfs", TMountClass::kNetwork},
      {"/mnt/host", "9p", TMountClass::kNetwork},
      // Pseudo and memory file systems, wherever they are.
      {"/proc", "proc", TMountClass::kNone},
      {"/sys", "sysfs", TMountClass::kNone},
      {"/sys/fs/cgroup/cpu", "cgroup", TMountClass::kNone},
      {"/dev/shm", "tmpfs", TMountClass::kNone},
      {"/tmp", "tmpfs", TMountClass::kNone},
      {"/mnt/ram", "tmpfs", TMountClass::kNone},
      {"/run/user/1000", "tmpfs", TMountClass::kNone},
      {"/run/user/1000/gvfs", "fuse.gvfsd-fuse", TMountClass::kNone},
      {"/snap/core/1", "squashfs", TMountClass::kNone},
      {"/var/lib/docker/overlay2/x/merged", "overlay", TMountClass::kNone},
      {"/proc/sys/fs/binfmt_misc", "autofs", TMountClass::kNone},
      // Disks mounted where the system keeps its own things.
      {"/boot", "ext4", TMountClass::kNone},
      {"/boot/efi", "vfat", TMountClass::kNone},
      {"/etc/hosts", "ext4", TMountClass::kNone},
      {"/var", "xfs", TMountClass::kNone},
      {"/run/lock", "ext4", TMountClass::kNone},
      // Names that only begin like a system place are not inside it.
      {"/variety", "ext4", TMountClass::kFixed},
      {"/mediator", "ext4", TMountClass::kFixed},
      {"relative", "ext4", TMountClass::kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mount_point);
    EXPECT_EQ(ClassifyMount({"dev", c.mount_point, c.fs_type}), c.expected);
  }
}

TEST(DrivesTest, HomeAndRootComeFirstThenBrowsableMountsOnceEach) {
  std::istringstream table(
      "proc /proc proc rw 0 0\n"
      "/dev/vda / ext4 rw 0 0\n"
      "tmpfs /run tmpfs rw 0 0\n"
      "/dev/vdb /data ext4 rw 0 0\n"
      "/dev/sdc1 /media/ann/CARD vfat rw 0 0\n"
      "nas:/photos /srv/photos/ nfs4 rw 0 0\n"
      "/dev/vdb /data ext4 rw 0 0\n"
      "/dev/vda /home/ann ext4 rw 0 0\n"
      "/dev/vda /srv/hosts ext4 rw 0 0\n");
  const std::set<std::string> files = {"/srv/hosts"};
  std::vector<std::string> asked;
  const std::vector<TDrive> drives =
      BrowsableDrives(table, "/home/ann/", [&](const std::string& path) {
        asked.push_back(path);
        return files.count(path) == 0;
      });
  const std::vector<TDrive> expected = {
      {"/home/ann", TDriveKind::kHome},      {"/", TDriveKind::kRoot},
      {"/data", TDriveKind::kFixed},         {"/media/ann/CARD", TDriveKind::kRemovable},
      {"/srv/photos", TDriveKind::kNetwork},
  };
  EXPECT_EQ(drives, expected);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "/home/ann"), 0);
}

TEST(DrivesTest, AnEmptyOrUnreadableTableStillGivesHomeAndRoot) {
  const struct {
    const char* home;
    std::vector<TDrive> expected;
  } cases[] = {
      {"/home/bo", {{"/home/bo", TDriveKind::kHome}, {"/", TDriveKind::kRoot}}},
      {"", {{"/", TDriveKind::kRoot}}},
      {"/", {{"/", TDriveKind::kRoot}}},
      {"relative/home", {{"/", TDriveKind::kRoot}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.home);
    std::istringstream table("");
    EXPECT_EQ(BrowsableDrives(table, c.home, [](const std::string&) { return true; }), c.expected);
  }
}

TEST(DrivesTest, TheDriveOfAFolderIsItsLongestParent) {
  const std::vector<TDrive> drives = {{"/home/ann", TDriveKind::kHome},
                                      {"/", TDriveKind::kRoot},
                                      {"/home/ann/nas", TDriveKind::kNetwork},
                                      {"/data", TDriveKind::kFixed}};
  const struct {
    const char* folder;
    const char* drive;
  } cases[] = {
      {"/home/ann", "/home/ann"},
      {"/home/ann/pics", "/home/ann"},
      {"/home/ann/nas/x", "/home/ann/nas"},
      {"/home/anna", "/"},
      {"/data", "/data"},
      {"/tmp", "/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(DriveOfFolder(drives, c.folder).path, c.drive);
  }
}

TEST(DrivesTest, FileSystemTypesNameTheirStorage) {
  const struct {
    const char* fs_type;
    TDriveType expected;
  } cases[] = {
      {"ext4", TDriveType::kFixed},     {"xfs", TDriveType::kFixed},
      {"btrfs", TDriveType::kFixed},    {"f2fs", TDriveType::kFixed},
      {"vfat", TDriveType::kFixed},     {"exfat", TDriveType::kFixed},
      {"ntfs3", TDriveType::kFixed},    {"fuseblk", TDriveType::kFixed},
      {"overlay", TDriveType::kFixed},  {"nfs", TDriveType::kNetwork},
      {"nfs4", TDriveType::kNetwork},   {"cifs", TDriveType::kNetwork},
      {"smb3", TDriveType::kNetwork},   {"fuse.sshfs", TDriveType::kNetwork},
      {"9p", TDriveType::kNetwork},     {"iso9660", TDriveType::kCDROM},
      {"udf", TDriveType::kCDROM},      {"tmpfs", TDriveType::kRAMDisk},
      {"ramfs", TDriveType::kRAMDisk},  {"proc", TDriveType::kUnknown},
      {"sysfs", TDriveType::kUnknown},  {"devtmpfs", TDriveType::kUnknown},
      {"cgroup", TDriveType::kUnknown}, {"cgroup2", TDriveType::kUnknown},
      {"devpts", TDriveType::kUnknown}, {"squashfs", TDriveType::kUnknown},
      {"", TDriveType::kUnknown},       {"EXT4", TDriveType::kUnknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fs_type);
    EXPECT_EQ(DriveTypeOf(c.fs_type), c.expected);
  }
}

TEST(DrivesTest, ScanDrivesAreTheSuitableMountPointsOnceEach) {
  std::istringstream table(
      "/dev/vda / ext4 rw 0 0\n"
      "proc /proc proc rw 0 0\n"
      "devtmpfs /dev devtmpfs rw 0 0\n"
      "tmpfs /dev/shm tmpfs rw 0 0\n"
      "/dev/vdb /data/ xfs rw 0 0\n"
      "/dev/vda /etc/hosts ext4 rw 0 0\n"
      "nas:/p /srv/photos nfs4 rw 0 0\n"
      "/dev/sr0 /media/cd iso9660 ro 0 0\n"
      "/dev/vdb /data xfs rw 0 0\n"
      "/dev/vdc relative ext4 rw 0 0\n");
  const std::vector<TMountEntry> mounts = ParseMounts(table);
  std::vector<std::string> asked;
  const std::vector<std::string> drives = ScanDrives(mounts, [&](const std::string& path) {
    asked.push_back(path);
    return path != "/etc/hosts";
  });
  EXPECT_EQ(drives,
            (std::vector<std::string>{"/", "/dev/shm", "/data", "/srv/photos", "/media/cd"}));
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "/proc"), 0);
}

TEST(DrivesTest, TheMountPointOfAFolderIsItsLongestMountedParent) {
  const std::vector<TMountEntry> mounts = {{"a", "/", "ext4"},
                                           {"b", "/home", "ext4"},
                                           {"c", "/home/ann/nas/", "cifs"},
                                           {"d", "/home", "xfs"}};
  const struct {
    const char* folder;
    const char* mount_point;
  } cases[] = {
      {"/", "/"},         {"/etc", "/"},
      {"/home", "/home"}, {"/home/ann", "/home"},
      {"/homework", "/"}, {"/home/ann/nas/2019", "/home/ann/nas"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    EXPECT_EQ(MountPointOf(mounts, c.folder), c.mount_point);
  }
  EXPECT_EQ(MountPointOf({}, "/anything"), "/");
}

TEST(DrivesTest, SystemDrivesListHomeAndRootFirst) {
  const std::vector<TDrive> drives = SystemDrives();
  ASSERT_GE(drives.size(), 1u);
  const auto root = std::find_if(drives.begin(), drives.end(), [](const TDrive& drive) {
    return drive.kind == TDriveKind::kRoot;
  });
  ASSERT_NE(root, drives.end());
  EXPECT_LE(root - drives.begin(), 1);
  for (const TDrive& drive : drives) {
    SCOPED_TRACE(drive.path);
    EXPECT_FALSE(drive.path.starts_with("/proc") || drive.path.starts_with("/sys"));
  }
}

}  // namespace
}  // namespace sk
