// File services: temporary names, read-only bits, path helpers and atomic replacement.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/Files.h"
#include "tests/support/FaultyFileSystem.h"

namespace sk {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sk-files-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    SetFileFaultHook(nullptr);
    fs::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::string dir_;
};

TEST_F(FilesTest, TempDirectoryHonoursTmpdir) {
  const char* saved = std::getenv("TMPDIR");
  const std::string old = saved ? saved : "";
  ::setenv("TMPDIR", (dir_ + "/").c_str(), 1);
  EXPECT_EQ(TempDirectory(), dir_);
  const std::string name = CreateTempFile(TempDirectory(), "KES");
  EXPECT_EQ(ExtractFileDir(name), dir_);
  struct stat st {};
  ASSERT_EQ(::stat(name.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(st.st_size, 0);
  if (saved) {
    ::setenv("TMPDIR", old.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

TEST_F(FilesTest, ReadOnlyMeansNoWriteBits) {
  std::ofstream(Path("f")) << "x";
  for (const auto& [mode, read_only] :
       std::vector<std::pair<unsigned, bool>>{{0444, true}, {0644, false}, {0400, true}, {0464, false}}) {
    SCOPED_TRACE(mode);
    ::chmod(Path("f").c_str(), mode);
    EXPECT_EQ(IsReadOnlyFile(Path("f")), read_only);
  }
  EXPECT_FALSE(IsReadOnlyFile(Path("missing")));
}

TEST_F(FilesTest, PathHelpers) {
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
  EXPECT_EQ(ExtractFileExt("/a/c.tar.GZ"), ".GZ");
  EXPECT_EQ(ExtractFileName("/a/b/c.skd"), "c.skd");
  EXPECT_EQ(ExtractFileDir("/a/b/c.skd"), "/a/b");
  EXPECT_EQ(ExtractFileDir("/c.skd"), "/");
  EXPECT_EQ(ExpandFileName("/a/./b/../c.skd"), "/a/c.skd");
}

TEST_F(FilesTest, ReplaceFileKeepsTargetModeAndTargetSurvivesFailure) {
  std::ofstream(Path("target")) << "old";
  ::chmod(Path("target").c_str(), 0640);
  std::ofstream(Path("source")) << "new";
  SetFileFaultHook([](std::string_view op, const std::string&) { return op == "sync" ? EIO : 0; });
  EXPECT_THROW(ReplaceFile(Path("source"), Path("target")), EOSError);
  EXPECT_EQ(Read(Path("target")), "old");
  SetFileFaultHook(nullptr);
  ReplaceFile(Path("source"), Path("target"));
  EXPECT_EQ(Read(Path("target")), "new");
  struct stat st {};
  ::stat(Path("target").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(FilesTest, AtomicWriteLeavesOldFileOnFailureAndNoLeftovers) {
  std::ofstream(Path("out")) << "keep me";
  SetFileFaultHook([](std::string_view op, const std::string&) { return op == "write" ? ENOSPC : 0; });
  const uint8_t bytes[] = {1, 2, 3};
  EXPECT_THROW(WriteFileAtomically(Path("out"), bytes), EOSError);
  SetFileFaultHook(nullptr);
  EXPECT_EQ(Read(Path("out")), "keep me");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
  WriteFileAtomically(Path("new"), bytes);
  EXPECT_EQ(Read(Path("new")), std::string("\1\2\3"));
}

// What the atomic writer does with each kind of target: the result it must leave, checked on the
// path afterwards.
TEST_F(FilesTest, AtomicWriterReplacesOnlyRegularFilesTheUserMayWrite) {
  const uint8_t bytes[] = {'n', 'e', 'w'};
  struct stat st {};

  // A read-only file (root may write it, so the bits decide) is refused and kept.
  std::ofstream(Path("ro")) << "old";
  ::chmod(Path("ro").c_str(), 0444);
  for (const bool replace : {false, true}) {
    SCOPED_TRACE(replace ? "ReplaceFile" : "WriteFileAtomically");
    std::ofstream(Path("src")) << "new";
    try {
      if (replace) {
        ReplaceFile(Path("src"), Path("ro"));
      } else {
        WriteFileAtomically(Path("ro"), bytes);
      }
      ADD_FAILURE() << "replaced";
    } catch (const EOSError& e) {
      EXPECT_EQ(e.Code(), EACCES);
    }
    EXPECT_EQ(Read(Path("ro")), "old");
  }

  // A folder is refused.
  fs::create_directory(Path("folder"));
  EXPECT_THROW(WriteFileAtomically(Path("folder"), bytes), EOSError);
  EXPECT_TRUE(fs::is_directory(Path("folder")));

  // A FIFO is written into (the test holds its other end) and stays a FIFO.
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const int reader = ::open(Path("fifo").c_str(), O_RDWR | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  WriteFileAtomically(Path("fifo"), bytes);
  char got[8] = {};
  EXPECT_EQ(::read(reader, got, sizeof got), 3);
  EXPECT_EQ(std::string(got, 3), "new");
  ::close(reader);
  EXPECT_TRUE(fs::is_fifo(Path("fifo")));

  // A device (a copy of /dev/null, where the system lets us make one) is written in place.
  if (::mknod(Path("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) {
    WriteFileAtomically(Path("null"), bytes);
    ASSERT_EQ(::stat(Path("null").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }

  // A writable file in a folder that takes no new files is written in place: same file, new bytes.
  fs::create_directory(Path("closed"));
  std::ofstream(Path("closed/f")) << "older and longer";
  struct stat before {};
  ::stat(Path("closed/f").c_str(), &before);
  ::chmod(Path("closed").c_str(), 0555);
  WriteFileAtomically(Path("closed/f"), bytes);
  ::chmod(Path("closed").c_str(), 0755);
  ::stat(Path("closed/f").c_str(), &st);
  EXPECT_EQ(st.st_ino, before.st_ino);
  EXPECT_EQ(Read(Path("closed/f")), "new");
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("closed")), {}), 1);
}

TEST_F(FilesTest, WritingThroughASymbolicLinkReplacesItsTargetBesideIt) {
  const uint8_t bytes[] = {'n', 'e', 'w'};
  fs::create_directory(Path("real"));
  fs::create_directory(Path("links"));
  std::ofstream(Path("real/file")) << "old";
  fs::create_symlink("../real/file", Path("links/file"));
  fs::create_symlink(Path("real/later"), Path("links/dangling"));
  for (const char* name : {"file", "dangling"}) {
    SCOPED_TRACE(name);
    WriteFileAtomically(Path(std::string("links/") + name), bytes);
    EXPECT_TRUE(fs::is_symlink(Path(std::string("links/") + name)));
  }
  EXPECT_EQ(Read(Path("real/file")), "new");
  EXPECT_EQ(Read(Path("real/later")), "new");
  std::ofstream(Path("real/src")) << "third";
  ReplaceFile(Path("real/src"), Path("links/file"));
  EXPECT_TRUE(fs::is_symlink(Path("links/file")));
  EXPECT_EQ(Read(Path("real/file")), "third");
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("real")), {}), 2);
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("links")), {}), 2);
}

TEST_F(FilesTest, NewFileModeIsExactWhateverTheUmask) {
  const uint8_t bytes[] = {1};
  struct Case {
    mode_t umask;
    unsigned requested;
    unsigned expected;
  };
  const Case cases[] = {
      {0022, kModeFromUmask, 0644}, {0077, kModeFromUmask, 0600}, {0000, 0600, 0600},
      {0277, 0600, 0600},           {0777, 0600, 0600},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.umask);
    const std::string path = Path("m" + std::to_string(n++));
    const mode_t saved = ::umask(c.umask);
    WriteFileAtomically(path, [&](TFile& file) { file.Write(bytes); }, c.requested);
    const TFile temp = CreateLockedTempFile(dir_, "TST");
    ::umask(saved);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, c.expected);
    ASSERT_EQ(::stat(temp.Path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    DeleteFile(temp.Path());
  }
}

TEST_F(FilesTest, OnlyUnlockedTempFilesOfOurNamingAreDeleted) {
  TFile live = CreateLockedTempFile(dir_, "KES");
  ASSERT_TRUE(live.IsOpen());
  for (const char* name : {"KES0000ABCD.tmp", "KES0000abcd.tmp", "KES0000ABCD.tmp.bak",
                           "KESABC.tmp", "DBT12345678.tmp"}) {
    std::ofstream(Path(name)) << "x";
  }
  fs::create_symlink(Path("DBT12345678.tmp"), Path("KESFFFFFFFF.tmp"));
  fs::create_directory(Path("KESEEEEEEEE.tmp"));
  std::vector<std::string> named = TempFilesNamed(dir_, "KES");
  std::sort(named.begin(), named.end());
  std::vector<std::string> expected = {Path("KES0000ABCD.tmp"), live.Path(),
                                       Path("KESEEEEEEEE.tmp"), Path("KESFFFFFFFF.tmp")};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(named, expected);
  for (const std::string& name : named) DeleteIfUnlocked(name);
  EXPECT_FALSE(fs::exists(Path("KES0000ABCD.tmp")));  // a dead process's leftover
  EXPECT_TRUE(fs::exists(live.Path()));               // held by a live one
  EXPECT_TRUE(fs::is_symlink(Path("KESFFFFFFFF.tmp")));
  EXPECT_TRUE(fs::is_directory(Path("KESEEEEEEEE.tmp")));
  EXPECT_TRUE(fs::exists(Path("KES0000abcd.tmp")));
  const std::string live_name = live.Path();
  live.Close();  // its process has ended
  EXPECT_TRUE(DeleteIfUnlocked(live_name));
}

TEST_F(FilesTest, SparseSourceStaysSparseWhenCopied) {
  constexpr int64_t kSize = int64_t{1} << 30;
  {
    TFile source = TFile::Open(Path("sparse"), FileMode::kCreate);
    source.Seek(kSize - 3);
    const uint8_t tail[] = {'e', 'n', 'd'};
    source.Write(tail);
  }
  TFile source = TFile::Open(Path("sparse"), FileMode::kRead);
  TFile target = TFile::Open(Path("copy"), FileMode::kCreate);
  const uint8_t head[] = {'h'};
  target.Write(head);
  target.CopyFrom(source, kSize);
  EXPECT_EQ(target.Size(), kSize + 1);
  EXPECT_EQ(target.Position(), kSize + 1);
  struct stat st {};
  ASSERT_EQ(::stat(Path("copy").c_str(), &st), 0);
  EXPECT_LT(st.st_blocks * 512, int64_t{1} << 20);
  uint8_t last[3];
  TFile check = TFile::Open(Path("copy"), FileMode::kRead);
  check.Seek(kSize - 2);
  check.ReadExact(last);
  EXPECT_EQ(std::string(last, last + 3), "end");
  source.Seek(kSize - 10);
  EXPECT_THROW(target.CopyFrom(source, 11), EOSError);  // the source ends first
}

TEST_F(FilesTest, OpenFailureCarriesErrno) {
  try {
    TFile::Open(Path("missing"), FileMode::kRead);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code(), ENOENT);
    EXPECT_EQ(e.Path(), Path("missing"));
  }
}

// The fault-injecting file layer that the store's crash and error tests rely on: its power-loss
// model keeps exactly what was synced, its counter sees every change to files, and injected
// failures and crashes reach the callers.
void Write(TFile& file, std::string_view text) {
  file.Write(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

TEST_F(FilesTest, FaultyFileSystemPowerLossKeepsOnlySyncedBytes) {
  std::ofstream(Path("old")) << "durable";
  test::TFaultyFileSystem faults({dir_});
  TFile synced = TFile::Open(Path("synced"), FileMode::kCreate);
  Write(synced, "first");
  synced.Sync();
  Write(synced, " and more");
  TFile fresh = TFile::Open(Path("fresh"), FileMode::kCreate);
  Write(fresh, "never synced");
  TFile old = TFile::Open(Path("old"), FileMode::kReadWrite);
  Write(old, "CHANGED");
  faults.PowerLoss(test::TFaultyFileSystem::TNames::kKept);
  EXPECT_EQ(Read(Path("synced")), "first");
  EXPECT_TRUE(fs::exists(Path("fresh")));
  EXPECT_EQ(Read(Path("fresh")), "");
  EXPECT_EQ(Read(Path("old")), "durable");
}

TEST_F(FilesTest, FaultyFileSystemNamesNeedTheirFolderSynced) {
  std::ofstream(Path("target")) << "old";
  std::ofstream(Path("doomed")) << "doomed";
  {
    test::TFaultyFileSystem faults({dir_});
    TFile file = TFile::Open(Path("new"), FileMode::kCreate);
    Write(file, "new");
    file.Sync();
    file.Close();
    RenameFile(Path("new"), Path("target"));
    DeleteFile(Path("doomed"));
    faults.PowerLoss(test::TFaultyFileSystem::TNames::kLastSynced);
  }
  EXPECT_EQ(Read(Path("target")), "old");
  EXPECT_EQ(Read(Path("doomed")), "doomed");
  EXPECT_FALSE(fs::exists(Path("new")));
}

TEST_F(FilesTest, FaultyFileSystemAtomicWriteSurvivesEitherWay) {
  for (const auto names : {test::TFaultyFileSystem::TNames::kKept, test::TFaultyFileSystem::TNames::kLastSynced}) {
    std::ofstream(Path("target")) << "old";
    test::TFaultyFileSystem faults({dir_});
    WriteFileAtomically(Path("target"), std::span(reinterpret_cast<const uint8_t*>("new"), 3));
    faults.PowerLoss(names);
    EXPECT_EQ(Read(Path("target")), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  }
}

TEST_F(FilesTest, FaultyFileSystemCountsEveryChangeAndFailsTheChosenOne) {
  const std::string path = Path("f");
  auto run = [&] {
    TFile file = TFile::Open(path, FileMode::kCreate);  // 1 open
    Write(file, "x");                                   // 2 write
    file.Truncate(0);                                   // 3 truncate
    file.Sync();                                        // 4 sync
    file.Close();                                       // 5 close
    return DeleteFile(path);                            // 6 unlink
  };
  {
    test::TFaultyFileSystem faults({dir_});
    EXPECT_TRUE(run());
    EXPECT_EQ(faults.Operations(), 6);
  }
  const char* names[] = {"open", "write", "truncate", "sync", "close", "unlink"};
  for (int n = 1; n <= 6; ++n) {
    SCOPED_TRACE(names[n - 1]);
    test::TFaultyFileSystem faults({dir_});
    faults.FailAt(n, ENOSPC, false);
    if (n == 6) {
      EXPECT_FALSE(run());
      EXPECT_EQ(errno, ENOSPC);
    } else {
      try {
        run();
        ADD_FAILURE() << "no failure reported";
      } catch (const EOSError& error) {
        EXPECT_EQ(error.Code(), ENOSPC);
      }
    }
    EXPECT_EQ(faults.Failures(), 1);
    DeleteFile(path);
  }
}

TEST_F(FilesTest, FaultyFileSystemNothingChangesAfterACrash) {
  std::ofstream(Path("kept")) << "kept";
  test::TFaultyFileSystem faults({dir_});
  faults.CrashAt(2);
  TFile file = TFile::Open(Path("kept"), FileMode::kReadWrite);
  EXPECT_THROW(Write(file, "lost"), EOSError);
  EXPECT_FALSE(DeleteFile(Path("kept")));
  EXPECT_THROW(RenameFile(Path("kept"), Path("other")), EOSError);
  EXPECT_TRUE(faults.Crashed());
  faults.PowerLoss(test::TFaultyFileSystem::TNames::kKept);
  EXPECT_EQ(Read(Path("kept")), "kept");
}

}  // namespace
}  // namespace sk
