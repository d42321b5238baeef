// Interval timers measured against a clock the caller supplies (a monotonic clock in the X11
// backend, a test's fake clock in the headless one).
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace vellicor::gui {

// Intervals are bounded to this range of milliseconds.
constexpr int kMinTimerInterval = 10;
constexpr int kMaxTimerInterval = 3600 * 1000;

class TimerSet {
 public:
  // Starts (or restarts) timer `id`: it is first due `interval_ms` after `now_ms`.
  void Set(int id, int interval_ms, int64_t now_ms);
  void Kill(int id);
  void Clear() { timers_.clear(); }
  bool active(int id) const;
  // The running timers as (id, interval) pairs.
  std::vector<std::pair<int, int>> List() const;

  // Ids of the timers due at `now_ms`, in the order they fell due; each fires at most once
  // per call. A timer that fell behind by several intervals fires once and keeps its beat
  // from now on, as Windows timers do.
  std::vector<int> Due(int64_t now_ms);
  // When the next timer falls due; nothing when none runs.
  std::optional<int64_t> NextDue() const;

 private:
  struct Timer {
    int id;
    int interval;
    int64_t due;
  };
  std::vector<Timer> timers_;
};

}  // namespace vellicor::gui
