// Paged list growth and shifting, and the sorted string list's search, duplicates and case mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "store/KESList.h"

namespace sk {
namespace {

std::vector<int> Contents(TKESList<int>& list) {
  std::vector<int> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Get(i));
  return out;
}

TEST(KESListTest, GrowsByPowersOfFour) {
  TKESList<int> list;
  EXPECT_EQ(list.Capacity(), 4);
  struct Step {
    int inserts;
    int64_t capacity;
    int page_size;
  };
  for (const Step step : {Step{4, 4, 2}, Step{5, 16, 4}, Step{16, 16, 4}, Step{17, 64, 8}}) {
    SCOPED_TRACE(step.inserts);
    TKESList<int> grown;
    for (int i = 0; i < step.inserts; ++i) grown.Insert(i, i);
    EXPECT_EQ(grown.Capacity(), step.capacity);
    EXPECT_EQ(grown.PageSize(), step.page_size);
    EXPECT_EQ(grown.PagesInUse(), (step.inserts - 1) / step.page_size + 1);
    for (int i = 0; i < step.inserts; ++i) EXPECT_EQ(grown.Get(i), i);
  }
}

TEST(KESListTest, InsertAtFrontOfFullPagesAppendsPageAndShiftsEverything) {
  TKESList<int> list;
  for (int i = 0; i < 16; ++i) list.Insert(i, i + 1);  // capacity 16, four full pages
  ASSERT_EQ(list.PagesInUse(), 4);
  list.Insert(0, 0);  // grows to 64 entries of pages of 8
  std::vector<int> expected(17);
  for (int i = 0; i < 17; ++i) expected[i] = i;
  EXPECT_EQ(Contents(list), expected);

  TKESList<int> same_capacity;
  for (int i = 0; i < 8; ++i) same_capacity.Insert(i, i + 1);  // pages of 4, two full
  same_capacity.Insert(0, 0);
  EXPECT_EQ(same_capacity.PagesInUse(), 3);
  EXPECT_EQ(Contents(same_capacity), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(KESListTest, DeleteShiftsDownAndFreesEmptiedLastPage) {
  TKESList<int> list;
  for (int i = 0; i < 9; ++i) list.Insert(i, i);  // pages of 4: 4 + 4 + 1
  ASSERT_EQ(list.PagesInUse(), 3);
  list.Delete(1);
  EXPECT_EQ(list.PagesInUse(), 2);
  EXPECT_EQ(Contents(list), (std::vector<int>{0, 2, 3, 4, 5, 6, 7, 8}));
  while (list.Count() > 0) list.Delete(list.Count() - 1);
  EXPECT_EQ(list.PagesInUse(), 0);
}

TEST(KESListTest, RandomInsertsAndDeletesMatchAVector) {
  TKESList<int> list;
  std::vector<int> model;
  uint32_t seed = 12345;
  auto next = [&seed] { return seed = seed * 1103515245u + 12345u; };
  for (int step = 0; step < 3000; ++step) {
    if (model.empty() || next() % 3 != 0) {
      const int at = static_cast<int>(next() % (model.size() + 1));
      list.Insert(at, step);
      model.insert(model.begin() + at, step);
    } else {
      const int at = static_cast<int>(next() % model.size());
      list.Delete(at);
      model.erase(model.begin() + at);
    }
  }
  EXPECT_EQ(Contents(list), model);
}

TEST(SortKeyPoolTest, ReusedBuffersNeverDisturbLiveOnes) {
  // Sort keys of many lengths (size classes), made and released at random, some for the other
  // case mode: every live buffer reads back what it was made with, also after its neighbours
  // were released and their buffers reused.
  TSortKeyPool pool;
  struct TLive {
    const char* bytes;
    std::string sort_key;
    bool case_sensitive;
  };
  std::vector<TLive> live;
  std::mt19937 random(11);
  // Enough rounds for the pool to fill well over a hundred of its largest blocks.
  for (int round = 0; round < 40000; ++round) {
    if (live.empty() || random() % 4 != 0) {
      std::string sort_key(random() % 2 == 0 ? 1 + random() % 900 : 1 + random() % 60, '\0');
      for (char& c : sort_key) c = static_cast<char>(random());
      const bool case_sensitive = random() % 2 == 0;
      live.push_back({pool.Make(sort_key, case_sensitive), sort_key, case_sensitive});
    } else {
      const size_t at = random() % live.size();
      pool.Release(live[at].bytes);
      live[at] = live.back();
      live.pop_back();
    }
    if (round % 5000 == 0 || round == 39999) {
      for (const TLive& entry : live) {
        ASSERT_EQ(TSortKeyPool::For(entry.bytes, entry.case_sensitive), entry.sort_key);
        ASSERT_TRUE(TSortKeyPool::For(entry.bytes, !entry.case_sensitive).empty());
      }
    }
  }
  pool.Release(nullptr);
  pool.Clear();
  EXPECT_EQ(TSortKeyPool::For(pool.Make("x", false), false), "x");
}

TEST(KESListTest, CapacityBeyondLimitIsRefused) {
  TKESList<int> list;
  EXPECT_NO_THROW(list.SetCapacity(67108863));  // 4^13
  EXPECT_EQ(list.Capacity(), 67108864);
  try {
    list.SetCapacity(67108864);  // would need 4^14
    FAIL();
  } catch (const EKESListError& e) {
    EXPECT_STREQ(e.what(), "The list index is out of bounds... yuk!!");
  }
}

class KESStringListTest : public ::testing::Test {
 protected:
  TCollator collator_{"en_US"};
};

TEST_F(KESStringListTest, CaseInsensitiveSortedListRejectsCaseVariant) {
  TKESStringList<int> list(&collator_);
  list.SetSorted(true);
  list.Add("ABC", 1);
  try {
    list.Add("abc", 2);
    FAIL();
  } catch (const EKESListError& e) {
    EXPECT_STREQ(e.what(), "Only one person with that name is allowed");
  }
  list.SetCaseSensitive(true);
  EXPECT_NO_THROW(list.Add("abc", 2));
  EXPECT_EQ(list.Count(), 2);
}

TEST_F(KESStringListTest, FindGivesFirstEqualOrInsertionPoint) {
  TKESStringList<int> list(&collator_);
  list.SetSorted(true);
  for (const char* key : {"delta", "alpha", "charlie", "bravo"}) list.Add(key, 0);
  EXPECT_EQ(list.Key(0), "alpha");
  EXPECT_EQ(list.Key(3), "delta");
  int position = -1;
  EXPECT_TRUE(list.Find("CHARLIE", position));
  EXPECT_EQ(position, 2);
  EXPECT_FALSE(list.Find("beta", position));
  EXPECT_EQ(position, 1);
  EXPECT_FALSE(list.Find("zulu", position));
  EXPECT_EQ(position, 4);
}

TEST_F(KESStringListTest, SwitchingToCaseInsensitiveDropsLaterCaseVariant) {
  TKESStringList<int> list(&collator_);
  list.SetCaseSensitive(true);
  list.Add("a", 1);
  list.Add("A", 2);
  list.Add("b", 3);
  list.SetCaseSensitive(false);
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Key(0), "a");
  EXPECT_EQ(list.Key(1), "b");
}

TEST_F(KESStringListTest, ReverseAndSortTurnsDescendingLoadIntoAscending) {
  TKESStringList<int> list(&collator_);
  for (const char* key : {"c", "b", "a"}) list.Add(key, 0);  // unsorted: appended
  list.ReverseAndSort();
  EXPECT_TRUE(list.Sorted());
  EXPECT_EQ(list.Key(0), "a");
  EXPECT_EQ(list.Key(2), "c");
  EXPECT_TRUE(list.StrictlyAscending());
}

TEST_F(KESStringListTest, StableSortKeepsEqualKeysInOrder) {
  TKESStringList<int> list(&collator_);
  for (int i = 0; i < 3; ++i) list.Add(i == 1 ? "KEY" : "b", i);
  list.Add("key", 9);
  list.StableSort();
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Key(0), "b");
  EXPECT_EQ(list.Value(0), 0);
  EXPECT_EQ(list.Value(1), 2);
  EXPECT_EQ(list.Key(2), "KEY");
  EXPECT_EQ(list.Key(3), "key");
}

// The binary search that compared keys with the collator on every step. On a list holding keys
// that compare equal, or not in order under the current mode (after a switch of mode), it stops
// at the first equal key it meets; Find must give the same answers.
bool FindByCompare(const TKESStringList<int>& list, const std::vector<std::string>& keys,
                   const std::string& key, int& position) {
  int lo = 0, hi = static_cast<int>(keys.size()) - 1;
  bool found = false;
  while (lo <= hi) {
    const int mid = lo + (hi - lo) / 2;
    const int c = list.Compare(keys[static_cast<size_t>(mid)], key);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        lo = mid;
      }
    }
  }
  position = lo;
  return found;
}

