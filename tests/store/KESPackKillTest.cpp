// Tests of Pack (rewriting the data file with only the live bodies) and Kill (deleting the
// container after confirmation), including the faults that must leave the store usable.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "platform/Files.h"
#include "store/KES.h"
#include "store/KESCodec.h"
#include "tests/store/StoreTestUtil.h"

namespace sk::test {
namespace {

struct FaultHookGuard {
  explicit FaultHookGuard(FileFaultHook hook) { SetFileFaultHook(std::move(hook)); }
  ~FaultHookGuard() { SetFileFaultHook(nullptr); }
};

// Items of the pack tests: key, size, stored compressed.
struct Item {
  std::string key;
  size_t size;
  bool compressed;
};
const Item kItems[] = {{"a", 100, false}, {"b", 2000, true}, {"c", 300, false}, {"d", 40000, true}};

Bytes BytesFor(const Item& item) {
  Bytes out(item.size);
  for (size_t i = 0; i < out.size(); ++i)
    out[i] = static_cast<uint8_t>(item.key[0] + i % 7 * (i % 13));
  return out;
}

class KESPackKillTest : public StoreTest {
 protected:
  // A store holding kItems, added in reverse key order so that key order differs from data order.
  void Fill(TKES& store, const std::string& name) {
    store.SetFileName(Path(name));
    for (auto it = std::rbegin(kItems); it != std::rend(kItems); ++it) {
      store.SetCompression(it->compressed);
      TMemoryStream stream(BytesFor(*it));
      store.AddItem(stream, it->key);
    }
  }

  // Every listed item reads back (from the data file, the cache emptied first) with its bytes.
  void ExpectItems(TKES& store, const std::vector<std::string>& keys) {
    store.SetCacheSize(store.CacheSize());
    ASSERT_EQ(store.Count(), static_cast<int>(keys.size()));
    for (const Item& item : kItems) {
      if (std::find(keys.begin(), keys.end(), item.key) == keys.end()) continue;
      SCOPED_TRACE(item.key);
      ASSERT_TRUE(store.FindKey(item.key));
      TMemoryStream out;
      store.GetItem(out);
      EXPECT_TRUE(Bytes(out.Bytes().begin(), out.Bytes().end()) == BytesFor(item));
    }
  }

  // The working files are the only files in the temporary folder.
  void ExpectOnlyWorkingFiles(const TKES& store) {
    std::vector<std::string> files = TempFiles();
    std::sort(files.begin(), files.end());
    std::vector<std::string> expected = {ExtractFileName(store.IndexFileName()),
                                         ExtractFileName(store.DataFileName())};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(files, expected);
  }

