// The store's life: FileName assignment, working files, read-only containers, progress, the
// overwrite check, warnings, the file-error reporter, and closes that cannot write.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "tests/store/StoreTestUtil.h"

namespace sk {
namespace {

using test::Bytes;
using test::ReadBytes;
using test::StreamOf;

class KESOpenCloseTest : public test::StoreTest {
 protected:
  void TearDown() override {
    SetFileFaultHook(nullptr);
    StoreTest::TearDown();
  }
  // A store holding the given keys, each with a one-byte body, closed.
  void MakeStore(const std::string& path, const std::vector<std::string>& keys) {
    TKES store(&collator_);
    store.SetFileName(path);
    for (const std::string& key : keys) {
      TMemoryStream stream = StreamOf(key);
      store.AddItem(stream, key);
    }
  }
  TCollator collator_{"en_US"};
};

TEST_F(KESOpenCloseTest, SameNameAgainDoesNothingAndFiresNoEvent) {
  TKES store(&collator_);
  int assigned = 0;
  store.OnFileAssigned = [&](TKES&) { ++assigned; };
  store.SetFileName(Path("a.skd"));
  EXPECT_EQ(assigned, 1);
  const std::string cwd = std::filesystem::current_path();
  std::filesystem::current_path(Dir());
  store.SetFileName("./sub/../a.skd");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(assigned, 1);
  store.SetFileName("");
  EXPECT_EQ(assigned, 2);
  EXPECT_FALSE(store.Active());
}

TEST_F(KESOpenCloseTest, WorkingFilesArePrivateRelatedAndRemovedOnClose) {
  TKES store(&collator_);
  store.SetFileName(Path("w.skd"));
  const std::string data = store.DataFileName(), index = store.IndexFileName();
  EXPECT_EQ(ExtractFileDir(data), Path("tmp"));
  EXPECT_EQ(ExtractFileName(data).substr(0, 3), "KES");
  EXPECT_EQ(ExtractFileName(index), "IXS" + ExtractFileName(data).substr(3));
  for (const std::string& file : {data, index}) {
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  store.SetFileName("");
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(KESOpenCloseTest, ReadOnlyContainerOpensReadOnlyAndIsNeverRewritten) {
  MakeStore(Path("ro.skd"), {"one"});
  ::chmod(Path("ro.skd").c_str(), 0444);
  const Bytes before = ReadBytes(Path("ro.skd"));
  {
    TKES store(&collator_);
    store.SetFileName(Path("ro.skd"));
    EXPECT_TRUE(store.ReadOnly());
    TMemoryStream stream = StreamOf("two");
    try {
      store.AddItem(stream, "two");
      FAIL();
    } catch (const EKESReadOnly& e) {
      EXPECT_EQ(e.what(), Path("ro.skd") + " is a read-only file");
    }
    int warned = 0;
    store.WarnReadOnly = [&](TKES&) { ++warned; };
    store.AddItem(stream, "two");
    EXPECT_EQ(warned, 1);
    EXPECT_EQ(store.Count(), 1);
  }
  EXPECT_EQ(ReadBytes(Path("ro.skd")), before);
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(KESOpenCloseTest, ReadOnlyAttributeDoesNotCarryOverToTheNextStore) {
  MakeStore(Path("ro.skd"), {"one"});
  ::chmod(Path("ro.skd").c_str(), 0444);
  TKES store(&collator_);
  store.SetFileName(Path("ro.skd"));
  EXPECT_TRUE(store.ReadOnly());
  store.SetFileName(Path("rw.skd"));
  EXPECT_FALSE(store.ReadOnly());
  store.SetReadOnly(true);  // a read-only wish of the program's own stays
  store.SetFileName(Path("ro.skd"));
  store.SetFileName(Path("rw.skd"));
  EXPECT_TRUE(store.ReadOnly());
}

TEST_F(KESOpenCloseTest, WarningsAreIndexErrorsAndStoreErrors) {
  TKES store(&collator_);
  TMemoryStream stream;
  auto expect_both = [](auto&& action) {
    EXPECT_THROW(action(), EKESIndexError);
    EXPECT_THROW(action(), EKESError);
  };
  expect_both([&] { store.GetItem(stream); });  // no file
  store.SetFileName(Path("e.skd"));
  expect_both([&] { store.GetItem(stream); });  // no data
  TMemoryStream one = StreamOf("1");
  store.AddItem(one, "one");
  expect_both([&] { store.MoveTo(5); });
  store.SetReadOnly(true);
  expect_both([&] { store.Delete(); });
  store.SetReadOnly(false);
}

TEST_F(KESOpenCloseTest, ProgressReportsTenthsOfStepsAndFinishesWithZero) {
  std::vector<std::string> keys;
  for (int i = 0; i < 10; ++i) keys.push_back("k" + std::to_string(i));
  MakeStore(Path("p.skd"), keys);
  std::vector<std::pair<int, TProgressOrigin>> reports;
  int pumped = 0;
  TKES store(&collator_);
  store.ProgressUpdate = [&](TKES&, int percent, TProgressOrigin origin) {
    reports.emplace_back(percent, origin);
  };
  store.ProcessMessages = [&] { ++pumped; };
  store.SetFileName(Path("p.skd"));
  // 10 records: step 2, ticks at 2, 4, ..., 10 give 10, 20, ..., 50; then 0.
  std::vector<std::pair<int, TProgressOrigin>> expected;
  for (int p : {10, 20, 30, 40, 50, 0}) expected.emplace_back(p, TProgressOrigin::poOpen);
  EXPECT_EQ(reports, expected);
  EXPECT_EQ(pumped, 5);
}

TEST_F(KESOpenCloseTest, ContainerChangedOnDiskIsSavedUnderNewNameUnlessOverwriteAllowed) {
  for (const bool allow : {false, true}) {
    SCOPED_TRACE(allow);
    MakeStore(Path("c.skd"), {"mine"});
    TKES store(&collator_);
    store.SetFileName(Path("c.skd"));
    TMemoryStream item = test::StreamOf("new picture");
    store.AddItem(item, "added");
    // Someone else writes the container while it is open.
    const Bytes theirs = test::Container({}, Bytes{0, 0, 0, 0});
    test::WriteBytes(Path("c.skd"), theirs);
    const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
    ::utimensat(AT_FDCWD, Path("c.skd").c_str(), later, 0);
    int asked = 0;
    store.BeforeOverWrite = [&](TKES&, bool& ok) {
      ++asked;
      ok = allow;
    };
    store.SetFileName("");
    EXPECT_EQ(asked, 1);
    if (allow) {
      EXPECT_EQ(store.LastWrittenName(), Path("c.skd"));
      EXPECT_NE(ReadBytes(Path("c.skd")), theirs);
    } else {
      EXPECT_EQ(store.LastWrittenName(), Path("1.c.skd"));
      EXPECT_EQ(ReadBytes(Path("c.skd")), theirs);
      TKES copy(&collator_);
      copy.SetFileName(Path("1.c.skd"));
      EXPECT_TRUE(copy.FindKey("mine"));
    }
  }
}

TEST_F(KESOpenCloseTest, OverwriteNameGrowsWhileTaken) {
  MakeStore(Path("g.skd"), {"x"});
  test::WriteBytes(Path("1.g.skd"), {});
  TKES store(&collator_);
  store.SetFileName(Path("g.skd"));
  store.Delete();
  const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
  ::utimensat(AT_FDCWD, Path("g.skd").c_str(), later, 0);
  store.SetFileName("");
  EXPECT_EQ(store.LastWrittenName(), Path("1.1.g.skd"));
}

TEST_F(KESOpenCloseTest, StoreOfEveryKindIsWrittenOnlyWhenItChanged) {
  // Reading, flushing nothing and closing leave the container file itself alone (same file, same
  // bytes); a new password is a change.
  struct Case {
    const char* name;
    std::string password;
    bool strong;
  };
  const Case kCases[] = {{"plain", "", false}, {"legacy", "pw", false}, {"strong", "pw", true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(std::string(c.name) + ".skd");
    auto open = [&](TKES& store) {
      store.KeyCost = MinimumKeyCost();
      store.Password = c.password;
      store.SetStrongProtection(c.strong);
      store.SetFileName(path);
    };
    {
      TKES store(&collator_);
      open(store);
      TMemoryStream item = StreamOf("a picture");
      store.AddItem(item, "picture");
    }
    const Bytes before = ReadBytes(path);
    struct stat old_stat {};
    ASSERT_EQ(::stat(path.c_str(), &old_stat), 0);
    {
      TKES store(&collator_);
      open(store);
      TMemoryStream out;
      store.GetItem(out);
      EXPECT_EQ(test::TextOf(out), "a picture");
      store.Flush();
    }
    struct stat new_stat {};
    ASSERT_EQ(::stat(path.c_str(), &new_stat), 0);
    EXPECT_EQ(new_stat.st_ino, old_stat.st_ino);
    EXPECT_EQ(ReadBytes(path), before);
    {
      TKES store(&collator_);
      open(store);
      store.Password = "another";
    }
    EXPECT_NE(ReadBytes(path), before);
    TKES store(&collator_);
    store.Password = "another";
    store.SetFileName(path);
    EXPECT_EQ(store.Count(), 1);
  }
}

TEST_F(KESOpenCloseTest, StoreClosedWithoutChangesIsNotWritten) {
  MakeStore(Path("same.skd"), {"kept"});
  // Someone else writes the container while it is open: there is nothing of ours to save, so
  // nothing is asked and no copy appears.
  TKES store(&collator_);
  store.SetFileName(Path("same.skd"));
  TMemoryStream out;
  store.GetItem(out);
  const Bytes theirs = test::Container({}, Bytes{0, 0, 0, 0});
  test::WriteBytes(Path("same.skd"), theirs);
  const struct timespec later[2] = {{0, UTIME_OMIT}, {2000000000, 0}};
  ::utimensat(AT_FDCWD, Path("same.skd").c_str(), later, 0);
  int asked = 0;
  store.BeforeOverWrite = [&](TKES&, bool& ok) {
    ++asked;
    ok = true;
  };
  store.SetFileName("");
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(store.LastWrittenName(), Path("same.skd"));
  EXPECT_EQ(ReadBytes(Path("same.skd")), theirs);
  EXPECT_FALSE(FileExists(Path("1.same.skd")));
}

TEST_F(KESOpenCloseTest, CloseThatCannotWriteKeepsStoreOpenAndContainerIntact) {
  MakeStore(Path("full.skd"), {"kept"});
  const Bytes before = ReadBytes(Path("full.skd"));
  TKES store(&collator_);
  store.SetFileName(Path("full.skd"));
  TMemoryStream stream = StreamOf("new picture");
  store.AddItem(stream, "added");
  // The disk fills up while the new container is written beside the old one.
  SetFileFaultHook([](std::string_view op, const std::string& path) {
    return op == "write" && ExtractFileName(path).rfind("TDB", 0) == 0 ? ENOSPC : 0;
  });
  try {
    store.SetFileName("");
    FAIL();
  } catch (const EKESFileError& e) {
    EXPECT_STREQ(e.what(), "Oh man... you got a problem.. your drive is full");
  }
  EXPECT_EQ(store.FileName(), Path("full.skd"));
  EXPECT_TRUE(store.Active());
  EXPECT_EQ(store.Count(), 2);
  EXPECT_EQ(ReadBytes(Path("full.skd")), before);
  // Only the two working files remain; the half-written container is gone.
  EXPECT_EQ(TempFiles().size(), 2u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(Dir()), {}), 2);  // tmp, the store
  SetFileFaultHook(nullptr);
  store.SetFileName("");
  TKES reopened(&collator_);
  reopened.SetFileName(Path("full.skd"));
  EXPECT_TRUE(reopened.FindKey("added"));
  EXPECT_TRUE(reopened.FindKey("kept"));
}

TEST_F(KESOpenCloseTest, IndexWriteFailureAtCloseKeepsEverything) {
  TKES store(&collator_);
  store.SetFileName(Path("i.skd"));
  TMemoryStream stream = StreamOf("body");
  store.AddItem(stream, "item");
  SetFileFaultHook([](std::string_view op, const std::string& path) {
    return op == "write" && ExtractFileName(path).rfind("DBT", 0) == 0 ? EIO : 0;
  });
  EXPECT_THROW(store.SetFileName(""), EKESFileError);
  SetFileFaultHook(nullptr);
  EXPECT_TRUE(store.Active());
  EXPECT_TRUE(store.FindKey("item"));
  TMemoryStream out;
  store.GetItem(out);
  EXPECT_EQ(test::TextOf(out), "body");
}

TEST_F(KESOpenCloseTest, StoreOpenedThroughALinkUpdatesTheLinkedFile) {
  namespace fs = std::filesystem;
  fs::create_directory(Path("real"));
  fs::create_directory(Path("links"));
  MakeStore(Path("real/album.skd"), {"old"});
  fs::create_symlink("../real/album.skd", Path("links/album.skd"));
  {
    TKES store(&collator_);
    store.SetFileName(Path("links/album.skd"));
    TMemoryStream stream = StreamOf("new");
    store.AddItem(stream, "new");
  }
  EXPECT_TRUE(fs::is_symlink(Path("links/album.skd")));
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("real")), {}), 1);  // no leftovers
  EXPECT_EQ(std::distance(fs::directory_iterator(Path("links")), {}), 1);
  TKES store(&collator_);
  store.SetFileName(Path("real/album.skd"));
  EXPECT_TRUE(store.FindKey("new"));
  EXPECT_TRUE(store.FindKey("old"));
}

TEST_F(KESOpenCloseTest, NewContainersAreTheUsersAloneWhateverTheUmask) {
  int n = 0;
  for (const mode_t mask : {0000, 0022, 0277}) {
    SCOPED_TRACE(mask);
    const std::string path = Path("new" + std::to_string(n++) + ".skd");
    const mode_t saved = ::umask(mask);
    {
      TKES store(&collator_);
      store.SetFileName(path);
      struct stat st {};
      ASSERT_EQ(::stat(path.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 0777, 0600u) << "created";
    }
    ::umask(saved);
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "written at close";
  }
  // A container the user has opened up keeps its mode when it is written back.
  MakeStore(Path("shared.skd"), {"a"});
  ::chmod(Path("shared.skd").c_str(), 0640);
  MakeStore(Path("shared.skd"), {"b"});
  struct stat st {};
  ::stat(Path("shared.skd").c_str(), &st);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(KESOpenCloseTest, CloseWritesInPlaceInAClosedFolderAndRefusesAReadOnlyContainer) {
  std::filesystem::create_directory(Path("closed"));
  const std::string path = Path("closed/s.skd");
  MakeStore(path, {"a"});
  struct stat before {}, after {};
  ::stat(path.c_str(), &before);
  ::chmod(Path("closed").c_str(), 0555);  // no new files there, but the store may be written
  MakeStore(path, {"b"});
  ::chmod(Path("closed").c_str(), 0755);
  ::stat(path.c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino);
  {
    TKES store(&collator_);
    store.SetFileName(path);
    EXPECT_TRUE(store.FindKey("a") && store.FindKey("b"));
  }

  // Made read-only while open: the close is refused with a file error and the store stays open.
  const Bytes kept = ReadBytes(path);
  TKES store(&collator_);
  store.SetFileName(path);
  TMemoryStream stream = StreamOf("c");
  store.AddItem(stream, "c");
  ::chmod(path.c_str(), 0444);
  EXPECT_THROW(store.SetFileName(""), EKESFileError);
  EXPECT_TRUE(store.Active());
  EXPECT_EQ(ReadBytes(path), kept);
  ::chmod(path.c_str(), 0644);
  store.SetFileName("");
  store.SetFileName(path);
  EXPECT_TRUE(store.FindKey("c"));
}

TEST_F(KESOpenCloseTest, OpenSweepsWhatDeadProcessesLeftAndNothingElse) {
  namespace fs = std::filesystem;
  const std::string tmp = Path("tmp");
  auto plant = [](const std::string& path) { test::WriteBytes(path, test::BytesOf("left")); };
  // Left by processes that died: a data and index pair, an index whose data file is gone, an
  // index file being written, and a half-written container beside the store.
  const std::vector<std::string> stale = {tmp + "/KES0000ABCD.tmp", tmp + "/IXS0000ABCD.tmp",
                                          tmp + "/IXS0000BEEF.tmp", tmp + "/DBT12345678.tmp",
                                          Path("TDB9ABCDEF0.tmp")};
  for (const std::string& path : stale) plant(path);
  // Held by a live process (the lock is what tells), its index file, and files of other naming.
  TFile live = CreateLockedTempFile(tmp, "KES");
  const std::string live_index = tmp + "/IXS" + ExtractFileName(live.Path()).substr(3);
  TFile live_container = CreateLockedTempFile(Dir(), "TDB");
  const std::vector<std::string> kept = {live.Path(), live_index, live_container.Path(),
                                         tmp + "/KES0000abcd.tmp", tmp + "/notes.tmp",
                                         Path("TDB12.tmp"), tmp + "/KES11111111.kept"};
  for (const std::string& path : {live_index, tmp + "/KES0000abcd.tmp", tmp + "/notes.tmp",
                                  Path("TDB12.tmp"), tmp + "/KES11111111.kept"}) {
    plant(path);
  }
  {
    TKES store(&collator_);
    store.SetFileName(Path("s.skd"));
    for (const std::string& path : stale) EXPECT_FALSE(fs::exists(path)) << path;
    for (const std::string& path : kept) EXPECT_TRUE(fs::exists(path)) << path;
  }
  EXPECT_EQ(TempFiles().size(), 5u);  // the store's own working files are gone
}

TEST_F(KESOpenCloseTest, WorkingFilesGivenUpAfterAFailedCloseSurviveLaterOpens) {
  TKES store(&collator_);
  store.SetFileName(Path("k.skd"));
  TMemoryStream stream = StreamOf("precious");
  store.AddItem(stream, "item");
  SetFileFaultHook([](std::string_view op, const std::string& path) {
    return op == "write" && ExtractFileName(path).rfind("TDB", 0) == 0 ? ENOSPC : 0;
  });
  EXPECT_THROW(store.SetFileName(""), EKESFileError);
  SetFileFaultHook(nullptr);
  store.KeepWorkingFiles();
  EXPECT_FALSE(store.Active());
  EXPECT_EQ(store.FileName(), "");
  const std::string data = store.DataFileName(), index = store.IndexFileName();
  EXPECT_EQ(ExtractFileExt(data), ".kept");
  EXPECT_EQ(ExtractFileExt(index), ".kept");
  TKES other(&collator_);
  other.SetFileName(Path("other.skd"));
  EXPECT_EQ(test::TextOf(TMemoryStream(ReadBytes(data))), "precious");
  EXPECT_TRUE(std::filesystem::exists(index));
}

TEST_F(KESOpenCloseTest, WorkingFilesKeptAfterAFailedCloseHoldTheWholeStore) {
  // The bodies of a reopened store stay in its container while it is open; the kept files still
  // make the whole store on their own, with the index as it was last in memory.
  MakeStore(Path("old.skd"), {"old"});
  TKES store(&collator_);
  store.SetFileName(Path("old.skd"));
  TMemoryStream stream = StreamOf("precious");
  store.AddItem(stream, "new");
  SetFileFaultHook([](std::string_view op, const std::string& path) {
    return op == "write" && ExtractFileName(path).rfind("TDB", 0) == 0 ? ENOSPC : 0;
  });
  EXPECT_THROW(store.SetFileName(""), EKESFileError);
  SetFileFaultHook(nullptr);
  store.KeepWorkingFiles();
  test::WriteBytes(Path("kept.skd"), test::Container(ReadBytes(store.DataFileName()),
                                                     ReadBytes(store.IndexFileName())));
  TKES kept(&collator_);
  kept.SetFileName(Path("kept.skd"));
  EXPECT_EQ(kept.Count(), 2);
  ASSERT_TRUE(kept.FindKey("new"));
  TMemoryStream out;
  kept.GetItem(out);
  EXPECT_EQ(test::TextOf(out), "precious");
  TMemoryStream old;
  ASSERT_TRUE(kept.FindKey("old"));
  kept.GetItem(old);
  EXPECT_EQ(test::TextOf(old), "old");
}

TEST_F(KESOpenCloseTest, OnlyARegularFileOpensAsAStore) {
  ASSERT_EQ(::mkdir(Path("folder.kes").c_str(), 0700), 0);
  ASSERT_EQ(::mkfifo(Path("pipe.kes").c_str(), 0600), 0);  // opening it must not wait for a writer
  struct Case {
    const char* name;
    std::string_view message;
  };
  for (const Case& c : {Case{"folder.kes", kes_msg::kFolderNotStore},
                        Case{"pipe.kes", kes_msg::kNotRegularFile}}) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(c.name);
    TKES store;
    try {
      store.SetFileName(path);
      ADD_FAILURE() << "opened";
    } catch (const EKESFileError& e) {
      EXPECT_EQ(e.what(), FormatMessage(c.message, path));
    }
    EXPECT_EQ(store.FileName(), "");
    EXPECT_TRUE(TempFiles().empty());
  }
}

TEST_F(KESOpenCloseTest, FailedOpenOfMissingFolderReportsNotFound) {
  TKES store(&collator_);
  try {
    store.SetFileName(Path("no/such/dir/s.skd"));
    FAIL();
  } catch (const EKESFileError& e) {
    EXPECT_EQ(e.what(), "Velmora was unable to locate file " + Path("no/such/dir/s.skd"));
  }
  EXPECT_EQ(store.FileName(), "");
}

TEST(FileErrorReporterTest, MapsCodesToMessages) {
  struct Case {
    int code;
    const char* format;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {-101, "", "Oh man... you got a problem.. your drive is full"},
      {-5, "", "The file f.skd seems to be in use by another program"},
      {-4, "", "No more file handles are available"},
      {-3, "", "The drive you are trying to access is not ready"},
      {-2, "", "Velmora was unable to locate file f.skd"},
      {-1, "custom %s", "custom f.skd"},
      {-1, "", ""},
      {77, "", "GOOOOOOOD question... I don't know the answer - 77 - please report it to "
               "support@stillkeep.org"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    try {
      ReportFileError(c.code, c.format, "f.skd");
    } catch (const EKESFileError& e) {
      EXPECT_EQ(e.what(), c.expected);
    }
  }
  EXPECT_EQ(FileErrorCode(ENOSPC), -101);
  EXPECT_EQ(FileErrorCode(ENOENT), -2);
  EXPECT_EQ(FileErrorCode(EACCES), -5);
  EXPECT_EQ(FileErrorCode(EMFILE), -4);
}

TEST(KESPropertiesTest, DisplayOnlyPropertiesIgnoreWrites) {
  TKES store;
  store.SetAboutVersion("9.9");
  EXPECT_EQ(store.AboutVersion(), "0.1");
  EXPECT_LE(store.AboutAuthor().size(), 40u);
  EXPECT_TRUE(store.SaveOnClose());
  EXPECT_TRUE(store.ExpandedFileNames());
  EXPECT_EQ(store.CacheSize(), 65536);
}

}  // namespace
}  // namespace sk
