// The five LFOs of a voice at their limits. Periods from the tempo, sample-and-hold, the gain
// form, the speed and depth controllers and key tracking are pinned by the render-hash scenes
// lfo_routings, lfo_free_running and heavy_filter.
#include "engine/lfo.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/wavetables.h"
#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

struct LfoBench {
  LfoBench() {
    bank->Build();
    voice.Init();
    for (int k = 0; k < kLfoCount; ++k) {
      Set(175 + k, LengthValue(36));  // one half beat per cycle
      Set(180 + k, 1.0f);
      Set(190 + k, 1.0f);  // depth and speed envelopes: none
      Set(195 + k, 1.0f);
    }
    Prepare();
  }
  void Set(int index, float value) { ASSERT_TRUE(settings.Derive(index, value)); }
  void Prepare(float tempo = 120.0f, float rate = 44100.0f) {
    timing.Prepare(settings, tempo, rate, *bank);
  }
  void Tick() { voice.Tick(settings, timing, envelopes, speed, depth, 32u * tick++); }

  std::unique_ptr<WaveBank> bank = std::make_unique<WaveBank>();
  LfoSettings settings;
  LfoTiming timing;
  LfoVoice voice;
  float envelopes[9] = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  float speed = 1.0f;
  float depth = 1.0f;
  uint32_t tick = 0;
};

TEST(LfoTiming, NoTempoOrRateMakesAStepLargerThanACycleOrAHoldNegative) {
  LfoBench b;
  b.Set(175, LengthValue(49));
  b.Set(205, LengthValue(1));
  for (float tempo : {0.0f, 999.0f}) {
    for (float rate : {1000.0f, 1000000.0f}) {
      b.Prepare(tempo, rate);
      EXPECT_LE(b.timing.increment[0], 65537.0f);
      EXPECT_GE(b.timing.hold_ticks[0], 0);
    }
  }
  b.Set(175, LengthValue(0));
  b.Prepare();
  EXPECT_EQ(b.timing.increment[0], 0.0f);
}

TEST(LfoOutput, SelectorsNamingNoLfoAndAmplitudeZeroModulateNothing) {
  LfoBench b;
  b.Tick();
  EXPECT_FLOAT_EQ(LfoPanTerm(b.voice, 0), 0.5f + 0.5f * b.voice.Output(0));
  for (int none : {kLfoNone, 7}) {
    EXPECT_EQ(b.voice.Gain(none), 1.0f);
    EXPECT_EQ(LfoPanTerm(b.voice, none), 0.5f);
  }
  for (int k = 0; k < kLfoCount; ++k) b.Set(180 + k, 0.0f);
  b.Tick();
  for (int k = 0; k < kLfoCount; ++k) {
    EXPECT_EQ(b.voice.Gain(k), 1.0f);
    EXPECT_EQ(b.voice.Output(k), 0.0f);
  }
}

TEST(LfoControllers, SpeedEnvelopeIsLimitedAndKeyTrackingScales) {
  LfoBench b;
  b.Set(195, SelectorValue(2));  // LFO 1's speed from envelope 3
  b.envelopes[2] = 2.0f;         // above 1: full speed, no more
  b.Tick();
  EXPECT_EQ(b.voice.phase[0], 191);
  b.envelopes[2] = -1.0f;  // below 0: stands still, never runs backwards
  b.Tick();
  EXPECT_EQ(b.voice.phase[0], 191);
  b.envelopes[2] = 1.0f;
  b.voice.UpdateKeyFactor(69.0f, true);  // an octave up doubles the step
  b.Tick();
  EXPECT_EQ(b.voice.phase[0], 191 + 382);
  // LFO 5's depth envelope acts on LFO 5 only.
  b.Set(194, SelectorValue(4));
  b.envelopes[4] = 0.0f;
  b.Tick();
  EXPECT_EQ(b.voice.Output(4), 0.0f);
  EXPECT_NE(b.voice.Output(3), 0.0f);
}

}  // namespace
}  // namespace vellicor::testing
