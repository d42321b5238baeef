// Five LFOs per voice, run at the control rate on the wave tables, with tempo-related periods,
// sample-and-hold, depth and speed envelopes, controller scalers and key tracking.
//
// Wiring, for the render loop:
//   construction      LfoSettings is built with every value derived from 0; LfoVoice::Init() on
//                     each voice (phases 0, key factor 1).
//   setParameter      settings.Derive(index, value) for every index, including the row of
//                     sample-and-hold periods; it answers false for indices it does not read.
//   per block         timing.Prepare(settings, tempo, sample_rate, wave_bank), after the tempo is
//                     known (wave_bank: anything with Table(choice), such as WaveBank).
//   note start        voice.StartNote(previous_voice, settings.restart != 0) (Poly, Mono, first
//                     Legato note, and each arpeggiator step with the voice of the previous step).
//   controller 4,
//   program selection voice.ResetPhases() on every voice.
//   control tick      in this order:
//                     1. after glide: voice.Tick(settings, timing, envelope_outputs, cc1, cc2,
//                        tick_counter), before the envelopes advance: envelope_outputs are the
//                        voice's nine envelope outputs as the last tick left them (slot 8,
//                        "none", is 1); tick_counter is the engine's sample-counting tick counter;
//                     2. after the envelopes: voice.Gain(settings.volume_lfo) for the voice
//                        volume, voice.Gain(settings.oscillator_volume_lfo[m]) for oscillator m,
//                        voice.Gain(filter_settings.lfo_selector) for the filter;
//                     3. with the filter: voice.UpdateKeyFactor(current_pitch,
//                        settings.key_tracking != 0), which takes effect from the next tick;
//                     4. with the pitches: voice.Output(settings.oscillator_pitch_lfo[m]) times
//                        oscillator m's LFO pitch range, in semitones.
//   per sample        pan target term: LfoPanTerm(voice 0, settings.pan_lfo).
//
// State: LfoSettings and LfoTiming are per engine; LfoVoice is per voice. No allocation.
#pragma once

#include <cstdint>

#include "engine/relaxed.h"
#include "engine/tables.h"
#include "parameters/parameter_table.h"

namespace vellicor {

using param::kLfoCount;

// Values derived from the patch. Written by setParameter on any thread, read by the audio thread.
struct LfoSettings {
  LfoSettings();

  // Derives the value(s) of one patch index from its stored value (0..1). Returns false, and
  // changes nothing, for an index the LFOs do not read.
  bool Derive(int index, float value);

  // Per LFO k, from the LFO rows of the parameter table:
  Relaxed<int> wave[kLfoCount];            // kLfoWave: floor(49.99 v)
  Relaxed<int> stopped[kLfoCount];         // kLfoPeriod: 1 when the stored value is exactly 0
  Relaxed<float> period[kLfoCount];        // kLfoPeriod: half beats, reversed length table
  Relaxed<float> amplitude[kLfoCount];     // kLfoAmplitude: as stored
  Relaxed<int> depth_envelope[kLfoCount];  // kLfoDepthEnvelope: 0..7, kEnvelopeNone for none
                                           // (and 9, 10)
  Relaxed<int> speed_envelope[kLfoCount];  // kLfoSpeedEnvelope: likewise
  Relaxed<float> hold[kLfoCount];          // kLfoHold: reversed length table
  Relaxed<int> restart;       // kLfoRestart: floor(1.99 v), restart phases on a new note
  Relaxed<int> key_tracking;  // kLfoKeyTracking: floor(1.99 v)
  Relaxed<int> volume_lfo;    // kVolumeLfo: 0..4, kLfoNone for none (and 6..10)
  Relaxed<int> pan_lfo;       // kPanLfo
  Relaxed<int> oscillator_volume_lfo[2];  // volume_lfo of each block of kOscillator
  Relaxed<int> oscillator_pitch_lfo[2];   // pitch_lfo of each block of kOscillator
};

// Per-block values shared by all voices.
struct LfoTiming {
  // Recomputes the phase increments and hold periods for the tempo (beats per minute) and the
  // sample rate, and looks up each LFO's wave: bank.Table(choice) answers the 65,536-point table
  // of a wave choice 0..49, or nullptr for a silent LFO. A cycle lasts P half beats; the
  // sample-and-hold period is H / 32 half beats.
  template <typename Bank>
  void Prepare(const LfoSettings& settings, float tempo, float sample_rate, const Bank& bank) {
    PrepareTiming(settings, tempo, sample_rate);
    for (int k = 0; k < kLfoCount; ++k) table[k] = bank.Table(settings.wave[k]);
  }
  void PrepareTiming(const LfoSettings& settings, float tempo, float sample_rate);
  // Bit k set when LFO k refreshes its held value at the tick of this tick counter.
  uint32_t Refreshes(uint32_t tick_counter) const;

  float increment[kLfoCount] = {};     // phase advance per tick at full speed, 0 when stopped
  int32_t hold_ticks[kLfoCount] = {};  // ticks between refreshes of the held value, minus one
  const float* table[kLfoCount] = {};  // each LFO's wave, nullptr for silence
};

struct LfoVoice {
  void Init();
  void ResetPhases();
  // A note start: phases from 0 when restarting, otherwise carried on from the previous voice so
  // free-running LFOs stay continuous across notes. Held values stay.
  void StartNote(const LfoVoice& previous, bool restart);

  // One control tick of all five LFOs. speed_controller and depth_controller are MIDI
  // controllers 1 and 2 (0..1); envelope_outputs has nine entries, the last ("none") being 1.
  void Tick(const LfoSettings& settings, const LfoTiming& timing, const float* envelope_outputs,
            float speed_controller, float depth_controller, uint32_t tick_counter) {
    TickRefreshing(settings, timing, envelope_outputs, speed_controller, depth_controller,
                   timing.Refreshes(tick_counter));
  }
  // The same with timing.Refreshes(tick_counter) given, shared by the voices of one tick.
  void TickRefreshing(const LfoSettings& settings, const LfoTiming& timing,
                      const float* envelope_outputs, float speed_controller, float depth_controller,
                      uint32_t refreshes);

  // The key factor 2^((pitch - 57) / 12) with tracking on, else 1; used from the next tick.
  void UpdateKeyFactor(float pitch, bool tracking);

  // Uses of the LFO named by a selector (kLfoNone, or anything out of range, is "none").
  float Output(int selector) const {  // 0 for none
    return (selector >= 0 && selector < kLfoCount) ? depth[selector] * *held[selector] : 0.0f;
  }
  float Gain(int selector) const {  // 1 - (depth + output) / 2, between 1 - depth and 1; 1 for none
    if (selector < 0 || selector >= kLfoCount) return 1.0f;
    return 1.0f - (depth[selector] + depth[selector] * *held[selector]) / 2.0f;
  }

  static constexpr float kSilence = 0.0f;  // what a silent LFO holds

  uint16_t phase[kLfoCount] = {};
  // The wave table entry each LFO took at its last refresh, read only where an output is asked
  // for: a tick uses one or two of the five, and the table read of an unused one would mostly
  // miss the cache (the oscillators' tables pass through it between two ticks).
  const float* held[kLfoCount] = {&kSilence, &kSilence, &kSilence, &kSilence, &kSilence};
  float depth[kLfoCount] = {};
  float key_factor = 1.0f;
};

// Pan target term: 0.5 + 0.5 x output of voice 0's chosen LFO, 0.5 for none.
float LfoPanTerm(const LfoVoice& voice0, int selector);

}  // namespace vellicor
