// `vellicor-host validate FILE`: what the well-known plug-in validators check, written once
// against the plug-in-under-test interface and run on any format it opens. Each step prints
// PASS, FAIL or SKIP (where the format has no such thing) with its reason.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace vellicor::host {

enum class Verdict { kPass, kFail, kSkip };

struct StepResult {
  std::string step;  // "group: name"
  Verdict verdict;
  std::string reason;
};

// Runs every step (or those whose name contains `only`) on the file and prints them to `out`;
// 0 when none failed, 1 otherwise. `results`, when given, receives every step's verdict.
int Validate(const std::string& path, std::FILE* out, const std::string& only = "",
             std::vector<StepResult>* results = nullptr);

}  // namespace vellicor::host
