// MIDI for effProcessEvents, in an event list laid out as hosts lay it out.
#pragma once

#include <cstdint>
#include <vector>

#include "vst/vst2.h"

namespace vellicor::testing {

class MidiEvents {
 public:
  static constexpr int kCapacity = 16;

  MidiEvents& Add(int status, int data1, int data2, int32_t offset = 0) {
    if (list_.count == kCapacity) return *this;
    vst::VstMidiEvent& e = events_[list_.count];
    e = {};
    e.type = vst::kVstMidiType;
    e.byteSize = sizeof e;
    e.deltaFrames = offset;
    e.midiData[0] = static_cast<char>(status);
    e.midiData[1] = static_cast<char>(data1);
    e.midiData[2] = static_cast<char>(data2);
    list_.events[list_.count++] = reinterpret_cast<vst::VstEvent*>(&e);
    return *this;
  }
  vst::VstEvents* list() { return reinterpret_cast<vst::VstEvents*>(&list_); }
  // Sends the list to a plug-in as a host does, and empties it.
  void SendTo(vst::AEffect* effect) {
    effect->dispatcher(effect, vst::effProcessEvents, 0, 0, list(), 0.0f);
    list_.count = 0;
  }
  // Sends the list and renders one block, in which the events act at their frames.
  void PlayOn(vst::AEffect* effect, int32_t frames = 32) {
    SendTo(effect);
    std::vector<float> left(static_cast<size_t>(frames)), right(static_cast<size_t>(frames));
    float* outputs[2] = {left.data(), right.data()};
    effect->processReplacing(effect, nullptr, outputs, frames);
  }

 private:
  struct {
    int32_t count;
    intptr_t reserved;
    vst::VstEvent* events[kCapacity];
  } list_{};
  vst::VstMidiEvent events_[kCapacity];
};

}  // namespace vellicor::testing
