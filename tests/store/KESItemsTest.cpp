// Tests of the store's item operations and navigation: adding, finding, reading, sizing, deleting
// and flushing items, listing keys, moving the current item, the order of events, and the faults
// that must leave a store unchanged (a full disk, a data file at its size limit, damaged bodies).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "store/KES.h"
#include "store/KESCodec.h"
#include "tests/store/StoreTestUtil.h"

namespace sk::test {
namespace {

constexpr int64_t kMaxDataFile = std::numeric_limits<int32_t>::max();

// Compressible text interleaved with noise, so that compressed bodies hold both block kinds.
Bytes ItemBytes(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes out(size);
  static constexpr std::string_view kText = "a picture of the harbour at dusk; ";
  for (size_t i = 0; i < size; ++i) {
    out[i] = (i / 4096) % 2 ? static_cast<uint8_t>(rng())
                            : static_cast<uint8_t>(kText[i % kText.size()]);
  }
  return out;
}

std::string InvalidFileMessage(const TKES& store) {
  return FormatMessage(kes_msg::kInvalidFile, store.FileName());
}

// Removes the fault hook however a test ends.
struct FaultHookGuard {
  explicit FaultHookGuard(FileFaultHook hook) { SetFileFaultHook(std::move(hook)); }
  ~FaultHookGuard() { SetFileFaultHook(nullptr); }
};

class KESItemsTest : public StoreTest {
 protected:
  // Opens a new store at name and adds one item per key, its bytes the key's text.
  void OpenWith(TKES& store, std::initializer_list<std::string_view> keys,
                std::string_view name = "items.kes") {
    store.SetFileName(Path(name));
    for (std::string_view key : keys) {
      TMemoryStream stream = StreamOf(key);
      store.AddItem(stream, key);
    }
  }

  // Records every event of the store by name.
  void Record(TKES& store) {
    auto note = [this](std::string name) {
      return [this, name](TKES&) { events_.push_back(name); };
    };
    store.OnAdded = note("OnAdded");
    store.OnNavigate = note("OnNavigate");
    store.OnFound = note("OnFound");
    store.OnDeleted = note("OnDeleted");
    store.BeforeDelete = note("BeforeDelete");
    store.AfterDelete = note("AfterDelete");
  }

  std::string Current(TKES& store) {
    TMemoryStream stream;
    store.GetItem(stream);
    EXPECT_EQ(stream.Position(), 0u);
    return TextOf(stream);
  }

