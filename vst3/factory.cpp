// The VST 3 module's entry points and its factory of two classes: the audio module and its
// edit controller.
#include <travesty/factory.h>

#include <atomic>
#include <cstring>

#include "vst3/vst3_plugin.h"

namespace vellicor::vst3 {

// Fixed for good: hosts find saved sessions' plug-ins by these.
const v3_tuid kComponentId = V3_ID(0x56656C6C, 0x69636F72, 0x50726F63, 0x65737331);
const v3_tuid kControllerId = V3_ID(0x56656C6C, 0x69636F72, 0x436F6E74, 0x726F6C31);

namespace {

constexpr char kVendor[] = "Quorrel";
constexpr char kSdkVersion[] = "VST 3.7.0";

struct ClassEntry {
  const uint8_t* id;
  const char* category;
  const char* sub_categories;
};
const ClassEntry kClasses[] = {
    {kComponentId, "Audio Module Class", "Instrument|Synth"},
    {kControllerId, "Component Controller Class", ""},
};
constexpr int32_t kClassCount = 2;

void Copy(char* destination, size_t size, const char* text) {
  std::strncpy(destination, text, size - 1);
  destination[size - 1] = 0;
}

// What every version of a class's information starts with; false for an index of no class.
template <typename Info>
bool Describe(int32_t index, Info* info) {
  if (!info || index < 0 || index >= kClassCount) return false;
  *info = {};
  std::memcpy(info->class_id, kClasses[index].id, sizeof(v3_tuid));
  info->cardinality = 0x7FFFFFFF;  // as many instances as a host wants
  Copy(info->category, sizeof info->category, kClasses[index].category);
  return true;
}

// One factory for the module's life. Hosts count their references to it like any other
// object's; it is never deleted, so a host may ask for it again after releasing it.
class Factory {
 public:
  static void* Get() {
    static Factory factory;
    factory.Ref();
    return &factory.face_;
  }

  uint32_t Ref() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  uint32_t Unref() { return refs_.fetch_sub(1, std::memory_order_relaxed) - 1; }

  v3_result QueryInterface(const v3_tuid iid, void** object) {
    if (!object) return V3_INVALID_ARG;
    if (v3_tuid_match(iid, v3_funknown_iid) || v3_tuid_match(iid, v3_plugin_factory_iid) ||
        v3_tuid_match(iid, v3_plugin_factory_2_iid) ||
        v3_tuid_match(iid, v3_plugin_factory_3_iid)) {
      *object = &face_;
      Ref();
      return V3_OK;
    }
    *object = nullptr;
    return V3_NO_INTERFACE;
  }

 private:
  Factory() {
    static const v3_plugin_factory_cpp table = {
        Unknown<Factory>(),
        {[](void*, v3_factory_info* info) VST3_CALL -> v3_result {
           if (!info) return V3_INVALID_ARG;
           *info = {};
           Copy(info->vendor, sizeof info->vendor, kVendor);
           info->flags = 0x10;  // strings are UTF-16 where the format allows
           return V3_OK;
         },
         [](void*) VST3_CALL -> int32_t { return kClassCount; },
         [](void*, int32_t index, v3_class_info* info) VST3_CALL -> v3_result {
           if (!Describe(index, info)) return V3_INVALID_ARG;
           Copy(info->name, sizeof info->name, "Vellicor");
           return V3_OK;
         },
         [](void*, const v3_tuid class_id, const v3_tuid iid, void** instance)
             VST3_CALL -> v3_result {
               if (!instance) return V3_INVALID_ARG;
               *instance = nullptr;
               if (v3_tuid_match(class_id, kComponentId)) return Component::Create(iid, instance);
               if (v3_tuid_match(class_id, kControllerId)) {
                 return EditController::Create(iid, instance);
               }
               return V3_NO_INTERFACE;
             }},
        {[](void*, int32_t index, v3_class_info_2* info) VST3_CALL -> v3_result {
          if (!Describe(index, info)) return V3_INVALID_ARG;
          Copy(info->name, sizeof info->name, "Vellicor");
          Copy(info->sub_categories, sizeof info->sub_categories, kClasses[index].sub_categories);
          Copy(info->vendor, sizeof info->vendor, kVendor);
          Copy(info->version, sizeof info->version, VELLICOR_VERSION);
          Copy(info->sdk_version, sizeof info->sdk_version, kSdkVersion);
          return V3_OK;
        }},
        {[](void*, int32_t index, v3_class_info_3* info) VST3_CALL -> v3_result {
           if (!Describe(index, info)) return V3_INVALID_ARG;
           CopyToUtf16(info->name, "Vellicor", 64);
           Copy(info->sub_categories, sizeof info->sub_categories, kClasses[index].sub_categories);
           CopyToUtf16(info->vendor, kVendor, 64);
           CopyToUtf16(info->version, VELLICOR_VERSION, 64);
           CopyToUtf16(info->sdk_version, kSdkVersion, 64);
           return V3_OK;
         },
         [](void*, v3_funknown**) VST3_CALL -> v3_result { return V3_OK; }}};
    face_ = {&table, this};
  }
  Face<Factory> face_;
  std::atomic<uint32_t> refs_{0};
};

}  // namespace
}  // namespace vellicor::vst3

// The module's entry points: hosts find the factory, and tell the module when they load and
// unload it (nothing to do either time: everything is made per instance).
// (On Windows the .def files name the exports, undecorated.)
#define VELLICOR_VST3_EXPORT extern "C" __attribute__((visibility("default")))

VELLICOR_VST3_EXPORT void* V3_API GetPluginFactory() {
  return vellicor::vst3::Factory::Get();
}

#if defined(_WIN32)
VELLICOR_VST3_EXPORT bool InitDll() {
  return true;
}
VELLICOR_VST3_EXPORT bool ExitDll() {
  return true;
}
#else
VELLICOR_VST3_EXPORT bool ModuleEntry(void*) {
  return true;
}
VELLICOR_VST3_EXPORT bool ModuleExit() {
  return true;
}
#endif