// Sorted adds of a shuffled set with case variants, in both case modes and across switches of
// the mode, place and refuse keys as the search by Compare does, and Find answers as it does for
// keys present and absent.
TEST_F(KESStringListTest, KeysStayPutWhileOthersComeAndGoAndTheListEmptiesWhole) {
  TKESStringList<int> list(&collator_);
  list.SetSorted(true);
  std::vector<std::string> model;
  for (int i = 0; i < 300; i += 2) {
    const std::string key = "key " + std::to_string(1000 + i);
    list.Add(key, i);
    model.push_back(key);
  }
  // Views of keys survive inserts before them, deletes around them and a duplicate refused.
  int kept_at = -1;
  ASSERT_TRUE(list.Find("key 1100", kept_at));
  const std::string_view kept = list.Key(kept_at);
  std::mt19937 random(5);
  for (int round = 0; round < 600; ++round) {
    if (random() % 2 == 0) {
      const std::string key = "key " + std::to_string(1000 + random() % 300);
      int at = -1;
      if (list.Find(key, at)) {
        EXPECT_THROW(list.Add(key, round), EKESListError);
      } else {
        EXPECT_EQ(list.Add(key, round), at);
        model.insert(model.begin() + at, key);
      }
    } else if (list.Count() > 1) {
      int at = static_cast<int>(random() % static_cast<unsigned>(list.Count()));
      if (list.Key(at).data() == kept.data()) at = at == 0 ? 1 : at - 1;
      list.Delete(at);
      model.erase(model.begin() + at);
    }
    ASSERT_EQ(kept, "key 1100");
  }
  ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
  for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Key(i), model[i]);
  // A value given with the key is the one read back, also in a slot a deleted entry left.
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.SetCapacity(40);
  for (int i = 0; i < 40; ++i) list.Add("k" + std::to_string(100 + i), i);
  list.Delete(0);
  list.Add("k099", -7);
  ASSERT_EQ(list.Count(), 40);
  EXPECT_EQ(list.Key(0), "k099");
  EXPECT_EQ(list.Value(0), -7);
  EXPECT_EQ(list.Value(39), 39);
}

