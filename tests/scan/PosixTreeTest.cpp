// Tests of the system's directory tree and of a scan over a real folder with link loops, FIFOs
// named like pictures, sparse files over 4 GiB, hidden and read-only files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/FileTree.h"
#include "scan/QMSScanner.h"

namespace sk {
namespace {

namespace fs = std::filesystem;

TEST(PackedFATTimeTest, PacksLocalTimeAndClampsToTheFATRange) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  const struct {
    int64_t seconds;
    uint32_t packed;
  } cases[] = {
      // 2019-06-15 13:45:31: date (39 << 9 | 6 << 5 | 15), time (13 << 11 | 45 << 5 | 15).
      {1560606331, (((39u << 9) | (6u << 5) | 15u) << 16) | ((13u << 11) | (45u << 5) | 15u)},
      {315532800, (1u << 5 | 1u) << 16},  // 1980-01-01 00:00:00
      {0, (1u << 5 | 1u) << 16},          // before 1980
      {-86400, (1u << 5 | 1u) << 16},
      // 2107-12-31 23:59:59 and later keep the last time FAT can hold.
      {4354819199, (((127u << 9) | (12u << 5) | 31u) << 16) | ((23u << 11) | (59u << 5) | 29u)},
      {4354819200 + 86400 * 400,
       (((127u << 9) | (12u << 5) | 31u) << 16) | ((23u << 11) | (59u << 5) | 29u)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.seconds);
    EXPECT_EQ(PackedFATTime(c.seconds), c.packed);
  }
}

class PosixTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    std::string pattern = (fs::temp_directory_path() / "sk-scan-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(root_ + "/" + name, std::ios::binary) << bytes;
  }
  std::string root_;
};

TEST_F(PosixTreeTest, ScansLoopsFIFOsAndHugeSparseFilesWithoutHanging) {
  fs::create_directories(root_ + "/a/b");
  Write("a/photo.jpg", std::string(1536, 'x'));
  Write("a/b/scan.TIFF", "tiff");
  Write("a/b/notes.txt", "text");
  Write(".hidden.gif", "gif");
  Write("locked.bmp", "bmp");
  fs::permissions(root_ + "/locked.bmp", fs::perms::owner_read | fs::perms::group_read);
  fs::create_directory_symlink("..", root_ + "/a/b/up.jpg");  // a loop back to a
  fs::create_directory_symlink(root_, root_ + "/a/root");     // a loop to the top
  fs::create_symlink("photo.jpg", root_ + "/a/alias.jpg");
  fs::create_symlink("nowhere.jpg", root_ + "/gone.jpg");
  ASSERT_EQ(::mkfifo((root_ + "/a/fifo.jpg").c_str(), 0644), 0);
  ASSERT_EQ(::mkfifo((root_ + "/a/b/pipe.gif").c_str(), 0644), 0);
  const uint64_t huge = (uint64_t{5} << 30) + 123;  // over 4 GiB, holes only
  {
    const int fd = ::open((root_ + "/huge.jpeg").c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(huge)), 0);
    ::close(fd);
  }
  const timespec times[2] = {{1560606331, 0}, {1560606331, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, (root_ + "/a/photo.jpg").c_str(), times, 0), 0);

  TDiskScan scan;
  scan.SetScanOptions(TScanOptions::kSpecifiedDir);
  scan.SetFileMask("*.bmp, *.jpg, *.jpeg, *.gif, *.tiff");
  scan.SetScanDir(root_);
  int dirs = 0;
  scan.OnProcess = [&dirs](TDiskScan&, const std::string&, int64_t, uint64_t) { ++dirs; };
  scan.Scan();

  std::map<std::string, TFileObject> found;
  for (const TFileObject& file : scan.Files()) found[file.FullName()] = file;
  const std::string a = root_ + "/a/";
  const std::vector<std::string> expected = {root_ + "/.hidden.gif",   root_ + "/a/alias.jpg",
                                             root_ + "/a/b/scan.TIFF", root_ + "/a/b/up.jpg",
                                             root_ + "/a/photo.jpg",   root_ + "/huge.jpeg",
                                             root_ + "/locked.bmp"};
  std::vector<std::string> names;
  for (const auto& [name, file] : found) names.push_back(name);
  EXPECT_EQ(names, expected);
  EXPECT_EQ(dirs, 3);  // the top, a and a/b: no link is followed
  EXPECT_EQ(scan.FilesCount(), 7);
  EXPECT_EQ(found[root_ + "/huge.jpeg"].size, huge);
  EXPECT_EQ(found[a + "alias.jpg"].size, 1536u);
  EXPECT_EQ(scan.FilesSize(), huge + 1536 + 1536 + 4 + 3 + 3);
  EXPECT_EQ(found[a + "photo.jpg"], (TFileObject{"photo.jpg", a, 1536, kAttrArchive,
                                                 (((39u << 9) | (6u << 5) | 15u) << 16) |
                                                     ((13u << 11) | (45u << 5) | 15u)}));
  EXPECT_EQ(found[root_ + "/.hidden.gif"].attr, kAttrHidden | kAttrArchive);
  EXPECT_EQ(found[root_ + "/locked.bmp"].attr, kAttrReadOnly | kAttrArchive);
  EXPECT_EQ(found[a + "b/up.jpg"].attr, kAttrDirectory);  // a link to a folder, not entered
}

