// Tests of the item cache: its byte budget and least-recently-used eviction, the hit rate, and how
// the store uses it (reads served without touching the data file, emptied when resized).
#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/Files.h"
#include "store/KES.h"
#include "store/KESCache.h"
#include "tests/store/StoreTestUtil.h"

namespace sk::test {
namespace {

TMemoryStream Filled(size_t size, char fill) {
  return TMemoryStream(Bytes(size, static_cast<uint8_t>(fill)));
}

// Counts reads of one file through the fault hook (never failing them), and removes the hook
// however a test ends.
class ReadCounter {
 public:
  explicit ReadCounter(const std::string& path) {
    SetFileFaultHook([this, path](std::string_view op, const std::string& p) {
      if (op == "read" && p == path) ++reads_;
      return 0;
    });
  }
  ~ReadCounter() { SetFileFaultHook(nullptr); }
  // Reads since the last call.
  int Take() { return std::exchange(reads_, 0); }

 private:
  int reads_ = 0;
};

// Makes every read of one file fail until destroyed.
struct FailingReads {
  explicit FailingReads(const std::string& path) {
    SetFileFaultHook([path](std::string_view op, const std::string& p) {
      return op == "read" && p == path ? EIO : 0;
    });
  }
  ~FailingReads() { SetFileFaultHook(nullptr); }
};

using KESCacheTest = StoreTest;

TEST(TCacheListTest, ItemOfBudgetSizeIsNeverCachedOneByteLessEvictsAll) {
  TCacheList cache;
  for (char key : std::string("abc")) {
    TMemoryStream small = Filled(100, key);
    cache.Offer(small, std::string(1, key));
  }
  TMemoryStream whole = Filled(TCacheList::kDefaultBudget, 'w');
  cache.Offer(whole, "whole");
  EXPECT_FALSE(cache.Contains("whole"));
  EXPECT_EQ(cache.Count(), 3);
  EXPECT_EQ(cache.Used(), 300);

  TMemoryStream almost = Filled(TCacheList::kDefaultBudget - 1, 'x');
  almost.Seek(7);
  cache.Offer(almost, "almost");
  EXPECT_EQ(almost.Position(), 0u);
  EXPECT_TRUE(cache.Contains("almost"));
  EXPECT_EQ(cache.Count(), 1);
  EXPECT_EQ(cache.Evictions(), 3);
  EXPECT_EQ(cache.Used(), TCacheList::kDefaultBudget - 1);

  TMemoryStream out;
  ASSERT_TRUE(cache.Hit("almost", out));
  EXPECT_TRUE(out.Bytes().size() == almost.Bytes().size() &&
              std::equal(out.Bytes().begin(), out.Bytes().end(), almost.Bytes().begin()));
}

TEST(TCacheListTest, KeysAreCaseSensitiveAndRemovalFreesTheirBytes) {
  TCacheList cache;
  TMemoryStream upper = Filled(10, 'U'), lower = Filled(20, 'l');
  cache.Offer(upper, "Cat");
  cache.Offer(lower, "cat");
  EXPECT_EQ(cache.Count(), 2);
  cache.Remove("Cat");
  EXPECT_FALSE(cache.Contains("Cat"));
  EXPECT_TRUE(cache.Contains("cat"));
  EXPECT_EQ(cache.Used(), 20);
}

TEST(TCacheListTest, FrequencyRoundsHalvesToEven) {
  struct Case {
    int insertions, hits, percent;
  };
  const Case kCases[] = {{0, 0, 0},  {1, 0, 0},  {1, 3, 75}, {7, 1, 12},
                         {5, 3, 38}, {2, 1, 33}, {1, 2, 67}, {1, 1, 50}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.insertions << " insertions, " << c.hits << " hits");
    TCacheList cache;
    for (int i = 0; i < c.insertions; ++i) {
      TMemoryStream stream = Filled(1, 'x');
      cache.Offer(stream, std::to_string(i));
    }
    for (int i = 0; i < c.hits; ++i) {
      TMemoryStream out;
      cache.Hit("0", out);
    }
    EXPECT_EQ(cache.Frequency(), c.percent);
  }
}

TEST_F(KESCacheTest, EvictsLeastRecentlyUsedWithinBudget) {
  TKES store;
  store.SetFileName(Path("lru.kes"));
  for (char key : std::string("abc")) {
    TMemoryStream item = Filled(30000, key);
    store.AddItem(item, std::string(1, key));
  }
  store.SetCacheSize(65536);
  ReadCounter counter(store.DataFileName());
  // Two 30000-byte items fit the budget, three do not.
  struct Step {
    char key;
    bool hit;
  };
  const Step kSteps[] = {{'a', false}, {'b', false}, {'c', false}, {'b', true},
                         {'a', false}, {'b', true},  {'c', false}};
  for (const Step& step : kSteps) {
    SCOPED_TRACE(step.key);
    ASSERT_TRUE(store.FindKey(std::string(1, step.key)));
    TMemoryStream out;
    store.GetItem(out);
    EXPECT_EQ(out.Bytes().size(), 30000u);
    EXPECT_EQ(out.Bytes()[29999], step.key);
    EXPECT_EQ(counter.Take() == 0, step.hit);
  }
}

TEST_F(KESCacheTest, CachedItemIsServedWithoutTheDataFile) {
  TKES store;
  store.SetFileName(Path("hit.kes"));
  TMemoryStream item = StreamOf("cached picture");
  store.AddItem(item, "Picture");
  FailingReads failing(store.DataFileName());
  TMemoryStream out;
  ASSERT_TRUE(store.FindKey("PICTURE"));
  EXPECT_NO_THROW(store.GetItem(out));
  EXPECT_EQ(TextOf(out), "cached picture");
}

TEST_F(KESCacheTest, FrequencyCountsHitsAndInsertionsUntilReset) {
  TKES store;
  store.SetFileName(Path("freq.kes"));
  EXPECT_EQ(store.CacheFrequency(), 0);
  TMemoryStream item = StreamOf("picture");
  store.AddItem(item, "p");  // one insertion
  for (int i = 0; i < 3; ++i) {
    TMemoryStream out;
    store.GetItem(out);
  }
  EXPECT_EQ(store.CacheFrequency(), 75);

  store.SetCacheFrequency(42);
  EXPECT_EQ(store.CacheFrequency(), 0);
  // Writing the frequency keeps the entries: the next read is still a hit.
  TMemoryStream out;
  store.GetItem(out);
  EXPECT_EQ(store.CacheFrequency(), 100);
}

TEST_F(KESCacheTest, WritingCacheSizeEmptiesTheCache) {
  TKES store;
  store.SetFileName(Path("size.kes"));
  TMemoryStream item = StreamOf("picture");
  store.AddItem(item, "p");
  ReadCounter counter(store.DataFileName());

  store.SetCacheSize(store.CacheSize());  // unchanged value
  EXPECT_EQ(store.CacheSize(), 65536);
  EXPECT_EQ(store.CacheFrequency(), 0);
  TMemoryStream out;
  store.GetItem(out);
  EXPECT_EQ(counter.Take(), 1);
  EXPECT_EQ(TextOf(out), "picture");

  store.SetCacheSize(0);  // nothing fits any more
  for (int i = 0; i < 2; ++i) {
    TMemoryStream again;
    store.GetItem(again);
    EXPECT_EQ(counter.Take(), 1);
  }
}

TEST_F(KESCacheTest, DeletedItemLeavesTheCache) {
  TKES store;
  store.SetFileName(Path("delete.kes"));
  TMemoryStream old_item = StreamOf("old"), new_item = StreamOf("new");
  store.AddItem(old_item, "k");
  store.Delete();
  store.AddItem(new_item, "k");
  TMemoryStream out;
  store.GetItem(out);
  EXPECT_EQ(TextOf(out), "new");
}

}  // namespace
}  // namespace sk::test
