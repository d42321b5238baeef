#include "lv2/parameter_ports.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "patch/text_number.h"

namespace vellicor::lv2 {

std::string ValuesText(const float* values, int count) {
  std::string text;
  text.reserve(static_cast<size_t>(count) * (text_number::kFixedWidth + 1));
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += text_number::FormatFixed(values[i]);
  }
  return text;
}

bool ParseValuesText(std::string_view text, float* values, int count) {
  std::vector<float> parsed;
  parsed.reserve(static_cast<size_t>(count));
  size_t at = 0;
  while (at < text.size()) {
    const size_t start = text.find_first_not_of(" \t\r\n", at);
    if (start == std::string_view::npos) break;
    size_t end = text.find_first_of(" \t\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const auto number = text_number::Parse(text.substr(start, end - start));
    if (!number || static_cast<int>(parsed.size()) == count) return false;
    parsed.push_back(static_cast<float>(*number));
    at = end;
  }
  if (static_cast<int>(parsed.size()) != count) return false;
  std::copy(parsed.begin(), parsed.end(), values);
  return true;
}

}  // namespace vellicor::lv2
