// The arpeggiator of voice mode "Arp": held keys are collected in a list and a sample clock steps
// through it in one of four orders over one to four octaves, starting a voice at each step and
// closing its gate after a fraction of the step.
//
// Wiring, for the render loop:
//   construction      ArpSettings is built with every value derived from 0; Arpeggiator::Init().
//   setParameter      settings.Derive(index, value) for every index (it reads kArpLength,
//                     kArpGate, kArpOrder and kArpOctaves). For the tempo, kTempo:
//                     TempoFromPatch and UsesHostTempo below.
//   per block         the tempo (TempoFromPatch, or TempoFromHost of the host's tempo when
//                     UsesHostTempo), then arp.Prepare(settings, tempo, sample_rate).
//   note on  (Arp)    arp.NoteOn(note); the engine sets the velocity of all six voices.
//   note off (Arp)    arp.NoteOff(note, voices).
//   controller 126    arp.Stop(voices) (and the engine switches every gate off).
//   per sample        after the sample counters move, before the voices render:
//                     arp.Clock(voices) while the voice mode is "Arp" and arp.running().
//
// State: everything lives in the one Arpeggiator per engine; it only touches voices through the
// ArpVoices interface the engine implements. No allocation.
#pragma once

#include <cstdint>

#include "engine/relaxed.h"

namespace vellicor {

// What the arpeggiator asks of the engine's voices. All calls come from the audio thread.
class ArpVoices {
 public:
  // A step: the current voice's current pitch := its target pitch and its gate := 0; the current
  // voice advances to (current + 1) mod 6 and is restarted (oscillator phases 0, fade-in 500, LFO
  // phases 0 or copied from the voice of the previous step, envelope positions 0) with gate 1,
  // target pitch target_pitch and note field note. Its current pitch stays, so glide works.
  virtual void ArpStep(float target_pitch, int note) = 0;
  // The gate time of the step is over: the current voice's gate := 0 (if it is still on).
  virtual void ArpGateEnd() = 0;
  // A released key held list position `voice` (0..5): that voice's gate := 0.
  virtual void ArpReleaseVoice(int voice) = 0;
  // The list has emptied: every voice the clock started since the list was last empty has its
  // gate := 0, and the current voice := 0.
  virtual void ArpStopped() = 0;

 protected:
  ~ArpVoices() = default;
};

enum ArpOrder : int { kArpUp = 0, kArpDown = 1, kArpUpDown = 2, kArpRandom = 3 };

// Values derived from the patch. Written by setParameter on any thread, read once per block.
struct ArpSettings {
  ArpSettings();
  // Returns false, and changes nothing, for an index the arpeggiator does not read.
  bool Derive(int index, float value);

  Relaxed<float> length;  // kArpLength: quarter beats, reversed length table
  Relaxed<float> gate;    // kArpGate: fraction of the step, as stored
  Relaxed<int> order;     // kArpOrder: floor(3.99 v), ArpOrder
  Relaxed<int> octaves;   // kArpOctaves: floor(3.99 v) + 1
};

// Tempo from the patch's tempo value (kTempo): floor(200 v + 20), 20..220 beats per minute.
float TempoFromPatch(float value);
// Below 25 beats per minute the patch follows the host's tempo ("Auto").
bool UsesHostTempo(float value);
// The host's tempo in beats per minute, limited to 1..999, so that an unknown tempo (0, NaN) or
// an absurd one still gives finite lengths of at least one sample.
float TempoFromHost(double bpm);

class Arpeggiator {
 public:
  static constexpr int kMaxNotes = 121;
  static constexpr int kVoices = 6;

  void Init();

  // Per block: step and gate lengths in samples for the tempo and sample rate; order and octaves.
  void Prepare(const ArpSettings& settings, float tempo, float sample_rate);

  // A key pressed in "Arp" mode is appended to the list; the next sample makes a step. A key
  // pressed while 121 are held is not added (nothing is written outside the list).
  void NoteOn(int note);
  // Every entry of the key leaves the list (a key pressed twice leaves twice, so the count is
  // always the number of entries kept); the step index is derived anew for the shorter list.
  void NoteOff(int note, ArpVoices& voices);
  // Controller 126: empty the list and stop, as when the last key is released.
  void Stop(ArpVoices& voices);

  // One sample of the clock; call only while running().
  void Clock(ArpVoices& voices);

  bool running() const { return running_; }
  int count() const { return count_; }
  float note(int i) const { return notes_[i]; }
  int index() const { return index_; }
  int octave() const { return octave_; }
  int up_down() const { return up_down_; }
  int32_t step_length() const { return step_length_; }
  int32_t gate_length() const { return gate_length_; }

 private:
  void AdvanceIndex();
  void DeriveIndex();

  bool running_ = false;
  float notes_[kMaxNotes] = {};
  int count_ = 0;
  int64_t step_counter_ = 0;
  int index_ = 0;
  int up_down_ = 0;
  int octave_ = 0;
  bool gate_open_ = false;
  int32_t step_length_ = 1;
  int32_t gate_length_ = 0;
  int order_ = kArpUp;
  int octaves_ = 1;
};

}  // namespace vellicor
