// The picture's owner as the codecs see it.
#include "imaging/PictureHost.h"

#include <algorithm>

namespace sk {

namespace {
constexpr uint32_t kSystemColorFlag = 0x80000000u;
}

TPictureHost::~TPictureHost() {
  // An observer may remove itself while it is told; work on a copy.
  const std::vector<THostObserver*> observers = observers_;
  for (THostObserver* observer : observers) observer->HostDestroyed(*this);
}

uint32_t TPictureHost::ResolveColor(uint32_t color) const {
  if ((color & kSystemColorFlag) != 0) return 0;
  return color & 0x00FFFFFFu;
}

void TPictureHost::AddObserver(THostObserver* observer) {
  if (std::find(observers_.begin(), observers_.end(), observer) == observers_.end()) {
    observers_.push_back(observer);
  }
}

void TPictureHost::RemoveObserver(THostObserver* observer) {
  std::erase(observers_, observer);
}

}  // namespace sk
