// A stand-in for the plug-in frame: owns an Engine, stores parameters the way setParameter
// does (clamp, mirror, derive), answers the host's questions and renders into vectors.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "engine/random.h"

namespace vellicor::testing {

using Settings = std::initializer_list<std::pair<int, float>>;

class Harness : public EngineHost {
 public:
  explicit Harness(float sample_rate = 44100.0f) : engine_(new Engine(this)) {
    random::Seed(12345);
    engine_->SetDefaults();
    engine_->BuildWaveTables();
    engine_->InitControllerMap();
    engine_->PrepareAliasFree();
    SelectPatch(BasicPatch(), sample_rate);
  }

  // Poly, unity main, oscillator 1 a sine at octave 0 and 0 dB, oscillator 2 silent, tempo
  // 120, envelopes off (output 1), no glide, release 0, filter off at 0 dB, LFOs off.
  static std::vector<float> BasicPatch() {
    std::vector<float> patch(kPatchSize, 0.0f);
    for (int i : {1, 42, 124}) patch[static_cast<size_t>(i)] = 0.75f;  // 0 dB
    patch[2] = 0.5f;                                                   // tempo 120
    patch[40] = patch[60] = 0.44f;                                     // octave 0
    for (int i : {19, 20, 53, 54, 74, 75, 131, 132}) patch[static_cast<size_t>(i)] = 1.0f;
    return patch;
  }

  // Program selection as the frame does it: sample rate, replay, reset, envelope tables.
  void SelectPatch(const std::vector<float>& patch, float sample_rate = 44100.0f) {
    engine_->SetSampleRate(sample_rate);
    for (int i = 0; i < kPatchSize; ++i) Set(i, patch[static_cast<size_t>(i)]);
    engine_->ResetForProgramChange();
    engine_->RebuildEnvelopeTables();
  }

  // setParameter: clamp (NaN to 0), store, derive.
  void Set(int index, float value) {
    if (index < 0 || index >= kPatchSize) return;
    if (!(value >= 0.0f)) value = 0.0f;
    if (value > 1.0f) value = 1.0f;
    engine_->SetPatch(index, value);
    engine_->OnParameterChanged(index);
    ++parameter_calls_;
  }
  void Apply(Settings settings) {
    for (const auto& [index, value] : settings) Set(index, value);
  }

  void Midi(int status, int data1, int data2) {
    engine_->HandleMidi(static_cast<uint8_t>(status), static_cast<uint8_t>(data1),
                        static_cast<uint8_t>(data2));
  }
  void NoteOn(int note, int velocity = 127) { Midi(0x90, note, velocity); }
  void NoteOff(int note) { Midi(0x80, note, 0); }
  void Cc(int number, int value) { Midi(0xB0, number, value); }

  // Renders frames in blocks of the given size; returns the left channel.
  std::vector<float> Render(int frames, int block = 512, std::vector<float>* right = nullptr) {
    std::vector<float> left(static_cast<size_t>(frames)), r(static_cast<size_t>(frames));
    for (int done = 0; done < frames; done += block) {
      engine_->Render(left.data() + done, r.data() + done, std::min(block, frames - done), false);
    }
    if (right) *right = r;
    return left;
  }

  Engine& engine() { return *engine_; }
  const Voice& voice(int i) const { return engine_->voice(i); }
  const Voice& current() const { return engine_->voice(engine_->current_voice()); }
  int parameter_calls() const { return parameter_calls_; }
  int refreshes() const { return refreshes_; }

  void SetParameterFromEngine(int index, float value) override { Set(index, value); }
  void RefreshEditor() override { ++refreshes_; }

 private:
  std::unique_ptr<Engine> engine_;
  int parameter_calls_ = 0;
  int refreshes_ = 0;
};

// Frequency of a periodic signal from its upward zero crossings (interpolated).
inline double MeasureFrequency(const std::vector<float>& x, size_t from, double sample_rate) {
  double first = -1.0, last = -1.0;
  int crossings = 0;
  for (size_t i = from + 1; i < x.size(); ++i) {
    if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
      last = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
      if (first < 0.0) first = last;
      ++crossings;
    }
  }
  return crossings < 2 ? 0.0 : (crossings - 1) * sample_rate / (last - first);
}

inline float Peak(const std::vector<float>& x, size_t from = 0) {
  float peak = 0.0f;
  for (size_t i = from; i < x.size(); ++i) peak = std::max(peak, std::fabs(x[i]));
  return peak;
}

// Editor encodings of choices.
inline float WaveValue(int wave) {
  return wave / 49.99f + 0.001f;
}
inline float SelectorValue(int k) {
  return (k + 0.5f) / 10.99f;
}
inline float PointValue(int j) {
  return (j + 0.5f) / 39.99f;
}
inline float LengthValue(int index) {
  return (index + 0.5f) / 49.99f;
}
inline float ChoiceValue(int k) {  // voice modes, arpeggio orders and octaves
  return (k + 0.5f) / 3.99f;
}
inline float FilterValue(int type) {  // Comb2 only from a stored value
  return type == kFilterComb2 ? 1.0f : type / 12.99f + 0.05f;
}

}  // namespace vellicor::testing
