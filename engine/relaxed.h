// Values shared between the audio thread and the user-interface thread without locks.
// A relaxed atomic compiles to the same plain 32-bit load or store the design relies on,
// while keeping the concurrent access defined (and visible to ThreadSanitizer).
#pragma once

#include <atomic>

namespace vellicor {

template <typename T>
class Relaxed {
 public:
  constexpr Relaxed() : value_(T{}) {}
  constexpr Relaxed(T v) : value_(v) {}  // NOLINT: implicit by design
  Relaxed(const Relaxed& other) : value_(other.load()) {}
  Relaxed& operator=(const Relaxed& other) {
    store(other.load());
    return *this;
  }
  Relaxed& operator=(T v) {
    store(v);
    return *this;
  }
  operator T() const { return load(); }  // NOLINT: implicit by design
  T load() const { return value_.load(std::memory_order_relaxed); }
  void store(T v) { value_.store(v, std::memory_order_relaxed); }

 private:
  std::atomic<T> value_;
};

static_assert(sizeof(Relaxed<float>) == 4 && sizeof(Relaxed<int>) == 4);

}  // namespace vellicor
