// Loads a VST 2 plug-in library exactly as a host does (dlopen / LoadLibrary, the entry
// point, the dispatcher) and plays the host's side of the callback. Shared by the
// command-line host and the host-level tests; it never links the plug-in's own code.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "vst/vst2.h"

namespace vellicor::host {

struct MidiMessage {
  uint8_t bytes[3] = {0, 0, 0};
  int32_t delta_frames = 0;  // offset inside the block
};

// A request the plug-in made through the host callback.
struct HostRequest {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
};

class Plugin {
 public:
  // Loads the library and calls its entry point. Returns null and fills error on failure.
  static std::unique_ptr<Plugin> Load(const std::string& path, std::string* error);
  ~Plugin();

  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  vst::AEffect* effect() { return effect_; }
  // The entry point the effect came from: "VSTPluginMain" or "main".
  const std::string& entry_name() const { return entry_name_; }
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  void SetParameter(int32_t index, float value);
  float GetParameter(int32_t index);
  std::string ParameterName(int32_t index);
  std::string ProgramName();
  std::string ProgramNameIndexed(int32_t index);
  std::string DispatchString(int32_t opcode, int32_t index = 0);

  // Sends the messages with effProcessEvents (one block's worth).
  void SendMidi(const std::vector<MidiMessage>& messages);
  // Renders frames into left and right with processReplacing (or process when accumulate).
  void Render(float* left, float* right, int32_t frames, bool accumulate = false);
  // processReplacing with the host's own input and output buffers (numInputs and numOutputs).
  void ProcessReplacing(float** inputs, float** outputs, int32_t frames);

  // Sends effClose; the plug-in frees itself and must not be used any more.
  void Close();
  bool closed() const { return effect_ == nullptr; }

  // Host-side settings the callback answers with.
  double sample_rate = 44100.0;
  int32_t block_size = 512;
  double tempo = 120.0;
  // Everything the plug-in asked of us, in order (tests read it).
  std::vector<HostRequest> requests;
  std::vector<HostRequest> Requests(int32_t opcode) const;
  // The requests from the `first`-th on, in order.
  std::vector<HostRequest> RequestsFrom(size_t first) const;

  static intptr_t VST_CALL Callback(vst::AEffect* effect, int32_t opcode, int32_t index,
                                    intptr_t value, void* ptr, float opt);

 private:
  Plugin() = default;
  intptr_t Answer(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

  mutable std::mutex requests_mutex_;
  void* library_ = nullptr;
  vst::AEffect* effect_ = nullptr;
  std::string entry_name_;
  vst::VstTimeInfo time_info_{};
};

// Windows wants drive paths; a POSIX absolute path under wine lives on drive Z:.
std::string NativeLibraryPath(const std::string& path);

}  // namespace vellicor::host
