// skd scan driven as a user would: matches listed by full path, totals on standard error, mask
// errors and options.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/tools/SkdRunner.h"

namespace sk::test {
namespace {

namespace fs = std::filesystem;

class SkdScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sk-skd-scan-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    fs::create_directories(dir_ + "/pics/2019");
    Write("pics/photo.JPG", 1000);
    Write("pics/2019/scan.tiff", 536);
    Write("pics/2019/scan.tif", 10);
    Write("pics/drawing.wmf", 10);
    Write("top.bmp", 1);
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, size_t size) {
    std::ofstream(dir_ + "/" + name, std::ios::binary) << std::string(size, 'x');
  }
  // The lines of text, sorted.
  static std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
  }
  std::string dir_;
};

TEST_F(SkdScanTest, ListsEveryMatchAndTheTotals) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> found;  // below dir_
    std::string totals;
  } cases[] = {
      {{"pics"}, {"/pics/2019/scan.tiff", "/pics/photo.JPG"}, "Total files 2 size 1 Kb\n"},
      {{"pics", "--no-recursive"}, {"/pics/photo.JPG"}, "Total files 1 size 0 Kb\n"},
      {{"pics", "--mask", " *.tif ,  *.WMF  "},
       {"/pics/2019/scan.tif", "/pics/drawing.wmf"},
       "Total files 2 size 0 Kb\n"},
      // A folder whose name matches is listed like a file; its size counts as 0.
      {{".", "--mask", "20??,top.*"}, {"/./pics/2019", "/./top.bmp"}, "Total files 2 size 0 Kb\n"},
      {{"missing"}, {}, "Total files 0 size 0 Kb\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + (c.args.size() > 1 ? " " + c.args[1] : ""));
    std::vector<std::string> args = {"scan"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const TSkdResult r = RunSkd(args, dir_);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> expected;
    for (const std::string& name : c.found) {
      expected.push_back(name.starts_with("/./") ? "." + name.substr(2)
                                                 : c.args[0] + name.substr(5));
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(SortedLines(r.out), expected);
    EXPECT_EQ(r.err, c.totals);
  }
}

TEST_F(SkdScanTest, ListsEachFolderBeforeItsEntriesWithTheFolderAsGiven) {
  const TSkdResult r = RunSkd({"scan", dir_ + "/pics", "--mask", "*"}, dir_);
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<std::string> lines;
  std::istringstream in(r.out);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 5u);
  const auto at = [&lines](const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) - lines.begin();
  };
  // Depth-first: each folder comes before its own entries.
  EXPECT_LT(at(dir_ + "/pics/2019"), at(dir_ + "/pics/2019/scan.tif"));
  EXPECT_LT(at(dir_ + "/pics/2019"), at(dir_ + "/pics/2019/scan.tiff"));
  EXPECT_LT(at(dir_ + "/pics/photo.JPG"), 5);     // listed, below the absolute folder given
  EXPECT_EQ(r.err, "Total files 5 size 1 Kb\n");  // 1000 + 536 + 10 + 10 bytes
}

TEST_F(SkdScanTest, AnInvalidMaskOrTwoScopesAreRefused) {
  const TSkdResult bad = RunSkd({"scan", "pics", "--mask", "*.jpg, [!-a]*"}, dir_);
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_EQ(bad.out, "");
  EXPECT_EQ(bad.err, "skd: '[!-a]*' is an invalid mask at (3)\n");
  const TSkdResult both = RunSkd({"scan", "pics", "--drive", "--all-disks"}, dir_);
  EXPECT_EQ(both.exit_code, 2);
}

}  // namespace
}  // namespace sk::test
