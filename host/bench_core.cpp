// vellicor-bench-core: the bench's workload on the synth core itself, without a plug-in format,
// so that each format's cost over the core can be quoted as a ratio of medians.
//   vellicor-bench-core [--runs N] [--seconds S] [--program N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/synth.h"
#include "host/bench_workload.h"

namespace bench = vellicor::host::bench;

int main(int argc, char** argv) {
  int runs = bench::kRuns, program = 0;
  double seconds = bench::kSeconds;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 < argc && arg == "--runs") {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (i + 1 < argc && arg == "--seconds") {
      seconds = std::max(0.1, std::atof(argv[++i]));
    } else if (i + 1 < argc && arg == "--program") {
      program = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: vellicor-bench-core [--runs N] [--seconds S] [--program N]\n");
      return 2;
    }
  }
  vellicor::Synth synth;
  synth.SetSampleRate(bench::kRate);
  synth.SelectProgram(program);
  synth.PrepareToRun();
  synth.SetHostTempo(120.0);
  std::vector<float> left(bench::kBlock), right(bench::kBlock);
  std::vector<vellicor::MidiEvent> on, off;
  for (uint8_t key : bench::kKeys) {
    on.push_back({0, {0x90, key, bench::kVelocity}});
    off.push_back({0, {0x80, key, 0}});
  }
  const auto total = static_cast<int64_t>(seconds * bench::kRate);
  std::vector<double> factors;
  for (int run = 0; run < runs; ++run) {
    const double start = bench::ThreadCpuSeconds();
    for (int64_t done = 0; done < total; done += bench::kBlock) {
      synth.Process(left.data(), right.data(), bench::kBlock, false,
                    done == 0 ? std::span<const vellicor::MidiEvent>(on)
                              : std::span<const vellicor::MidiEvent>());
    }
    const double cpu = bench::ThreadCpuSeconds() - start;
    factors.push_back(seconds / std::max(cpu, 1e-9));
    const int release = static_cast<int>(bench::kReleaseSeconds * bench::kRate / bench::kBlock);
    for (int i = 0; i < release; ++i) {
      synth.Process(left.data(), right.data(), bench::kBlock, false,
                    i == 0 ? std::span<const vellicor::MidiEvent>(off)
                           : std::span<const vellicor::MidiEvent>());
    }
  }
  std::printf("workload: 6 held notes, %.0f s of audio, %d-frame blocks, %.0f Hz, %d runs\n",
              seconds, bench::kBlock, bench::kRate, runs);
  std::printf("core, program %d\nruns:", program);
  for (double f : factors) std::printf(" %.1f", f);
  std::printf("\nrealtime factor (median): %.1fx\n", bench::Median(factors));
  return 0;
}