  std::vector<std::string> events_;
};

TEST_F(KESItemsTest, AddItemStoresWholeStreamAndMakesItCurrent) {
  TKES store;
  OpenWith(store, {"b", "d"});
  Record(store);
  const int64_t before = store.DataSize();
  TMemoryStream stream = StreamOf("harbour");
  stream.Seek(4);

  store.AddItem(stream, "c");

  EXPECT_EQ(stream.Position(), 0u);
  EXPECT_EQ(store.Count(), 3);
  EXPECT_EQ(store.ItemIndex(), 1);
  EXPECT_EQ(store.CurrentKey(), "c");
  EXPECT_TRUE(store.Modified());
  EXPECT_EQ(store.DataSize(), before + 7);
  EXPECT_EQ(store.IndexAt(1).offset, before);
  EXPECT_EQ(store.IndexAt(1).size, 7);
  EXPECT_EQ(store.IndexAt(1).flags, 0u);
  EXPECT_EQ(Current(store), "harbour");
  EXPECT_EQ(events_, (std::vector<std::string>{"OnAdded", "OnNavigate"}));
}

TEST_F(KESItemsTest, ItemsSurviveCloseReopenAndFlush) {
  struct Case {
    size_t size;
    bool compressed;
  };
  const Case kCases[] = {
      {0, false},    {0, true},      {5, false},    {5, true},        {32768, false},
      {32768, true}, {32769, false}, {32769, true}, {3 << 20, false}, {(3 << 20) + 7, true}};
  auto key_of = [](const Case& c) {
    return std::to_string(c.size) + (c.compressed ? " packed" : " plain");
  };
  auto check_all = [&](TKES& store) {
    for (const Case& c : kCases) {
      SCOPED_TRACE(key_of(c));
      ASSERT_TRUE(store.FindKey(key_of(c)));
      EXPECT_EQ(store.IndexAt(store.ItemIndex()).flags, c.compressed ? kFlagCompressed : 0u);
      EXPECT_EQ(store.ItemSize(), static_cast<int64_t>(c.size));
      TMemoryStream stream;
      store.GetItem(stream);
      EXPECT_TRUE(Bytes(stream.Bytes().begin(), stream.Bytes().end()) ==
                  ItemBytes(c.size, static_cast<uint32_t>(c.size)));
    }
  };

  {
    TKES store;
    store.SetFileName(Path("round.kes"));
    for (const Case& c : kCases) {
      store.SetCompression(c.compressed);
      TMemoryStream stream(ItemBytes(c.size, static_cast<uint32_t>(c.size)));
      store.AddItem(stream, key_of(c));
    }
    store.Flush();
    // Flushed working files make a complete store without the container being rewritten.
    WriteBytes(Path("flushed.kes"),
               Container(ReadBytes(store.DataFileName()), ReadBytes(store.IndexFileName())));
    store.SetCacheSize(store.CacheSize());
    check_all(store);
    // Closing keeps an item added after the last Flush too.
    TMemoryStream late = StreamOf("late");
    store.AddItem(late, "late");
  }
  struct Reopen {
    std::string name;
    int count;
  };
  const int n = static_cast<int>(std::size(kCases));
  for (const Reopen& r : {Reopen{"round.kes", n + 1}, Reopen{"flushed.kes", n}}) {
    SCOPED_TRACE(r.name);
    TKES store;
    store.SetFileName(Path(r.name));
    EXPECT_EQ(store.Count(), r.count);
    check_all(store);
  }
}

TEST_F(KESItemsTest, CompressedItemIsStoredAsBlockStream) {
  TKES store;
  OpenWith(store, {"first"});
  store.SetCompression(true);
  const Bytes item = ItemBytes(70000, 3);
  TMemoryStream stream(item);
  const int64_t offset = store.DataSize();

  store.AddItem(stream, "second");

  const Bytes expected = CompressItem(item);
  const Bytes data = ReadBytes(store.DataFileName());
  EXPECT_EQ(Bytes(data.begin() + offset, data.end()), expected);
  const TIndex& index = store.IndexAt(store.ItemIndex());
  EXPECT_EQ(index.offset, offset);
  EXPECT_EQ(index.size, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(index.flags, kFlagCompressed);
  // Too large for the cache: the size comes from expanding the body.
  EXPECT_EQ(store.ItemSize(), 70000);

  TMemoryStream small(ItemBytes(300, 4));
  store.AddItem(small, "third");
  EXPECT_EQ(store.ItemSize(), 300);  // from the cache
}

TEST_F(KESItemsTest, DuplicateKeyIsRefusedBeforeWriting) {
  TKES store;
  OpenWith(store, {"cat"});
  Record(store);
  const int64_t before = store.DataSize();
  TMemoryStream stream = StreamOf("another cat");

  try {
    store.AddItem(stream, "Cat");
    FAIL() << "no exception";
  } catch (const EKESIndexError& error) {
    EXPECT_STREQ(error.what(), "Only one person with that name is allowed");
  }
  EXPECT_EQ(store.DataSize(), before);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_TRUE(events_.empty());
  ASSERT_TRUE(store.FindKey("CAT"));
  EXPECT_EQ(Current(store), "cat");
}

TEST_F(KESItemsTest, AddItemRefusesToGrowDataFilePastLimit) {
  TKES store;
  OpenWith(store, {"small"});
  const std::string data_name = store.DataFileName();
  const int64_t original = store.DataSize();
  // A sparse data file just under the limit; cut back before the store is closed so the close
  // never copies gigabytes, whatever happens in between.
  ASSERT_EQ(::truncate(data_name.c_str(), kMaxDataFile - 4), 0);
  struct CutBack {
    std::string path;
    int64_t length;
    ~CutBack() { EXPECT_EQ(::truncate(path.c_str(), length), 0); }
  } cut_back{data_name, original};

  TMemoryStream five = StreamOf("12345");
  EXPECT_THROW(store.AddItem(five, "too big"), EKESIndexError);
  EXPECT_EQ(store.DataSize(), kMaxDataFile - 4);
  EXPECT_EQ(store.Count(), 1);
  EXPECT_FALSE(store.FindKey("too big"));

  TMemoryStream four = StreamOf("1234");
  store.AddItem(four, "fits");
  EXPECT_EQ(store.DataSize(), kMaxDataFile);
  EXPECT_EQ(store.IndexAt(store.ItemIndex()).offset, kMaxDataFile - 4);
  store.Delete();
}

TEST_F(KESItemsTest, FailedAppendLeavesStoreAsBefore) {
  for (bool compressed : {false, true}) {
    SCOPED_TRACE(compressed ? "compressed" : "plain");
    TKES store;
    OpenWith(store, {"a", "b"}, compressed ? "packed.kes" : "plain.kes");
    store.Flush();
    store.FindKey("a");
    store.SetCompression(compressed);
    Record(store);
    events_.clear();
    const Bytes data_before = ReadBytes(store.DataFileName());
    {
      // The disk fills up halfway through the body.
      FaultHookGuard guard([&](std::string_view op, const std::string& path) {
        if (op != "write" || path != store.DataFileName()) return 0;
        std::ofstream(path, std::ios::binary | std::ios::app) << "partial";
        return ENOSPC;
      });
      TMemoryStream stream(ItemBytes(5000, 1));
      try {
        store.AddItem(stream, "c");
        FAIL() << "no exception";
      } catch (const EKESFileError& error) {
        EXPECT_EQ(error.what(), kes_msg::kDriveFull);
      }
    }
    EXPECT_EQ(ReadBytes(store.DataFileName()), data_before);
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.ItemIndex(), 0);
    EXPECT_EQ(store.CurrentKey(), "a");
    EXPECT_FALSE(store.Modified());
    EXPECT_TRUE(events_.empty());
    EXPECT_FALSE(store.FindKey("c"));

    // Nothing of the failed item lingers in the cache: the key takes new bytes.
    TMemoryStream again = StreamOf("second try");
    store.AddItem(again, "c");
    store.FindKey("c");
    EXPECT_EQ(Current(store), "second try");
  }
}

TEST_F(KESItemsTest, GetItemRejectsBodiesOutsideDataFileOrDamaged) {
  const Bytes packed = CompressItem(ItemBytes(1000, 9));
  Bytes data = BytesOf("hello");
  const auto packed_at = static_cast<int32_t>(data.size());
  data.insert(data.end(), packed.begin(), packed.end());
  const auto data_size = static_cast<int32_t>(data.size());
  struct Case {
    std::string key;
    int32_t offset;
    int32_t size;
    uint32_t flags;
  };
  const Case kCases[] = {
      {"past the end", data_size - 2, 3, 0},
      {"starts past the end", data_size + 1, 0, 0},
      {"negative offset", -1, 2, 0},
      {"negative size", 0, -1, 0},
      {"sum overflows", std::numeric_limits<int32_t>::max(), 2, 0},
      {"plain text as block stream", 0, 5, kFlagCompressed},
      {"cut block stream", packed_at, static_cast<int32_t>(packed.size()) - 1, kFlagCompressed},
  };
  std::vector<TRecord> records;
  for (const Case& c : kCases) records.push_back({c.key, c.offset, c.size, c.flags});
  records.push_back({"good", packed_at, static_cast<int32_t>(packed.size()), kFlagCompressed});
  std::sort(records.begin(), records.end(),
            [](const TRecord& a, const TRecord& b) { return a.key > b.key; });
  WriteBytes(Path("damaged.kes"), Container(data, IndexSection(records)));

  TKES store;
  store.SetFileName(Path("damaged.kes"));
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.key);
    ASSERT_TRUE(store.FindKey(c.key));
    TMemoryStream stream;
    try {
      store.GetItem(stream);
      FAIL() << "no exception";
    } catch (const EKESIndexError& error) {
      EXPECT_EQ(error.what(), InvalidFileMessage(store));
    }
    if (c.flags & kFlagCompressed) {
      EXPECT_THROW(store.ItemSize(), EKESIndexError);
    }
  }
  ASSERT_TRUE(store.FindKey("good"));
  EXPECT_EQ(store.ItemSize(), 1000);
}

