// The voice filter stage on its own: cutoff law, tuned types, responses, type changes, stability.
#include "engine/filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace vellicor {
namespace {

float TypeValue(int type) {
  return type / 12.99f + 0.05f;
}  // as the editor writes menu item k

struct Bench {
  explicit Bench(int type, float rate = 44100.0f) : rate(rate), filter(new VoiceFilter) {
    filter->Init();
    ring.Reset();
    Set(120, type == kFilterComb2 ? 1.0f : TypeValue(type));  // 12 only from a stored value
    Set(124, 0.75f);                                          // unity volume
    Set(131, 1.0f);                                           // no envelope
    Set(132, 1.0f);                                           // no LFO
  }
  void Set(int index, float value) { ASSERT_TRUE(settings.Derive(index, value)); }
  void Tick() { filter->Tick(settings, modulation, rate); }
  // The render loop's order: ring, a tick every 32 samples, the sample.
  float Sample(float x) {
    ring.Advance();
    if (counter++ % 32 == 0) Tick();
    return filter->Process(x, settings, ring, nullptr);
  }
  float rate;
  FilterSettings settings;
  FilterModulation modulation;
  FilterHistoryRing ring;
  std::unique_ptr<VoiceFilter> filter;
  int counter = 0;
};

// Steady-state gain in dB for a sine, cutoff near 1 kHz.
double GainDb(int type, float q, double hz, float rate = 44100.0f) {
  Bench b(type, rate);
  b.Set(121, q);
  b.Set(122, std::log2(1000.0f / 60.0f) / 8.0f);
  const int length = static_cast<int>(rate);
  double in = 0.0, out = 0.0;
  for (int n = 0; n < length; ++n) {
    const float x = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hz * n / rate));
    const float y = b.Sample(x);
    if (n >= length / 2) {
      in += x * x;
      out += y * y;
    }
  }
  return 10.0 * std::log10(out / in);
}

TEST(FilterCutoff, FrequencyEnvelopeLfoAndKeySetTheCutoffWithinLimits) {
  Bench b(kFilterLowpass12);
  b.Set(122, 0.0f);
  b.Tick();
  EXPECT_FLOAT_EQ(b.filter->cutoff(), 60.0f);
  b.Set(122, 1.0f);
  b.Tick();
  EXPECT_FLOAT_EQ(b.filter->cutoff(), 15360.0f);
  b.modulation.lfo_gain = 0.5f;
  b.Tick();
  EXPECT_FLOAT_EQ(b.filter->cutoff(), 960.0f);
  b.modulation.lfo_gain = 1.0f;
  b.Set(131, 0.0f);  // envelope 1, amount +1: opens from 0 to 1 with the envelope
  b.Set(123, 1.0f);
  b.modulation.envelope = 0.0f;
  b.Tick();
  EXPECT_FLOAT_EQ(b.filter->cutoff(), 60.0f);
  b.Set(123, 0.0f);  // amount -1: closes from 1 to 0
  b.modulation.envelope = 1.0f;
  b.Tick();
  EXPECT_FLOAT_EQ(b.filter->cutoff(), 60.0f);

  // Key tracking high up, or a low rate, never takes the coefficients above 0.4 x rate.
  b.Set(131, 1.0f);
  b.Set(129, 1.0f);
  b.modulation.pitch = 127.0f;
  b.Tick();
  EXPECT_FLOAT_EQ(b.filter->frequency(), 17640.0f);
  b.filter->Tick(b.settings, b.modulation, 8000.0f);
  EXPECT_FLOAT_EQ(b.filter->frequency(), 3200.0f);
}

TEST(FilterTuned, CombDelayFollowsTheNote) {
  Bench b(kFilterComb);
  b.Set(121, 0.5f);
  b.Set(122, 0.5f);  // tuned offset 0
  b.modulation.pitch = 57.0f;
  std::vector<float> y;
  for (int n = 0; n < 400; ++n) y.push_back(b.Sample(n == 0 ? 1.0f : 0.0f));
  EXPECT_EQ(b.filter->cutoff(), 220.0f);
  EXPECT_EQ(b.filter->comb_delay(), 199);
  EXPECT_NEAR(y[199], 1.0f, 1e-6f);  // the impulse returns, then scaled by the feedback
  EXPECT_NEAR(y[398], b.filter->comb_feedback(), 1e-6f);
  b.Set(122, 1.0f);  // two octaves up
  b.Tick();
  EXPECT_EQ(b.filter->cutoff(), 880.0f);
}

TEST(FilterTuned, Comb2RingsOnOddHarmonicsAndSettles) {
  Bench b(kFilterComb2);
  b.Set(121, 0.5f);
  b.Set(122, 0.5f);
  std::vector<float> y;
  for (int n = 0; n < 200; ++n) y.push_back(b.Sample(n == 0 ? 1.0f : 0.0f));
  ASSERT_EQ(b.filter->comb_delay(), 99);  // half the comb's delay, echoes change sign
  EXPECT_NEAR(y[99], 1.0f, 1e-6f);
  EXPECT_NEAR(y[198], -b.filter->comb_feedback(), 1e-6f);
  // A held input settles to a level below it, and silence follows silence.
  float last = 0.0f;
  for (int n = 0; n < 44100; ++n) last = b.Sample(1.0f);
  EXPECT_NEAR(last, 1.0f / (1.0f + b.filter->comb_feedback()), 1e-3f);
  for (int n = 0; n < 44100; ++n) last = b.Sample(0.0f);
  EXPECT_NEAR(last, 0.0f, 1e-4f);
}

