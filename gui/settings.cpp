#include "gui/settings.h"

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string_view>
#include <system_error>

#include "gui/text_file.h"

namespace vellicor::gui {
namespace {

constexpr char kScaleKey[] = "editor-scale";
constexpr size_t kMaxSettingsBytes = 64 * 1024;

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The value of `key` in the file's text, if a line holds it.
std::optional<std::string> ValueOf(const std::string& text, std::string_view key) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t equals = line.find('=');
    if (equals != std::string::npos && std::string_view(line).substr(0, equals) == key) {
      return line.substr(equals + 1);
    }
  }
  return std::nullopt;
}

}  // namespace

std::string SettingsPath() {
#if defined(_WIN32)
  const std::string base = Environment("APPDATA");
  return base.empty() ? "" : base + "\\Vellicor\\settings.txt";
#else
  std::string base = Environment("XDG_CONFIG_HOME");
  if (base.empty()) {
    const std::string home = Environment("HOME");
    if (home.empty()) return "";
    base = home + "/.config";
  }
  return base + "/vellicor/settings";
#endif
}

std::optional<Scale> ReadUserScale() {
  const std::string path = SettingsPath();
  if (path.empty()) return std::nullopt;
  const std::optional<std::string> text = ReadWholeFile(path, kMaxSettingsBytes);
  if (!text) return std::nullopt;
  const std::optional<std::string> value = ValueOf(*text, kScaleKey);
  if (!value || value->empty() || value->size() > 3) return std::nullopt;
  int percent = 0;
  for (const char c : *value) {
    if (c < '0' || c > '9') return std::nullopt;
    percent = percent * 10 + (c - '0');
  }
  // Only the sizes the editor offers: anything else was not written by us.
  for (const int choice : kScaleChoices) {
    if (percent == choice) return Scale::FromPercent(percent);
  }
  return std::nullopt;
}

bool WriteUserScale(Scale scale) {
  const std::string path = SettingsPath();
  if (path.empty()) return false;
  // The other lines of the file, as they are.
  std::string kept;
  if (const auto text = ReadWholeFile(path, kMaxSettingsBytes)) {
    std::istringstream lines(*text);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line.rfind(std::string(kScaleKey) + "=", 0) == 0) continue;
      kept += line + "\n";
    }
  }
  std::error_code error;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
  return ReplaceFile(path, kept + kScaleKey + "=" + std::to_string(scale.percent()) + "\n");
}

}  // namespace vellicor::gui
