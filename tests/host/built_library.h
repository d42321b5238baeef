// The library the build just made, loaded the way a host loads it.
#pragma once

#include <gtest/gtest.h>

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

}  // namespace vellicor::host
