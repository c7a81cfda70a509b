// skd add and export: pictures into a store as framed JPEG and back out as files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tests/tools/SkdRunner.h"

namespace sk::test {
namespace {

namespace fs = std::filesystem;

class SkdPictureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sk-skdpic-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // A 40x30 picture made by an independent tool.
    ASSERT_EQ(Shell("/usr/bin/convert -size 40x30 gradient:red-blue photo.bmp"), 0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Shell(const std::string& command) {
    return std::system(("cd '" + dir_ + "' && " + command + " >/dev/null 2>&1").c_str());
  }
  TSkdResult Skd(const std::vector<std::string>& args) { return RunSkd(args, dir_); }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The JPEG quality ImageMagick estimates for a stored item (its frame removed).
  std::string StoredQuality(const std::string& key) {
    const TSkdResult item = Skd({"get", "s.skd", key});
    EXPECT_EQ(item.exit_code, 0);
    EXPECT_EQ(item.out.substr(0, 8), std::string("JFIF\0\0\0\0", 8));
    std::ofstream(dir_ + "/item.jpg", std::ios::binary) << item.out.substr(12);
    const std::string command = "cd '" + dir_ + "' && /usr/bin/identify -format %Q item.jpg";
    FILE* pipe = ::popen(command.c_str(), "r");
    char buffer[32] = {};
    const size_t n = std::fread(buffer, 1, sizeof buffer - 1, pipe);
    ::pclose(pipe);
    return std::string(buffer, n);
  }
  std::string dir_;
};

TEST_F(SkdPictureTest, AddNamesNumbersAndEncodesAtCappedQuality) {
  TSkdResult r = Skd({"add", "s.skd", "photo.bmp", "photo.bmp"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "photo\nphoto (1)\n");
  r = Skd({"add", "s.skd", "photo.bmp", "--quality", "100"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, "photo (2)\n");
  EXPECT_EQ(StoredQuality("photo"), "75");
  EXPECT_EQ(StoredQuality("photo (2)"), "90");
  r = Skd({"add", "s.skd", "photo.bmp", "--name", "Holiday \xC3\xA9t\xC3\xA9"});
  EXPECT_EQ(r.out, "Holiday \xC3\xA9t\xC3\xA9\n");
}

TEST_F(SkdPictureTest, FailingFileIsReportedAndTheRestAdded) {
  std::ofstream(dir_ + "/broken.jpg") << "not a jpeg";
  const TSkdResult r = Skd({"add", "s.skd", "broken.jpg", "photo.bmp", "missing.gif"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("broken.jpg: unrecognized JPEG"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("missing.gif: unrecognized GIF"), std::string::npos) << r.err;
  EXPECT_EQ(Skd({"list", "s.skd"}).out, "photo\n");
  EXPECT_EQ(Skd({"add", "s.skd", "photo.bmp", "photo.bmp", "--name", "x"}).exit_code, 2);
}

TEST_F(SkdPictureTest, ExportWritesInsideTheFolderWhateverTheKey) {
  fs::create_directory(dir_ + "/out");
  for (const char* name : {"a/../../escape", "..", "plain"}) {
    ASSERT_EQ(Skd({"add", "s.skd", "photo.bmp", "--name", name}).exit_code, 0);
  }
  TSkdResult r = Skd({"export", "s.skd", "a/../../escape", "..", "plain", "--format", "bmp",
                      "--dir", "out"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> written;
  for (const auto& entry : fs::directory_iterator(dir_ + "/out")) {
    written.push_back(entry.path().filename());
  }
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"___.bmp", "a_.._.._escape.bmp", "plain.bmp"}));
  EXPECT_FALSE(fs::exists(dir_ + "/escape.bmp"));
  // The exported BMP shows the stored picture (JPEG-close to the original).
  EXPECT_EQ(Shell("/usr/bin/compare -metric AE -fuzz 10% photo.bmp out/plain.bmp null:"), 0);

  r = Skd({"export", "s.skd", "plain", "--format", "jpg", "--quality", "80", "--dir", "out"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Read("out/plain.jpg").substr(0, 2), "\xFF\xD8");
  for (const std::vector<std::string>& flags :
       {std::vector<std::string>{}, {"--lzw", "--interlaced", "--transparent"}}) {
    std::vector<std::string> args = {"export", "s.skd", "plain", "--format", "gif", "--dir", "out"};
    args.insert(args.end(), flags.begin(), flags.end());
    r = Skd(args);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    // giflib's own reader accepts what we wrote.
    EXPECT_EQ(Shell("giftext out/plain.gif"), 0);
    EXPECT_EQ(Shell("/usr/bin/compare -metric AE -fuzz 15% out/plain.bmp out/plain.gif null:"), 0);
  }
  EXPECT_EQ(Skd({"export", "s.skd", "nothing", "--format", "jpg"}).exit_code, 1);
  EXPECT_EQ(Skd({"export", "s.skd", "plain", "--format", "png"}).exit_code, 2);
}

}  // namespace
}  // namespace sk::test
