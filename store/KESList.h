// The store's in-memory key lists: TKESList, a paged array that grows by powers of four, and
// TKESStringList, sorted (key, value) pairs with binary search, a case mode and duplicate
// rejection. TIndexList holds the index records of a store.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Collation.h"
#include "store/KESErrors.h"

namespace sk {

// A paged array of entries. Capacity is 4^r entries held in up to 2^r pages of 2^r entries each;
// pages are allocated only as entries need them, so insertion moves at most one page's worth of
// entries per page touched and repaging happens a logarithmic number of times.
template <class T>
class TKESList {
 public:
  // The largest capacity accepted; 4^13 = 67108864 is therefore the largest one reached.
  static constexpr int64_t kCapacityLimit = 268402689;

  TKESList() { SetCapacity(0); }

  int Count() const { return count_; }
  int64_t Capacity() const { return int64_t{1} << (2 * shift_); }
  int PageSize() const { return 1 << shift_; }
  int PagesInUse() const { return static_cast<int>(pages_.size()); }

  // Makes the capacity the smallest power of four strictly greater than n.
  void SetCapacity(int64_t n) {
    int shift = 1;
    while ((int64_t{1} << (2 * shift)) <= n) ++shift;
    const int64_t capacity = int64_t{1} << (2 * shift);
    if (capacity < count_ || capacity > kCapacityLimit) {
      throw EKESListError(std::string(kes_msg::kOutOfBounds));
    }
    if (shift == shift_) return;
    Repage(shift);
  }

  void Insert(int index, T value) {
    if (count_ == Capacity()) SetCapacity(Capacity());
    const int page_size = PageSize();
    const int mask = page_size - 1;
    if ((count_ & mask) == 0) AppendPage();
    // Shift entries up one place, page by page from the last one down: each page moves its own
    // entries and receives the last entry of the page before it.
    const int first_page = index >> shift_;
    for (int p = count_ >> shift_; p > first_page; --p) {
      T* page = pages_[p].get();
      const int used = std::min(mask, count_ - (p << shift_));
      std::move_backward(page, page + used, page + used + 1);
      page[0] = std::move(pages_[p - 1][mask]);
    }
    T* page = pages_[first_page].get();
    const int slot = index & mask;
    const int end = std::min(mask, count_ - (first_page << shift_));
    std::move_backward(page + slot, page + end, page + end + 1);
    page[slot] = std::move(value);
    ++count_;
  }

  // Insert at the end, which moves nothing (a store being loaded).
  void Append(T value) {
    if (count_ == Capacity()) SetCapacity(Capacity());
    const int slot = count_ & (PageSize() - 1);
    if (slot == 0) AppendPage();
    pages_[count_ >> shift_][slot] = std::move(value);
    ++count_;
  }

  void Delete(int index) {
    const int page_size = PageSize();
    const int mask = page_size - 1;
    const int last_page = (count_ - 1) >> shift_;
    int page_index = index >> shift_;
    T* page = pages_[page_index].get();
    std::move(page + (index & mask) + 1, page + page_size, page + (index & mask));
    for (; page_index < last_page; ++page_index) {
      pages_[page_index][mask] = std::move(pages_[page_index + 1][0]);
      T* next = pages_[page_index + 1].get();
      std::move(next + 1, next + page_size, next);
    }
    --count_;
    pages_[last_page][count_ & mask] = T();
    if (count_ == 0 || ((count_ - 1) >> shift_) < PagesInUse() - 1) pages_.pop_back();
  }

  T& Get(int index) { return pages_[index >> shift_][index & (PageSize() - 1)]; }
  const T& Get(int index) const { return pages_[index >> shift_][index & (PageSize() - 1)]; }
  void Put(int index, T value) { Get(index) = std::move(value); }
  void Exchange(int i, int j) { std::swap(Get(i), Get(j)); }

  void Clear() {
    pages_.clear();
    count_ = 0;
    shift_ = 0;
    SetCapacity(0);
  }

