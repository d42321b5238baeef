// The library's one entry point. Linux and 64-bit Windows hosts look for VSTPluginMain (or main),
// 32-bit Windows hosts for main; both names lead to the same function.
#include <new>

#include "plugin/uPlugin.h"

extern "C" __attribute__((visibility("default"))) vst::AEffect* VST_CALL
VSTPluginMain(vst::HostCallback host) {
  if (!host) return nullptr;
  if (host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
  auto* plugin = new (std::nothrow) vellicor::APlugin(host);
  return plugin ? plugin->getAeffect() : nullptr;
}

#if !defined(_WIN32)
// "main" cannot be declared as a C++ function of this type, so the alias carries the name
// only at the assembler level. On Windows the .def files export VSTPluginMain as main.
extern "C" __attribute__((visibility("default"))) vst::AEffect* VellicorLegacyMain(
    vst::HostCallback host) __asm__("main") __attribute__((alias("VSTPluginMain")));
#endif
