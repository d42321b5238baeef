#include "engine/random.h"

#include <atomic>
#include <chrono>

namespace vellicor::random {
namespace {
std::atomic<uint32_t> g_seed{0};
}

void Seed(uint32_t seed) {
  g_seed.store(seed, std::memory_order_relaxed);
}

uint32_t State() {
  return g_seed.load(std::memory_order_relaxed);
}

double Next() {
  uint32_t old_seed = g_seed.load(std::memory_order_relaxed);
  uint32_t new_seed;
  do {
    new_seed = old_seed * 134775813u + 1u;
  } while (!g_seed.compare_exchange_weak(old_seed, new_seed, std::memory_order_relaxed));
  return static_cast<double>(new_seed) * (1.0 / 4294967296.0);
}

uint32_t MillisecondsSinceMidnightUtc() {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
  return static_cast<uint32_t>(ms % (24LL * 60 * 60 * 1000));
}

}  // namespace vellicor::random