TEST_F(KESItemsTest, ItemThatExpandsPastTheItemLimitIsInvalid) {
  // 65537 blocks of 40 bytes, each expanding to 32768 bytes: 2.6 MB that would expand to
  // 2^31 + 32768 bytes, one block past what a store's 32-bit sizes can hold.
  const Bytes block = CompressItem(Bytes(kCodecSliceSize, 'x'));
  Bytes bomb;
  bomb.reserve(block.size() * 65537);
  for (int i = 0; i < 65537; ++i) bomb.insert(bomb.end(), block.begin(), block.end());
  const Bytes fits(block.begin(), block.end());
  Bytes data = fits;
  data.insert(data.end(), bomb.begin(), bomb.end());
  WriteBytes(Path("bomb.kes"),
             Container(data, IndexSection({{"fits", 0, static_cast<int32_t>(fits.size()),
                                            kFlagCompressed},
                                           {"bomb", static_cast<int32_t>(fits.size()),
                                            static_cast<int32_t>(bomb.size()), kFlagCompressed}})));
  TKES store;
  store.SetFileName(Path("bomb.kes"));
  ASSERT_TRUE(store.FindKey("bomb"));
  for (const bool size_only : {true, false}) {
    SCOPED_TRACE(size_only ? "ItemSize" : "GetItem");
    TMemoryStream stream;
    try {
      if (size_only) {
        store.ItemSize();
      } else {
        store.GetItem(stream);
      }
      FAIL() << "no exception";
    } catch (const EKESIndexError& error) {
      EXPECT_EQ(error.what(), InvalidFileMessage(store));
    }
    EXPECT_EQ(stream.Size(), 0u);
  }
  ASSERT_TRUE(store.FindKey("fits"));
  EXPECT_EQ(store.ItemSize(), static_cast<int64_t>(kCodecSliceSize));
}

