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
#include <type_traits>
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

// The sort keys kept for a list's entries. Each lies in one buffer: the mode byte, the length as
// four bytes, then the sort key. Buffers are cut from large blocks the pool owns, and a released
// buffer is kept for the next sort key of its size class. An entry holds its buffer's address, a
// plain pointer, so that entries move as plain bytes when the list shifts them; an entry that has
// none costs one pointer.
class TSortKeyPool {
 public:
  // The sort key in bytes (from Make) when it was made for case_sensitive; else empty (a sort key
  // is never empty: it holds at least the collator's terminating zero).
  static std::string_view For(const char* bytes, bool case_sensitive) {
    if (bytes == nullptr || bytes[0] != static_cast<char>(case_sensitive)) return {};
    return {bytes + kHeader, LengthOf(bytes)};
  }

  // A buffer holding sort_key, made for case_sensitive.
  const char* Make(std::string_view sort_key, bool case_sensitive) {
    const auto length = static_cast<uint32_t>(sort_key.size());
    char* bytes = Take(SizeClass(length));
    bytes[0] = static_cast<char>(case_sensitive);
    std::memcpy(bytes + 1, &length, sizeof length);
    std::memcpy(bytes + kHeader, sort_key.data(), sort_key.size());
    return bytes;
  }

  // Keeps a buffer Make returned for reuse; nullptr is ignored.
  void Release(const char* bytes) noexcept {
    if (bytes == nullptr) return;
    const size_t size_class = SizeClass(LengthOf(bytes));
    // Found by the pointer the pool handed out, which lies in one of its blocks.
    char* buffer = const_cast<char*>(bytes);
    std::memcpy(buffer, &free_[size_class], sizeof(char*));
    free_[size_class] = buffer;
  }

  void Clear() noexcept {
    blocks_.clear();
    free_.clear();
    left_ = 0;
    next_ = nullptr;
  }

 private:
  static constexpr size_t kHeader = 1 + sizeof(uint32_t);
  static constexpr size_t kGrain = 16;  // buffers hold at least a pointer, for the free list
  static constexpr size_t kFirstBlock = 512, kBlock = 64 * 1024, kDoublings = 7;
  static_assert(kFirstBlock << kDoublings == kBlock);

  static uint32_t LengthOf(const char* bytes) {
    uint32_t length;
    std::memcpy(&length, bytes + 1, sizeof length);
    return length;
  }
  // Buffers come in sizes of whole grains; class n holds (n + 1) grains.
  static size_t SizeClass(uint32_t length) { return (kHeader + length - 1) / kGrain; }

  char* Take(size_t size_class) {
    if (size_class < free_.size() && free_[size_class] != nullptr) {
      char* buffer = free_[size_class];
      std::memcpy(&free_[size_class], buffer, sizeof(char*));
      return buffer;
    }
    if (size_class >= free_.size()) free_.resize(size_class + 1, nullptr);
    const size_t size = (size_class + 1) * kGrain;
    if (left_ < size) {
      // Blocks start small, for the many short lists, and double up to kBlock.
      const size_t doubled = blocks_.size() < kDoublings ? kFirstBlock << blocks_.size() : kBlock;
      const size_t block = std::max(size, doubled);
      blocks_.push_back(std::make_unique_for_overwrite<char[]>(block));
      next_ = blocks_.back().get();
      left_ = block;
    }
    char* buffer = next_;
    next_ += size;
    left_ -= size;
    return buffer;
  }

  std::vector<std::unique_ptr<char[]>> blocks_;
  std::vector<char*> free_;  // per size class, the last released buffer (each names the next)
  char* next_ = nullptr;     // where the last block's unused part starts
  size_t left_ = 0;
};

