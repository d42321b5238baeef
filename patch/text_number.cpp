#include "patch/text_number.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vellicor::text_number {

std::string FormatFixed(long double value) {
  if (!std::isfinite(value)) value = 0.0L;
  // printf rounds to 15 significant digits exactly; only the exponent's width differs between
  // C libraries (two or three digits), so it is rewritten here with four.
  char digits[40];
  std::snprintf(digits, sizeof digits, "%.14LE", std::fabs(value));
  const char* e = digits;
  while (*e != '\0' && *e != 'E') ++e;
  const int exponent = *e == 'E' ? std::atoi(e + 1) : 0;
  const std::string mantissa(digits, static_cast<size_t>(e - digits));  // "d.dddddddddddddd"
  char line[kFixedWidth + 8];
  std::snprintf(line, sizeof line, "%c%sE%c%04d", std::signbit(value) && value != 0.0L ? '-' : ' ',
                mantissa.c_str(), exponent < 0 ? '-' : '+', std::abs(exponent));
  return line;
}

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

}  // namespace

std::optional<double> Parse(std::string_view line) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  while (!line.empty() && IsBlank(line.back())) line.remove_suffix(1);
  // from_chars takes a minus but no plus; a plus before a digit or point is still a number.
  if (line.size() > 1 && line.front() == '+' && line[1] != '-' && line[1] != '+') {
    line.remove_prefix(1);
  }
  if (line.empty()) return std::nullopt;
  double value = 0.0;
  // from_chars ignores the locale: a host that set a decimal comma reads the same files.
  const auto [end, error] =
      std::from_chars(line.data(), line.data() + line.size(), value, std::chars_format::general);
  if (error != std::errc() || end != line.data() + line.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::optional<std::vector<double>> ParseLines(std::string_view text, size_t count) {
  const std::vector<std::string_view> lines = SplitLines(text);
  if (lines.size() < count) return std::nullopt;
  std::vector<double> values;
  values.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const std::optional<double> value = Parse(lines[i]);
    if (!value) return std::nullopt;
    values.push_back(*value);
  }
  return values;
}

std::string FormatLines(const std::vector<long double>& values) {
  std::string text;
  text.reserve(values.size() * (kFixedWidth + 2));
  for (long double value : values) {
    text += FormatFixed(value);
    text += "\r\n";
  }
  return text;
}

}  // namespace vellicor::text_number
