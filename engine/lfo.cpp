#include "engine/lfo.h"

#include "engine/portable_math.h"

namespace vellicor {
namespace {

constexpr const param::OscillatorIndices& kOsc1 = param::kOscillator[0];
constexpr const param::OscillatorIndices& kOsc2 = param::kOscillator[1];

}  // namespace

LfoSettings::LfoSettings() {
  for (int index : {param::kLfoRestart, param::kLfoKeyTracking, param::kVolumeLfo, param::kPanLfo,
                    kOsc1.volume_lfo, kOsc1.pitch_lfo, kOsc2.volume_lfo, kOsc2.pitch_lfo}) {
    Derive(index, 0.0f);
  }
  for (int k = 0; k < kLfoCount; ++k) {
    for (int row : param::kLfoRows) Derive(param::Lfo(row, k), 0.0f);
  }
}

bool LfoSettings::Derive(int index, float v) {
  int row = 0, k = 0;
  if (param::InLfoRow(index, &row, &k)) {
    switch (row) {
      case param::kLfoWave:
        wave[k] = Choice(v, 49.99f, 49);
        return true;
      case param::kLfoPeriod:
        stopped[k] = v == 0.0f ? 1 : 0;
        period[k] = ReversedLengthOf(v);
        return true;
      case param::kLfoAmplitude:
        amplitude[k] = v;
        return true;
      case param::kLfoDepthEnvelope:
        depth_envelope[k] = EnvelopeSelector(v);
        return true;
      case param::kLfoSpeedEnvelope:
        speed_envelope[k] = EnvelopeSelector(v);
        return true;
      case param::kLfoHold:
        hold[k] = ReversedLengthOf(v);
        return true;
      default:
        return false;
    }
  }
  switch (index) {
    case param::kLfoRestart:
      restart = Switch(v) ? 1 : 0;
      return true;
    case param::kLfoKeyTracking:
      key_tracking = Switch(v) ? 1 : 0;
      return true;
    case param::kVolumeLfo:
      volume_lfo = LfoSelector(v);
      return true;
    case param::kPanLfo:
      pan_lfo = LfoSelector(v);
      return true;
    case kOsc1.volume_lfo:
    case kOsc2.volume_lfo:
      oscillator_volume_lfo[index == kOsc2.volume_lfo ? 1 : 0] = LfoSelector(v);
      return true;
    case kOsc1.pitch_lfo:
    case kOsc2.pitch_lfo:
      oscillator_pitch_lfo[index == kOsc2.pitch_lfo ? 1 : 0] = LfoSelector(v);
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
