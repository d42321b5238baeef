// The audio path must not allocate or lock: this test program replaces the global allocation
// functions and pthread_mutex_lock with counting versions, armed only around engine calls.
// The Windows build has no symbol interposition for the lock, so there it counts allocations.
#include <gtest/gtest.h>
#if !defined(_WIN32)
#include <dlfcn.h>
#include <pthread.h>
#define VELLICOR_COUNT_LOCKS 1
#endif

#include <atomic>
#include <cstdlib>
#include <iterator>
#include <mutex>
#include <new>

#include "tests/engine/engine_harness.h"

namespace {

std::atomic<bool> g_armed{false};
std::atomic<int> g_allocations{0};
std::atomic<int> g_locks{0};

void* Allocate(std::size_t size) noexcept {
  if (g_armed.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
  return std::malloc(size ? size : 1);
}

void* AllocateOrThrow(std::size_t size) {
  if (void* p = Allocate(size)) return p;
  throw std::bad_alloc();
}

#ifdef VELLICOR_COUNT_LOCKS
using LockFunction = int (*)(pthread_mutex_t*);

int CountedLock(pthread_mutex_t* mutex, std::atomic<LockFunction>& real, const char* name) {
  if (g_armed.load(std::memory_order_relaxed)) g_locks.fetch_add(1);
  LockFunction f = real.load();
  if (!f) real.store(f = reinterpret_cast<LockFunction>(dlsym(RTLD_NEXT, name)));
  return f(mutex);
}

std::atomic<LockFunction> g_lock{nullptr};
std::atomic<LockFunction> g_trylock{nullptr};
#endif

}  // namespace

void* operator new(std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
  return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

#ifdef VELLICOR_COUNT_LOCKS
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
  return CountedLock(mutex, g_lock, "pthread_mutex_lock");
}
extern "C" int pthread_mutex_trylock(pthread_mutex_t* mutex) {
  return CountedLock(mutex, g_trylock, "pthread_mutex_trylock");
}
#endif

namespace vellicor::testing {
namespace {

struct Armed {
  Armed() {
    g_allocations = 0;
    g_locks = 0;
    g_armed = true;
  }
  ~Armed() { g_armed = false; }
};

TEST(Realtime, RenderAndMidiNeitherAllocateNorLock) {
  Harness h;
  h.engine().SetHostTempo(0.0);
  // FM, PWM, sync, a filter, envelopes, an LFO, and a controller armed for learning.
  const int indices[] = {44, 46, 47, 67, 63, 62, 120, 170, 175, 180, 54, 250, 310, 351, 16, 15};
  const float values[] = {0.7f, 0.03f, 0.5f, 0.5f, 0.5f, 0.75f, 11.0f / 12.99f + 0.05f, 0.05f,
                          0.7f, 0.6f,  0.0f, 0.4f, 0.1f, 1.0f,  5.0f / 255.0f,          1.0f};
  static_assert(std::size(indices) == std::size(values));
  for (size_t i = 0; i < std::size(indices); ++i) h.Set(indices[i], values[i]);
  std::vector<float> left(8192), right(8192);
  Engine& e = h.engine();
  Armed armed;
  {  // the probes see what they count
    std::mutex m;
    int* volatile p = new int(3);
    delete p;
    m.lock();
    m.unlock();
    ASSERT_EQ(g_allocations.exchange(0), 1);
#ifdef VELLICOR_COUNT_LOCKS
    ASSERT_EQ(g_locks.exchange(0), 1);
#endif
  }
  for (int round = 0; round < 4; ++round) {
    e.HandleMidi(0xB0, 20, 64);  // learnt: parameter 5 on controller 20
    e.HandleMidi(0xB0, 7, 90);   // default map: setParameter from the audio thread
    e.HandleMidi(0xB0, 16, 0);   // tempo "Auto": asks the host for its tempo
    e.HandleMidi(0xE0, 0, 80);
    for (int n = 0; n < 7; ++n) e.HandleMidi(0x90, static_cast<uint8_t>(50 + 3 * n), 100);
    e.Render(left.data(), right.data(), 8192, false);
    e.Render(left.data(), right.data(), 100, true);
    for (int n = 0; n < 7; ++n) e.HandleMidi(0x80, static_cast<uint8_t>(50 + 3 * n), 0);
    e.Render(left.data(), right.data(), 8192, false);
    e.HandleMidi(0xB0, 126, 0);
    e.HandleMidi(0xB0, 4, 0);
    e.Suspend();
    e.ResetForProgramChange();
    e.RebuildEnvelopeTables();
    h.Set(0, round % 2 ? 1.0f : 0.0f);  // Arp or Poly, as automation on the audio thread ...
    h.Set(param::kAliasFree, round < 2 ? 1.0f : 0.0f);  // the alias-free reading, then back
    for (int n = 0; n < 130; ++n) e.HandleMidi(0x90, static_cast<uint8_t>(n), 100);
    e.Render(left.data(), right.data(), 4096, false);  // ... and the arpeggiator's clock
  }
  EXPECT_EQ(g_allocations.load(), 0);
  EXPECT_EQ(g_locks.load(), 0);
}

}  // namespace
}  // namespace vellicor::testing
