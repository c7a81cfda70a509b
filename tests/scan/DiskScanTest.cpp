// Tests of the disk scanner's walk over an in-memory directory tree: order of events and results,
// the roots of each scan option, mounts, links, unreadable folders, stopping and failures.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "scan/QMSScanner.h"

namespace sk {
namespace {

constexpr char kDialogMasks[] = "*.bmp, *.jpg, *.jpeg, *.gif, *.tiff";
constexpr uint64_t kGiB = uint64_t{1} << 30;

struct TFakeEntry {
  std::string name;
  TEntryKind kind = TEntryKind::kFile;
  uint64_t size = 0;
  TEntryKind target = TEntryKind::kOther;  // what a link points to
};

// A directory tree in memory: each folder lists its entries in the order given. A folder entry
// with no folder added for its path cannot be listed.
class TFakeTree : public TFileTree {
 public:
  void AddDir(const std::string& path, std::vector<TFakeEntry> entries, uint64_t device = 1,
              uint64_t inode = 0) {
    dirs_[path] = {std::move(entries), {device, inode != 0 ? inode : ++next_inode_}};
  }

  std::unique_ptr<TDirectoryListing> Open(const std::string& path, bool follow_link) override {
    opened.push_back(path);
    if (!follow_link) ++opened_without_follow;
    const auto found = dirs_.find(path);
    if (found == dirs_.end()) return nullptr;
    return std::make_unique<TListing>(*this, found->second);
  }
  std::vector<TMountEntry> Mounts() override { return mounts; }
  std::string Canonical(const std::string& path) override {
    const auto alias = aliases.find(path);
    return alias == aliases.end() ? path : alias->second;
  }
  bool IsDirectory(const std::string& path) override { return dirs_.count(path) != 0; }

  std::vector<TMountEntry> mounts;
  std::map<std::string, std::string> aliases;  // paths and what they resolve to
  std::vector<std::string> opened;
  int opened_without_follow = 0;
  int open_listings = 0;

 private:
  struct TDir {
    std::vector<TFakeEntry> entries;
    TDirectoryId id;
  };
  class TListing : public TDirectoryListing {
   public:
    TListing(TFakeTree& tree, const TDir& dir) : tree_(tree), dir_(dir) { ++tree_.open_listings; }
    ~TListing() override { --tree_.open_listings; }
    TDirectoryId Id() const override { return dir_.id; }
    bool Next(TTreeEntry& entry) override {
      if (next_ == dir_.entries.size()) return false;
      const TFakeEntry& fake = dir_.entries[next_++];
      entry = {fake.name, fake.kind};
      return true;
    }
    std::optional<TEntryDetails> Details(const TTreeEntry& entry) override {
      for (const TFakeEntry& fake : dir_.entries) {
        if (fake.name != entry.name) continue;
        TEntryDetails details;
        details.kind = fake.kind == TEntryKind::kLink ? fake.target : fake.kind;
        details.size = details.kind == TEntryKind::kFile ? fake.size : 0;
        details.attr = details.kind == TEntryKind::kDirectory ? kAttrDirectory : kAttrArchive;
        details.time = 0x4A210000;
        return details;
      }
      return std::nullopt;
    }

   private:
    TFakeTree& tree_;
    const TDir& dir_;
    size_t next_ = 0;
  };

