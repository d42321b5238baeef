// The editor's costs, measured the way a host meets them: the editor opened without a window
// (through our own requests, vst/vellicor_requests.h), driven by mouse input, its clock and
// program changes, while the host's callback records every automation it receives.
#pragma once

#include <string>

#include "gui/scale.h"
#include "host/plugin_loader.h"

namespace vellicor::host {

// Runs each editor workload `runs` times and prints the median time per step, the editor drawn
// at `scale`. With `only` set, just the workloads whose name contains it.
int RunEditorBench(Plugin& plugin, int runs, const std::string& only, gui::Scale scale = {});

}  // namespace vellicor::host
