#include "engine/lfo.h"

#include "engine/portable_math.h"

namespace vellicor {

LfoSettings::LfoSettings() {
  for (int index : {9, 10, 19, 20, 53, 54, 74, 75}) Derive(index, 0.0f);
  for (int k = 0; k < kLfoCount; ++k) {
    for (int base : {170, 175, 180, 190, 195, 205}) Derive(base + k, 0.0f);
  }
}

bool LfoSettings::Derive(int index, float v) {
  if (index >= 170 && index < 210) {
    const int k = index % 5;
    switch ((index - 170) / 5) {
      case 0:
        wave[k] = Choice(v, 49.99f, 49);
        return true;
      case 1:
        stopped[k] = v == 0.0f ? 1 : 0;
        period[k] = ReversedLengthOf(v);
        return true;
      case 2:
        amplitude[k] = v;
        return true;
      case 4:
        depth_envelope[k] = EnvelopeSelector(v);
        return true;
      case 5:
        speed_envelope[k] = EnvelopeSelector(v);
        return true;
      case 7:
        hold[k] = ReversedLengthOf(v);
        return true;
      default:
        return false;
    }
  }
  switch (index) {
    case 9:
      restart = Switch(v) ? 1 : 0;
      return true;
    case 10:
      key_tracking = Switch(v) ? 1 : 0;
      return true;
    case 19:
      volume_lfo = LfoSelector(v);
      return true;
    case 20:
      pan_lfo = LfoSelector(v);
      return true;
    case 53:
    case 74:
      oscillator_volume_lfo[index == 74 ? 1 : 0] = LfoSelector(v);
      return true;
    case 54:
    case 75:
      oscillator_pitch_lfo[index == 75 ? 1 : 0] = LfoSelector(v);
      return true;
    default:
      return false;
  }
}

void LfoTiming::PrepareTiming(const LfoSettings& settings, float tempo, float sample_rate) {
  const float beat = tempo + 0.01f;
  for (int k = 0; k < kLfoCount; ++k) {
    // Ticks per cycle: P half beats of 30 * sample_rate / tempo samples, 32 samples a tick.
    float cycle = settings.period[k] * 0.9375f * sample_rate / beat;
    if (!(cycle == cycle) || cycle < 0.0f) cycle = 0.0f;
    if (cycle > 0.0f && cycle < 1.0f) cycle = 1.0f;  // at most one cycle per tick
    increment[k] = cycle != 0.0f ? 65536.0f / cycle + 1.0f : 0.0f;
    const int hold = IntPart(settings.hold[k] * 0.9375f * sample_rate / beat / 32.0f);
    hold_ticks[k] = hold < 0 ? 0 : hold;
  }
}

void LfoVoice::Init() {
  *this = LfoVoice();
}

void LfoVoice::ResetPhases() {
  for (uint16_t& p : phase) p = 0;
}

void LfoVoice::StartNote(const LfoVoice& previous, bool restart) {
  for (int k = 0; k < kLfoCount; ++k) phase[k] = restart ? 0 : previous.phase[k];
}

uint32_t LfoTiming::Refreshes(uint32_t tick_counter) const {
  const uint32_t tick = tick_counter / 32u;
  uint32_t bits = 0;
  for (int k = 0; k < kLfoCount; ++k) {
    const uint32_t every = static_cast<uint32_t>(hold_ticks[k]) + 1u;
    if (every == 1u || tick % every == 0u) bits |= 1u << k;
  }
  return bits;
}

void LfoVoice::TickRefreshing(const LfoSettings& settings, const LfoTiming& timing,
                              const float* envelope_outputs, float speed_controller,
                              float depth_controller, uint32_t refreshes) {
  for (int k = 0; k < kLfoCount; ++k) {
    if (settings.stopped[k] == 0) {
      // The speed envelope is limited to 0..1, so it neither reverses nor over-speeds an LFO.
      float speed = envelope_outputs[settings.speed_envelope[k]];
      if (!(speed >= 0.0f)) speed = 0.0f;
      if (speed > 1.0f) speed = 1.0f;
      const int step = IntPart(speed * speed_controller * key_factor * timing.increment[k]);
      phase[k] = static_cast<uint16_t>(phase[k] + static_cast<uint32_t>(step));  // mod 65536
      if (refreshes & (1u << k)) {
        held[k] = timing.table[k] != nullptr ? &timing.table[k][phase[k]] : &kSilence;
      }
    }
    depth[k] =
        envelope_outputs[settings.depth_envelope[k]] * depth_controller * settings.amplitude[k];
  }
}

void LfoVoice::UpdateKeyFactor(float pitch, bool tracking) {
  key_factor = tracking ? pmath::Exp2f((pitch - 57.0f) / 12.0f) : 1.0f;
}

float LfoPanTerm(const LfoVoice& voice0, int selector) {
  if (selector < 0 || selector >= kLfoCount) return 0.5f;
  return 0.5f + 0.5f * voice0.Output(selector);
}

}  // namespace vellicor