TEST(FilterStage, OffIsUnityAndDistortionDialStartsAsBypass) {
  Bench b(kFilterOff);
  b.Tick();
  EXPECT_EQ(b.Sample(-1.5f), -1.5f);
  b.Set(125, 0.5f);
  EXPECT_GT(b.Sample(0.1f), 0.5f);           // quiet signals are driven up
  EXPECT_NEAR(b.Sample(1.0f), 1.0f, 1e-5f);  // full scale keeps its level
  b.Set(125, 1.0f);
  EXPECT_NEAR(b.Sample(100.0f), 1.01f, 0.01f);  // loud ones saturate
  b.Set(124, 0.0f);
  EXPECT_EQ(b.Sample(0.7f), 0.0f);
}

TEST(FilterResponse, EachTypeShapesTheSpectrumAroundTheCutoff) {
  EXPECT_GT(GainDb(kFilterLowpass12, 0.0f, 100.0), -3.0);
  EXPECT_LT(GainDb(kFilterLowpass12, 0.0f, 8000.0), -30.0);
  EXPECT_LT(GainDb(kFilterLowpass12, 0.0f, 8000.0, 96000.0f), -30.0);
  EXPECT_GT(GainDb(kFilterLowpass12, 0.9f, 1000.0), GainDb(kFilterLowpass12, 0.0f, 1000.0) + 10);
  EXPECT_GT(GainDb(kFilterLowpass24, 0.0f, 100.0), -3.0);
  EXPECT_LT(GainDb(kFilterLowpass24, 0.0f, 8000.0), -60.0);
  EXPECT_GT(GainDb(kFilterHighpass12, 0.0f, 10000.0), -3.0);
  EXPECT_LT(GainDb(kFilterHighpass12, 0.0f, 125.0), -30.0);
  EXPECT_GT(GainDb(kFilterHighpass24, 0.0f, 10000.0), -3.0);
  EXPECT_LT(GainDb(kFilterHighpass24, 0.0f, 60.0), -10.0);  // input minus ladder: gentle
  for (int type : {kFilterBandpass12, kFilterBandpass24}) {
    EXPECT_GT(GainDb(type, 0.3f, 1000.0), GainDb(type, 0.3f, 60.0) + 20) << type;
    EXPECT_GT(GainDb(type, 0.3f, 1000.0), GainDb(type, 0.3f, 15000.0) + 20) << type;
  }
  EXPECT_LT(GainDb(kFilterBandreject12, 0.3f, 1000.0), -30.0);
  EXPECT_GT(GainDb(kFilterBandreject12, 0.3f, 100.0), -1.0);
}

// Output for silent input right after a tick to next_type: only memories can produce it.
double RingingAfterTick(Bench& b, int next_type) {
  for (int n = 0; n < 3000; ++n) b.Sample(n % 50 < 25 ? 1.0f : -1.0f);
  b.Set(120, TypeValue(next_type));
  b.Tick();
  double energy = 0.0;
  for (int n = 0; n < 64; ++n) {
    b.ring.Advance();
    energy += std::pow(b.filter->Process(0.0f, b.settings, b.ring, nullptr), 2.0f);
  }
  return energy;
}

TEST(FilterTypeChange, ClearsTwoPoleAndLadderMemories) {
  for (auto [from, to] : {std::pair{kFilterLowpass12, kFilterHighpass12},
                          std::pair{kFilterLowpass24, kFilterBandpass24}}) {
    Bench b(from);
    b.Set(121, 0.8f);
    b.Set(122, 0.4f);
    EXPECT_GT(RingingAfterTick(b, from), 1e-6) << "a tick of the same type keeps the memories";
    EXPECT_LT(RingingAfterTick(b, to), 1e-20) << "a new type starts from silence";
  }
}

TEST(FilterStability, EveryTypeStaysFiniteAndBoundedAtTheExtremes) {
  uint32_t seed = 1;
  auto noise = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<float>(seed >> 8) / 8388608.0f - 1.0f;
  };
  for (float rate : {8000.0f, 44100.0f, 192000.0f}) {
    for (int type = 0; type <= kFilterComb2; ++type) {
      for (float q : {0.0f, 0.5f, 1.0f}) {
        for (float frequency : {0.0f, 0.6f, 1.0f}) {
          for (float pitch : {0.0f, 127.0f}) {
            Bench b(type, rate);
            b.Set(121, q);
            b.Set(122, frequency);
            b.Set(125, pitch / 127.0f);
            b.Set(129, 1.0f);
            b.modulation.pitch = pitch;
            float peak = 0.0f;
            for (int n = 0; n < 24000; ++n) {
              // Loud noise with a DC step, and an LFO slamming the cutoff every 16 ticks.
              if (n % 512 == 0) b.modulation.lfo_gain = (n / 512) % 2 ? 0.0f : 1.5f;
              const float y =
                  b.Sample(n < 16000 ? 3.0f * noise() + (n > 8000 ? 2.0f : 0.0f) : 0.0f);
              peak = std::isfinite(y) ? std::max(peak, std::fabs(y)) : INFINITY;
              if (n > 23000 && std::fpclassify(y) == FP_SUBNORMAL) peak = INFINITY;
            }
            EXPECT_LT(peak, 1e5f) << "type " << type << " q " << q << " f " << frequency << " rate "
                                  << rate;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace vellicor
