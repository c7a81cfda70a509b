// The disk scanner TDiskScan: walks a directory, the mounted file system that holds it, or every
// suitable mounted file system, and finds the entries whose names match a list of masks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/FileTree.h"
#include "scan/Mask.h"

namespace sk {

// The mask list the scan dialog searches with: the picture files the program reads by name.
inline constexpr char kPictureMasks[] = "*.bmp, *.jpg, *.jpeg, *.gif, *.tiff";

// What a scan walks.
enum class TScanOptions {
  kAllDisks = 0,       // every mounted file system of a disk, network, CD-ROM or RAM disk type
  kSpecifiedDisk = 1,  // the mounted file system that holds ScanDir, from its mount point
  kSpecifiedDir = 2,   // the directory ScanDir
};

// One matching entry.
struct TFileObject {
  std::string name;   // the entry's name, as the file system returns it
  std::string path;   // its folder, always ending with "/"
  uint64_t size = 0;  // bytes; 0 for a directory
  uint32_t attr = 0;  // the kAttr bits of platform/FileTree.h
  uint32_t time = 0;  // last write, local time, packed as the FAT file system packs it
  std::string FullName() const { return path + name; }
  bool operator==(const TFileObject&) const = default;
};

class TDiskScan;
// Fired at the start of every directory visited, with the totals reached so far.
using TOnProcessEvent = std::function<void(TDiskScan& sender, const std::string& dir,
                                           int64_t files_count, uint64_t files_size)>;
// Fired once when a scan ends, also after a stop.
using TOnChangedEvent =
    std::function<void(TDiskScan& sender, int64_t files_count, uint64_t files_size)>;

class TDiskScan {
 public:
  // tree: where the scan reads directories and the mount table; null for the system's own. The
  // scanner shares ownership of it.
  explicit TDiskScan(std::shared_ptr<TFileTree> tree = nullptr);

  // The comma-separated mask list (default "*"); compiled at the start of every scan.
  const std::string& FileMask() const { return file_mask_; }
  void SetFileMask(std::string mask) { file_mask_ = std::move(mask); }
  // Whether a scan collects a TFileObject for every match (default true).
  bool UpdateList() const { return update_list_; }
  void SetUpdateList(bool update) { update_list_ = update; }
  // What a scan walks (default kAllDisks).
  TScanOptions ScanOptions() const { return scan_options_; }
  void SetScanOptions(TScanOptions options) { scan_options_ = options; }
  // The directory of kSpecifiedDir, and the directory whose file system kSpecifiedDisk walks
  // (default "/"). Setting it changes nothing else.
  const std::string& ScanDir() const { return scan_dir_; }
  void SetScanDir(std::string dir) { scan_dir_ = std::move(dir); }
  // Whether PumpMessages runs after every directory entry (default true).
  bool ProcessMsg() const { return process_msg_; }
  void SetProcessMsg(bool process) { process_msg_ = process; }
  // Whether a scan descends into subdirectories (default true).
  bool DoRecursive() const { return do_recursive_; }
  void SetDoRecursive(bool recursive) { do_recursive_ = recursive; }

  TOnProcessEvent OnProcess;
  TOnChangedEvent OnChanged;
  // Handles the user's pending input (a window's event queue); a Stop made from it ends the scan.
  std::function<void()> PumpMessages;

  // Runs one scan with the current settings and returns when it has ended or was stopped:
  // empties Files and the totals, compiles the masks (raising EMaskError, before any event, for an
  // invalid one), walks depth-first in the order the file system lists entries, and fires
  // OnChanged. Every entry whose name matches a mask and that is a regular file or a directory
  // (or a link to one) counts; a directory is descended into when DoRecursive is set, unless it is
  // a link, lies on another mounted file system, or is one of the directories being walked.
  // Directories that cannot be listed yield nothing. An exception from a handler leaves the scan
  // with its listings closed. Raises std::logic_error when called while a scan runs.
  void Scan();
  // Makes the running scan end at its next entry. Meant for handlers run by PumpMessages.
  void Stop() { stopped_ = true; }
  bool Stopped() const { return stopped_; }
  bool Scanning() const { return scanning_; }

  // The matches of the last scan in the order found (filled only with UpdateList).
  const std::vector<TFileObject>& Files() const { return files_; }
  // Empties Files without touching the totals.
  void ClearFiles() { files_.clear(); }
  // The totals of the running or last scan: matching entries and the sum of their sizes.
  int64_t FilesCount() const { return files_count_; }
  uint64_t FilesSize() const { return files_size_; }

 private:
  // Walks one mounted file system or directory from dir.
  void ScanRoot(const std::string& dir);
  // real_dir: dir with links and "." and ".." resolved, to compare with the mount points.
  void ScanDirectory(const std::string& dir, const std::string& real_dir,
                     TDirectoryListing* listing);
  bool MatchesAnyMask(const std::string& name) const;

  std::shared_ptr<TFileTree> tree_;
  std::string file_mask_ = "*";
  bool update_list_ = true;
  TScanOptions scan_options_ = TScanOptions::kAllDisks;
  std::string scan_dir_ = "/";
  bool process_msg_ = true;
  bool do_recursive_ = true;

  std::vector<TFileObject> files_;
  int64_t files_count_ = 0;
  uint64_t files_size_ = 0;
  bool stopped_ = false;
  bool scanning_ = false;

  // Held during a scan only.
  std::vector<TMask> masks_;
  std::unordered_set<std::string> mount_points_;  // every mount point of the table
  uint64_t root_device_ = 0;
  std::vector<TDirectoryId> walking_;  // the directories from the root to the one being listed
};

}  // namespace sk
