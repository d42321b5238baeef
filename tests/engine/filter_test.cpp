// The voice filter stage on its own, where no render-hash scene reaches: the cutoff's limits,
// the distortion dial with the filter off, stability at the extremes, and the four-lane path
// against the scalar one. The cutoff law, each type's response, the tuned types and the
// clearing of memories on a type change are pinned by the filter scenes of the render hash.
#include "engine/filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <vector>

#include "engine/random.h"
#include "tests/engine/engine_harness.h"

namespace vellicor {
namespace {

// Settings of one filter type at unity volume, its cutoff moved by no envelope and no LFO, then
// `more` in order.
FilterSettings Derived(int type, testing::Settings more = {}) {
  FilterSettings settings;
  const testing::Settings base = {
      {120, testing::FilterValue(type)}, {124, 0.75f}, {131, 1.0f}, {132, 1.0f}};
  for (testing::Settings values : {base, more}) {
    for (const auto& [index, value] : values) EXPECT_TRUE(settings.Derive(index, value)) << index;
  }
  return settings;
}

struct Bench {
  Bench(int type, float rate = 44100.0f, testing::Settings more = {})
      : rate(rate), settings(Derived(type, more)), filter(new VoiceFilter) {
    filter->Init();
    ring.Reset();
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

// Uniform noise in -1..1, the same on every target.
float Noise() {
  return static_cast<float>(2.0 * random::Next() - 1.0);
}

TEST(FilterCutoff, KeyTrackingOrALowRateNeverTakesTheCoefficientsAboveTwoFifthsOfTheRate) {
  Bench b(kFilterLowpass12, 44100.0f, {{122, 1.0f}, {129, 1.0f}});
  b.modulation.pitch = 127.0f;
  b.Tick();
  EXPECT_FLOAT_EQ(b.filter->frequency(), 17640.0f);
  b.filter->Tick(b.settings, b.modulation, 8000.0f);
  EXPECT_FLOAT_EQ(b.filter->frequency(), 3200.0f);
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

TEST(FilterStability, EveryTypeStaysFiniteAndBoundedAtTheExtremes) {
  random::Seed(1);
  for (float rate : {8000.0f, 44100.0f, 192000.0f}) {
    for (int type = 0; type <= kFilterComb2; ++type) {
      for (float q : {0.0f, 0.5f, 1.0f}) {
        for (float frequency : {0.0f, 0.6f, 1.0f}) {
          for (float pitch : {0.0f, 127.0f}) {
            Bench b(type, rate, {{121, q}, {122, frequency}, {125, pitch / 127.0f}, {129, 1.0f}});
            b.modulation.pitch = pitch;
            float peak = 0.0f;
            for (int n = 0; n < 24000; ++n) {
              // Loud noise with a DC step, and an LFO slamming the cutoff every 16 ticks.
              if (n % 512 == 0) b.modulation.lfo_gain = (n / 512) % 2 ? 0.0f : 1.5f;
              const float y =
                  b.Sample(n < 16000 ? 3.0f * Noise() + (n > 8000 ? 2.0f : 0.0f) : 0.0f);
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

// The render loop runs four voices' filters side by side (engine/lanes.cpp): two-pole sections,
// ladders and ring modulators four lanes at a time, their memories taken out of VoiceFilter for a
// run of samples and put back after it; combs voice by voice over the run (CombRun). Lane for
// lane, after the distortion stage, that must give what Process gives, bit for bit, runaways
// included (forced here by huge inputs).
TEST(FilterLanes, FourVoicesSideBySideGiveWhatEachGivesAlone) {
  using simd::F4;
  std::vector<float> sine(65536);
  for (size_t i = 0; i < sine.size(); ++i)
    sine[i] = std::sin(2.0f * std::numbers::pi_v<float> * i / 65536);
  random::Seed(7);
  for (int type = kFilterLowpass12; type <= kFilterComb2; ++type) {
    for (float drive : {0.0f, 0.4f}) {
      const FilterSettings settings =
          Derived(type, {{121, 1.0f}, {122, 0.8f}, {124, 0.6f}, {125, drive}, {129, 1.0f}});
      const bool two_pole = type <= kFilterBandreject12,
                 ladder = !two_pole && type < kFilterRingMod;
      std::vector<VoiceFilter> alone(4), together(4);  // constructed as Init leaves them
      FilterHistoryRing ring;
      ring.Reset();
      int runaways = 0;
      for (int run = 0; run < 100; ++run) {
        for (int i = 0; i < 4; ++i) {
          FilterModulation modulation;
          modulation.pitch = 30.0f + 20.0f * static_cast<float>(i) + 0.3f * static_cast<float>(run);
          modulation.lfo_gain = run % 2 ? 0.1f : 1.2f;  // the cutoff jumps every tick
          alone[i].Tick(settings, modulation, 44100.0f);
          together[i].Tick(settings, modulation, 44100.0f);
        }
        alignas(16) float in[32][4], lanes[32][4], memory[11][4] = {};
        for (int n = 0; n < 32; ++n) {
          for (float& x : in[n]) x = (Noise() > 0.995f ? 1e7f : 3.0f) * Noise();
          F4 x = simd::Load(in[n]);
          if (settings.drive > 1.01f) x = filter_lanes::Distort(x, simd::Splat(settings.drive));
          simd::Store(lanes[n], x);
        }
        FilterHistoryRing first = ring, after = ring;
        first.Advance();
        for (int n = 0; n < 3; ++n) after.Advance();  // 32 samples move the ring on by 32 mod 3
        filter_lanes::TwoPole tp;
        filter_lanes::Ladder ld;
        filter_lanes::Ring rm;
        F4* const memories[11] = {&tp.c0, &tp.c1, &tp.c2, &tp.c4, &tp.c5, &tp.x1,
                                  &tp.x2, &tp.x3, &tp.y1, &tp.y2, &tp.y3};
        F4* const ladder_memories[8] = {&ld.k,  &ld.p,  &ld.r,  &ld.input,
                                        &ld.y1, &ld.y2, &ld.y3, &ld.y4};
        const int count = two_pole ? 11 : 8;
        F4* const* const memory_of = two_pole ? memories : ladder_memories;
        alignas(16) int32_t phase[4] = {}, increment[4] = {};
        alignas(16) float depth[4] = {}, cleared[4];
        for (int i = 0; i < 4; ++i) {
          if (two_pole) {
            const auto m = together[i].TakeTwoPole(first);
            const float v[11] = {m.c0,         m.c1,         m.c2,        m.c4,
                                 m.c5,         m.input[0],   m.input[1],  m.input[2],
                                 m.history[0], m.history[1], m.history[2]};
            for (int j = 0; j < 11; ++j) memory[j][i] = v[j];
          } else if (ladder) {
            const auto m = together[i].TakeLadder();
            const float v[8] = {m.k, m.p, m.r, m.input, m.y1, m.y2, m.y3, m.y4};
            for (int j = 0; j < 8; ++j) memory[j][i] = v[j];
          } else if (type < kFilterComb) {
            const VoiceFilter::RingMemory m = together[i].TakeRing();
            phase[i] = m.phase;
            increment[i] = m.increment;
            depth[i] = m.depth;
          }
        }
        for (int j = 0; j < count; ++j) *memory_of[j] = simd::Load(memory[j]);
        rm.phase = simd::Load(phase);
        rm.increment = simd::Load(increment);
        rm.depth = simd::Load(depth);
        F4 runaway = simd::Splat(0.0f);
        for (auto& frame : lanes) {  // each type's step, as the render loop dispatches them
          const F4 x = simd::Load(frame);
          simd::Store(frame, type <= kFilterBandreject12 ? tp.Step(x, &runaway)
                             : type == kFilterLowpass24  ? ld.Step<kFilterLowpass24>(x, &runaway)
                             : type == kFilterHighpass24 ? ld.Step<kFilterHighpass24>(x, &runaway)
                             : type == kFilterBandpass24 ? ld.Step<kFilterBandpass24>(x, &runaway)
                             : type == kFilterBandreject24
                                 ? ld.Step<kFilterBandreject24>(x, &runaway)
                             : type < kFilterComb ? rm.Step(x, sine.data())
                                                  : x);  // combs: voice by voice below
        }
        for (int j = 0; j < count; ++j) simd::Store(memory[j], *memory_of[j]);
        simd::Store(phase, rm.phase);
        simd::Store(cleared, runaway);
        for (int i = 0; i < 4; ++i) {
          if (cleared[i] != 0.0f || std::isnan(cleared[i])) {
            together[i].ClearMemories();
            ++runaways;
          }
          if (two_pole) {
            VoiceFilter::TwoPoleMemory m;
            for (int j = 0; j < 3; ++j) {
              m.input[j] = memory[5 + j][i];
              m.history[j] = memory[8 + j][i];
            }
            together[i].PutTwoPole(m, after);
          } else if (ladder) {
            together[i].PutLadder({0.0f, 0.0f, 0.0f, memory[3][i], memory[4][i], memory[5][i],
                                   memory[6][i], memory[7][i]});
          } else if (type < kFilterComb) {
            together[i].PutRing(phase[i]);
          } else {
            together[i].CombRun(&lanes[0][i], &lanes[0][i], 4, 32);
          }
        }
        for (int n = 0; n < 32; ++n) {
          ring.Advance();
          for (int i = 0; i < 4; ++i) {
            const float expected = alone[i].Process(in[n][i], settings, ring, sine.data());
            const float got = settings.volume * lanes[n][i];
            ASSERT_EQ(std::memcmp(&got, &expected, sizeof got), 0)
                << "type " << type << " drive " << drive << " run " << run << " sample " << n
                << " lane " << i << ": " << got << " != " << expected;
          }
        }
      }
      if (drive == 0.0f && (two_pole || ladder)) {
        EXPECT_GT(runaways, 0) << "type " << type;
      }
    }
  }
}

}  // namespace
}  // namespace vellicor
