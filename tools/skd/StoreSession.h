// Opening a store for one skd command: the password options, read-only opening for commands
// that only read, and a close that reports where the store was written.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

#include "store/KES.h"

namespace sk::skd {

struct TPasswordOptions {
  std::string password_file;
};

// Adds --password-file to a subcommand.
void AddPasswordOption(CLI::App& command, TPasswordOptions& options);

// The password for a protected store: the first line of --password-file, else $SKD_PASSWORD,
// converted to Windows-1252; nothing when neither is given.
std::optional<std::string> PasswordFrom(const TPasswordOptions& options);

// Reads the first line of a file (without its line end) as a Windows-1252 password.
std::string ReadPasswordFile(const std::string& path);

// An open store that is closed (written back unless read-only) by Close or, after a failure, by
// the destructor. The password reaches the store only when it asks for one.
class TStoreSession {
 public:
  enum class Access { kReadOnly, kReadWrite };
  TStoreSession(const std::string& path, Access access, const TPasswordOptions& options);
  ~TStoreSession();
  TKES& Store() { return store_; }
  // Closes the store; reports on stderr when it had to be saved under a new name.
  void Close();

 private:
  TKES store_;
};

}  // namespace sk::skd
