#include "host/plugin_loader.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vellicor::host {
namespace {

// The callback only receives the effect record, so the host keeps a table from records to
// instances. During the entry call the record is not known yet: `g_loading` answers then.
std::mutex g_registry_mutex;
std::vector<Plugin*> g_instances;
thread_local Plugin* g_loading = nullptr;

void* OpenLibrary(const std::string& path, std::string* error) {
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(NativeLibraryPath(path).c_str());
  if (!module && error) *error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle && error) *error = dlerror();
  return handle;
#endif
}

void* FindSymbol(void* library, const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
  return dlsym(library, name);
#endif
}

void CloseLibrary(void* library) {
  if (!library) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(library));
#else
  dlclose(library);
#endif
}

}  // namespace

std::string NativeLibraryPath(const std::string& path) {
#if defined(_WIN32)
  if (!path.empty() && path[0] == '/') {
    std::string windows = "Z:" + path;
    std::replace(windows.begin(), windows.end(), '/', '\\');
    return windows;
  }
#endif
  return path;
}

std::unique_ptr<Plugin> Plugin::Load(const std::string& path, std::string* error) {
  std::unique_ptr<Plugin> plugin(new Plugin());
  plugin->library_ = OpenLibrary(path, error);
  if (!plugin->library_) return nullptr;
  // Windows hosts call main; Linux hosts prefer VSTPluginMain.
  plugin->entry_name_ = "VSTPluginMain";
  void* entry = FindSymbol(plugin->library_, "VSTPluginMain");
  if (!entry) {
    plugin->entry_name_ = "main";
    entry = FindSymbol(plugin->library_, "main");
  }
  if (!entry) {
    if (error) *error = "no entry point (VSTPluginMain or main) in " + path;
    return nullptr;
  }
  g_loading = plugin.get();
  vst::AEffect* effect = reinterpret_cast<vst::EntryProc>(entry)(&Plugin::Callback);
  g_loading = nullptr;
  if (!effect || effect->magic != vst::kEffectMagic) {
    if (error) *error = "the entry point returned no valid effect";
    return nullptr;
  }
  plugin->effect_ = effect;
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  g_instances.push_back(plugin.get());
  return plugin;
}

Plugin::~Plugin() {
  Close();
  CloseLibrary(library_);
}

void Plugin::Close() {
  if (!effect_) return;
  effect_->dispatcher(effect_, vst::effClose, 0, 0, nullptr, 0.0f);
  std::lock_guard<std::mutex> lock(g_registry_mutex);
  g_instances.erase(std::remove(g_instances.begin(), g_instances.end(), this), g_instances.end());
  effect_ = nullptr;
}

intptr_t Plugin::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  if (!effect_) return 0;
  if (opcode == vst::effClose) {
    Close();
    return 1;
  }
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void Plugin::SetParameter(int32_t index, float value) {
  if (effect_) effect_->setParameter(effect_, index, value);
}

float Plugin::GetParameter(int32_t index) {
  return effect_ ? effect_->getParameter(effect_, index) : 0.0f;
}

std::string Plugin::DispatchString(int32_t opcode, int32_t index) {
  char buffer[256] = {};
  Dispatch(opcode, index, 0, buffer, 0.0f);
  buffer[sizeof buffer - 1] = 0;
  return buffer;
}

std::string Plugin::ParameterName(int32_t index) {
  return DispatchString(vst::effGetParamName, index);
}

std::string Plugin::ProgramName() {
  return DispatchString(vst::effGetProgramName);
}

std::string Plugin::ProgramNameIndexed(int32_t index) {
  char buffer[256] = {};
  Dispatch(vst::effGetProgramNameIndexed, index, 0, buffer, 0.0f);
  return buffer;
}