TEST_F(KESItemsTest, KeysThatCompareAlikeKeepTheirOwnItems) {
  // A damaged store may hold the same key twice; the cache must not hand one item's bytes out for
  // the other.
  WriteBytes(Path("twice.kes"),
             Container(BytesOf("firstsecond"),
                       IndexSection({{"cat", 5, 6, 0}, {"cat", 0, 5, 0}})));
  TKES store;
  store.SetFileName(Path("twice.kes"));
  ASSERT_EQ(store.Count(), 2);
  std::vector<std::string> seen;
  for (int round = 0; round < 2; ++round) {  // the second round is served from the cache
    for (int i = 0; i < 2; ++i) {
      store.MoveTo(i);
      seen.push_back(Current(store));
    }
  }
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_NE(seen[0], seen[1]);
  EXPECT_EQ(seen[2], seen[0]);
  EXPECT_EQ(seen[3], seen[1]);
  EXPECT_GT(store.CacheFrequency(), 0);
}

TEST_F(KESItemsTest, GetItemAfterDeletingFirstReadsNewFirstItem) {
  TKES store;
  OpenWith(store, {"a", "b", "c"});
  store.SetCacheSize(store.CacheSize());
  store.FindKey("a");
  store.Delete();
  ASSERT_EQ(store.CurrentKey(), "");

  EXPECT_EQ(Current(store), "b");
  // Cached under "b": reading it by its key now is a hit.
  store.FindKey("b");
  EXPECT_EQ(Current(store), "b");
  EXPECT_EQ(store.CacheFrequency(), 50);
}

