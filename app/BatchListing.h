// TBatchListing: what a batch add shows of the keys it stores. The key list and its selection are
// brought up to date at most once per screen frame while the batch runs (TRefreshThrottle), and
// exactly at its end, so that a batch of many quick adds does not redraw the list per file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/CommandContext.h"
#include "app/RefreshThrottle.h"

namespace sk {

class TBatchListing {
 public:
  TBatchListing(TStoreView& view, TRefreshThrottle::TClock clock = nullptr);
  // The store gained key.
  void Stored(const std::string& key);
  // A store failure: the list is refilled from the store at once.
  void Refill();
  // key is the batch's latest entry, which the list selects (no selection when it does not list
  // it); the list is refreshed when a frame has passed.
  void Select(const std::string& key);
  // The list shows every key stored and selects the latest entry.
  void Finish();

 private:
  void Show();

  TStoreView& view_;
  TRefreshThrottle throttle_;
  std::vector<std::string> unlisted_;  // stored, not yet in the list
  std::optional<std::string> selected_;
};

}  // namespace sk
