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

// What an open does with a stale session of its store (the global --recover and --discard):
// nothing chosen leaves it, and the command fails with the question.
void SetStaleSessionChoice(std::optional<TStaleChoice> choice);

// An open store that is closed (written back unless read-only) by Close or, after a failure, by
// the destructor. The password reaches the store only when it asks for one.
class TStoreSession {
 public:
  enum class Access { kReadOnly, kReadWrite };
  TStoreSession(const std::string& path, Access access, const TPasswordOptions& options);
  ~TStoreSession();
  TKES& Store() { return store_; }
  // Runs a long store operation (pack) so that a termination signal stops it at its next
  // progress step; the store undoes the step and is then closed as usual.
  template <typename Step>
  void Interruptible(Step&& step) {
    interruptible_ = true;
    try {
      step();
    } catch (...) {
      interruptible_ = false;
      throw;
    }
    interruptible_ = false;
  }
  // Closes the store; reports on stderr when it had to be saved under a new name. A close that
  // fails raises ECommandError with the store's message and where its working files are kept,
  // and is not tried again by the destructor.
  void Close();

 private:
  TKES store_;
  bool interruptible_ = false;  // a termination signal stops the running store operation
  bool close_failed_ = false;  // Close raised; the error has been reported once
  std::string left_question_;  // a stale session was left: the question that was not answered
};

}  // namespace sk::skd
