// `vellicor-host validate FILE`: what the well-known plug-in validators check, written once
// against the plug-in-under-test interface and run on any format it opens. Each step prints
// PASS, FAIL or SKIP (where the format has no such thing) with its reason.
#pragma once

#include <cstdio>
#include <string>

namespace vellicor::host {

// Runs every step on the file and prints them to `out`; 0 when none failed, 1 otherwise.
int Validate(const std::string& path, std::FILE* out);

}  // namespace vellicor::host
