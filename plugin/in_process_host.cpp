#include "plugin/in_process_host.h"

#include <cmath>
#include <new>

namespace vellicor {

namespace {

// What the command-line host answers when nothing sets a tempo, so that "Auto" tempo programs
// render alike in every format.
constexpr double kDefaultTempo = 120.0;

}  // namespace

std::unique_ptr<InProcessHost> InProcessHost::Create(double sample_rate,
                                                     EditorWindowFactory editor) {
  if (!std::isfinite(sample_rate) || sample_rate < 1000.0 || sample_rate > 1000000.0) {
    return nullptr;
  }
  std::unique_ptr<InProcessHost> host(new (std::nothrow) InProcessHost());
  if (!host) return nullptr;
  host->sample_rate_ = static_cast<float>(sample_rate);
  try {
    host->plugin_ = std::make_unique<APlugin>(&InProcessHost::Callback, editor);
  } catch (...) {
    return nullptr;
  }
  // The frame finds its host through the record's host field from here on; during
  // construction it is null and the callback answers as to an unknown instance.
  host->plugin_->getAeffect()->user = host.get();
  // A VST 2 host's order: sample rate, program, resume (effSetSampleRate, effSetProgram,
  // effMainsChanged). Selecting the program again is what hands the engine the rate.
  host->plugin_->setSampleRate(static_cast<float>(sample_rate));
  host->plugin_->setProgram(host->plugin_->getProgram());
  host->plugin_->resume();
  return host;
}

InProcessHost::~InProcessHost() {
  if (plugin_) plugin_->getAeffect()->user = nullptr;
  plugin_.reset();
}

void InProcessHost::SetHostTempo(double bpm) {
  host_tempo_ = std::isfinite(bpm) && bpm > 0.0 ? static_cast<float>(bpm) : 0.0f;
  const float known = host_tempo_;
  plugin_->engine().SetHostTempo(known > 0.0f ? known : kDefaultTempo);
}

void InProcessHost::Midi(uint8_t status, uint8_t data1, uint8_t data2) {
  vst::VstMidiEvent event{};
  event.type = vst::kVstMidiType;
  event.byteSize = static_cast<int32_t>(sizeof event);
  event.midiData[0] = static_cast<char>(status);
  event.midiData[1] = static_cast<char>(data1);
  event.midiData[2] = static_cast<char>(data2);
  vst::VstEvents events{};
  events.numEvents = 1;
  events.events[0] = reinterpret_cast<vst::VstEvent*>(&event);
  plugin_->processEvents(&events);
}

void InProcessHost::Render(float* left, float* right, int32_t frames) {
  float* outputs[2] = {left, right};
  plugin_->processReplacing(nullptr, outputs, frames);
}

intptr_t VST_CALL InProcessHost::Callback(vst::AEffect* effect, int32_t opcode, int32_t, intptr_t,
                                          void*, float) {
  const auto* host = effect ? static_cast<const InProcessHost*>(effect->user) : nullptr;
  switch (opcode) {
    case vst::audioMasterVersion:
      return 2400;
    case vst::audioMasterGetSampleRate:
      return host ? static_cast<intptr_t>(host->sample_rate_.load()) : 0;
    case vst::audioMasterTempoAt: {
      if (!host) return 0;
      const float bpm = host->host_tempo_;
      return static_cast<intptr_t>((bpm > 0.0f ? bpm : kDefaultTempo) * 10000.0);
    }
    default:
      // Automation, time information and the rest: nobody to tell, nothing to give.
      return 0;
  }
}

}  // namespace vellicor
