// The voice filter stage: distortion, one filter of twelve types, filter volume.
//
// Wiring, for the render loop:
//   construction      FilterSettings is built with every value derived from 0;
//                     VoiceFilter::Init() on each voice, FilterHistoryRing::Reset().
//   setParameter      settings.Derive(index, value) for every index; it answers false for indices
//                     that are not the filter's (kFilterType .. kFilterDistortion,
//                     kFilterKeyTracking, kFilterEnvelope and kFilterLfo of the parameter table).
//   program selection ring.Reset(); ClearMemories() on every voice.
//   note start        ClearCombStart() on the started voice (Poly, Mono, first Legato note).
//   per frame         ring.Advance() once, before any voice renders.
//   control tick      voice.Tick(settings, modulation, sample_rate) after the envelopes and LFOs of
//                     the voice have run; modulation.pitch is the voice's current (glided) pitch,
//                     modulation.envelope the output of envelope settings.envelope_selector (unused
//                     when it is kEnvelopeNone), modulation.lfo_gain the LFO gain form of LFO
//                     settings.lfo_selector (1 for none; see LfoVoice::Gain).
//   per sample        voice output = voice.Process(oscillator_sum, settings, ring, sine_table),
//                     sine_table being wave table 0 (65,536 points).
//
// State: FilterSettings and FilterHistoryRing are per engine; VoiceFilter is per voice (about
// 64 KiB, most of it the two comb rings). Nothing here allocates, locks or blocks.
#pragma once

#include <cstdint>

#include "engine/portable_math.h"
#include "engine/relaxed.h"
#include "engine/simd.h"
#include "engine/tables.h"

namespace vellicor {

enum FilterType : int {
  kFilterOff = 0,
  kFilterLowpass12 = 1,
  kFilterHighpass12 = 2,
  kFilterBandpass12 = 3,
  kFilterBandreject12 = 4,
  kFilterLowpass24 = 5,
  kFilterHighpass24 = 6,
  kFilterBandpass24 = 7,
  kFilterBandreject24 = 8,
  kFilterRingMod = 9,
  kFilterTunedRingMod = 10,
  kFilterComb = 11,
  // "Comb2": a comb with negative feedback, tuned so that its lowest resonance is the note. It
  // rings at the odd harmonics only, a hollow, clarinet-like colour next to the full comb of 11.
  kFilterComb2 = 12,
};

// Values derived from the patch's filter block. Written by setParameter on any thread, read by
// the audio thread at control ticks and samples; each field is one relaxed 32-bit value.
struct FilterSettings {
  FilterSettings();

  // Derives the value(s) of one patch index from its stored value (0..1). Returns false, and
  // changes nothing, for an index the filter does not read.
  bool Derive(int index, float value);

  Relaxed<int> type;               // kFilterType: floor(12.99 v), 0..12
  Relaxed<float> q;                // kFilterQ: 0.99 v
  Relaxed<float> frequency;        // kFilterFrequency: F = v
  Relaxed<int> tuned_offset;       // kFilterFrequency: floor(48.99 v - 24) semitones
  Relaxed<float> envelope_amount;  // kFilterEnvelopeAmount: A = 2 v - 1
  Relaxed<float> volume;           // kFilterVolume: volume curve, exactly 0 at v = 0
  // kFilterDistortion: drive = 100^v. A drive of 1.01 or less is a clean bypass, so 0 plays the
  // signal untouched; from there the stage boosts quiet signals and saturates loud ones towards
  // about +-1.
  Relaxed<float> drive;
  Relaxed<int> key_tracking;  // kFilterKeyTracking: floor(1.99 v)
  // kFilterEnvelope: 0..7 envelope, kEnvelopeNone for none (and 9, 10).
  Relaxed<int> envelope_selector;
  Relaxed<int> lfo_selector;  // kFilterLfo: 0..4 LFO, kLfoNone for none (and 6..10)
};

// Control-rate inputs of one voice's filter.
struct FilterModulation {
  float pitch = 57.0f;    // the voice's current pitch as a note number
  float envelope = 1.0f;  // output of the envelope named by envelope_selector
  float lfo_gain = 1.0f;  // L = 1 - (D + output) / 2 of the LFO named by lfo_selector, 1 for none
};

// The three-slot history index of the two-pole sections, shared by all voices. It moves once per
// frame, so each voice sees its previous and second-previous samples in the other two slots.
class FilterHistoryRing {
 public:
  void Reset() { index_ = 2; }  // current slot 0, previous 1, second previous 2
  void Advance() { index_ = index_ == 2 ? 0 : index_ + 1; }
  int current() const { return kCurrent[index_]; }
  int previous() const { return kPrevious[index_]; }
  int second_previous() const { return kSecondPrevious[index_]; }

