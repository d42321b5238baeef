// What a host sees of the built library, loaded by path through the command-line host's
// loader exactly as a host loads it.
#include <gtest/gtest.h>

#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host/plugin_loader.h"
#include "tests/host/built_library.h"

namespace vellicor::host {
namespace {

intptr_t VST_CALL SilentHost(vst::AEffect*, int32_t, int32_t, intptr_t, void*, float) {
  return 0;
}

// The entry points hosts look for; a host that answers no version gets no instance.
TEST(HostLevel, ExportsTheEntryPointsHostsLookFor) {
#if defined(_WIN32)
  HMODULE library = LoadLibraryA(NativeLibraryPath(VELLICOR_LIBRARY).c_str());
  ASSERT_TRUE(library);
  auto entry =
      reinterpret_cast<vst::EntryProc>(reinterpret_cast<void*>(GetProcAddress(library, "main")));
  void* plugin_main = reinterpret_cast<void*>(GetProcAddress(library, "VSTPluginMain"));
#if defined(_WIN64)
  // 64-bit hosts look for VSTPluginMain first: both names lead to the same function.
  EXPECT_EQ(reinterpret_cast<void*>(entry), plugin_main);
#else
  EXPECT_FALSE(plugin_main);  // the 32-bit DLL exports main alone
#endif
#else
  void* library = dlopen(VELLICOR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_TRUE(library) << dlerror();
  auto entry = reinterpret_cast<vst::EntryProc>(dlsym(library, "main"));
  EXPECT_EQ(reinterpret_cast<void*>(entry), dlsym(library, "VSTPluginMain"));
#endif
  ASSERT_TRUE(entry);
  EXPECT_EQ(entry(SilentHost), nullptr);
  EXPECT_EQ(entry(nullptr), nullptr);
#if defined(_WIN32)
  FreeLibrary(library);
#else
  dlclose(library);
#endif
}

// The answers themselves are checked on the frame (tests/plugin); here, that they reach a host
// through the built library, and that the host's own fields stay its own.
TEST(HostLevel, IdentityProgramsAndParameters) {
  auto plugin = LoadBuilt();
  ASSERT_TRUE(plugin);
  vst::AEffect* e = plugin->effect();
  EXPECT_EQ(plugin->DispatchString(vst::effGetVendorString), "Quorrel");
  EXPECT_EQ(plugin->ParameterName(125), "Filter 1 distortion");
  for (int p = 0; p < 16; ++p) EXPECT_FALSE(plugin->ProgramNameIndexed(p).empty()) << p;
  // The user and resvd fields belong to the host: we write them and the plug-in keeps them.
  e->user = reinterpret_cast<void*>(0x5eed);
  e->resvd1 = 0x1234;
  plugin->Dispatch(vst::effOpen);
  plugin->Dispatch(vst::effSetProgram, 0, 3);
  plugin->Dispatch(vst::effMainsChanged, 0, 1);
  EXPECT_EQ(e->user, reinterpret_cast<void*>(0x5eed));
  EXPECT_EQ(e->resvd1, 0x1234);
}

TEST(HostLevel, InstancesAreIndependentAndSurviveClose) {
  auto first = LoadBuilt();
  auto second = LoadBuilt();
  ASSERT_TRUE(first && second);
  first->SetParameter(1, 0.125f);
  second->SetParameter(1, 0.875f);
  EXPECT_EQ(first->GetParameter(1), 0.125f);
  EXPECT_EQ(second->GetParameter(1), 0.875f);
  first->Close();
  EXPECT_EQ(second->GetParameter(1), 0.875f);
  auto third = LoadBuilt();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->Dispatch(vst::effGetProgram), 0);
}

}  // namespace
}  // namespace vellicor::host