TEST_F(KESItemsTest, DeleteMovesToPreviousItemAndFiresEventsInOrder) {
  struct Case {
    std::string key;
    int index_after;
    std::string key_after;
    std::vector<std::string> events;
  };
  const Case kCases[] = {
      {"a", 0, "", {"BeforeDelete", "OnDeleted", "AfterDelete"}},
      {"b", 0, "a", {"BeforeDelete", "OnNavigate", "OnDeleted", "AfterDelete"}},
      {"c", 1, "b", {"BeforeDelete", "OnNavigate", "OnDeleted", "AfterDelete"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.key);
    TKES store;
    OpenWith(store, {"a", "b", "c"}, c.key + ".kes");
    store.Flush();
    const int64_t data_size = store.DataSize();
    store.FindKey(c.key);
    Record(store);
    events_.clear();

    store.Delete();

    EXPECT_EQ(events_, c.events);
    EXPECT_EQ(store.Count(), 2);
    EXPECT_EQ(store.ItemIndex(), c.index_after);
    EXPECT_EQ(store.CurrentKey(), c.key_after);
    EXPECT_TRUE(store.Modified());
    EXPECT_FALSE(store.FindKey(c.key));
    EXPECT_EQ(store.DataSize(), data_size);  // the body stays until Pack
    events_.clear();
  }
}

TEST_F(KESItemsTest, FindKeyIgnoresCaseAndFilter) {
  TKES store;
  OpenWith(store, {"Apple", "Banana", "Cherry"});
  store.SetFilter("A>");
  Record(store);

  EXPECT_TRUE(store.FindKey("cherry"));
  EXPECT_EQ(store.ItemIndex(), 2);
  EXPECT_EQ(store.CurrentKey(), "Cherry");
  EXPECT_EQ(events_, (std::vector<std::string>{"OnNavigate", "OnFound"}));

  events_.clear();
  EXPECT_FALSE(store.FindKey("Date"));
  EXPECT_EQ(store.ItemIndex(), 2);
  EXPECT_TRUE(events_.empty());
}

TEST_F(KESItemsTest, NavigationWalksKeysAndSetsBofEof) {
  TKES store;
  OpenWith(store, {"a", "b", "c", "d"});
  int navigations = 0;
  store.OnNavigate = [&](TKES&) { ++navigations; };
  struct Step {
    std::string name;
    std::function<void()> run;
    int index;
    bool bof, eof;
    int navigations;
  };
  const Step kSteps[] = {
      {"First", [&] { store.First(); }, 0, true, false, 1},
      {"Prior at first", [&] { store.Prior(); }, 0, true, false, 0},
      {"Next", [&] { store.Next(); }, 1, false, false, 1},
      {"Last", [&] { store.Last(); }, 3, false, true, 1},
      {"Next at last", [&] { store.Next(); }, 3, false, true, 0},
      {"Prior", [&] { store.Prior(); }, 2, false, false, 1},
  };
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.name);
    navigations = 0;
    step.run();
    EXPECT_EQ(store.ItemIndex(), step.index);
    EXPECT_EQ(store.CurrentKey(), store.KeyAt(step.index));
    EXPECT_EQ(store.Bof(), step.bof);
    EXPECT_EQ(store.Eof(), step.eof);
    EXPECT_EQ(navigations, step.navigations);
  }
}

TEST_F(KESItemsTest, NavigationUnderFilterSkipsKeys) {
  TKES store;
  OpenWith(store, {"cat 1", "dog 1", "cat 2", "dog 2"});  // order: cat 1, cat 2, dog 1, dog 2
  store.SetFilter("dog>");
  store.First();
  EXPECT_EQ(store.CurrentKey(), "dog 1");
  EXPECT_TRUE(store.Bof());
  store.Next();
  EXPECT_EQ(store.CurrentKey(), "dog 2");
  store.Next();
  EXPECT_EQ(store.CurrentKey(), "dog 2");
  EXPECT_TRUE(store.Eof());

  store.SetFilter("bird>");
  EXPECT_THROW(store.First(), EKESOutOfBounds);
  EXPECT_THROW(store.Last(), EKESOutOfBounds);
  EXPECT_EQ(store.CurrentKey(), "dog 2");
}

