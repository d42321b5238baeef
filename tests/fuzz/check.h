// The fuzz targets' one way to fail: print what broke and abort, which libFuzzer reports with
// the input that did it.
#pragma once

namespace vellicor::fuzz {

[[noreturn]] void Fail(const char* what, long long detail = 0);
inline void Check(bool promise_kept, const char* what, long long detail = 0) {
  if (!promise_kept) Fail(what, detail);
}

}  // namespace vellicor::fuzz
