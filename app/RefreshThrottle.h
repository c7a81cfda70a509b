// TRefreshThrottle: lets a long batch refresh the key list and the view at most once per screen
// frame while it runs, measured on a monotonic clock; the batch brings both up to date at its end.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

namespace sk {

class TRefreshThrottle {
 public:
  using TTime = std::chrono::steady_clock::time_point;
  using TClock = std::function<TTime()>;
  // One frame of a 60 Hz screen.
  static constexpr std::chrono::milliseconds kFrame{16};

  // clock: the monotonic clock to read (steady_clock when null; tests give their own).
  explicit TRefreshThrottle(TClock clock = nullptr)
      : clock_(clock ? std::move(clock) : [] { return std::chrono::steady_clock::now(); }) {}

  // True on the first call and whenever a frame has passed since the last call that returned
  // true; the caller refreshes then.
  bool Due() {
    const TTime now = clock_();
    if (last_ && now - *last_ < kFrame) return false;
    last_ = now;
    return true;
  }

 private:
  TClock clock_;
  std::optional<TTime> last_;
};

}  // namespace sk
