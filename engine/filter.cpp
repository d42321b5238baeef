#include "engine/filter.h"

#include <cmath>

#include "engine/portable_math.h"
#include "engine/tables.h"
#include "parameters/parameter_table.h"

namespace vellicor {
namespace {

constexpr float kTiny = 1e-15f;  // keeps recursive states away from denormal numbers

// Each section is stable for fixed coefficients, but coefficients that jump every tick (a fast,
// deep LFO on a resonant filter) can pump energy into the direct-form memories until they
// overflow. No genuine output comes near this level (the strongest resonance of the loudest
// oscillator sum stays below about 2e4), so reaching it means a runaway: the memories restart.
constexpr float kRunaway = 1e5f;

using pmath::Cosf;
using pmath::Exp2f;
using pmath::Expf;
using pmath::SinCosf;

}  // namespace

FilterSettings::FilterSettings() {
  for (int index : {param::kFilterType, param::kFilterQ, param::kFilterFrequency,
                    param::kFilterEnvelopeAmount, param::kFilterVolume, param::kFilterDistortion,
                    param::kFilterKeyTracking, param::kFilterEnvelope, param::kFilterLfo}) {
    Derive(index, 0.0f);
  }
}

bool FilterSettings::Derive(int index, float v) {
  switch (index) {
    case param::kFilterType:
      type = Choice(v, 12.99f, kFilterComb2);
      return true;
    case param::kFilterQ:
      q = 0.99f * v;
      return true;
    case param::kFilterFrequency:
      frequency = v;
      tuned_offset = IntPart(48.99f * v - 24.0f);
      return true;
    case param::kFilterEnvelopeAmount:
      envelope_amount = 2.0f * v - 1.0f;
      return true;
    case param::kFilterVolume:
      volume = VolumeCurve(v);
      return true;
    case param::kFilterDistortion:
      drive = pmath::Powf(100.0f, v);
      return true;
    case param::kFilterKeyTracking:
      key_tracking = Switch(v) ? 1 : 0;
      return true;
    case param::kFilterEnvelope:
      envelope_selector = EnvelopeSelector(v);
      return true;
    case param::kFilterLfo:
      lfo_selector = LfoSelector(v);
      return true;
    default:
      return false;
  }
}

void VoiceFilter::Init() {
  type_in_use_ = kFilterOff;
  coefficients_valid_ = false;
  cutoff_ = frequency_ = 0.0f;
  c0_ = c1_ = c2_ = c4_ = c5_ = 0.0f;
  ladder_k_ = ladder_p_ = ladder_r_ = 0.0f;
  ClearMemories();
  ring_phase_ = 0;
  ring_increment_ = 0;
  ring_depth_ = 0.0f;
  comb_delay_ = 2;
  comb_feedback_ = 0.0f;
  comb_position_ = 0;
  output_ = 0.0f;
  for (int i = 0; i < kCombSize; ++i) comb_input_[i] = comb_output_[i] = 0.0f;
}

void VoiceFilter::ClearMemories() {
  for (int i = 0; i < 3; ++i) {
    input_[i] = 0.0f;
    history_[i] = 0.0f;
  }
  ladder_input_ = 0.0f;
  y1_ = y2_ = y3_ = y4_ = 0.0f;
}

void VoiceFilter::ClearCombStart() {
  for (int i = 0; i < kCombClearedOnNote; ++i) {
    comb_input_[i] = 0.0f;
    comb_output_[i] = 0.0f;
  }
}

bool VoiceFilter::MoveCutoff(const FilterSettings& settings, const FilterModulation& modulation,
                             float sample_rate) {
  const int type = settings.type;
  const float lfo = modulation.lfo_gain;
  float env = 1.0f;
  if (settings.envelope_selector != kEnvelopeNone) {
    const float amount = settings.envelope_amount;
    const float e = modulation.envelope;
    env = amount <= 0.0f ? 1.0f + amount * e : 1.0f - amount * (1.0f - e);
  }
  const float pitch = modulation.pitch;
  const float offset = static_cast<float>(static_cast<int>(settings.tuned_offset));

  // Cutoff: 60 Hz .. 15,360 Hz over the frequency dial; the tuned types follow the note instead.
  float cutoff;
  if (type >= kFilterTunedRingMod) {
    const float tuned = 110.0f * tuned_power_((pitch - 57.0f + offset + 12.0f * lfo * env) / 12.0f);
    cutoff = static_cast<float>(IntPart(tuned < 1.0e9f ? tuned : 1.0e9f));
  } else {
    cutoff = 60.0f * sweep_power_(8.0f * lfo * settings.frequency * env);
    if (settings.key_tracking != 0) {
      cutoff = cutoff * key_power_((pitch - 57.0f + offset) / 12.0f);
    }
  }
  cutoff_ = cutoff;

  if (type != type_in_use_) {
    ClearMemories();
    type_in_use_ = type;
  }

  // Limits that keep every section stable; written so that a NaN lands on a limit too.
  float f = cutoff + 1.0f;
  const float f_max = 0.4f * sample_rate;
  if (!(f <= f_max)) f = f_max;
  if (!(f >= 20.0f)) f = 20.0f;
  frequency_ = f;
  float q = settings.q + 0.001f;
  if (!(q <= 0.999f)) q = 0.999f;

  // The coefficients are a function of these four alone: a cutoff that rests keeps them.
  if (coefficients_valid_ && type == coefficients_type_ && f == coefficients_frequency_ &&
      q == coefficients_q_ && sample_rate == coefficients_rate_) {
    return false;
  }
  coefficients_valid_ = true;
  coefficients_type_ = type;
  coefficients_frequency_ = f;
  coefficients_q_ = q;
  coefficients_rate_ = sample_rate;
  return true;
}

void VoiceFilter::ComputeCoefficients() {
  const int type = coefficients_type_;
  const float f = coefficients_frequency_, q = coefficients_q_;
  const float sample_rate = coefficients_rate_;
  const float fn = f / sample_rate + kTiny;
  const float fb = q * f / sample_rate;
  const float w = 3.14159f * fn;
  const float wb = 3.14159f * fb;
  const float r = 2.82842712f * std::fabs(1.0f - q);

  float c0 = 1.0f, c1 = 0.0f, c2 = 0.0f, c4 = 0.0f, c5 = 0.0f;
  switch (type) {
    case kFilterLowpass12: {
      float sine, cosine;
      SinCosf(w, &sine, &cosine);
      const float c = cosine / (sine + 0.005f);
      const float a = 1.0f / (r * c + 1.001f + c * c);
      c0 = a;
      c1 = 2.0f * a;
      c2 = a;
      c4 = 2.0f * a * (1.0f - c * c);
      c5 = a * (1.0f - r * c + c * c);
      break;
    }
    case kFilterHighpass12: {
      float sine, cosine;
      SinCosf(w, &sine, &cosine);
      const float t = sine / (cosine + 0.005f);
      const float a = 1.0f / (r * t + 1.0001f + t * t);
      c0 = a;
      c1 = -2.0f * a;
      c2 = a;
      c4 = 2.0f * a * (t * t - 1.0f);
      c5 = a * (1.0f - r * t + t * t);
      break;
    }
    case kFilterBandpass12: {
      float sine, cosine;
      SinCosf(wb, &sine, &cosine);
      const float c = cosine / (sine + 0.005f);
      const float d = 2.0f * Cosf(6.28318f * fn) + kTiny;
      const float a = 1.0f / (1.001f + c);
      c0 = a;
      c1 = 0.0f;
      c2 = -a;
      c4 = -c * d * a;
      c5 = (c - 1.0f) * a;
      break;
    }
    case kFilterBandreject12: {
      float sine, cosine;
      SinCosf(wb, &sine, &cosine);
      const float t = sine / (cosine + 0.005f);
      const float m = -2.0f * Cosf(6.28318f * fn);
      const float a = 1.0f / (1.0001f + t);
      c0 = a;
      c1 = m * a;
      c2 = a;
      c4 = m * a;
      c5 = (1.0f - t) * a;
      break;
    }
    case kFilterLowpass24:
    case kFilterHighpass24:
    case kFilterBandpass24:
    case kFilterBandreject24: {
      float q_ladder = q;
      if (1.0f - 1.8f * fn < q_ladder) q_ladder = 1.0f - 1.8f * fn;
      const float g = 2.0f * fn;
      const float k = 3.6f * g - 1.6f * g * g - 1.0f;
      const float p = (k + 1.0f) * 0.5f;
      ladder_k_ = k + kTiny;
      ladder_p_ = p + kTiny;
      ladder_r_ = Expf(1.0f - p) * q_ladder * 1.38f + kTiny;
      break;
    }
    case kFilterRingMod:
    case kFilterTunedRingMod:
      ring_increment_ = IntPart(65535.0f * f / sample_rate);
      ring_depth_ = q + kTiny;
      break;
    case kFilterComb:
    case kFilterComb2: {
      // Comb2 rings at odd multiples of sample_rate / (2 * delay): half the delay of the plain
      // comb puts its lowest resonance on the note.
      float delay = sample_rate / (0.001f + f);
      if (type == kFilterComb2) delay = 0.5f * delay;
      int d = IntPart(delay);
      comb_delay_ = d < 2 ? 2 : (d > kCombSize - 2 ? kCombSize - 2 : d);
      comb_feedback_ = static_cast<float>(std::sqrt(std::sqrt(static_cast<double>(q)))) + kTiny;
      break;
    }
    default:
      break;
  }
  c0_ = c0 + kTiny;
  c1_ = c1 + kTiny;
  c2_ = c2 + kTiny;
  c4_ = c4 + kTiny;
  c5_ = c5 + kTiny;
}

VoiceFilter::TwoPoleMemory VoiceFilter::TakeTwoPole(const FilterHistoryRing& ring) const {
  TwoPoleMemory m;
  m.c0 = c0_;
  m.c1 = c1_;
  m.c2 = c2_;
  m.c4 = c4_;
  m.c5 = c5_;
  const int slots[3] = {ring.previous(), ring.second_previous(), ring.current()};
  for (int i = 0; i < 3; ++i) {
    m.input[i] = input_[slots[i]];
    m.history[i] = history_[slots[i]];
  }
  return m;
}

void VoiceFilter::PutTwoPole(const TwoPoleMemory& m, const FilterHistoryRing& ring) {
  const int slots[3] = {ring.previous(), ring.second_previous(), ring.current()};
  for (int i = 0; i < 3; ++i) {
    input_[slots[i]] = m.input[i];
    history_[slots[i]] = m.history[i];
  }
}

VoiceFilter::LadderMemory VoiceFilter::TakeLadder() const {
  return {ladder_k_, ladder_p_, ladder_r_, ladder_input_, y1_, y2_, y3_, y4_};
}

void VoiceFilter::PutLadder(const LadderMemory& m) {
  ladder_input_ = m.input;
  y1_ = m.y1;
  y2_ = m.y2;
  y3_ = m.y3;
  y4_ = m.y4;
}

float VoiceFilter::Distort(float x, float drive) {
  if (drive <= 1.01f) return x;
  const float t = x * drive + kTiny;
  float y = (x + t) / (std::fabs(t) + 1.0f) + kTiny;
  if (y > 10.0f) y = 10.0f;
  if (y < -10.0f) y = -10.0f;
  return y + kTiny;
}

float VoiceFilter::Filter(float x, const FilterHistoryRing& ring, const float* sine_table) {
  float out = x;
  switch (type_in_use_) {
    case kFilterLowpass12:
    case kFilterHighpass12:
    case kFilterBandpass12:
    case kFilterBandreject12: {
      const int s0 = ring.current();
      const int s1 = ring.previous();
      const int s2 = ring.second_previous();
      input_[s0] = x;
      out = c0_ * input_[s0] + c1_ * input_[s1] + c2_ * input_[s2] - c4_ * history_[s1] -
            c5_ * history_[s2] + kTiny;
      history_[s0] = out;
      if (!(std::fabs(out) < kRunaway)) {
        ClearMemories();
        out = 0.0f;
      }
      break;
    }
    case kFilterLowpass24:
    case kFilterHighpass24:
    case kFilterBandpass24:
    case kFilterBandreject24: {
      const float p = ladder_p_;
      const float k = ladder_k_;
      const float u = x - ladder_r_ * y4_ + kTiny;
      const float old1 = y1_;
      const float old2 = y2_;
      const float old3 = y3_;
      y1_ = (u + ladder_input_) * p - y1_ * k + kTiny;
      y2_ = (y1_ + old1 + kTiny) * p - y2_ * k + kTiny;
      y3_ = (y2_ + old2 + kTiny) * p - y3_ * k + kTiny;
      y4_ = (y3_ + old3 + kTiny) * p - y4_ * k + kTiny;
      ladder_input_ = u + kTiny;
      switch (type_in_use_) {
        case kFilterLowpass24:
          out = y4_ + kTiny;
          break;
        case kFilterHighpass24:
          out = (u - ladder_r_ * y4_) - y4_ + kTiny;
          break;
        case kFilterBandpass24:
          out = 3.0f * (y3_ - y4_) + kTiny;
          break;
        default:
          out = (u - ladder_r_ * y4_) - 3.0f * (y3_ - y4_) + kTiny;
          break;
      }
      if (!(std::fabs(out) < kRunaway)) {
        ClearMemories();
        out = 0.0f;
      }
      break;
    }
    case kFilterRingMod:
    case kFilterTunedRingMod:
      ring_phase_ = static_cast<uint16_t>(ring_phase_ + ring_increment_);
      if (sine_table != nullptr) {
        out = (1.0f - ring_depth_ + ring_depth_ * sine_table[ring_phase_]) * x + kTiny;
      }
      break;
    case kFilterComb:
    case kFilterComb2:
      CombRun(&x, &out, 1, 1);
      break;
    default:  // Off
      break;
  }
  output_ = out;
  return out;
}

void VoiceFilter::CombRun(const float* in, float* out, int stride, int frames) {
  constexpr int kMask = kCombSize - 1;
  int position = comb_position_;
  const int delay = comb_delay_;
  const float feedback = comb_feedback_;
  float last = output_;
  for (int n = 0; n < frames; ++n) {
    position = (position + 1) & kMask;
    comb_input_[position] = in[n * stride];
    const int j = (position - delay) & kMask;
    if (type_in_use_ == kFilterComb) {
      last = comb_output_[j] * feedback + comb_input_[j] + kTiny;
    } else {
      last = comb_input_[j] - comb_output_[j] * feedback + kTiny;
    }
    comb_output_[position] = last;
    out[n * stride] = last;
  }
  comb_position_ = position;
  output_ = last;
}

}  // namespace vellicor
