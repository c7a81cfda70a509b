// Bringing the key list up to date during and at the end of a batch add.
#include "app/BatchListing.h"

#include <utility>

namespace sk {

TBatchListing::TBatchListing(TStoreView& view, TRefreshThrottle::TClock clock)
    : view_(view), throttle_(std::move(clock)) {}

void TBatchListing::Stored(const std::string& key) {
  unlisted_.push_back(key);
}

void TBatchListing::Refill() {
  unlisted_.clear();
  view_.FillKeyList();
}

void TBatchListing::Select(const std::string& key) {
  selected_ = key;
  if (throttle_.Due()) Show();
}

void TBatchListing::Finish() {
  Show();
}

void TBatchListing::Show() {
  if (!unlisted_.empty()) {
    view_.KeysAdded(std::move(unlisted_));
    unlisted_.clear();
  }
  if (selected_) view_.SelectKey(*selected_);
}

}  // namespace sk
