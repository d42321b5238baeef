#include "patch/controller_map.h"

#include <vector>

#include "engine/engine.h"
#include "engine/tables.h"
#include "patch/text_number.h"

namespace vellicor::controller_map {

Entries FactoryEntries() {
  Entries entries{};
  for (int i = 0; i < kFileEntries; ++i) entries[static_cast<size_t>(i)] = DefaultController(i);
  return entries;
}

std::string Format(const Entries& entries) {
  std::vector<long double> values;
  values.reserve(entries.size());
  // Divided in extended precision, so each line rounds as the exact fraction does.
  for (int entry : entries) values.push_back(static_cast<long double>(entry) / 255);
  return text_number::FormatLines(values);
}

std::optional<FileValues> Parse(std::string_view text) {
  const auto numbers = text_number::ParseLines(text, kFileEntries);
  if (!numbers) return std::nullopt;
  FileValues values{};
  for (size_t i = 0; i < values.size(); ++i) {
    const double x = (*numbers)[i];
    values[i] = static_cast<float>(x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x));
  }
  return values;
}

int ControllerOf(float value) {
  return IntPart(255.0f * value + 0.5f);
}

}  // namespace vellicor::controller_map
