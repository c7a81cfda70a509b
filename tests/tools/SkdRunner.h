// Runs the skd binary as a user would: arguments, environment additions, captured output.
#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sk::test {

struct TSkdResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs skd with args in folder cwd; env entries are added to (or replace) the environment. With
// kill_after, skd is sent SIGKILL that long after it started, unless it has ended by then.
TSkdResult RunSkd(const std::vector<std::string>& args, const std::string& cwd,
                  const std::map<std::string, std::string>& env = {},
                  std::optional<std::chrono::microseconds> kill_after = {});

// An skd started in the background (pid 0 when it could not be started).
struct TSkdProcess {
  int pid = 0;
  std::string cwd;
};

// Starts skd as RunSkd does, without waiting for it; the variables named in unset are removed
// from its environment.
TSkdProcess StartSkd(const std::vector<std::string>& args, const std::string& cwd,
                     const std::map<std::string, std::string>& env = {},
                     const std::vector<std::string>& unset = {});
// Waits for a started skd and collects its exit code and output.
TSkdResult WaitForSkd(const TSkdProcess& process);

}  // namespace sk::test
