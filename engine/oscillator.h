// Oscillator arithmetic of the control tick: phase increments from pitch, and the pulse-width
// LFOs (the render lanes warp the phase with their position and factors).
#pragma once

#include <cstdint>

#include "engine/portable_math.h"
#include "engine/tables.h"

namespace vellicor {

// Phase step per sample for a pitch given as a note number (57 sounds at 110 Hz).
inline int32_t PhaseIncrement(float note, float pitch_scale) {
  return IntPart(pmath::Exp2f((note - 57.0f) / 12.0f) * 65535.0f * pitch_scale);
}
// The same, with the power kept in memo while the note rests.
inline int32_t PhaseIncrement(float note, float pitch_scale, pmath::Exp2Memo& memo) {
  return IntPart(memo((note - 57.0f) / 12.0f) * 65535.0f * pitch_scale);
}

// One pulse-width LFO, shared by all voices, advanced every 8 samples.
struct PulseWidth {
  float phase = 0.0f;  // radians, never wrapped
  float position = 0.0f;
  float upper = 0.0f;
  float lower = 0.0f;

  // rate in radians per sample, amount the PWM amount parameter.
  void Advance(float rate, float amount) {
    phase += 8.0f * rate;
    // With amount 0 the sine cannot move the position (it is finite), so it is not evaluated.
    const float sine = amount != 0.0f ? pmath::Sinf(phase) : 0.0f;
    position = 0.5f + sine * 0.499f * amount;
    upper = 1.0f / ((1.0f - position + 0.001f) * 2.0f);
    lower = 1.0f / (2.0f * position + 0.001f);
  }
};

// Radians per sample of a pulse-width LFO: 2^(8 v) x 55/1024 Hz.
inline float PulseWidthRate(float speed, float sample_rate) {
  return pmath::Exp2f(8.0f * speed) * 0.33747548828125f / sample_rate;
}

}  // namespace vellicor