TEST_F(KESItemsTest, WarningsRaiseOrCallTheirHandler) {
  TKES store;
  OpenWith(store, {});
  const std::string file = store.FileName();
  auto add = [&] {
    TMemoryStream stream = StreamOf("x");
    store.AddItem(stream, "x");
  };
  auto get = [&] {
    TMemoryStream stream;
    store.GetItem(stream);
  };
  const std::string no_data = FormatMessage(kes_msg::kNoData, file);
  const std::string out_of_bounds(kes_msg::kOutOfBounds);
  const std::string read_only = FormatMessage(kes_msg::kReadOnly, file);
  struct Case {
    std::string name;
    std::function<void()> setup;
    std::function<void()> run;
    TNotifyEvent TKES::*handler;
    std::string message;
  };
  const Case kCases[] = {
      {"GetItem on empty", nullptr, get, &TKES::WarnNoData, no_data},
      {"ItemSize on empty", nullptr, [&] { EXPECT_EQ(store.ItemSize(), 0); }, &TKES::WarnNoData,
       no_data},
      {"Delete on empty", nullptr, [&] { store.Delete(); }, &TKES::WarnNoData, no_data},
      {"First on empty", nullptr, [&] { store.First(); }, &TKES::WarnNoData, no_data},
      {"MoveTo past end", add, [&] { store.MoveTo(1); }, &TKES::WarnOutOfBounds, out_of_bounds},
      {"MoveTo negative", nullptr, [&] { store.MoveTo(-1); }, &TKES::WarnOutOfBounds,
       out_of_bounds},
      {"AddItem read-only", [&] { store.SetReadOnly(true); }, [&] { add(); }, &TKES::WarnReadOnly,
       read_only},
      {"Delete read-only", nullptr, [&] { store.Delete(); }, &TKES::WarnReadOnly, read_only},
  };
  // Each case runs twice: raising, then with its handler assigned, which replaces the exception.
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    if (c.setup) c.setup();
    const int count = store.Count(), index = store.ItemIndex();
    try {
      c.run();
      ADD_FAILURE() << "no exception";
    } catch (const EKESIndexError& error) {
      EXPECT_EQ(error.what(), c.message);
    }
    int calls = 0;
    store.*c.handler = [&](TKES&) { ++calls; };
    c.run();
    store.*c.handler = nullptr;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(store.Count(), count);
    EXPECT_EQ(store.ItemIndex(), index);
  }
}

TEST_F(KESItemsTest, OperationsWithoutOpenFileRaiseNoFile) {
  TKES store;
  TMemoryStream stream = StreamOf("x");
  const std::function<void()> kOperations[] = {
      [&] { store.AddItem(stream, "x"); },
      [&] { store.GetItem(stream); },
      [&] { store.Delete(); },
      [&] { store.Flush(); },
  };
  for (const auto& operation : kOperations) {
    try {
      operation();
      ADD_FAILURE() << "no exception";
    } catch (const EKESNoFile& error) {
      EXPECT_EQ(error.what(), kes_msg::kNoFile);
    }
  }
}

TEST_F(KESItemsTest, GetKeysListsInStoreOrderOrByTheListsOwnRules) {
  // A store that collates as Swedish puts "\xe4" (a-umlaut) after "z"; a sorted string list
  // keeps the default order, where it sorts with "a".
  const TCollator swedish("sv_SE");
  TKES store(&swedish);
  OpenWith(store, {"zebra", "\xe4pple", "banan"});

  TStringList unsorted;
  unsorted.Add("left over");
  store.GetKeys(unsorted);
  EXPECT_EQ(unsorted.Items(), (std::vector<std::string>{"banan", "zebra", "\xe4pple"}));
  EXPECT_FALSE(unsorted.Sorted());

  TStringList sorted;
  sorted.SetSorted(true);
  store.GetKeys(sorted);
  EXPECT_EQ(sorted.Items(), (std::vector<std::string>{"\xe4pple", "banan", "zebra"}));
  EXPECT_TRUE(sorted.Sorted());

  store.SetFilter("<e>");
  store.GetKeys(unsorted);
  EXPECT_EQ(unsorted.Items(), (std::vector<std::string>{"zebra", "\xe4pple"}));
}

TEST_F(KESItemsTest, FlushWritesIndexFileOnlyWhenModified) {
  TKES store;
  store.SetFileName(Path("flush.kes"));
  struct stat before {};
  ASSERT_EQ(::stat(store.IndexFileName().c_str(), &before), 0);
  store.Flush();
  struct stat after {};
  ASSERT_EQ(::stat(store.IndexFileName().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // not rewritten

  TMemoryStream a = StreamOf("alpha"), b = StreamOf("bee");
  store.AddItem(a, "a");
  store.AddItem(b, "b");
  store.Flush();
  EXPECT_FALSE(store.Modified());
  EXPECT_EQ(ReadBytes(store.IndexFileName()), IndexSection({{"b", 5, 3, 0}, {"a", 0, 5, 0}}));
  // The data file was reopened and still takes items.
  TMemoryStream c = StreamOf("sea");
  store.AddItem(c, "c");
  EXPECT_EQ(store.IndexAt(2).offset, 8);
}

}  // namespace
}  // namespace sk::test
