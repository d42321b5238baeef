// The shape of a fuzz target for one of the text-file readers of patch/: pure functions from
// the file's text to an optional result. The input bytes are the file; the reader must answer
// (anything or nothing) without reading or writing outside what it owns, and a result must
// pass `check`. A target is then a few lines, e.g. for a reader `Parse`:
//
//   extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
//     return vellicor::fuzz::ReadText(bytes, size, Parse, [](const auto& result) {
//       vellicor::fuzz::Check(/* every index in range */, "what broke");
//     });
//   }
//
// in tests/fuzz/<name>_fuzz.cpp (the build and scripts/fuzz find targets by that name), with
// its seed files (real files of that kind) in tests/fuzz/corpus/<name>_fuzz/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fuzz/check.h"

namespace vellicor::fuzz {

template <typename Reader, typename Checker>
int ReadText(const uint8_t* bytes, size_t size, Reader read, Checker check) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  const auto result = read(text);
  if (result) check(*result);
  return 0;
}

}  // namespace vellicor::fuzz
