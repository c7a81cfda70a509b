// File services: temporary names, read-only bits, path helpers and atomic replacement.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/Files.h"

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

TEST_F(FilesTest, OpenFailureCarriesErrno) {
  try {
    TFile::Open(Path("missing"), FileMode::kRead);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.Code(), ENOENT);
    EXPECT_EQ(e.Path(), Path("missing"));
  }
}

}  // namespace
}  // namespace sk
