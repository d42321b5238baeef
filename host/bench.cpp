#include "host/bench.h"

#include <cstdio>

#include "host/bench_workload.h"

namespace vellicor::host {
namespace {

// An instance prepared as a host starts one: the program, the values, then active.
std::unique_ptr<Instance> Prepare(PluginFile& file, const BenchOptions& options, int program,
                                  bool ours, std::string* error) {
  auto instance = file.NewInstance(error);
  if (!instance) return nullptr;
  if (program >= 0 && !instance->SelectProgram(program)) {
    *error = "program " + std::to_string(program) + " cannot be selected" +
             (file.Lacks(Capability::kPrograms) ? ": " + *file.Lacks(Capability::kPrograms) : "");
    return nullptr;
  }
  // Our parameter indices mean nothing to another plug-in.
  if (ours) {
    for (const auto& [index, value] : options.parameters) instance->SetParameter(index, value);
  }
  if (!instance->Activate(options.sample_rate, options.block_size, error)) return nullptr;
  return instance;
}

// One run: six held notes for options.seconds, timed; released and rung out untimed.
double BenchRun(Instance& instance, const Identity& id, const BenchOptions& options) {
  const int block = options.block_size;
  std::vector<std::vector<float>> channels(static_cast<size_t>(id.audio_outputs),
                                           std::vector<float>(static_cast<size_t>(block)));
  std::vector<float*> outputs;
  for (auto& c : channels) outputs.push_back(c.data());
  std::vector<MidiMessage> on, off;
  for (uint8_t key : bench::kKeys) {
    on.push_back({{0x90, key, bench::kVelocity}, 0});
    off.push_back({{0x80, key, 0}, 0});
  }
  const auto total = static_cast<int64_t>(options.seconds * options.sample_rate);
  const std::vector<MidiMessage> none;
  const double start = bench::ThreadCpuSeconds();
  for (int64_t done = 0; done < total; done += block) {
    instance.Process(done == 0 ? on : none, nullptr, outputs.data(), block);
  }
  const double cpu = bench::ThreadCpuSeconds() - start;
  const int release = static_cast<int>(bench::kReleaseSeconds * options.sample_rate / block);
  for (int i = 0; i < release; ++i) {
    instance.Process(i == 0 ? off : none, nullptr, outputs.data(), block);
  }
  return options.seconds / std::max(cpu, 1e-9);
}

struct Result {
  std::vector<double> ours, theirs;
};

bool Alternate(PluginFile& file, PluginFile* other, const BenchOptions& options, int program,
               Result* result) {
  std::string error;
  auto instance = Prepare(file, options, program, true, &error);
  std::unique_ptr<Instance> other_instance;
  if (instance && other) other_instance = Prepare(*other, options, -1, false, &error);
  if (!instance || (other && !other_instance)) {
    std::fprintf(stderr, "vellicor-host: %s\n", error.c_str());
    return false;
  }
  for (int run = 0; run < options.runs; ++run) {
    result->ours.push_back(BenchRun(*instance, file.identity(), options));
    if (other) result->theirs.push_back(BenchRun(*other_instance, other->identity(), options));
  }
  return true;
}

void PrintRuns(const char* label, const std::vector<double>& runs) {
  std::printf("%s:", label);
  for (double r : runs) std::printf(" %.1f", r);
  std::printf("\n");
}

}  // namespace

int RunBench(PluginFile& file, PluginFile* other, const BenchOptions& options) {
  std::printf("workload: 6 held notes, %.0f s of audio, %d-frame blocks, %.0f Hz, %d runs\n",
              options.seconds, options.block_size, options.sample_rate, options.runs);
  std::printf("format: %s", file.identity().format.c_str());
  if (other) std::printf("; other: %s", other->identity().format.c_str());
  std::printf("\n");
  if (!options.all_programs) {
    Result result;
    if (!Alternate(file, other, options, options.program, &result)) return 1;
    const double median = bench::Median(result.ours);
    PrintRuns("runs", result.ours);
    std::printf("realtime factor (median): %.1fx  (%.1fx per voice)\n", median, median * 6);
    if (other) {
      const double their_median = bench::Median(result.theirs);
      PrintRuns("other runs", result.theirs);
      std::printf("other realtime factor (median): %.1fx\nratio: %.2f\n", their_median,
                  median / std::max(their_median, 1e-9));
    }
    return 0;
  }
  const std::vector<std::string> programs = file.Programs();
  if (programs.empty()) {
    std::fprintf(stderr, "vellicor-host: --all-programs: %s\n",
                 file.Lacks(Capability::kPrograms).value_or("no programs").c_str());
    return 1;
  }
  std::printf("%-3s %-12s %10s", "#", "program", "realtime");
  if (other) std::printf(" %10s %6s", "other", "ratio");
  std::printf("\n");
  double slowest = 0.0, lowest_ratio = 0.0;
  int slowest_program = 0, lowest_ratio_program = 0;
  for (int program = 0; program < static_cast<int>(programs.size()); ++program) {
    Result result;
    if (!Alternate(file, other, options, program, &result)) return 1;
    const double median = bench::Median(result.ours);
    std::printf("%-3d %-12s %9.1fx", program, programs[static_cast<size_t>(program)].c_str(),
                median);
    if (program == 0 || median < slowest) {
      slowest = median;
      slowest_program = program;
    }
    if (other) {
      const double their_median = bench::Median(result.theirs);
      const double ratio = median / std::max(their_median, 1e-9);
      std::printf(" %9.1fx %6.2f", their_median, ratio);
      if (program == 0 || ratio < lowest_ratio) {
        lowest_ratio = ratio;
        lowest_ratio_program = program;
      }
    }
    std::printf("\n");
    std::fflush(stdout);
  }
  std::printf("slowest: program %d at %.1fx", slowest_program, slowest);
  if (other) std::printf("; lowest ratio: program %d at %.2f", lowest_ratio_program, lowest_ratio);
  std::printf("\n");
  return 0;
}

}  // namespace vellicor::host