 private:
  void AppendPage() {
    try {
      pages_.push_back(std::make_unique<T[]>(PageSize()));
    } catch (const std::bad_alloc&) {
      throw EKESListError(std::string(kes_msg::kNoCompress));
    }
  }

  void Repage(int shift) {
    const int page_size = 1 << shift;
    std::vector<std::unique_ptr<T[]>> pages;
    try {
      pages.reserve(static_cast<size_t>(page_size));
      for (int i = 0; i < count_; ++i) {
        if (i % page_size == 0) pages.push_back(std::make_unique<T[]>(page_size));
      }
    } catch (const std::bad_alloc&) {
      throw EKESListError(std::string(kes_msg::kNoCompress));
    }
    for (int i = 0; i < count_; ++i) pages[i / page_size][i % page_size] = std::move(Get(i));
    pages_ = std::move(pages);
    shift_ = shift;
  }

  int count_ = 0;
  int shift_ = 0;
  std::vector<std::unique_ptr<T[]>> pages_;
};

// A sort key kept for one case mode in a single allocation: the mode byte, the length as four
// bytes, then the sort key. An entry that has none costs one pointer.
class TCachedSortKey {
 public:
  // The sort key kept for case_sensitive; empty when there is none for that mode (a sort key
  // is never empty: it holds at least the collator's terminating zero).
  std::string_view For(bool case_sensitive) const {
    if (!bytes_ || bytes_[0] != static_cast<char>(case_sensitive)) return {};
    uint32_t length;
    std::memcpy(&length, bytes_.get() + 1, sizeof length);
    return {bytes_.get() + kHeader, length};
  }

  // Keeps sort_key, made for case_sensitive, in place of any earlier one.
  void Set(std::string_view sort_key, bool case_sensitive) {
    const auto length = static_cast<uint32_t>(sort_key.size());
    auto bytes = std::make_unique_for_overwrite<char[]>(kHeader + sort_key.size());
    bytes[0] = static_cast<char>(case_sensitive);
    std::memcpy(bytes.get() + 1, &length, sizeof length);
    std::memcpy(bytes.get() + kHeader, sort_key.data(), sort_key.size());
    bytes_ = std::move(bytes);
  }

 private:
  static constexpr size_t kHeader = 1 + sizeof(uint32_t);
  std::unique_ptr<char[]> bytes_;
};

// Sorted or unsorted (key, value) pairs over TKESList. Keys are byte strings compared by the
// collator under the list's case mode; searches compare the keys' sort keys, which order alike.
template <class T>
class TKESStringList {
 public:
  struct Record {
    std::string key;
    T value{};
  };

  explicit TKESStringList(const TCollator* collator = nullptr)
      : collator_(collator ? collator : &TCollator::Default()) {}

  int Count() const { return list_.Count(); }
  bool Sorted() const { return sorted_; }
  bool CaseSensitive() const { return case_sensitive_; }
  const TCollator& Collator() const { return *collator_; }

  const std::string& Key(int index) const { return list_.Get(index).record->key; }
  T& Value(int index) { return list_.Get(index).record->value; }
  const T& Value(int index) const { return list_.Get(index).record->value; }

  int Compare(std::string_view a, std::string_view b) const {
    return collator_->Compare(a, b, case_sensitive_);
  }

  // Appends (unsorted) or inserts at the sorted position; a key that exists already in a sorted
  // list raises EKESListError "Only one person with that name is allowed". A sorted add keeps the
  // sort key it searched with; an unsorted one (a store being loaded) makes none.
  int Add(std::string key, T value) {
    int position = Count();
    std::string sort_key;
    if (sorted_) {
      sort_key = collator_->SortKey(key, case_sensitive_);
      if (FindSortKey(sort_key, position)) {
        throw EKESListError(std::string(kes_msg::kDuplicateKey));
      }
    }
    Record* record = records_.Take();
    record->key = std::move(key);
    record->value = std::move(value);
    TEntry entry{record, {}};
    if (sorted_) entry.sort_key.Set(sort_key, case_sensitive_);
    try {
      list_.Insert(position, std::move(entry));
    } catch (...) {
      records_.Give(record);
      throw;
    }
    return position;
  }

