// Least-recently-used item cache.
#include "store/KESCache.h"

namespace sk {

TCacheList::TCacheList(const TCollator* collator) : list_(collator) {
  list_.SetSorted(true);
  list_.SetCaseSensitive(true);
}

void TCacheList::Offer(TMemoryStream& stream, std::string_view key) {
  const auto size = static_cast<int64_t>(stream.Size());
  stream.Seek(0);
  if (size >= budget_) return;
  while (budget_ < used_ + size && list_.Count() > 0) EvictOldest();
  ++clock_;
  int position;
  if (list_.Find(key, position)) return;
  try {
    TCache entry{clock_, std::vector<uint8_t>(stream.Bytes().begin(), stream.Bytes().end())};
    list_.Add(std::string(key), std::move(entry));
  } catch (const std::exception&) {
    return;  // no memory for the copy: the item simply stays uncached
  }
  used_ += size;
  ++lookups_;
}

bool TCacheList::Hit(std::string_view key, TMemoryStream& target) {
  int position;
  if (!list_.Find(key, position)) return false;
  TCache& entry = list_.Value(position);
  target.Write(entry.data);
  entry.stamp = ++clock_;
  ++hits_;
  ++lookups_;
  return true;
}

void TCacheList::Remove(std::string_view key) {
  int position;
  if (!list_.Find(key, position)) return;
  used_ -= CachedSize(position);
  list_.Delete(position);
}

void TCacheList::Clear() {
  list_.Clear();
  used_ = hits_ = lookups_ = evictions_ = 0;
  clock_ = 0;
}

void TCacheList::SetBudget(int64_t budget) {
  Clear();
  budget_ = budget;
}

int TCacheList::Frequency() const {
  if (lookups_ == 0) return 0;
  const int64_t numerator = hits_ * 100;
  int64_t quotient = numerator / lookups_;
  const int64_t twice_remainder = 2 * (numerator % lookups_);
  if (twice_remainder > lookups_ || (twice_remainder == lookups_ && (quotient & 1))) ++quotient;
  return static_cast<int>(quotient);
}

void TCacheList::ResetStatistics() { hits_ = lookups_ = evictions_ = 0; }

void TCacheList::EvictOldest() {
  int oldest = 0;
  for (int i = 1; i < list_.Count(); ++i) {
    if (list_.Value(i).stamp < list_.Value(oldest).stamp) oldest = i;
  }
  used_ -= CachedSize(oldest);
  list_.Delete(oldest);
  ++evictions_;
}

}  // namespace sk
