// The bench's workload, shared by `vellicor-host bench` (through a plug-in format) and
// `vellicor-bench-core` (the synth core without one), so their figures compare: six held notes,
// rendered in 512-frame blocks at 44.1 kHz, timed on the rendering thread's CPU clock, then
// released and left to ring out untimed so the next run starts from silence.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace vellicor::host::bench {

constexpr uint8_t kKeys[] = {48, 55, 60, 64, 67, 72};
constexpr uint8_t kVelocity = 100;
constexpr double kRate = 44100.0;
constexpr int kBlock = 512;
constexpr double kSeconds = 60.0;
constexpr double kReleaseSeconds = 10.0;
constexpr int kRuns = 5;

inline double ThreadCpuSeconds() {
#if defined(_WIN32)
  FILETIME creation, exit, kernel, user;
  GetThreadTimes(GetCurrentThread(), &creation, &exit, &kernel, &user);
  auto to_seconds = [](FILETIME t) {
    return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) * 1e-7;
  };
  return to_seconds(kernel) + to_seconds(user);
#else
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
#endif
}

inline double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

}  // namespace vellicor::host::bench