  // Appends to an unsorted list without making its sort key (a store being loaded, whose order
  // is checked or sorted afterwards); a sorted list adds key at its place, as Add does.
  void Append(std::string_view key, T value) {
    if (sorted_) {
      Add(std::string(key), std::move(value));
      return;
    }
    Record* record = records_.Take();
    try {
      // Sized first, then copied by one call: the library copy is quicker for short keys than
      // the string copy the compiler expands in place.
      record->key.resize(key.size());
      std::memcpy(record->key.data(), key.data(), key.size());
      record->value = std::move(value);
      list_.Append(TEntry{record, {}});
    } catch (...) {
      records_.Give(record);
      throw;
    }
  }

  // Binary search; position receives the first equal entry when found, else the insertion point.
  // Compares sort keys (TCollator::SortKey), which order exactly as Compare does: the probe's is
  // made once, an entry's on the first search that reaches it, and kept for its case mode.
  bool Find(std::string_view key, int& position) const {
    // One probe buffer per thread: a lookup allocates nothing once it has grown.
    thread_local std::string probe;
    collator_->SortKey(key, case_sensitive_, probe);
    return FindSortKey(probe, position);
  }

  void Delete(int index) {
    Record* record = list_.Get(index).record;
    list_.Delete(index);
    records_.Give(record);
  }
  void Clear() {
    list_.Clear();
    records_.Clear();
  }
  // Makes room for n entries; the records of as many are allocated at once.
  void SetCapacity(int64_t n) {
    list_.SetCapacity(n);
    records_.Reserve(n - Count());
  }
  void SetSorted(bool sorted) { sorted_ = sorted; }

  // Reverses an unsorted list (loaded in descending order) and marks it sorted.
  void ReverseAndSort() {
    if (sorted_) return;
    for (int i = 0, j = Count() - 1; i < j; ++i, --j) list_.Exchange(i, j);
    sorted_ = true;
  }

  // Switching to case-insensitive drops every entry equal, under the new mode, to the one before.
  void SetCaseSensitive(bool case_sensitive) {
    if (case_sensitive == case_sensitive_) return;
    case_sensitive_ = case_sensitive;
    if (case_sensitive || Count() == 0) return;
    for (int i = Count() - 1; i >= 1; --i) {
      if (Compare(Key(i), Key(i - 1)) == 0) Delete(i);
    }
  }

  // True when every key sorts strictly after the one before it under the current mode.
  bool StrictlyAscending() const {
    for (int i = 1; i < Count(); ++i) {
      if (Compare(Key(i - 1), Key(i)) >= 0) return false;
    }
    return true;
  }

  // True when no key sorts before the one before it under the current mode (equal keys, which
  // only a damaged store holds, may follow each other).
  bool Ascending() const {
    for (int i = 1; i < Count(); ++i) {
      if (Compare(Key(i - 1), Key(i)) > 0) return false;
    }
    return true;
  }

  // Sorts the entries stably under the current mode; equal keys keep their relative order.
  void StableSort() {
    std::vector<TEntry> entries;
    entries.reserve(static_cast<size_t>(Count()));
    for (int i = 0; i < Count(); ++i) entries.push_back(std::move(list_.Get(i)));
    std::stable_sort(entries.begin(), entries.end(), [this](const TEntry& a, const TEntry& b) {
      return Compare(a.record->key, b.record->key) < 0;
    });
    for (int i = 0; i < Count(); ++i) list_.Put(i, std::move(entries[static_cast<size_t>(i)]));
  }

