// The fault-injecting file layer: operation counting, injected errors, crashes and the power-loss
// model built on what each sync made durable.
#include "tests/support/FaultyFileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace sk::test {

namespace {

std::vector<uint8_t> ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TFaultyFileSystem::TFaultyFileSystem(std::vector<std::string> folders) {
  for (const std::string& folder : folders) folders_.push_back(ExpandFileName(folder));
  for (const std::string& folder : folders_) {
    names_[folder] = ListingOf(folder);
    for (const auto& [name, identity] : names_[folder]) Snapshot(identity, folder + "/" + name);
  }
  SetFileOperationHook([this](const TFileOperation& operation) { return Hook(operation); });
  installed_ = true;
}

TFaultyFileSystem::~TFaultyFileSystem() {
  if (installed_) SetFileOperationHook(nullptr);
}

void TFaultyFileSystem::FailAt(int n, int error, bool forever) {
  fail_at_ = n;
  fail_error_ = error;
  fail_forever_ = forever;
}

void TFaultyFileSystem::CrashAt(int n) {
  crash_at_ = n;
}

void TFaultyFileSystem::Heal() {
  fail_at_ = 0;
  fail_forever_ = false;
}

int TFaultyFileSystem::Hook(const TFileOperation& operation) {
  if (crashed_) return EIO;
  if (operation.name == "read") return 0;
  ++count_;
  log_.push_back(std::string(operation.name) + " " + operation.path);
  if (crash_at_ > 0 && count_ >= crash_at_) {
    crashed_ = true;
    return EIO;
  }
  if (fail_at_ > 0 && (count_ == fail_at_ || (fail_forever_ && count_ > fail_at_))) {
    ++failures_;
    return fail_error_;
  }
  Follow(operation);
  return 0;
}

void TFaultyFileSystem::Follow(const TFileOperation& operation) {
  // The hook runs just before the system call: a sync makes durable what the file holds now, a
  // folder sync the names it holds now; a rename or an unlink ends the identity of the file it
  // replaces or deletes, so that a new file given the same inode number is not taken for it.
  if (operation.name == "sync") {
    if (Modelled(ExtractFileDir(operation.path))) {
      Snapshot(IdentityOf(operation.path), operation.path);
    }
  } else if (operation.name == "syncdir") {
    const std::string folder = ExpandFileName(operation.path);
    if (Modelled(folder)) names_[folder] = ListingOf(folder);
  } else if (operation.name == "rename" || operation.name == "unlink") {
    Retire(operation.path);
  }
}

bool TFaultyFileSystem::Modelled(const std::string& folder) const {
  const std::string expanded = ExpandFileName(folder);
  for (const std::string& f : folders_) {
    if (f == expanded) return true;
  }
  return false;
}

int TFaultyFileSystem::IdentityOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  const auto [it, added] = identities_.try_emplace({st.st_dev, st.st_ino}, next_identity_);
  if (added) ++next_identity_;
  return it->second;
}

void TFaultyFileSystem::Retire(const std::string& path) {
  struct stat st {};
  // A file with another name (a hard link) lives on under it.
  if (::lstat(path.c_str(), &st) == 0 && st.st_nlink <= 1) identities_.erase({st.st_dev, st.st_ino});
}

TFaultyFileSystem::TListing TFaultyFileSystem::ListingOf(const std::string& folder) {
  TListing listing;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string path = entry.path().string();
    if (const int identity = IdentityOf(path); identity >= 0) {
      listing[entry.path().filename().string()] = identity;
    }
  }
  return listing;
}

void TFaultyFileSystem::Snapshot(int identity, const std::string& path) {
  if (identity < 0) return;
  struct stat st {};
  ::lstat(path.c_str(), &st);
  durable_[identity] =
      TDurable{ReadWhole(path), static_cast<unsigned>(st.st_mode & 07777), st.st_mtim};
}

void TFaultyFileSystem::PowerLoss(TNames names) {
  SetFileOperationHook(nullptr);
  installed_ = false;
  for (const std::string& folder : folders_) {
    const TListing listing = names == TNames::kKept ? ListingOf(folder) : names_[folder];
    // What each surviving name holds: what its file's last sync made durable, nothing for a file
    // never synced since it was made.
    std::map<std::string, TDurable> survivors;
    for (const auto& [name, identity] : listing) {
      const auto it = durable_.find(identity);
      survivors[name] = it != durable_.end() ? it->second : TDurable{};
    }
    // A file whose name survives holds what its last sync made durable, with the time stamp it
    // had then; one that is still the same file is rewritten in place (a power failure does not
    // move a file), every other file goes.
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
      const auto kept = listing.find(entry.path().filename().string());
      if (entry.is_regular_file() &&
          (kept == listing.end() || IdentityOf(entry.path().string()) != kept->second)) {
        std::filesystem::remove(entry.path());
      }
    }
    for (const auto& [name, durable] : survivors) {
      const std::string path = folder + "/" + name;
      std::ofstream(path, std::ios::binary | std::ios::trunc)
          .write(reinterpret_cast<const char*>(durable.bytes.data()),
                 static_cast<std::streamsize>(durable.bytes.size()));
      ::chmod(path.c_str(), durable.mode);
      if (durable.modified) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, *durable.modified};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
      }
    }
  }
}

}  // namespace sk::test