void Plugin::SendMidi(const std::vector<MidiMessage>& messages) {
  if (!effect_ || messages.empty()) return;
  std::vector<vst::VstMidiEvent> events(messages.size());
  // VstEvents ends in a variable-length array of pointers.
  std::vector<char> storage(sizeof(vst::VstEvents) + messages.size() * sizeof(vst::VstEvent*));
  auto* list = reinterpret_cast<vst::VstEvents*>(storage.data());
  list->numEvents = static_cast<int32_t>(messages.size());
  list->reserved = 0;
  vst::VstEvent** slots = list->events;  // numEvents of them, past the declared two
  for (size_t i = 0; i < messages.size(); ++i) {
    vst::VstMidiEvent& event = events[i];
    std::memset(&event, 0, sizeof event);
    event.type = vst::kVstMidiType;
    event.byteSize = sizeof(vst::VstMidiEvent);
    event.deltaFrames = messages[i].delta_frames;
    for (int b = 0; b < 3; ++b) event.midiData[b] = static_cast<char>(messages[i].bytes[b]);
    slots[i] = reinterpret_cast<vst::VstEvent*>(&event);
  }
  Dispatch(vst::effProcessEvents, 0, 0, list, 0.0f);
}

void Plugin::Render(float* left, float* right, int32_t frames, bool accumulate) {
  if (!effect_) return;
  float* outputs[2] = {left, right};
  float silence[1] = {0.0f};
  float* inputs[2] = {silence, silence};
  if (accumulate) {
    effect_->process(effect_, inputs, outputs, frames);
  } else {
    effect_->processReplacing(effect_, inputs, outputs, frames);
  }
}

void Plugin::ProcessReplacing(float** inputs, float** outputs, int32_t frames) {
  if (effect_) effect_->processReplacing(effect_, inputs, outputs, frames);
}

std::vector<HostRequest> Plugin::Requests(int32_t opcode) const {
  std::lock_guard<std::mutex> lock(requests_mutex_);
  std::vector<HostRequest> matching;
  for (const HostRequest& request : requests) {
    if (request.opcode == opcode) matching.push_back(request);
  }
  return matching;
}

std::vector<HostRequest> Plugin::RequestsFrom(size_t first) const {
  std::lock_guard<std::mutex> lock(requests_mutex_);
  if (first >= requests.size()) return {};
  return {requests.begin() + static_cast<std::ptrdiff_t>(first), requests.end()};
}

intptr_t VST_CALL Plugin::Callback(vst::AEffect* effect, int32_t opcode, int32_t index,
                                   intptr_t value, void* ptr, float opt) {
  Plugin* plugin = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_registry_mutex);
    for (Plugin* instance : g_instances) {
      if (instance->effect_ == effect) plugin = instance;
    }
  }
  if (!plugin) plugin = g_loading;
  if (!plugin) return opcode == vst::audioMasterVersion ? 2400 : 0;
  return plugin->Answer(opcode, index, value, ptr, opt);
}

intptr_t Plugin::Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) {
  {
    // The plug-in may call from its audio thread and from its editor's own thread.
    std::lock_guard<std::mutex> lock(requests_mutex_);
    requests.push_back({opcode, index, value, opt});
  }
  switch (opcode) {
    case vst::audioMasterVersion:
      return 2400;
    case vst::audioMasterWantMidi:
      return 1;
    case vst::audioMasterGetTime:
      time_info_ = {};
      time_info_.sampleRate = sample_rate;
      time_info_.tempo = tempo;
      time_info_.timeSigNumerator = 4;
      time_info_.timeSigDenominator = 4;
      time_info_.flags = vst::kVstTempoValid;
      return reinterpret_cast<intptr_t>(&time_info_);
    case vst::audioMasterTempoAt:
      return static_cast<intptr_t>(tempo * 10000.0);
    case vst::audioMasterGetSampleRate:
      return static_cast<intptr_t>(sample_rate);
    case vst::audioMasterGetBlockSize:
      return block_size;
    case vst::audioMasterGetVendorString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "Vellicor");
      return ptr ? 1 : 0;
    case vst::audioMasterGetProductString:
      if (ptr) std::strcpy(static_cast<char*>(ptr), "vellicor-host");
      return ptr ? 1 : 0;
    case vst::audioMasterCanDo: {
      const char* text = static_cast<const char*>(ptr);
      if (!text) return 0;
      for (const char* yes : {"sendVstEvents", "sendVstMidiEvent", "sendVstTimeInfo"}) {
        if (std::strcmp(text, yes) == 0) return 1;
      }
      return -1;
    }
    default:
      (void)index;
      (void)value;
      (void)opt;
      return 0;
  }
}

}  // namespace vellicor::host
