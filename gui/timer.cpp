#include "gui/timer.h"

#include <algorithm>

namespace vellicor::gui {

void TimerSet::Set(int id, int interval_ms, int64_t now_ms) {
  const int interval = std::clamp(interval_ms, kMinTimerInterval, kMaxTimerInterval);
  for (Timer& t : timers_) {
    if (t.id == id) {
      t.interval = interval;
      t.due = now_ms + interval;
      return;
    }
  }
  timers_.push_back({id, interval, now_ms + interval});
}

void TimerSet::Kill(int id) {
  std::erase_if(timers_, [id](const Timer& t) { return t.id == id; });
}

bool TimerSet::active(int id) const {
  return std::any_of(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
}

std::vector<std::pair<int, int>> TimerSet::List() const {
  std::vector<std::pair<int, int>> list;
  for (const Timer& t : timers_) list.emplace_back(t.id, t.interval);
  return list;
}

std::vector<int> TimerSet::Due(int64_t now_ms) {
  std::vector<Timer*> due;
  for (Timer& t : timers_) {
    if (t.due <= now_ms) due.push_back(&t);
  }
  std::stable_sort(due.begin(), due.end(),
                   [](const Timer* a, const Timer* b) { return a->due < b->due; });
  std::vector<int> ids;
  for (Timer* t : due) {
    ids.push_back(t->id);
    t->due += t->interval;
    if (t->due <= now_ms) t->due = now_ms + t->interval;
  }
  return ids;
}

std::optional<int64_t> TimerSet::NextDue() const {
  std::optional<int64_t> next;
  for (const Timer& t : timers_) {
    if (!next || t.due < *next) next = t.due;
  }
  return next;
}

}  // namespace vellicor::gui