TEST_F(PosixTreeTest, OpensALinkedFolderOnlyWhenAskedToFollowIt) {
  fs::create_directory(root_ + "/real");
  Write("real/x.jpg", "x");
  fs::create_directory_symlink(root_ + "/real", root_ + "/link");
  TPosixFileTree tree;
  EXPECT_EQ(tree.Open(root_ + "/link", false), nullptr);
  EXPECT_EQ(tree.Open(root_ + "/missing", true), nullptr);
  EXPECT_EQ(tree.Open(root_ + "/real/x.jpg", true), nullptr);
  EXPECT_EQ(tree.Open("", true), nullptr);
  const std::unique_ptr<TDirectoryListing> linked = tree.Open(root_ + "/link", true);
  ASSERT_NE(linked, nullptr);
  const std::unique_ptr<TDirectoryListing> real = tree.Open(root_ + "/real", false);
  ASSERT_NE(real, nullptr);
  EXPECT_EQ(linked->Id(), real->Id());
  std::vector<std::string> names;
  for (TTreeEntry entry; real->Next(entry);) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "x.jpg"}));
  EXPECT_EQ(tree.Canonical(root_ + "/link/../real/./x.jpg"), root_ + "/real/x.jpg");
  EXPECT_TRUE(tree.IsDirectory(root_ + "/link"));
  EXPECT_FALSE(tree.IsDirectory(root_ + "/real/x.jpg"));

  // A scan of the link as the chosen folder lists it; found through the link's name.
  TDiskScan scan;
  scan.SetScanOptions(TScanOptions::kSpecifiedDir);
  scan.SetScanDir(root_ + "/link");
  scan.Scan();
  ASSERT_EQ(scan.Files().size(), 1u);
  EXPECT_EQ(scan.Files()[0].FullName(), root_ + "/link/x.jpg");
}

TEST(SystemDiskScanTest, TheDiskOfAFolderIsTheMountHoldingIt) {
  // The test folder lies on some mounted file system; a disk scan starts at its mount point,
  // which holds the folder. Stopped at once, it reports only that start.
  const std::string folder = fs::temp_directory_path().string();
  TDiskScan scan;
  scan.SetScanOptions(TScanOptions::kSpecifiedDisk);
  scan.SetScanDir(folder);
  std::vector<std::string> dirs;
  scan.OnProcess = [&](TDiskScan& sender, const std::string& dir, int64_t, uint64_t) {
    dirs.push_back(dir);
    sender.Stop();
  };
  scan.Scan();
  ASSERT_EQ(dirs.size(), 1u);
  const std::string canonical = fs::canonical(folder).string();
  EXPECT_TRUE(canonical.starts_with(dirs[0])) << dirs[0];
  EXPECT_EQ(dirs[0], MountPointOf(SystemMounts(), canonical));
}

}  // namespace
}  // namespace sk