// Sorted or unsorted (key, value) pairs over TKESList. Keys are byte strings compared by the
// collator under the list's case mode; searches compare the keys' sort keys, which order alike.
//
// A list loaded from serialised records (a store's index) may leave them where they lie: such an
// entry's key is read in place, and its record is made only when its value is first asked for by
// reference. Loading then costs a slot per entry rather than a record and a key copy each.
template <class T>
class TKESStringList {
 public:
  struct Record {
    std::string key;
    T value{};
  };
  // Reads the value of a loaded entry from the bytes after its key's terminating zero; key_at is
  // where the key starts in the loaded bytes.
  using TValueReader = T (*)(const uint8_t* value_bytes, uint32_t key_at);

  explicit TKESStringList(const TCollator* collator = nullptr)
      : collator_(collator ? collator : &TCollator::Default()) {}

  int Count() const { return list_.Count(); }
  bool Sorted() const { return sorted_; }
  bool CaseSensitive() const { return case_sensitive_; }
  const TCollator& Collator() const { return *collator_; }

  // A view that stays valid while the entry exists and the list is not cleared.
  std::string_view Key(int index) const { return KeyOf(list_.Get(index)); }
  // The value by reference; a loaded entry gets its record now.
  T& Value(int index) { return RecordOf(list_.Get(index)).value; }
  const T& Value(int index) const { return RecordOf(list_.Get(index)).value; }
  // The value by copy, which makes no record: for passes over the whole list.
  T ValueAt(int index) const {
    const TEntry& entry = list_.Get(index);
    if (const Record* record = entry.GetRecord()) return record->value;
    return ReadLoadedValue(entry);
  }

  int Compare(std::string_view a, std::string_view b) const {
    return collator_->Compare(a, b, case_sensitive_);
  }