  std::map<std::string, TDir> dirs_;
  uint64_t next_inode_ = 100;
};

TFakeEntry File(std::string name, uint64_t size = 10) {
  return {std::move(name), TEntryKind::kFile, size};
}
TFakeEntry Dir(std::string name) {
  return {std::move(name), TEntryKind::kDirectory};
}
TFakeEntry Link(std::string name, TEntryKind target, uint64_t size = 0) {
  return {std::move(name), TEntryKind::kLink, size, target};
}

using TProcessed = std::tuple<std::string, int64_t, uint64_t>;

// A scanner over a fake tree that records its events.
class DiskScanTest : public ::testing::Test {
 protected:
  DiskScanTest() : tree_(std::make_shared<TFakeTree>()), scan_(tree_) {
    scan_.SetFileMask(kDialogMasks);
    scan_.SetScanOptions(TScanOptions::kSpecifiedDir);
    scan_.OnProcess = [this](TDiskScan&, const std::string& dir, int64_t count, uint64_t size) {
      processed_.emplace_back(dir, count, size);
    };
    scan_.OnChanged = [this](TDiskScan&, int64_t count, uint64_t size) {
      changed_.emplace_back(count, size);
    };
  }

  std::vector<std::string> FullNames() const {
    std::vector<std::string> names;
    for (const TFileObject& file : scan_.Files()) names.push_back(file.FullName());
    return names;
  }
  std::vector<std::string> ProcessedDirs() const {
    std::vector<std::string> dirs;
    for (const TProcessed& p : processed_) dirs.push_back(std::get<0>(p));
    return dirs;
  }

