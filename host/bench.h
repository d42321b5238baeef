// `vellicor-host bench`: the realtime factor of a fixed workload (host/bench_workload.h) through
// any format the host opens, and against another plug-in file in the same run.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/plugin_under_test.h"

namespace vellicor::host {

struct BenchOptions {
  int runs = 5;
  double seconds = 60.0;
  double sample_rate = 44100.0;
  int block_size = 512;
  int program = -1;  // -1: as the instance starts
  bool all_programs = false;
  std::vector<std::pair<int, float>> parameters;  // by index, after the program
};

// Runs the workload on `file` (alternating run by run with `other`, when given) and prints the
// medians; 0, or 1 with a message on stderr.
int RunBench(PluginFile& file, PluginFile* other, const BenchOptions& options);

}  // namespace vellicor::host
