// The user's settings in a folder of the test's own while it lives (XDG_CONFIG_HOME on Linux,
// APPDATA on Windows), so that no test reads or writes the settings of whoever runs it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vellicor::testing {

class SettingsFolder {
 public:
  explicit SettingsFolder(const std::string& name = "vellicor-test-settings")
      : path_(std::filesystem::temp_directory_path() / name) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
    if (const char* before = std::getenv(kVariable)) before_ = before;
    Set(path_.string());
  }
  ~SettingsFolder() {
    Set(before_);
    std::filesystem::remove_all(path_);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
#if defined(_WIN32)
  static constexpr char kVariable[] = "APPDATA";
  static void Set(const std::string& value) {
    _putenv_s(kVariable, value.c_str());
  }
#else
  static constexpr char kVariable[] = "XDG_CONFIG_HOME";
  static void Set(const std::string& value) {
    if (value.empty()) {
      unsetenv(kVariable);
    } else {
      setenv(kVariable, value.c_str(), 1);
    }
  }
#endif
  std::filesystem::path path_;
  std::string before_;
};

}  // namespace vellicor::testing
