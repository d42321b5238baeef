// The fuzz targets' one way to fail: print what broke and abort, which libFuzzer reports with
// the input that did it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vellicor::fuzz {

inline void Check(bool promise_kept, const char* what, long long detail = 0) {
  if (promise_kept) return;
  std::fprintf(stderr, "broken promise: %s (%lld)\n", what, detail);
  std::abort();
}

// A target for one of the text-file readers of patch/: the input bytes are the file, the reader a
// pure function from its text to an optional result, which must pass `check`. Seed files, real
// files of that kind, go in tests/fuzz/corpus/<name>_fuzz/.
template <typename Reader, typename Checker>
int ReadText(const uint8_t* bytes, size_t size, Reader read, Checker check) {
  const auto result = read(std::string(reinterpret_cast<const char*>(bytes), size));
  if (result) check(*result);
  return 0;
}

}  // namespace vellicor::fuzz
