// The synthesis engine: patch mirror, derived values, voices and the render loop.
// It knows nothing of the VST interface; the plug-in frame feeds it parameter changes,
// MIDI bytes and output buffers, and answers its few questions through EngineHost.
#pragma once

#include <cstdint>

#include "engine/relaxed.h"

namespace vellicor {

constexpr int kPatchSize = 1600;         // values in a patch record
constexpr int kControllerMapSize = 300;  // controller map entries, one per parameter index
constexpr int kNoController = 255;

// What the engine asks of the plug-in that owns it.
class EngineHost {
 public:
  // The plug-in's full setParameter (clamp, store in program and mirror, derive, refresh the
  // editor). Learnt MIDI controllers go through it exactly as host automation would.
  virtual void SetParameterFromEngine(int index, float value) = 0;
  // Ask the open editor to refresh its copy of the values (after controllers and bends).
  virtual void RefreshEditor() = 0;
  // The host's tempo for "Auto": asks the host for its time information, then its tempo at
  // position 0, and answers beats per minute x 10000 as the host gave it (0 when unknown).
  virtual intptr_t HostTempoTimes10000() = 0;

 protected:
  ~EngineHost() = default;
};

class Engine {
 public:
  explicit Engine(EngineHost* host);

  // Construction steps, called by the plug-in in its fixed order.
  void SetDefaults();        // tempo 120, sample rate 44100, counters and voices 0
  void BuildWaveTables();    // deterministic tables shared, noise tables per instance
  void InitControllerMap();  // all 255, then the default assignments

  // The patch mirror: the current program's values as the engine sees them.
  float Patch(int index) const { return patch_[index]; }
  void SetPatch(int index, float value) { patch_[index] = value; }

  // After the frame stored a clamped value at index (0..1599): derive what depends on it.
  void OnParameterChanged(int index);

  // Program selection: step 1 (sample rate from the host), step 6 (running state reset),
  // step 7 (envelope tables from the mirror).
  void SetSampleRate(float sample_rate);
  void ResetForProgramChange();
  void RebuildEnvelopeTables();

  // One MIDI message (status with channel, data 1, data 2).
  void HandleMidi(uint8_t status, uint8_t data1, uint8_t data2);

  // Render frames into left/right; accumulate adds to the buffers instead of overwriting.
  void Render(float* left, float* right, int32_t frames, bool accumulate);

  void Suspend();  // clears the stereo delay line

  int ControllerMap(int index) const;  // 255 outside 0..299
  float sample_rate() const { return sample_rate_; }
  float tempo() const { return tempo_; }

 private:
  EngineHost* host_;
  Relaxed<float> patch_[kPatchSize];
  Relaxed<int> controller_map_[kControllerMapSize];
  float sample_rate_ = 44100.0f;
  float tempo_ = 120.0f;
};

}  // namespace vellicor
