// The host side of an APlugin that runs inside another format's adapter (the LV2 plug-in, the
// standalone application). The adapter owns one of these instead of loading vellicor.so: the
// same frame answers, so programs, parameters and sound are those of the VST 2 plug-in. It
// answers the frame's few host requests (version, sample rate, tempo) and ignores the rest.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/relaxed.h"
#include "plugin/uPlugin.h"
#include "vst/vst2.h"

namespace vellicor {

class InProcessHost {
 public:
  // The frame at `sample_rate`, prepared as a VST 2 host prepares it (rate, program 0 selected
  // again at that rate, resumed). `editor` may be null for no editor. Null when the instance
  // cannot be made (out of memory) or the rate is unusable.
  static std::unique_ptr<InProcessHost> Create(double sample_rate,
                                               EditorWindowFactory editor = nullptr);
  ~InProcessHost();

  InProcessHost(const InProcessHost&) = delete;
  InProcessHost& operator=(const InProcessHost&) = delete;

  APlugin& plugin() { return *plugin_; }

  // The tempo the host plays at, in beats per minute; 0 when it says nothing (the frame then
  // hears 120, as from the command-line host). Any thread.
  void SetHostTempo(double bpm);

  // One MIDI message through the frame's event entry. Audio thread; allocates nothing.
  void Midi(uint8_t status, uint8_t data1, uint8_t data2);
  // Renders frames into the two buffers (overwriting them). Audio thread.
  void Render(float* left, float* right, int32_t frames);

 private:
  InProcessHost() = default;
  static intptr_t VST_CALL Callback(vst::AEffect* effect, int32_t opcode, int32_t index,
                                    intptr_t value, void* ptr, float opt);

  Relaxed<float> sample_rate_{44100.0f};
  Relaxed<float> host_tempo_{0.0f};
  std::unique_ptr<APlugin> plugin_;
};

}  // namespace vellicor
