// skd ended by a termination signal in the middle of a batch: the store is closed as a normal exit
// would close it, keeping every picture added before the signal, and no working file stays behind.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/tools/SkdRunner.h"

namespace sk::test {
namespace {

namespace fs = std::filesystem;

bool HasFiles(const fs::path& dir) {
  return fs::exists(dir) && !fs::is_empty(dir);
}

// True once the working data file in dir (named "KES...") holds data: the store is open and a
// picture has been added.
bool HoldsData(const fs::path& dir) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    if (entry.path().filename().string().rfind("KES", 0) == 0 && entry.is_regular_file(error) &&
        entry.file_size(error) > 0) {
      return true;
    }
  }
  return false;
}

TEST(SkdSignalTest, ATerminationSignalClosesTheStoreSavingWhatWasAdded) {
  std::string pattern = (fs::temp_directory_path() / "sk-skdsig-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  const fs::path tmp = dir / "tmp";
  fs::create_directory(tmp);
  ASSERT_EQ(std::system(("cd '" + dir.string() +
                         "' && /usr/bin/convert -size 64x48 gradient:red-blue photo.bmp")
                            .c_str()),
            0);
  // Enough files that the batch is still running when the signal comes.
  std::vector<std::string> args = {"add", "s.skd"};
  for (int i = 0; i < 400; ++i) args.push_back("photo.bmp");

  for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    fs::remove(dir / "s.skd");
    ASSERT_EQ(RunSkd({"create", "s.skd"}, dir.string()).exit_code, 0);
    const TSkdProcess process = StartSkd(args, dir.string(), {{"TMPDIR", tmp.string()}});
    ASSERT_NE(process.pid, 0);
    // The working files appear once the store is open, after the handlers are in place; the
    // signal comes once the first picture has gone into them.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!HoldsData(tmp) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(HoldsData(tmp));
    ::kill(process.pid, signal_number);
    const TSkdResult result = WaitForSkd(process);
    EXPECT_EQ(result.exit_code, 128 + signal_number) << result.err;
    EXPECT_FALSE(HasFiles(tmp)) << "working files left behind";
    // What was added before the signal is in the store: one key per line of the output.
    const TSkdResult listed = RunSkd({"list", "s.skd"}, dir.string());
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_EQ(listed.out, result.out);
    EXPECT_NE(result.out, "");
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace sk::test
