// The library the build just made, loaded the way a host loads it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "host/plugin_loader.h"

namespace vellicor::host {

inline std::unique_ptr<Plugin> LoadBuilt() {
  std::string error;
  std::unique_ptr<Plugin> plugin = Plugin::Load(VELLICOR_LIBRARY, &error);
  EXPECT_TRUE(plugin) << error;
  return plugin;
}

// Window tests need a display; wine and Windows always have a desktop.
inline bool HaveDisplay() {
#if defined(_WIN32)
  return true;
#else
  const char* display = std::getenv("DISPLAY");
  return display != nullptr && display[0] != 0;
#endif
}

}  // namespace vellicor::host