 private:
  static constexpr int kCurrent[3] = {2, 1, 0};
  static constexpr int kPrevious[3] = {0, 2, 1};
  static constexpr int kSecondPrevious[3] = {1, 0, 2};
  int index_ = 2;
};

class VoiceFilter {
 public:
  static constexpr int kCombSize = 8192;  // entries of each comb ring
  static constexpr int kCombClearedOnNote = 4096;

  void Init();            // everything zero, as at construction
  void ClearMemories();   // two-pole histories and ladder state (program selection, type change)
  void ClearCombStart();  // a note start clears the first 4,096 entries of both comb rings

  // Control tick: cutoff from frequency, envelope, LFO and key; then the coefficients of the
  // current type (clearing the memories first when the type changed since the last tick).
  void Tick(const FilterSettings& settings, const FilterModulation& modulation, float sample_rate) {
    if (MoveCutoff(settings, modulation, sample_rate)) ComputeCoefficients();
  }
  // Tick in its two halves, for a caller that ticks several voices: the cutoff and its limits,
  // answering whether the coefficients must follow; then the coefficients from those values.
  bool MoveCutoff(const FilterSettings& settings, const FilterModulation& modulation,
                  float sample_rate);
  void ComputeCoefficients();

  // One sample: distortion, the filter of the type last ticked, filter volume.
  float Process(float x, const FilterSettings& settings, const FilterHistoryRing& ring,
                const float* sine_table) {
    return settings.volume * Filter(Distort(x, settings.drive), ring, sine_table);
  }

  // The distortion stage alone: a drive of 1.01 or less passes the sample unchanged.
  static float Distort(float x, float drive);
  // The filter alone, on a sample that has been through the distortion stage; the filter
  // output, before the filter volume.
  float Filter(float x, const FilterHistoryRing& ring, const float* sine_table);
  // Filter() of a comb type (kFilterComb, kFilterComb2) over frames samples in[n * stride],
  // writing out[n * stride]: the combs keep their rings here, so the render loop runs each
  // voice's comb over a run of samples at a time.
  void CombRun(const float* in, float* out, int stride, int frames);

  // A run of samples computed for several voices side by side (FilterLanes below) keeps the
  // two-pole and ladder memories in registers: the render loop takes them out before the run
  // and puts them back after it. The two-pole memories are named by age as the history ring
  // sees them, at the run's first sample when taken and at the sample after its last when put.
  struct TwoPoleMemory {
    float c0, c1, c2, c4, c5;
    float input[3];    // previous, second previous, and the slot the next sample writes
    float history[3];  // the same for the outputs
  };
  struct LadderMemory {
    float k, p, r;
    float input, y1, y2, y3, y4;
  };
  TwoPoleMemory TakeTwoPole(const FilterHistoryRing& ring) const;
  void PutTwoPole(const TwoPoleMemory& memory, const FilterHistoryRing& ring);
  LadderMemory TakeLadder() const;
  void PutLadder(const LadderMemory& memory);
  struct RingMemory {
    int32_t phase, increment;
    float depth;
  };
  RingMemory TakeRing() const { return {ring_phase_, ring_increment_, ring_depth_}; }
  void PutRing(int32_t phase) { ring_phase_ = static_cast<uint16_t>(phase); }
  void SetOutput(float out) { output_ = out; }

  // Inspection (tests, display).
  float cutoff() const { return cutoff_; }        // before limiting, Hz
  float frequency() const { return frequency_; }  // as used by the coefficients, Hz
  int type_in_use() const { return type_in_use_; }
  int comb_delay() const { return comb_delay_; }
  float comb_feedback() const { return comb_feedback_; }
  int ring_increment() const { return ring_increment_; }
  float output() const { return output_; }

