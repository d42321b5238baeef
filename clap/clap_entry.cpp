// The CLAP entry point and its factory of one plug-in. The only symbol the library exports.
#include <clap/entry.h>
#include <clap/plugin-factory.h>

#include <cstring>

#include "clap/clap_plugin.h"

namespace {

using vellicor::clap_format::kDescriptor;
using vellicor::clap_format::Plugin;

const clap_plugin_factory_t kFactory = {
    [](const clap_plugin_factory_t*) -> uint32_t { return 1; },
    [](const clap_plugin_factory_t*, uint32_t index) -> const clap_plugin_descriptor_t* {
      return index == 0 ? &kDescriptor : nullptr;
    },
    [](const clap_plugin_factory_t*, const clap_host_t* host,
       const char* id) -> const clap_plugin_t* {
      if (!id || std::strcmp(id, kDescriptor.id) != 0) return nullptr;
      return Plugin::Create(host);
    }};

}  // namespace

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION_INIT, [](const char*) { return true; }, []() {},
    [](const char* id) -> const void* {
      return id && std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
    }};
