// The item cache: copies of recently added or read items under a byte budget, evicting the least
// recently used entry first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MemoryStream.h"
#include "store/KESList.h"

namespace sk {

struct TCache {
  int32_t stamp = 0;           // cache clock when created or last hit
  std::vector<uint8_t> data;   // the item's uncompressed bytes
};

// Keys are the item keys exactly as stored, compared case-sensitively whatever the store's mode.
class TCacheList {
 public:
  static constexpr int64_t kDefaultBudget = 65536;

  explicit TCacheList(const TCollator* collator = nullptr);

  // Caches a copy of the whole stream (its position is left at 0) unless it is at least as large
  // as the budget or the key is cached already; evicts old entries until it fits.
  void Offer(TMemoryStream& stream, std::string_view key);
  // Writes the cached bytes of key into target from its current position and counts a hit.
  // Returns false when key is not cached.
  bool Hit(std::string_view key, TMemoryStream& target);
  // The cached size of key, if cached.
  bool Find(std::string_view key, int& position) const { return list_.Find(key, position); }
  int64_t CachedSize(int position) const {
    return static_cast<int64_t>(list_.Value(position).data.size());
  }
  void Remove(std::string_view key);
  void Clear();

  int64_t Budget() const { return budget_; }
  // Clears the cache, then sets the budget (even when it is unchanged).
  void SetBudget(int64_t budget);
  // Hit rate in percent, rounded half to even; 0 before any lookup.
  int Frequency() const;
  // Resets hits, lookups and evictions; entries, used bytes and the clock stay.
  void ResetStatistics();

  int Count() const { return list_.Count(); }
  int64_t Used() const { return used_; }
  int64_t Hits() const { return hits_; }
  int64_t Lookups() const { return lookups_; }
  int64_t Evictions() const { return evictions_; }
  bool Contains(std::string_view key) const {
    int position;
    return list_.Find(key, position);
  }

 private:
  void EvictOldest();

  TKESStringList<TCache> list_;
  int64_t lookups_ = 0;
  int64_t used_ = 0;
  int64_t evictions_ = 0;
  int64_t budget_ = kDefaultBudget;
  int32_t clock_ = 0;
  int64_t hits_ = 0;
};

}  // namespace sk