TEST_F(KESStringListTest, FindAndAddAnswerAsTheSearchByCompare) {
  std::vector<std::string> keys;
  for (const char* stem : {"img", "\xE9t\xE9", "stra\xDF" "e", "a-b", "ab", "a\xAD" "b", "10"}) {
    for (const char* tail : {"", "1", "2", "A", "a", "\xC9"}) {
      std::string key = std::string(stem) + tail;
      keys.push_back(key);
      for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      keys.push_back(key);
    }
  }
  keys.push_back(std::string(255, 'k'));
  keys.push_back(std::string(254, 'k') + "K");
  std::mt19937 random(11);
  std::shuffle(keys.begin(), keys.end(), random);

  TKESStringList<int> list(&collator_);
  list.SetSorted(true);
  std::vector<std::string> model;
  auto check_finds = [&] {
    for (const std::string& key : keys) {
      SCOPED_TRACE(key);
      int expected = -1, position = -1;
      EXPECT_EQ(list.Find(key, position), FindByCompare(list, model, key, expected));
      EXPECT_EQ(position, expected);
    }
  };
  for (const bool case_sensitive : {true, false, true}) {
    SCOPED_TRACE(case_sensitive);
    list.SetCaseSensitive(case_sensitive);
    // Switching to case-insensitive drops the later of two equal neighbours.
    for (size_t i = model.size(); !case_sensitive && i-- > 1;) {
      if (list.Compare(model[i], model[i - 1]) == 0) model.erase(model.begin() + i);
    }
    ASSERT_EQ(list.Count(), static_cast<int>(model.size()));
    check_finds();
    for (size_t i = 0; i < keys.size(); i += 2) {
      const std::string& key = keys[(i + (case_sensitive ? 0 : 1)) % keys.size()];
      int at = -1;
      if (FindByCompare(list, model, key, at)) {
        EXPECT_THROW(list.Add(key, 0), EKESListError);
      } else {
        EXPECT_EQ(list.Add(key, 0), at);
        model.insert(model.begin() + at, key);
      }
    }
    for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Key(i), model[i]);
    check_finds();
  }
}

}  // namespace
}  // namespace sk
