// A tiny VST 2 instrument for validate's tests: a sine per held key, every event at its frame.
// Built once clean and once per fault (FAKE_FAULT), each fault one that a step of validate
// exists to catch.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "vst/vst2.h"

#define FAKE_CLEAN 0
#define FAKE_NAN 1          // NaN out while a key is held: the notes step
#define FAKE_RANGE 2        // values read back above 1: the parameter fuzz
#define FAKE_INPUTS 3       // writes into the host's input buffers
#define FAKE_NOISE 4        // a little noise seeded per instance: not reproducible
#define FAKE_BLOCK_START 5  // events at the block's start, not at their frame: block sizes
#define FAKE_CHUNK 6        // a chunk of its own that takes any bytes: damaged states

#ifndef FAKE_FAULT
#define FAKE_FAULT FAKE_CLEAN
#endif

namespace {

constexpr int kParameters = 4;
constexpr int kMaxEvents = 256;
constexpr double kTwoPi = 6.283185307179586;

struct Fake {
  vst::AEffect effect{};
  float values[kParameters] = {0.5f, 0.5f, 0.5f, 0.5f};
  double rate = 44100.0;
  bool held[128] = {};
  double phase[128] = {};
  vst::VstMidiEvent events[kMaxEvents];
  int event_count = 0;
  uint32_t noise = 0;
};

Fake* Of(vst::AEffect* effect) {
  return static_cast<Fake*>(effect->object);
}

void CopyText(void* ptr, const char* text) {
  if (ptr) std::strcpy(static_cast<char*>(ptr), text);
}

intptr_t VST_CALL Dispatch(vst::AEffect* effect, int32_t opcode, int32_t index, intptr_t value,
                           void* ptr, float opt) {
  Fake* fake = Of(effect);
  switch (opcode) {
    case vst::effClose:
      delete fake;
      return 1;
    case vst::effGetChunk:
      if (FAKE_FAULT != FAKE_CHUNK || !ptr) return 0;
      *static_cast<void**>(ptr) = fake->values;
      return sizeof fake->values;
    case vst::effSetChunk:
      if (FAKE_FAULT != FAKE_CHUNK || !ptr) return 0;
      std::memcpy(fake->values, ptr, std::min(sizeof fake->values, static_cast<size_t>(value)));
      return 1;
    case vst::effSetSampleRate:
      fake->rate = opt;
      return 1;
    case vst::effGetParamName:
      if (ptr) std::snprintf(static_cast<char*>(ptr), 8, "P%d", index);
      return 1;
    case vst::effGetEffectName:
    case vst::effGetProductString:
      CopyText(ptr, "Fake");
      return 1;
    case vst::effGetVendorString:
      CopyText(ptr, "Tests");
      return 1;
    case vst::effGetVendorVersion:
      return 1;
    case vst::effGetPlugCategory:
      return vst::kPlugCategSynth;
    case vst::effCanDo:
      return ptr && std::strcmp(static_cast<const char*>(ptr), "receiveVstMidiEvent") == 0 ? 1 : -1;
    case vst::effProcessEvents: {
      const auto* list = static_cast<const vst::VstEvents*>(ptr);
      vst::VstEvent* const* slots = list->events;
      for (int32_t i = 0; i < list->numEvents && fake->event_count < kMaxEvents; ++i) {
        if (slots[i]->type != vst::kVstMidiType) continue;
        std::memcpy(&fake->events[fake->event_count++], slots[i], sizeof(vst::VstMidiEvent));
      }
      return 1;
    }
    default:
      (void)value;
      return 0;
  }
}

void Play(Fake* fake, const vst::VstMidiEvent& event) {
  const auto status = static_cast<uint8_t>(event.midiData[0]) & 0xF0;
  const int key = event.midiData[1] & 0x7F;
  if (status == 0x90 && event.midiData[2] != 0) {
    fake->held[key] = true;
  } else if (status == 0x80 || status == 0x90) {
    fake->held[key] = false;
  }
}

void VST_CALL ProcessReplacing(vst::AEffect* effect, float** inputs, float** outputs,
                               int32_t frames) {
  Fake* fake = Of(effect);
  int next = 0;
  for (int32_t frame = 0; frame < frames; ++frame) {
    for (; next < fake->event_count; ++next) {
      const int at = FAKE_FAULT == FAKE_BLOCK_START ? 0 : fake->events[next].deltaFrames;
      if (at > frame) break;
      Play(fake, fake->events[next]);
    }
    float sample = 0.0f;
    for (int key = 0; key < 128; ++key) {
      if (!fake->held[key]) continue;
      sample += 0.1f * static_cast<float>(std::sin(fake->phase[key]));
      fake->phase[key] += kTwoPi * 440.0 * std::pow(2.0, (key - 69) / 12.0) / fake->rate;
      if (FAKE_FAULT == FAKE_NAN) sample = std::nanf("");
    }
    if (FAKE_FAULT == FAKE_NOISE) {
      fake->noise = fake->noise * 1664525u + 1013904223u;
      sample += 1e-3f * static_cast<float>(fake->noise >> 8) / 16777216.0f;
    }
    outputs[0][frame] = outputs[1][frame] = sample;
  }
  fake->event_count = 0;
  if (FAKE_FAULT == FAKE_INPUTS && frames > 0) inputs[0][0] = 0.25f;
}

void VST_CALL Process(vst::AEffect*, float**, float**, int32_t) {}

void VST_CALL SetParameter(vst::AEffect* effect, int32_t index, float value) {
  if (index >= 0 && index < kParameters) Of(effect)->values[index] = value;
}

float VST_CALL GetParameter(vst::AEffect* effect, int32_t index) {
  if (index < 0 || index >= kParameters) return 0.0f;
  const float value = Of(effect)->values[index];
  return FAKE_FAULT == FAKE_RANGE ? 1.0f + value : value;
}

}  // namespace

#if defined(_WIN32)
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

FAKE_EXPORT vst::AEffect* VST_CALL VSTPluginMain(vst::HostCallback) {
  Fake* fake = new (std::nothrow) Fake;
  if (!fake) return nullptr;
  vst::AEffect& e = fake->effect;
  e.magic = vst::kEffectMagic;
  e.dispatcher = Dispatch;
  e.process = Process;
  e.processReplacing = ProcessReplacing;
  e.setParameter = SetParameter;
  e.getParameter = GetParameter;
  e.numPrograms = 1;
  e.numParams = kParameters;
  e.numInputs = 2;
  e.numOutputs = 2;
  e.flags = vst::effFlagsCanReplacing | vst::effFlagsIsSynth |
            (FAKE_FAULT == FAKE_CHUNK ? vst::effFlagsProgramChunks : 0);
  e.object = fake;
  e.uniqueID = vst::FourCC('F', 'a', 'k', 'e');
  e.version = 1;
  fake->noise = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(fake) >> 4);
  return &e;
}