  // Appends (unsorted) or inserts at the sorted position; a key that exists already in a sorted
  // list raises EKESListError "Only one person with that name is allowed". A sorted add keeps the
  // sort key it searched with; an unsorted one makes none.
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
    TEntry entry;
    entry.SetRecord(record);
    try {
      if (sorted_) entry.sort_key = sort_keys_.Make(sort_key, case_sensitive_);
      list_.Insert(position, entry);
    } catch (...) {
      sort_keys_.Release(entry.sort_key);
      records_.Give(record);
      throw;
    }
    return position;
  }

  // Empties the list and keeps bytes that hold serialised records, for AppendLoaded.
  void Load(std::vector<uint8_t> bytes, TValueReader read_value) {
    Clear();
    loaded_ = std::move(bytes);
    read_value_ = read_value;
  }
  const std::vector<uint8_t>& LoadedBytes() const { return loaded_; }

  // Appends to an unsorted list the record whose key of length bytes starts at key_at in the
  // loaded bytes; its value follows the key's terminating zero. A key longer than 255 characters
  // is kept to its first 255.
  void AppendLoaded(uint32_t key_at, uint32_t length) {
    TEntry entry;
    entry.SetLoaded(key_at, length);
    list_.Append(std::move(entry));
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
    const TEntry entry = list_.Get(index);
    list_.Delete(index);
    sort_keys_.Release(entry.sort_key);
    if (Record* record = entry.GetRecord()) records_.Give(record);
  }
  void Clear() {
    list_.Clear();
    sort_keys_.Clear();
    records_.Clear();
    loaded_ = std::vector<uint8_t>();
    read_value_ = nullptr;
  }
  // Makes room for n entries.
  void SetCapacity(int64_t n) { list_.SetCapacity(n); }
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
      return Compare(KeyOf(a), KeyOf(b)) < 0;
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
    std::string_view sort_key = TSortKeyPool::For(entry.sort_key, case_sensitive_);
    if (sort_key.empty()) {
      // Made for this mode in place of one made for the other.
      const char* made =
          sort_keys_.Make(collator_->SortKey(KeyOf(entry), case_sensitive_), case_sensitive_);
      sort_keys_.Release(entry.sort_key);
      entry.sort_key = made;
      sort_key = TSortKeyPool::For(made, case_sensitive_);
    }
    return sort_key;
  }

  // A slot of the list: the record, and beside it its key's sort key, made on the first search
  // that compares with it, so that a search reads the slots and sort keys but no record. A loaded
  // entry has no record until one is asked for: its key lies in the loaded bytes.
  class TEntry {
   public:
    // The record (owned by records_), or none for a loaded entry.
    Record* GetRecord() const {
      return place_ & kLoaded ? nullptr : reinterpret_cast<Record*>(static_cast<uintptr_t>(place_));
    }
    // Const because a loaded entry's record is made on demand, also through a const list.
    void SetRecord(Record* record) const { place_ = reinterpret_cast<uintptr_t>(record); }
    void SetLoaded(uint32_t key_at, uint32_t length) {
      place_ = uint64_t{key_at} << 32 | uint64_t{length} << 1 | kLoaded;
    }
    uint32_t LoadedAt() const { return static_cast<uint32_t>(place_ >> 32); }
    uint32_t LoadedLength() const { return static_cast<uint32_t>(place_ & 0xFFFFFFFFu) >> 1; }

    // Owned by sort_keys_; none until a search or an add makes one.
    mutable const char* sort_key = nullptr;

   private:
    // Records are aligned, so the lowest bit tells a record's address from a loaded entry's place
    // (the key's start in the high half, its length above the bit in the low half).
    static constexpr uint64_t kLoaded = 1;
    static_assert(alignof(Record) > 1);
    mutable uint64_t place_ = 0;
  };

  std::string_view KeyOf(const TEntry& entry) const {
    if (const Record* record = entry.GetRecord()) return record->key;
    return {reinterpret_cast<const char*>(loaded_.data()) + entry.LoadedAt(),
            std::min<size_t>(entry.LoadedLength(), 255)};
  }

  T ReadLoadedValue(const TEntry& entry) const {
    return read_value_(loaded_.data() + entry.LoadedAt() + entry.LoadedLength() + 1,
                       entry.LoadedAt());
  }

  // The entry's record, made from the loaded bytes if it has none yet.
  Record& RecordOf(const TEntry& entry) const {
    if (Record* record = entry.GetRecord()) return *record;
    Record* record = records_.Take();
    try {
      record->key = KeyOf(entry);
      record->value = ReadLoadedValue(entry);
    } catch (...) {
      records_.Give(record);
      throw;
    }
    entry.SetRecord(record);
    return *record;
  }

  // The records of the entries, allocated in slabs rather than one by one: many adds make a few
  // allocations instead of one per key, and clearing frees them together. A record stays where it
  // is for as long as its entry exists (so views of its key survive inserts and deletes); a
  // deleted entry's record is reused by a later add.
  class TRecordPool {
   public:
    // A record for a new entry, its key empty.
    Record* Take() {
      if (!free_.empty()) {
        Record* record = free_.back();
        free_.pop_back();
        return record;
      }
      if (used_ == slab_size_) AddSlab(std::max<int64_t>(kFirstSlab, allocated_));
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
    void Clear() noexcept {
      slabs_.clear();
      free_.clear();
      allocated_ = slab_size_ = used_ = 0;
    }

   private:
    // Slabs double the records allocated so far, so many adds allocate a logarithmic number of
    // times.
    void AddSlab(int64_t size) {
      slabs_.reserve(slabs_.size() + 1);
      slabs_.push_back(std::make_unique<Record[]>(static_cast<size_t>(size)));
      allocated_ += size;
      slab_size_ = size;
      used_ = 0;
    }

    static constexpr int64_t kFirstSlab = 16;
    std::vector<std::unique_ptr<Record[]>> slabs_;
    std::vector<Record*> free_;         // records of deleted entries
    int64_t allocated_ = 0;             // records in all slabs
    int64_t slab_size_ = 0, used_ = 0;  // records in the last slab, and taken from it
  };

  // Entries are plain bytes, which the paged list moves with a single copy per run of them.
  static_assert(std::is_trivially_copyable_v<TEntry>);

  const TCollator* collator_;
  mutable TSortKeyPool sort_keys_;
  mutable TRecordPool records_;
  TKESList<TEntry> list_;
  std::vector<uint8_t> loaded_;  // the bytes loaded entries lie in
  TValueReader read_value_ = nullptr;
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
