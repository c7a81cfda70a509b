// A fault-injecting view of the file layer for tests: it sees every file operation through the
// operation hook, can fail the Nth one with an errno (once or from then on), and can "crash" at the
// Nth one and then show the folders as a machine that lost its power there would: file contents
// only as far as they were synced, names only as far as their folder was synced.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Files.h"

namespace sk::test {

class TFaultyFileSystem {
 public:
  // Installs itself as the file layer's hook and takes the folders' current files (regular files,
  // not below sub-folders) as durable. folders are the ones whose power loss is modelled.
  explicit TFaultyFileSystem(std::vector<std::string> folders);
  ~TFaultyFileSystem();
  TFaultyFileSystem(const TFaultyFileSystem&) = delete;
  TFaultyFileSystem& operator=(const TFaultyFileSystem&) = delete;

  // The next operations are counted from 1; every operation but a read counts.
  // Fails operation n with error; with forever, every counted operation from n on fails too.
  void FailAt(int n, int error, bool forever);
  // Operation n and everything after it fail with EIO, reads too: the process is gone.
  void CrashAt(int n);
  // Stops failing; the model keeps following the operations.
  void Heal();

  // Counted operations so far.
  int Operations() const { return count_; }
  bool Crashed() const { return crashed_; }
  // How many operations the hook has failed.
  int Failures() const { return failures_; }
  // The counted operations so far, as "name path" lines, for diagnostics.
  const std::vector<std::string>& Log() const { return log_; }

  // What a power loss keeps of names created, renamed or deleted since their folder's last sync:
  // all of them (as a journal that wrote them in time would), or none.
  enum class TNames { kKept, kLastSynced };
  // Rewrites the modelled folders as the machine would show them after a power loss now, and
  // removes the hook. Call it once the code under test is done (its objects destroyed).
  void PowerLoss(TNames names);

 private:
  struct TDurable {
    std::vector<uint8_t> bytes;
    unsigned mode = 0600;
    std::optional<struct timespec> modified;  // the time stamp the sync made durable
  };
  using TListing = std::map<std::string, int>;  // file name -> file identity

  int Hook(const TFileOperation& operation);
  void Follow(const TFileOperation& operation);
  bool Modelled(const std::string& folder) const;
  // The identity of the file at path (a new one for a file not seen yet); -1 when there is none.
  int IdentityOf(const std::string& path);
  void Retire(const std::string& path);
  TListing ListingOf(const std::string& folder);
  void Snapshot(int identity, const std::string& path);

  std::vector<std::string> folders_;
  std::map<std::pair<dev_t, ino_t>, int> identities_;
  int next_identity_ = 0;
  std::map<int, TDurable> durable_;        // identity -> what its last sync made durable
  std::map<std::string, TListing> names_;  // folder -> names its last sync made durable
  std::vector<std::string> log_;
  int count_ = 0;
  int fail_at_ = 0, fail_error_ = 0, failures_ = 0;
  bool fail_forever_ = false;
  int crash_at_ = 0;
  bool crashed_ = false;
  bool installed_ = false;
};

}  // namespace sk::test
