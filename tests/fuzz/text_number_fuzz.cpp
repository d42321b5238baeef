// The number lines every text file of the editor is made of.
#include <cmath>

#include "patch/text_number.h"
#include "tests/fuzz/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace vellicor;
  return fuzz::ReadText(
      bytes, size, [](const std::string& text) { return text_number::ParseLines(text, 8); },
      [](const std::vector<double>& values) {
        fuzz::Check(values.size() == 8, "line count", static_cast<long long>(values.size()));
        for (double v : values) fuzz::Check(std::isfinite(v), "a number that is not finite");
      });
}