  std::shared_ptr<TFakeTree> tree_;
  TDiskScan scan_;
  std::vector<TProcessed> processed_;
  std::vector<std::pair<int64_t, uint64_t>> changed_;
};

TEST_F(DiskScanTest, WalksDepthFirstInListingOrder) {
  tree_->AddDir("/A", {File("x.jpg", 100), Dir("Sub"), File("z.bmp", 50)});
  tree_->AddDir("/A/Sub", {File("y.gif", 7)});
  scan_.SetScanDir("/A");
  scan_.Scan();
  const std::vector<TProcessed> expected = {{"/A", 0, 0}, {"/A/Sub", 1, 100}};
  EXPECT_EQ(processed_, expected);
  EXPECT_EQ(FullNames(), (std::vector<std::string>{"/A/x.jpg", "/A/Sub/y.gif", "/A/z.bmp"}));
  ASSERT_EQ(scan_.Files().size(), 3u);
  EXPECT_EQ(scan_.Files()[0], (TFileObject{"x.jpg", "/A/", 100, kAttrArchive, 0x4A210000}));
  EXPECT_EQ(changed_, (std::vector<std::pair<int64_t, uint64_t>>{{3, 157}}));
  EXPECT_EQ(tree_->open_listings, 0);
}

TEST_F(DiskScanTest, JoinsPathsWithOneSlash) {
  tree_->AddDir("/", {File("root.jpg"), Dir("Windows")});
  tree_->AddDir("/Windows", {File("w.gif")});
  tree_->AddDir("/Data/", {Dir("Sub")});
  tree_->AddDir("/Data/Sub", {File("s.bmp")});
  const struct {
    const char* scan_dir;
    std::vector<std::string> dirs, files;
  } cases[] = {
      {"/", {"/", "/Windows"}, {"/root.jpg", "/Windows/w.gif"}},
      {"/Data/", {"/Data/", "/Data/Sub"}, {"/Data/Sub/s.bmp"}},
      {"", {""}, {}},  // nothing to list
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scan_dir);
    processed_.clear();
    scan_.SetScanDir(c.scan_dir);
    scan_.Scan();
    EXPECT_EQ(ProcessedDirs(), c.dirs);
    EXPECT_EQ(FullNames(), c.files);
  }
}

TEST_F(DiskScanTest, DiskOptionWalksTheMountHoldingTheDirectoryFromItsRoot) {
  tree_->mounts = {{"/dev/sda1", "/", "ext4"}, {"/dev/sdb1", "/mnt/d", "ext4"}};
  tree_->AddDir("/", {File("top.jpg")});
  tree_->AddDir("/mnt/d", {File("d.jpg"), Dir("Photos")}, 2);
  tree_->AddDir("/mnt/d/Photos", {Dir("2019")}, 2);
  tree_->AddDir("/mnt/d/Photos/2019", {File("p.gif")}, 2);
  scan_.SetScanOptions(TScanOptions::kSpecifiedDisk);
  scan_.SetScanDir("/mnt/d/Photos/2019");
  scan_.Scan();
  EXPECT_EQ(ProcessedDirs(),
            (std::vector<std::string>{"/mnt/d", "/mnt/d/Photos", "/mnt/d/Photos/2019"}));
  EXPECT_EQ(FullNames(), (std::vector<std::string>{"/mnt/d/d.jpg", "/mnt/d/Photos/2019/p.gif"}));
  EXPECT_EQ(scan_.ScanOptions(), TScanOptions::kSpecifiedDisk);
  EXPECT_EQ(scan_.ScanDir(), "/mnt/d/Photos/2019");
}

TEST_F(DiskScanTest, WithoutRecursionOnlyTheDirectoryItselfCounts) {
  tree_->AddDir("/A", {Dir("Holiday.jpg"), Dir("Sub"), File("a.gif", 5)});
  tree_->AddDir("/A/Holiday.jpg", {File("in.jpg")});
  tree_->AddDir("/A/Sub", {File("in.gif")});
  scan_.SetScanDir("/A");
  scan_.SetDoRecursive(false);
  scan_.Scan();
  EXPECT_EQ(ProcessedDirs(), std::vector<std::string>{"/A"});
  EXPECT_EQ(FullNames(), (std::vector<std::string>{"/A/Holiday.jpg", "/A/a.gif"}));
  EXPECT_EQ(scan_.Files()[0].attr, kAttrDirectory);
  EXPECT_EQ(scan_.Files()[0].size, 0u);
  EXPECT_EQ(tree_->opened, std::vector<std::string>{"/A"});
}

TEST_F(DiskScanTest, AllDisksVisitsEachSuitableMountOnceAndStopLetsEachReportItsStart) {
  tree_->mounts = {
      {"/dev/vda", "/", "ext4"},          {"proc", "/proc", "proc"},
      {"/dev/vdb", "/data", "xfs"},       {"nas:/p", "/net", "nfs4"},
      {"tmpfs", "/ram", "tmpfs"},         {"/dev/sr0", "/cd", "iso9660"},
      {"/dev/vda", "/etc/hosts", "ext4"},  // a single file bound over another
      {"/dev/vdb", "/data/", "xfs"},       // the same mount point twice
      {"sysfs", "/sys", "sysfs"},         {"cgroup2", "/sys/fs/cgroup", "cgroup2"},
  };
  tree_->AddDir("/", {File("a.jpg"), File("b.jpg"), Dir("data"), Dir("proc")}, 1);
  tree_->AddDir("/proc", {File("p.jpg")}, 9);
  tree_->AddDir("/sys", {File("s.jpg")}, 8);
  tree_->AddDir("/data", {File("d.jpg")}, 2);
  tree_->AddDir("/net", {File("n.jpg")}, 3);
  tree_->AddDir("/ram", {File("r.jpg")}, 4);
  tree_->AddDir("/cd", {File("c.jpg")}, 5);
  scan_.SetScanOptions(TScanOptions::kAllDisks);
  scan_.Scan();
  EXPECT_EQ(ProcessedDirs(), (std::vector<std::string>{"/", "/data", "/net", "/ram", "/cd"}));
  EXPECT_EQ(FullNames(), (std::vector<std::string>{"/a.jpg", "/b.jpg", "/data/d.jpg", "/net/n.jpg",
                                                   "/ram/r.jpg", "/cd/c.jpg"}));

  // Stopped at the first entry: every later drive still reports its start, then ends.
  processed_.clear();
  changed_.clear();
  scan_.PumpMessages = [this] { scan_.Stop(); };
  scan_.Scan();
  EXPECT_EQ(ProcessedDirs(), (std::vector<std::string>{"/", "/data", "/net", "/ram", "/cd"}));
  EXPECT_EQ(FullNames(), std::vector<std::string>{"/a.jpg"});
  EXPECT_EQ(changed_, (std::vector<std::pair<int64_t, uint64_t>>{{1, 10}}));
  EXPECT_TRUE(scan_.Stopped());
}

TEST_F(DiskScanTest, NeverCrossesIntoAnotherMountOrFollowsALinkOrWalksADirectoryTwice) {
  tree_->mounts = {{"/dev/vda", "/", "ext4"}, {"/dev/vda", "/home/bound", "ext4"}};
  tree_->AddDir("/home",
                {Dir("other.jpg"), Dir("bound"), Link("to-home", TEntryKind::kDirectory),
                 Dir("again"), Dir("sub")},
                1, 50);
  tree_->AddDir("/home/other.jpg", {File("o.jpg")}, 2);     // another file system
  tree_->AddDir("/home/bound", {File("b.jpg")}, 1);         // a bind mount
  tree_->AddDir("/home/again", {File("loop.jpg")}, 1, 50);  // /home bound over itself
  tree_->AddDir("/home/sub", {Dir("up")}, 1);
  tree_->AddDir("/home/sub/up", {File("u.jpg")}, 1, 50);
  scan_.SetScanDir("/home");
  scan_.SetFileMask("*");
  scan_.Scan();
  EXPECT_EQ(ProcessedDirs(), (std::vector<std::string>{"/home", "/home/sub"}));
  // Their names still match, as entries of /home.
  EXPECT_EQ(FullNames(),
            (std::vector<std::string>{"/home/other.jpg", "/home/bound", "/home/to-home",
                                      "/home/again", "/home/sub", "/home/sub/up"}));
  EXPECT_EQ(std::count(tree_->opened.begin(), tree_->opened.end(), "/home/to-home"), 0);
  EXPECT_EQ(std::count(tree_->opened.begin(), tree_->opened.end(), "/home/bound"), 0);
}

TEST_F(DiskScanTest, MountsAreRecognisedBelowARelativeOrLinkedRoot) {
  tree_->mounts = {{"/dev/vda", "/", "ext4"}, {"/dev/vda", "/home/ann/bound", "ext4"}};
  tree_->aliases = {{"ann", "/home/ann"}};
  tree_->AddDir("ann", {Dir("bound"), Dir("pics")});
  tree_->AddDir("ann/bound", {File("b.jpg")});
  tree_->AddDir("ann/pics", {File("p.jpg")});
  scan_.SetScanDir("ann");
  scan_.Scan();
  EXPECT_EQ(ProcessedDirs(), (std::vector<std::string>{"ann", "ann/pics"}));
  EXPECT_EQ(FullNames(), std::vector<std::string>{"ann/pics/p.jpg"});
}

TEST_F(DiskScanTest, CountsFilesAndLinksToFilesButNotFIFOsOrDanglingLinks) {
  tree_->AddDir("/A", {File("real.jpg", 3 * kGiB),
                       Link("alias.jpg", TEntryKind::kFile, 3 * kGiB),
                       {"fifo.jpg", TEntryKind::kOther},
                       Link("dangling.jpg", TEntryKind::kOther),
                       Link("socket.gif", TEntryKind::kOther)});
  scan_.SetScanDir("/A");
  scan_.Scan();
  EXPECT_EQ(FullNames(), (std::vector<std::string>{"/A/real.jpg", "/A/alias.jpg"}));
  EXPECT_EQ(scan_.Files()[0].size, 3 * kGiB);
  EXPECT_EQ(changed_, (std::vector<std::pair<int64_t, uint64_t>>{{2, 6 * kGiB}}));
}

TEST_F(DiskScanTest, AnUnreadableFolderYieldsNothingAndTheWalkGoesOn) {
  tree_->AddDir("/A", {Dir("locked"), File("after.jpg", 4)});  // "/A/locked" cannot be listed
  scan_.SetScanDir("/A");
  scan_.Scan();
  const std::vector<TProcessed> expected = {{"/A", 0, 0}, {"/A/locked", 0, 0}};
  EXPECT_EQ(processed_, expected);
  EXPECT_EQ(FullNames(), std::vector<std::string>{"/A/after.jpg"});

  processed_.clear();
  scan_.SetScanDir("/missing");
  scan_.Scan();
  EXPECT_EQ(processed_, (std::vector<TProcessed>{{"/missing", 0, 0}}));
  EXPECT_EQ(changed_.back(), (std::pair<int64_t, uint64_t>{0, 0}));
  EXPECT_TRUE(scan_.Files().empty());
}

TEST_F(DiskScanTest, CountsWithoutAListAndFindsNothingWithNoMasks) {
  tree_->AddDir("/A", {File("a.jpg", 1536), File("b.txt")});
  scan_.SetScanDir("/A");
  scan_.SetUpdateList(false);
  scan_.Scan();
  EXPECT_TRUE(scan_.Files().empty());
  EXPECT_EQ(changed_.back(), (std::pair<int64_t, uint64_t>{1, 1536}));
  scan_.SetFileMask(" , ");
  scan_.Scan();
  EXPECT_EQ(changed_.back(), (std::pair<int64_t, uint64_t>{0, 0}));
}

TEST_F(DiskScanTest, AnInvalidMaskFailsBeforeAnyEventButAfterEmptyingTheResults) {
  tree_->AddDir("/A", {File("a.jpg")});
  scan_.SetScanDir("/A");
  scan_.Scan();
  ASSERT_EQ(scan_.Files().size(), 1u);
  processed_.clear();
  changed_.clear();
  scan_.SetFileMask("*.jpg, *.[gif");
  try {
    scan_.Scan();
    ADD_FAILURE() << "no error";
  } catch (const EMaskError& e) {
    EXPECT_STREQ(e.what(), "'*.[gif' is an invalid mask at (3)");
  }
  EXPECT_TRUE(processed_.empty());
  EXPECT_TRUE(changed_.empty());
  EXPECT_TRUE(scan_.Files().empty());
  EXPECT_EQ(scan_.FilesCount(), 0);
  EXPECT_FALSE(scan_.Scanning());
}

TEST_F(DiskScanTest, AFailingHandlerLeavesTheScanWithItsListingsClosed) {
  tree_->AddDir("/A", {File("x.jpg"), Dir("Sub"), File("z.bmp")});
  tree_->AddDir("/A/Sub", {Dir("Deeper")});
  tree_->AddDir("/A/Sub/Deeper", {File("y.gif")});
  scan_.SetScanDir("/A");
  scan_.OnProcess = [](TDiskScan&, const std::string& dir, int64_t, uint64_t) {
    if (dir == "/A/Sub/Deeper") throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(scan_.Scan(), std::runtime_error);
  EXPECT_EQ(tree_->open_listings, 0);
  EXPECT_FALSE(scan_.Scanning());
  EXPECT_TRUE(changed_.empty());
  scan_.OnProcess = nullptr;
  scan_.Scan();
  EXPECT_EQ(scan_.Files().size(), 3u);
}

TEST_F(DiskScanTest, AScanStartedFromWithinARunningScanIsRefused) {
  tree_->AddDir("/A", {File("x.jpg"), File("y.jpg")});
  scan_.SetScanDir("/A");
  int refused = 0;
  scan_.PumpMessages = [&] {
    try {
      scan_.Scan();
    } catch (const std::logic_error&) {
      ++refused;
    }
  };
  scan_.Scan();
  EXPECT_EQ(refused, 2);
  EXPECT_EQ(FullNames(), (std::vector<std::string>{"/A/x.jpg", "/A/y.jpg"}));
  // With ProcessMsg off the pump never runs.
  scan_.SetProcessMsg(false);
  scan_.Scan();
  EXPECT_EQ(refused, 2);
}

}  // namespace
}  // namespace sk
