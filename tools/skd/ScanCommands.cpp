// skd scan: the disk scanner of the scan dialog, listing the full path of every match.
#include <cstdio>
#include <memory>
#include <string>

#include "scan/QMSScanner.h"
#include "tools/skd/Commands.h"

namespace sk::skd {

namespace {

void AddScan(CLI::App& app) {
  struct Options {
    std::string dir;
    std::string mask = kPictureMasks;
    bool no_recursive = false;
    bool drive = false;
    bool all_disks = false;
  };
  auto options = std::make_shared<Options>();
  auto* command = app.add_subcommand(
      "scan",
      "Find files by name as the program's scan dialog does: print each match's full path on a "
      "line of its own, in the order found, then the totals on standard error");
  command->add_option("DIR", options->dir, "Folder to scan (with --drive: a folder of the drive)")
      ->required();
  command
      ->add_option("--mask", options->mask,
                   "Comma-separated file-name masks (*, ?, [set], [!set], [a-z])")
      ->capture_default_str();
  command->add_flag("--no-recursive", options->no_recursive, "Do not descend into subfolders");
  auto* drive =
      command->add_flag("--drive", options->drive,
                        "Scan the whole mounted file system that holds DIR, from its mount point");
  auto* all_disks = command->add_flag(
      "--all-disks", options->all_disks,
      "Scan every mounted disk, network share, CD-ROM and RAM disk (DIR is not used)");
  drive->excludes(all_disks);
  command->callback([options] {
    TDiskScan scan;
    scan.SetFileMask(options->mask);
    scan.SetScanDir(options->dir);
    scan.SetDoRecursive(!options->no_recursive);
    scan.SetScanOptions(options->all_disks ? TScanOptions::kAllDisks
                        : options->drive   ? TScanOptions::kSpecifiedDisk
                                           : TScanOptions::kSpecifiedDir);
    // Ctrl+C ends a long scan between two entries.
    scan.PumpMessages = [] { ThrowIfInterrupted(); };
    try {
      scan.Scan();
    } catch (const EMaskError& e) {
      throw ECommandError(e.what());
    }
    for (const TFileObject& file : scan.Files()) {
      const std::string line = file.FullName() + "\n";
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
    std::fflush(stdout);
    std::fprintf(stderr, "Total files %lld size %llu Kb\n",
                 static_cast<long long>(scan.FilesCount()),
                 static_cast<unsigned long long>(scan.FilesSize() / 1024));
  });
}

}  // namespace

void AddScanCommands(CLI::App& app) {
  AddScan(app);
}

}  // namespace sk::skd
