#include "host/plugin_under_test.h"

#include <sys/stat.h>

namespace vellicor::host {
namespace {

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

std::unique_ptr<PluginFile> OpenPluginFile(const std::string& path, std::string* error) {
  std::string name = path;
  while (name.size() > 1 && (name.back() == '/' || name.back() == '\\')) name.pop_back();
  struct stat info {};
  if (stat(NativeLibraryPath(name).c_str(), &info) != 0) {
    *error = path + " does not exist";
    return nullptr;
  }
  if (EndsWith(name, ".lv2")) return OpenLv2(name, error);
  // A bundle, its Windows binary, or its Linux binary in Contents/x86_64-linux/.
  if (EndsWith(name, ".vst3") || name.find(".vst3/Contents/") != std::string::npos) {
    return OpenVst3(name, error);
  }
  if (EndsWith(name, ".clap")) return OpenClap(name, error);
  if (EndsWith(name, ".so") || EndsWith(name, ".dll")) return OpenVst2(name, error);
  *error = path +
           ": not a format this host knows (.so or .dll for VST 2, .lv2 for LV2, .clap "
           "for CLAP, .vst3 for VST 3)";
  return nullptr;
}

#if !defined(VELLICOR_HOST_LV2)
std::unique_ptr<PluginFile> OpenLv2(const std::string& path, std::string* error) {
  *error = path + ": this build of the host has no LV2 (it comes with lilv, on Linux)";
  return nullptr;
}
#endif

}  // namespace vellicor::host
