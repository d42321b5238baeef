// The fuzz targets' one way to fail: print what broke and abort, which libFuzzer reports with
// the input that did it.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace vellicor::fuzz {

inline void Check(bool promise_kept, const char* what, long long detail = 0) {
  if (promise_kept) return;
  std::fprintf(stderr, "broken promise: %s (%lld)\n", what, detail);
  std::abort();
}

}  // namespace vellicor::fuzz
