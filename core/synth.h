// Synth: the instrument without a plug-in format. Sixteen programs of 1,600 values, the values
// of the current one as the engine hears them, program selection by replay, the controller map
// and MIDI learn, the host's tempo, MIDI at its frame, rendering, and the whole state as bytes.
// Every format (VST 2, LV2, the standalone application) is a thin adapter around one of these.
//
// Threads: SetParameter may come from any thread (host automation, the editor, a learnt
// controller on the audio thread); Midi, Render and Process belong to the audio thread;
// program selection, names and state belong to the thread the host uses for them, usually its
// user-interface thread. Nothing here locks or allocates while rendering.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/state.h"
#include "engine/engine.h"
#include "engine/relaxed.h"
#include "parameters/parameter_table.h"

namespace vellicor {

constexpr int kNumPrograms = 16;
constexpr int kNumHostParameters = param::kHostParameterCount;
constexpr int kProgramNameSize = 64;  // at most 63 characters and the terminator

extern const char kEffectName[];  // "VellicorV2.0"
extern const char kVendorName[];  // "Quorrel"

struct Program {
  Relaxed<float> values[param::kPatchSize] = {};
  char name[kProgramNameSize] = "Init";

  void SetName(const char* text);  // cut to 63 characters
};

// One MIDI message at a frame of the block it arrives with.
struct MidiEvent {
  int32_t frame;
  uint8_t bytes[3];
};

// What the core tells the side that shows its values (an editor bridge). Any thread.
class SynthListener {
 public:
  // After `index` was stored and derived.
  virtual void ValueChanged(int index) = 0;
  // After something that touches many values or names at once: a program selected (when the
  // editor is not marked closed), a program renamed, a controller or pitch bend.
  virtual void SoundChanged() = 0;

 protected:
  ~SynthListener() = default;
};

class Synth : private EngineHost {
 public:
  // The factory bank loaded and program 0 selected, at 44,100 Hz.
  Synth();
  ~Synth();
  Synth(const Synth&) = delete;
  Synth& operator=(const Synth&) = delete;

  void SetListener(SynthListener* listener) { listener_ = listener; }

  // --- Values ---
  // Clamps (NaN and below 0 to 0, above 1 to 1), stores into the current program and the
  // engine, derives, tells the listener. Indices outside 0..1599 are ignored.
  void SetParameter(int index, float value);
  // The engine's copy; 0 outside 0..1599.
  float Value(int index) const;

  // --- Programs ---
  // Replays the program's values in index order, resets the evolver's sliders to 0.5 and the
  // running state; an index outside 0..15 changes nothing.
  void SelectProgram(int program);
  int current_program() const { return current_; }
  const Program& program(int index) const { return programs_[index]; }
  // For tests that stand in for a stored program.
  Program& program(int index) { return programs_[index]; }
  void SetProgramName(const char* name);              // the current program's
  void RenameProgram(int program, const char* name);  // any program's; ignored outside 0..15
  // Replays a whole record into the current program as selection does (other formats restore
  // with it). A controller-map request the record holds is stored but not carried out: the map
  // is not part of a sound.
  void ReplayValues(const float* values);
  // While set, selecting a program leaves the editor's copy and the envelope tables alone
  // (the editor bridge sets it while its window is closed).
  void SetEditorClosed(bool closed) { editor_closed_ = closed; }
  bool editor_closed() const { return editor_closed_; }

  // --- Running ---
  // Takes effect at the next program selection, as with a host that changes its rate; false
  // (and nothing changed) for a rate outside 1,000..1,000,000 Hz.
  bool SetSampleRate(double rate);
  // The host starts processing at `rate` (again): the rate is taken and every setting derived
  // again at it, and the running state is reset, as selecting the program would, but the
  // values stay as they are. False (and nothing changed) for an unusable rate.
  bool Restart(double rate);
  float sample_rate() const { return engine_.sample_rate(); }
  // The host's tempo in beats per minute, for programs whose tempo is "Auto".
  void SetHostTempo(double bpm) { engine_.SetHostTempo(bpm); }
  bool FollowsHostTempo() const { return engine_.host_tempo(); }
  // One channel message (status with channel, data bytes); system messages are ignored.
  void Midi(const uint8_t* bytes, int size);
  // Renders frames into the two buffers (accumulate adds to what they hold).
  void Render(float* left, float* right, int32_t frames, bool accumulate);
  // Renders a block, handing each event to the engine at its frame: up to the next event,
  // then the event. Events are in time order; frames before the previous event's or past the
  // block are taken as the nearest frame that keeps that order.
  void Process(float* left, float* right, int32_t frames, bool accumulate,
               std::span<const MidiEvent> events);
  // The host stopped processing: the stereo delay line is cleared.
  void Suspend() { engine_.Suspend(); }
  // The host is about to process (Restart does it too): builds, once per process, the tables
  // the alias-free oscillators read. Off the audio thread, where a format activates.
  void PrepareToRun() { engine_.PrepareAliasFree(); }

  // --- Controller map ---
  int ControllerFor(int index) const { return engine_.ControllerMap(index); }
  // Changes whenever the map does.
  uint32_t ControllerMapChanges() const { return engine_.controller_map_changes(); }

  // --- State: the current program, its values, every name and the controller map ---
  std::vector<uint8_t> SaveState() const;
  // Refuses anything malformed and then changes nothing; otherwise selects the program,
  // replays the values, and takes over the names and the controller map.
  bool LoadState(std::span<const uint8_t> bytes);

  Engine& engine() { return engine_; }
  const Engine& engine() const { return engine_; }

 private:
  // EngineHost
  void SetParameterFromEngine(int index, float value) override;
  void RefreshEditor() override;

  void LoadFactoryBank();

  std::unique_ptr<Program[]> programs_;
  Relaxed<int> current_{0};
  Relaxed<bool> editor_closed_{false};
  SynthListener* listener_ = nullptr;
  Engine engine_;
};

}  // namespace vellicor