  // Offset, size and flags of every item, in key order.
  using Record = std::tuple<int32_t, int32_t, uint32_t>;
  std::vector<Record> Records(const TKES& store) {
    std::vector<Record> out;
    for (int i = 0; i < store.Count(); ++i) {
      const TIndex& index = store.IndexAt(i);
      out.emplace_back(index.offset, index.size, index.flags);
    }
    return out;
  }
};

TEST_F(KESPackKillTest, PackKeepsKeysItemsAndPositionAndLaysBodiesOutInKeyOrder) {
  struct Case {
    std::string name;
    std::string deleted;  // empty: nothing deleted
    std::string current;
  };
  const Case kCases[] = {{"nothing deleted", "", "c"}, {"one deleted", "b", "c"}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    TKES store;
    Fill(store, c.name + ".kes");
    const int64_t data_before = store.DataSize();
    const Bytes body_b = CompressItem(BytesFor(kItems[1]));
    std::vector<std::string> keys;
    for (const Item& item : kItems) {
      if (item.key != c.deleted) keys.push_back(item.key);
    }
    if (!c.deleted.empty()) {
      store.FindKey(c.deleted);
      store.Delete();
    }
    store.FindKey(c.current);
    const int position = store.ItemIndex();
    std::vector<Record> before = Records(store);
    int navigations = 0;
    store.OnNavigate = [&](TKES&) { ++navigations; };

    store.Pack();

    EXPECT_EQ(navigations, 1);
    EXPECT_EQ(store.ItemIndex(), position);
    EXPECT_EQ(store.CurrentKey(), c.current);
    EXPECT_TRUE(store.Modified());
    const int64_t deleted_bytes = c.deleted.empty() ? 0 : static_cast<int64_t>(body_b.size());
    EXPECT_EQ(store.DataSize(), data_before - deleted_bytes);
    const Bytes data = ReadBytes(store.DataFileName());
    int32_t next = 0;
    for (int i = 0; i < store.Count(); ++i) {
      SCOPED_TRACE(store.KeyAt(i));
      const TIndex& index = store.IndexAt(i);
      EXPECT_EQ(index.offset, next);  // bodies follow each other in key order
      EXPECT_EQ(index.size, std::get<1>(before[static_cast<size_t>(i)]));
      EXPECT_EQ(index.flags, std::get<2>(before[static_cast<size_t>(i)]));
      next += index.size;
    }
    // A compressed body is copied as it is stored.
    ASSERT_TRUE(store.FindKey("d"));
    const TIndex& d = store.IndexAt(store.ItemIndex());
    EXPECT_TRUE(Bytes(data.begin() + d.offset, data.begin() + d.offset + d.size) ==
                CompressItem(BytesFor(kItems[3])));
    ExpectItems(store, keys);
    ExpectOnlyWorkingFiles(store);
  }
}

TEST_F(KESPackKillTest, PackShrinksContainerByDeletedBodiesOnClose) {
  const std::string path = Path("shrink.kes");
  {
    TKES store;
    Fill(store, "shrink.kes");
  }
  {
    TKES store;
    store.SetFileName(path);
    store.FindKey("b");
    store.Delete();
  }
  // Deleting alone drops the index record but keeps the body.
  const auto unpacked = static_cast<int64_t>(ReadBytes(path).size());
  {
    TKES store;
    store.SetFileName(path);
    store.Pack();
  }
  const int64_t body_b = static_cast<int64_t>(CompressItem(BytesFor(kItems[1])).size());
  EXPECT_EQ(static_cast<int64_t>(ReadBytes(path).size()), unpacked - body_b);
  TKES store;
  store.SetFileName(path);
  ExpectItems(store, {"a", "c", "d"});
}

TEST_F(KESPackKillTest, PackRefusesDamagedIndexAndChangesNothing) {
  const Bytes data = BytesOf("0123456789");
  struct Case {
    std::string name;
    TRecord bad;
  };
  const Case kCases[] = {
      {"body past the end", {"bad", 8, 3, 0}},
      {"offset past the end", {"bad", 11, 0, 0}},
      {"negative offset", {"bad", -4, 2, 0}},
      {"negative size", {"bad", 2, -1, 0}},
      {"huge size", {"bad", 0, 0x7FFFFFFF, 0}},
      {"system entry past the end", {"SysEntry", 9, 5, kFlagSystem}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::string path = Path(c.name + ".kes");
    WriteBytes(path, Container(data, IndexSection({c.bad, {"good", 0, 4, 0}})));
    TKES store;
    store.SetFileName(path);
    const std::vector<Record> before = Records(store);
    try {
      store.Pack();
      ADD_FAILURE() << "no exception";
    } catch (const EKESIndexError& error) {
      EXPECT_EQ(error.what(), FormatMessage(kes_msg::kInvalidFile, store.FileName()));
    }
    EXPECT_EQ(store.DataSize(), std::ssize(data));
    ASSERT_TRUE(store.FindKey("good"));
    TMemoryStream good;
    store.GetItem(good);
    EXPECT_EQ(test::TextOf(good), "0123");
    EXPECT_EQ(Records(store), before);
    EXPECT_FALSE(store.Modified());
    ExpectOnlyWorkingFiles(store);
  }
}

TEST_F(KESPackKillTest, PackRefusesBodiesThatCannotFitOneDataFile) {
  // Forty entries share one 60,000,000-byte body: each lies inside the data file, but packed
  // one after another they would pass 2,147,483,647 bytes.
  constexpr int32_t kBody = 60000000;
  std::vector<TRecord> records;
  for (int i = 0; i < 40; ++i) records.push_back({"copy " + std::to_string(100 + i), 0, kBody, 0});
  std::reverse(records.begin(), records.end());
  WriteBytes(Path("shared.kes"), Container(BytesOf("tiny"), IndexSection(records)));
  TKES store;
  store.SetFileName(Path("shared.kes"));
  const std::string data_name = store.DataFileName();
  // A sparse data file; cut back before the store closes so nothing large is ever copied.
  ASSERT_EQ(::truncate(data_name.c_str(), kBody), 0);
  struct CutBack {
    std::string path;
    ~CutBack() { EXPECT_EQ(::truncate(path.c_str(), 4), 0); }
  } cut_back{data_name};
  // Should the check be missing, Pack's new file stays empty instead of filling the disk.
  FaultHookGuard guard([&](std::string_view op, const std::string& path) {
    return op == "write" && path != data_name ? ENOSPC : 0;
  });
  const std::vector<Record> before = Records(store);

  try {
    store.Pack();
    ADD_FAILURE() << "no exception";
  } catch (const EKESIndexError& error) {
    EXPECT_EQ(error.what(), FormatMessage(kes_msg::kInvalidFile, store.FileName()));
  }
  EXPECT_EQ(store.DataSize(), kBody);
  EXPECT_EQ(Records(store), before);
  ExpectOnlyWorkingFiles(store);
}

TEST_F(KESPackKillTest, FailedPackRestoresOffsetsAndRemovesItsFile) {
  // op: the failing operation; on_data_file: it fails on the data file (the final move) rather
  // than on Pack's new file.
  struct Case {
    std::string op;
    bool on_data_file;
    std::string_view message;
  };
  const Case kCases[] = {{"create", false, kes_msg::kNoTempFile},
                         {"open", false, kes_msg::kDriveFull},
                         {"write", false, kes_msg::kDriveFull},
                         {"sync", false, kes_msg::kDriveFull},
                         {"rename", true, kes_msg::kDriveFull}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.op);
    const std::string name = "fail-" + c.op + ".kes";
    {
      TKES store;
      Fill(store, name);
      store.Flush();
      store.FindKey("c");
      store.Delete();
      const std::vector<Record> before = Records(store);
      const Bytes data = ReadBytes(store.DataFileName());
      const std::string data_name = store.DataFileName();
      {
        FaultHookGuard guard([&](std::string_view op, const std::string& path) {
          if (op != c.op) return 0;
          const bool is_new_file = path != data_name && ExtractFileName(path).rfind("KES", 0) == 0;
          return (c.on_data_file ? path == data_name : is_new_file) ? ENOSPC : 0;
        });
        try {
          store.Pack();
          ADD_FAILURE() << "no exception";
        } catch (const EKESError& error) {
          EXPECT_EQ(error.what(), c.message);
        }
      }
      EXPECT_EQ(Records(store), before);
      EXPECT_EQ(ReadBytes(store.DataFileName()), data);
      ExpectOnlyWorkingFiles(store);
      ExpectItems(store, {"a", "b", "d"});
      // The index written from now on still matches the kept data file.
      store.Flush();
    }
    TKES store;
    store.SetFileName(Path(name));
    ExpectItems(store, {"a", "b", "d"});
  }
}

TEST_F(KESPackKillTest, PackOnReadOnlyOrClosedStoreIsRefused) {
  TKES store;
  EXPECT_THROW(store.Pack(), EKESNoFile);
  EXPECT_THROW(store.Kill(), EKESNoFile);
  Fill(store, "ro.kes");
  store.SetReadOnly(true);
  const Bytes data = ReadBytes(store.DataFileName());
  EXPECT_THROW(store.Pack(), EKESReadOnly);
  EXPECT_EQ(ReadBytes(store.DataFileName()), data);
}

class KESKillTest : public KESPackKillTest {
 protected:
  // Records BeforeKill (answering `answer`), OnFileAssigned and OnKilled.
  void Record(TKES& store, bool answer) {
    store.BeforeKill = [this, answer](TKES&, bool& ok) {
      EXPECT_FALSE(ok);
      events_.push_back("BeforeKill");
      ok = answer;
    };
    store.OnFileAssigned = [this](TKES&) { events_.push_back("OnFileAssigned"); };
    store.OnKilled = [this](TKES&) { events_.push_back("OnKilled"); };
  }
  std::vector<std::string> events_;
};

TEST_F(KESKillTest, KillDeletesContainerAfterConfirmation) {
  const std::string path = Path("kill.kes");
  TKES store;
  Fill(store, "kill.kes");
  Record(store, true);

  store.Kill();

  EXPECT_EQ(events_, (std::vector<std::string>{"BeforeKill", "OnFileAssigned", "OnKilled"}));
  EXPECT_FALSE(FileExists(path));
  EXPECT_FALSE(store.Active());
  EXPECT_EQ(store.FileName(), "");
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(KESKillTest, KillWithoutConfirmationDoesNothing) {
  for (bool assigned : {false, true}) {
    SCOPED_TRACE(assigned ? "refused" : "unassigned");
    const std::string name = assigned ? "refused.kes" : "unassigned.kes";
    TKES store;
    Fill(store, name);
    events_.clear();
    if (assigned) Record(store, false);
    store.OnKilled = [this](TKES&) { events_.push_back("OnKilled"); };

    store.Kill();

    EXPECT_EQ(events_,
              assigned ? std::vector<std::string>{"BeforeKill"} : std::vector<std::string>{});
    EXPECT_TRUE(store.Active());
    EXPECT_EQ(store.Count(), 4);
    EXPECT_TRUE(FileExists(Path(name)));
  }
}

TEST_F(KESKillTest, KillOnReadOnlyStoreKeepsFile) {
  const std::string path = Path("readonly.kes");
  {
    TKES store;
    Fill(store, "readonly.kes");
  }
  const Bytes container = ReadBytes(path);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  TKES store;
  store.SetFileName(path);
  ASSERT_TRUE(store.ReadOnly());
  Record(store, true);
  try {
    store.Kill();
    ADD_FAILURE() << "no exception";
  } catch (const EKESReadOnly& error) {
    EXPECT_EQ(error.what(), FormatMessage(kes_msg::kReadOnly, store.FileName()));
  }
  int warnings = 0;
  store.WarnReadOnly = [&](TKES&) { ++warnings; };
  store.Kill();
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(events_, (std::vector<std::string>{"BeforeKill", "BeforeKill"}));
  EXPECT_TRUE(store.Active());
  EXPECT_EQ(ReadBytes(path), container);
}

TEST_F(KESKillTest, KillReportsContainerThatCannotBeDeleted) {
  const std::string path = Path("stuck.kes");
  TKES store;
  Fill(store, "stuck.kes");
  Record(store, true);
  // Once the store has been written back and closed, something else takes the container's
  // place that cannot be deleted as a file.
  store.OnFileAssigned = [&](TKES&) {
    events_.push_back("OnFileAssigned");
    std::filesystem::remove(path);
    std::filesystem::create_directories(path + "/inside");
  };

  EXPECT_THROW(store.Kill(), EKESFileError);

  EXPECT_EQ(events_, (std::vector<std::string>{"BeforeKill", "OnFileAssigned"}));
  EXPECT_FALSE(store.Active());
  EXPECT_TRUE(TempFiles().empty());
}

}  // namespace
}  // namespace sk::test
