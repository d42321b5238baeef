// The shape of a fuzz target for one of the text-file readers of patch/: the input bytes are the
// file, the reader a pure function from its text to an optional result, which must pass `check`
// (see envelope_file_fuzz.cpp). Seed files, real files of that kind, go in
// tests/fuzz/corpus/<name>_fuzz/.
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