 private:
  bool FindSortKey(std::string_view probe, int& position) const {
    int lo = 0, hi = Count() - 1;
    bool found = false;
    while (lo <= hi) {
      const int mid = lo + (hi - lo) / 2;
      // In a large list the slots the next step may read lie far apart and are rarely cached:
      // start loading both while this step compares.
      if (mid > lo) __builtin_prefetch(&list_.Get(lo + (mid - 1 - lo) / 2));
      if (mid < hi) __builtin_prefetch(&list_.Get(mid + 1 + (hi - mid - 1) / 2));
      const int c = SortKeyAt(mid).compare(probe);
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

  // The sort key of the entry at index under the current case mode, made now if the entry has
  // none for this mode.
  std::string_view SortKeyAt(int index) const {
    const TEntry& entry = list_.Get(index);
    std::string_view sort_key = entry.sort_key.For(case_sensitive_);
    if (sort_key.empty()) {
      entry.sort_key.Set(collator_->SortKey(entry.record->key, case_sensitive_), case_sensitive_);
      sort_key = entry.sort_key.For(case_sensitive_);
    }
    return sort_key;
  }

  // A slot of the list: the record, and beside it its key's sort key, made on the first search
  // that compares with it, so that a search reads the slots and sort keys but no record.
  struct TEntry {
    Record* record = nullptr;  // owned by records_
    mutable TCachedSortKey sort_key;
  };

  // The records of the entries, allocated in slabs rather than one by one: loading a store makes
  // a few allocations instead of one per key, and clearing frees them together. A record stays
  // where it is for as long as its entry exists (so Key() references survive inserts and deletes);
  // a deleted entry's record is reused by a later add.
  class TRecordPool {
   public:
    // A record for a new entry, its key empty.
    Record* Take() {
      if (!free_.empty()) {
        Record* record = free_.back();
        free_.pop_back();
        return record;
      }
      if (used_ == slab_size_) Reserve(std::max<int64_t>(kFirstSlab, allocated_));
      return slabs_.back().get() + used_++;
    }
    // Takes back the record of a deleted entry (its key's memory is released now).
    void Give(Record* record) noexcept {
      record->key = std::string();
      record->value = T{};
      try {
        free_.push_back(record);
      } catch (const std::bad_alloc&) {
        // Not reused then: it is freed with its slab.
      }
    }
    // Makes sure the next n records taken need no allocation.
    void Reserve(int64_t n) {
      const int64_t available = std::ssize(free_) + (slab_size_ - used_);
      if (n <= available) return;
      // The rest of the current slab is given up; a slab is never smaller than the records asked
      // for, so a load that reserved its count allocates once.
      const int64_t size = n - std::ssize(free_);
      slabs_.reserve(slabs_.size() + 1);
      slabs_.push_back(std::make_unique<Record[]>(static_cast<size_t>(size)));
      allocated_ += size;
      slab_size_ = size;
      used_ = 0;
    }
    void Clear() noexcept {
      slabs_.clear();
      free_.clear();
      allocated_ = slab_size_ = used_ = 0;
    }

   private:
    static constexpr int64_t kFirstSlab = 16;
    std::vector<std::unique_ptr<Record[]>> slabs_;
    std::vector<Record*> free_;         // records of deleted entries
    int64_t allocated_ = 0;             // records in all slabs
    int64_t slab_size_ = 0, used_ = 0;  // records in the last slab, and taken from it
  };

  const TCollator* collator_;
  TRecordPool records_;
  TKESList<TEntry> list_;
  bool case_sensitive_ = false;
  bool sorted_ = false;
};

// One index record: where an item's body lies in the data file and how it is stored.
struct TIndex {
  int32_t offset = 0;
  int32_t size = 0;
  uint32_t flags = 0;
  // Names the item in the cache for as long as the store is open; never written to disk. Keys
  // cannot serve: a damaged store may hold two keys that compare alike.
  uint32_t serial = 0;
};
inline constexpr uint32_t kFlagSystem = 1u << 0;
inline constexpr uint32_t kFlagCompressed = 1u << 1;

using TIndexList = TKESStringList<TIndex>;

}  // namespace sk
