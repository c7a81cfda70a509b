// skd --version, and the progress line: drawn on standard error only when it is a terminal, and
// never with --quiet.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/tools/SkdRunner.h"

namespace sk::test {
namespace {

namespace fs = std::filesystem;

// Runs skd in cwd with standard error on a new terminal and standard output on /dev/null;
// returns what the terminal received, or "exit N" text appended when skd failed.
std::string RunOnTerminal(const std::vector<std::string>& args, const std::string& cwd) {
  std::vector<std::string> strings = {SK_SKD_PATH};
  strings.insert(strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  if (pid < 0) return "forkpty failed";
  if (pid == 0) {
    const int null = ::open("/dev/null", O_WRONLY);
    if (null < 0 || ::dup2(null, STDOUT_FILENO) < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(127);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  std::string received;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n > 0) {
      received.append(buffer, static_cast<size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EIO once skd has ended and closed the terminal
    }
  }
  ::close(master);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) received += "exit " + std::to_string(status);
  return received;
}

class SkdProgressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "sk-skdprogress-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    const std::string command = "cd '" + dir_ +
                                "' && /usr/bin/convert -size 16x12 gradient:red-blue p.bmp && "
                                "for i in 1 2 3 4 5 6 7 8 9 10 11 12; do cp p.bmp p$i.bmp; done";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (int i = 1; i <= 12; ++i) files_.push_back("p" + std::to_string(i) + ".bmp");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::vector<std::string> AddAll(std::vector<std::string> args) {
    args.insert(args.end(), files_.begin(), files_.end());
    return args;
  }
  std::string dir_;
  std::vector<std::string> files_;
};

TEST_F(SkdProgressTest, VersionIsPrinted) {
  const TSkdResult r = RunSkd({"--version"}, dir_);
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, std::string("skd ") + SK_VERSION + "\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(SkdProgressTest, NothingOnStandardErrorThatIsNoTerminal) {
  ASSERT_EQ(RunSkd({"create", "s.skd"}, dir_).exit_code, 0);
  const std::vector<std::vector<std::string>> commands = {
      AddAll({"add", "s.skd"}), {"delete", "s.skd", "p1", "p2", "p3"},
      {"pack", "s.skd"},        {"export", "s.skd", "p4", "p5", "--format", "bmp"},
      {"list", "s.skd"},
  };
  for (const std::vector<std::string>& args : commands) {
    SCOPED_TRACE(args[0]);
    const TSkdResult r = RunSkd(args, dir_);
    EXPECT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(SkdProgressTest, TerminalShowsTheLineUnlessQuiet) {
  ASSERT_EQ(RunSkd({"create", "s.skd"}, dir_).exit_code, 0);
  struct TCase {
    std::vector<std::string> args;
    const char* shown;  // nullptr: nothing at all may reach the terminal
  };
  const TCase cases[] = {
      {AddAll({"add", "s.skd"}), "skd: adding 11/12 (91%)"},
      {AddAll({"--quiet", "add", "s.skd"}), nullptr},
      {AddAll({"add", "s.skd", "--quiet"}), nullptr},
      {{"pack", "s.skd"}, "skd: packing s.skd"},
      {{"--quiet", "pack", "s.skd"}, nullptr},
      {{"export", "s.skd", "p1", "p2", "--format", "gif"}, "skd: exporting 1/2 (50%)"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    const std::string received = RunOnTerminal(c.args, dir_);
    if (c.shown == nullptr) {
      EXPECT_EQ(received, "");
    } else {
      EXPECT_NE(received.find(c.shown), std::string::npos) << received;
      // The line is gone at the end, so the shell's prompt starts on a clean line.
      EXPECT_TRUE(received.ends_with("\r\033[K")) << received;
    }
  }
}

}  // namespace
}  // namespace sk::test
