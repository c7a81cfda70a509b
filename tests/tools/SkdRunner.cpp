// Runs skd in a child process with its output captured in files.
#include "tests/tools/SkdRunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace sk::test {

namespace {
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string OutPath(const std::string& cwd) { return cwd + "/.skd-out"; }
std::string ErrPath(const std::string& cwd) { return cwd + "/.skd-err"; }

}  // namespace

TSkdResult RunSkd(const std::vector<std::string>& args, const std::string& cwd,
                  const std::map<std::string, std::string>& env,
                  std::optional<std::chrono::microseconds> kill_after) {
  const TSkdProcess process = StartSkd(args, cwd, env);
  if (process.pid != 0 && kill_after) {
    std::this_thread::sleep_for(*kill_after);
    ::kill(process.pid, SIGKILL);  // harmless when it has ended already: it is not reaped yet
  }
  return WaitForSkd(process);
}

TSkdProcess StartSkd(const std::vector<std::string>& args, const std::string& cwd,
                     const std::map<std::string, std::string>& env,
                     const std::vector<std::string>& unset) {
  const std::string out_path = OutPath(cwd), err_path = ErrPath(cwd);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

  std::vector<std::string> argv_strings = {SK_SKD_PATH};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  std::map<std::string, std::string> merged;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const size_t eq = entry.find('=');
    if (eq != std::string::npos) merged[entry.substr(0, eq)] = entry.substr(eq + 1);
  }
  merged.erase("SKD_PASSWORD");
  for (const auto& [name, value] : env) merged[name] = value;
  for (const std::string& name : unset) merged.erase(name);
  std::vector<std::string> env_strings;
  for (const auto& [name, value] : merged) env_strings.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& s : env_strings) envp.push_back(s.data());
  envp.push_back(nullptr);

  TSkdProcess process;
  process.cwd = cwd;
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
    process.pid = pid;
  }
  posix_spawn_file_actions_destroy(&actions);
  return process;
}

TSkdResult WaitForSkd(const TSkdProcess& process) {
  TSkdResult result;
  if (process.pid != 0) {
    int status = 0;
    ::waitpid(process.pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  const std::string out_path = OutPath(process.cwd), err_path = ErrPath(process.cwd);
  result.out = Slurp(out_path);
  result.err = Slurp(err_path);
  ::unlink(out_path.c_str());
  ::unlink(err_path.c_str());
  return result;
}

}  // namespace sk::test
