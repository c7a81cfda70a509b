// Runs the skd binary as a user would: arguments, environment additions, captured output.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace sk::test {

struct TSkdResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs skd with args in folder cwd; env entries are added to (or replace) the environment, and
// the variables named in unset are removed from it.
TSkdResult RunSkd(const std::vector<std::string>& args, const std::string& cwd,
                  const std::map<std::string, std::string>& env = {},
                  const std::vector<std::string>& unset = {});

}  // namespace sk::test
