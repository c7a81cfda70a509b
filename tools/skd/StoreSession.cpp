// Store opening and closing for skd commands.
#include "tools/skd/StoreSession.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "platform/Files.h"
#include "platform/Win1252.h"
#include "tools/skd/Commands.h"
#include "tools/skd/Progress.h"
#include "vault/CloseStore.h"
#include "vault/StaleSession.h"

namespace sk::skd {

void AddPasswordOption(CLI::App& command, TPasswordOptions& options) {
  command.add_option("--password-file", options.password_file,
                     "File whose first line is the store's password (else $SKD_PASSWORD)");
}

std::string ReadPasswordFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ECommandError("cannot read the password file " + path);
  std::string line;
  std::getline(in, line);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::optional<std::string> password = Utf8ToWin1252(line);
  if (!password) throw ECommandError("the password holds characters a store password cannot hold");
  if (password->size() > 255) throw ECommandError("the password is longer than 255 characters");
  return *password;
}

std::optional<std::string> PasswordFrom(const TPasswordOptions& options) {
  if (!options.password_file.empty()) return ReadPasswordFile(options.password_file);
  if (const char* value = std::getenv("SKD_PASSWORD")) {
    std::optional<std::string> password = Utf8ToWin1252(value);
    if (!password) {
      throw ECommandError("SKD_PASSWORD holds characters a store password cannot hold");
    }
    return password->substr(0, 255);
  }
  return std::nullopt;
}

namespace {
std::optional<TStaleChoice>& StaleSessionChoice() {
  static std::optional<TStaleChoice> choice;
  return choice;
}
}  // namespace

void SetStaleSessionChoice(std::optional<TStaleChoice> choice) { StaleSessionChoice() = choice; }

TStoreSession::TStoreSession(const std::string& path, Access access,
                             const TPasswordOptions& options) {
  const std::string file = KESFileName(path);
  if (access == Access::kReadOnly) {
    // A folder or a device is left to the store's open, which says what it is.
    if (FileKind(file) == TFileKind::kMissing) throw ECommandError("there is no store " + file);
    store_.SetReadOnly(true);
  }
  const std::optional<std::string> password = PasswordFrom(options);
  store_.OnDemandPassword = [password](TKES&, TPassword& answer) {
    if (password) answer = *password;
  };
  // A termination signal stops a long open or pack at its next progress step (the store undoes
  // the step). Adds, flushes and the close are never cut short: what was added is kept.
  store_.ProcessMessages = [this] {
    if (interruptible_) ThrowIfInterrupted();
  };
  store_.ProgressUpdate = StoreProgress(file);
  store_.OnStaleSession = [this](TKES&, const TStaleSessionInfo& session) {
    const std::string question = StaleSessionQuestion(session);
    const std::optional<TStaleChoice> choice = StaleSessionChoice();
    if (!choice) {
      left_question_ = question;
      return TStaleChoice::kLeave;
    }
    ClearProgress();
    std::fprintf(stderr, "skd: %s %s\n", question.c_str(),
                 *choice == TStaleChoice::kRecover ? "Recovering (--recover)."
                                                   : "Discarding (--discard).");
    return *choice;
  };
  Interruptible([&] { store_.SetFileName(file); });
  ClearProgress();
  for (const std::string& name : store_.RecoveredNames()) {
    std::fprintf(stderr, "skd: recovered into %s\n", name.c_str());
  }
  if (!left_question_.empty()) {
    throw ECommandError(left_question_ + " Run the command again with --recover or --discard.");
  }
}

TStoreSession::~TStoreSession() {
  if (close_failed_) return;
  try {
    Close();
  } catch (const std::exception& e) {
    ClearProgress();
    std::fprintf(stderr, "skd: %s\n", e.what());
  }
}

void TStoreSession::Close() {
  TCloseReport report;
  try {
    report = CloseStoreWithReport(store_);
    ClearProgress();
  } catch (const std::exception& e) {
    ClearProgress();
    close_failed_ = true;
    // Given up for good: the working files are renamed out of the way of the next open's sweep.
    store_.KeepWorkingFiles();
    throw ECommandError(e.what() + KeptWorkingFilesNote(store_));
  }
  if (report.SavedElsewhere()) {
    std::fprintf(stderr, "skd: %s changed on disk since it was opened; saved as %s\n",
                 report.file_name.c_str(), report.written_name.c_str());
  }
}

}  // namespace sk::skd
