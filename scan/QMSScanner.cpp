// The disk scanner: the depth-first walk, the choice of roots and the totals.
#include "scan/QMSScanner.h"

#include <algorithm>
#include <stdexcept>

#include "platform/Drives.h"

namespace sk {

namespace {

// dir joined with name: nothing for an empty dir, no second "/" after one that ends with it.
std::string JoinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return std::string();
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

// Restores a flag and drops what a scan holds on every way out of Scan.
class TScanGuard {
 public:
  explicit TScanGuard(std::function<void()> release) : release_(std::move(release)) {}
  ~TScanGuard() { release_(); }
  TScanGuard(const TScanGuard&) = delete;
  TScanGuard& operator=(const TScanGuard&) = delete;

 private:
  std::function<void()> release_;
};

}  // namespace

TDiskScan::TDiskScan(std::shared_ptr<TFileTree> tree)
    : tree_(tree ? std::move(tree) : std::make_shared<TPosixFileTree>()) {}

void TDiskScan::Scan() {
  if (scanning_) throw std::logic_error("a disk scan is already running");
  files_.clear();
  files_count_ = 0;
  files_size_ = 0;
  scanning_ = true;
  const TScanGuard guard([this] {
    scanning_ = false;
    masks_.clear();
    mount_points_.clear();
    walking_.clear();
  });
  for (const std::string& mask : SplitMaskList(file_mask_)) masks_.emplace_back(mask);
  stopped_ = false;

  const std::vector<TMountEntry> mounts = tree_->Mounts();
  for (const TMountEntry& entry : mounts) {
    std::string path = entry.mount_point;
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    mount_points_.insert(std::move(path));
  }
  switch (scan_options_) {
    case TScanOptions::kAllDisks:
      // Like a stopped directory, every remaining drive still reports its start and ends at once.
      for (const std::string& drive : ScanDrives(
               mounts, [this](const std::string& path) { return tree_->IsDirectory(path); })) {
        ScanRoot(drive);
      }
      break;
    case TScanOptions::kSpecifiedDisk:
      ScanRoot(MountPointOf(mounts, tree_->Canonical(scan_dir_)));
      break;
    case TScanOptions::kSpecifiedDir: ScanRoot(scan_dir_); break;
  }
  masks_.clear();
  if (OnChanged) OnChanged(*this, files_count_, files_size_);
}

void TDiskScan::ScanRoot(const std::string& dir) {
  // The directory chosen is listed even when it is reached through a link.
  const std::unique_ptr<TDirectoryListing> listing = tree_->Open(dir, true);
  walking_.clear();
  if (listing) {
    root_device_ = listing->Id().device;
    walking_.push_back(listing->Id());
  }
  ScanDirectory(dir, tree_->Canonical(dir), listing.get());
}

void TDiskScan::ScanDirectory(const std::string& dir, const std::string& real_dir,
                              TDirectoryListing* listing) {
  if (OnProcess) OnProcess(*this, dir, files_count_, files_size_);
  if (listing == nullptr) return;
  TTreeEntry entry;
  while (!stopped_ && listing->Next(entry)) {
    if (entry.name == "." || entry.name == "..") continue;
    if (MatchesAnyMask(entry.name)) {
      const std::optional<TEntryDetails> details = listing->Details(entry);
      // Only what can be read as a file, and folders, count: a FIFO or a device named like a
      // picture would block or never end when read.
      if (details &&
          (details->kind == TEntryKind::kFile || details->kind == TEntryKind::kDirectory)) {
        ++files_count_;
        files_size_ += details->size;
        if (update_list_) {
          files_.push_back({entry.name, JoinPath(dir, std::string()), details->size, details->attr,
                            details->time});
        }
      }
    }
    if (do_recursive_ && entry.kind == TEntryKind::kDirectory) {
      const std::string sub = JoinPath(dir, entry.name);
      // No link is followed below the root, so the real path of a subdirectory is its name
      // joined to the real path of its parent.
      const std::string real_sub = JoinPath(real_dir, entry.name);
      if (mount_points_.count(real_sub) == 0) {
        const std::unique_ptr<TDirectoryListing> sub_listing = tree_->Open(sub, false);
        if (!sub_listing) {
          ScanDirectory(sub, real_sub, nullptr);
        } else if (sub_listing->Id().device == root_device_ &&
                   std::find(walking_.begin(), walking_.end(), sub_listing->Id()) ==
                       walking_.end()) {
          walking_.push_back(sub_listing->Id());
          ScanDirectory(sub, real_sub, sub_listing.get());
          walking_.pop_back();
        }
      }
    }
    if (process_msg_ && PumpMessages) PumpMessages();
  }
}

bool TDiskScan::MatchesAnyMask(const std::string& name) const {
  return std::any_of(masks_.begin(), masks_.end(),
                     [&name](const TMask& mask) { return mask.Matches(name); });
}

}  // namespace sk
