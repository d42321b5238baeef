#include "tests/fuzz/check.h"

#include <cstdio>
#include <cstdlib>

namespace vellicor::fuzz {

void Fail(const char* what, long long detail) {
  std::fprintf(stderr, "broken promise: %s (%lld)\n", what, detail);
  std::abort();
}

}  // namespace vellicor::fuzz