 private:
  int type_in_use_ = 0;
  float cutoff_ = 0.0f;
  // The powers of the cutoff: the dial's sweep, key tracking and the tuned types.
  pmath::Exp2Memo sweep_power_, key_power_, tuned_power_;
  float frequency_ = 0.0f;
  // What the coefficients were last computed from; the same again leaves them as they are.
  bool coefficients_valid_ = false;
  int coefficients_type_ = 0;
  float coefficients_frequency_ = 0.0f, coefficients_q_ = 0.0f, coefficients_rate_ = 0.0f;
  // Two-pole section.
  float c0_ = 0.0f, c1_ = 0.0f, c2_ = 0.0f, c4_ = 0.0f, c5_ = 0.0f;
  float input_[3] = {};
  float history_[3] = {};
  // Four-stage ladder.
  float ladder_k_ = 0.0f, ladder_p_ = 0.0f, ladder_r_ = 0.0f;
  float ladder_input_ = 0.0f;
  float y1_ = 0.0f, y2_ = 0.0f, y3_ = 0.0f, y4_ = 0.0f;
  // Ring modulation.
  uint16_t ring_phase_ = 0;
  int32_t ring_increment_ = 0;
  float ring_depth_ = 0.0f;
  // Combs.
  int32_t comb_delay_ = 2;
  float comb_feedback_ = 0.0f;
  int32_t comb_position_ = 0;
  float output_ = 0.0f;
  float comb_input_[kCombSize] = {};
  float comb_output_[kCombSize] = {};
};

// The per-sample arithmetic of VoiceFilter::Process for four voices at once, operation for
// operation, so each lane gives the sample its voice gives alone. A runaway (see Process) clears
// the memories of its lane; the lane's bit in *runaway tells the render loop to clear the voice's
// other memories too when it puts them back.
namespace filter_lanes {

using simd::F4;

inline F4 Distort(F4 x, F4 drive) {
  const F4 tiny = simd::Splat(1e-15f);
  const F4 t = x * drive + tiny;
  F4 y = (x + t) / (simd::Abs(t) + simd::Splat(1.0f)) + tiny;
  y = simd::MinOf(simd::Splat(10.0f), y);   // y > 10 ? 10 : y
  y = simd::MaxOf(simd::Splat(-10.0f), y);  // y < -10 ? -10 : y
  return y + tiny;
}

struct TwoPole {
  F4 c0, c1, c2, c4, c5;
  F4 x1, x2, x3;  // inputs by age, as in VoiceFilter::TwoPoleMemory
  F4 y1, y2, y3;

  F4 Step(F4 x, F4* runaway) {
    const F4 tiny = simd::Splat(1e-15f);
    F4 out = c0 * x + c1 * x1 + c2 * x2 - c4 * y1 - c5 * y2 + tiny;
    x3 = x2;
    x2 = x1;
    x1 = x;
    y3 = y2;
    y2 = y1;
    y1 = out;
    const F4 bad = simd::NotLess(simd::Abs(out), simd::Splat(1e5f));
    if (simd::MaskBits(bad) != 0) {
      const F4 zero = simd::Splat(0.0f);
      out = simd::Select(bad, zero, out);
      for (F4* m : {&x1, &x2, &x3, &y1, &y2, &y3}) *m = simd::Select(bad, zero, *m);
      *runaway = simd::Or(*runaway, bad);
    }
    return out;
  }
};

// kType: kFilterLowpass24 .. kFilterBandreject24.
struct Ladder {
  F4 k, p, r;
  F4 input, y1, y2, y3, y4;

  template <int kType>
  F4 Step(F4 x, F4* runaway) {
    const F4 tiny = simd::Splat(1e-15f);
    const F4 u = x - r * y4 + tiny;
    const F4 old1 = y1;
    const F4 old2 = y2;
    const F4 old3 = y3;
    y1 = (u + input) * p - y1 * k + tiny;
    y2 = (y1 + old1 + tiny) * p - y2 * k + tiny;
    y3 = (y2 + old2 + tiny) * p - y3 * k + tiny;
    y4 = (y3 + old3 + tiny) * p - y4 * k + tiny;
    input = u + tiny;
    F4 out;
    if constexpr (kType == kFilterLowpass24) {
      out = y4 + tiny;
    } else if constexpr (kType == kFilterHighpass24) {
      out = (u - r * y4) - y4 + tiny;
    } else if constexpr (kType == kFilterBandpass24) {
      out = simd::Splat(3.0f) * (y3 - y4) + tiny;
    } else {
      out = (u - r * y4) - simd::Splat(3.0f) * (y3 - y4) + tiny;
    }
    const F4 bad = simd::NotLess(simd::Abs(out), simd::Splat(1e5f));
    if (simd::MaskBits(bad) != 0) {
      const F4 zero = simd::Splat(0.0f);
      out = simd::Select(bad, zero, out);
      for (F4* m : {&input, &y1, &y2, &y3, &y4}) *m = simd::Select(bad, zero, *m);
      *runaway = simd::Or(*runaway, bad);
    }
    return out;
  }
};

// Types kFilterRingMod and kFilterTunedRingMod: the ring phase moves by its increment modulo
// 65,536 and picks the sine that scales the sample.
struct Ring {
  simd::I4 phase, increment;
  F4 depth;

  F4 Step(F4 x, const float* sine_table) {
    phase = (phase + increment) & simd::SplatInt(0xFFFF);
    const F4 sine = simd::Gather(sine_table, phase);
    return (simd::Splat(1.0f) - depth + depth * sine) * x + simd::Splat(1e-15f);
  }
};

}  // namespace filter_lanes

}  // namespace vellicor
