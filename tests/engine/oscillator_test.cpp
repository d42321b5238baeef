// Oscillators and waves: the bank, FM from no oscillator, ring modulation. The FM depth, sync and
// the pulse-width sweep are pinned by the render-hash scenes (heavy, fm_ring_sync).
#include "engine/oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

// Key 60 on the basic patch with these settings, fresh.
std::vector<float> Played(Settings settings, int frames) {
  Harness h;
  h.Apply(settings);
  h.NoteOn(60);
  return h.Render(frames);
}

TEST(Waves, TablesNoiseAndSilentChoices) {
  auto a = std::make_unique<WaveBank>(), b = std::make_unique<WaveBank>();
  random::Seed(1);
  a->Build();
  random::Seed(2);
  b->Build();
  EXPECT_NEAR(a->Table(0)[16384], 1.0f, 1e-5);
  EXPECT_FLOAT_EQ(a->Table(1)[32768], 1.0f);                    // triangle
  EXPECT_FLOAT_EQ(a->Table(5)[65535], 2.0f - 2.0f / 65536.0f);  // saw + square
  EXPECT_EQ(a->Table(7), b->Table(7));                          // computed waves shared
  int differ = 0;
  for (int n = 0; n < kWavePoints; ++n) {
    for (int w : {kWaveNoise1, kWaveNoise2}) ASSERT_LE(std::fabs(a->Table(w)[n]), 1.0f);
    differ += a->Table(kWaveNoise1)[n] != b->Table(kWaveNoise1)[n];
  }
  EXPECT_GT(differ, 60000);  // noise is drawn per instance
  // No noise cycle carries an offset that a filter could turn into DC on the output.
  for (int w : {kWaveNoise1, kWaveNoise2}) {
    double sum = 0.0;
    for (int n = 0; n < kWavePoints; ++n) sum += a->Table(w)[n];
    EXPECT_NEAR(sum / kWavePoints, 0.0, 1e-4) << w;
  }
  for (int choice : {14, 25, 26, 49, -1, 1000}) {
    for (int n = 0; n < kWavePoints; n += 97) ASSERT_EQ(a->Table(choice)[n], 0.0f) << choice;
  }
}

TEST(Oscillators, FmFromNoOscillatorAndRingModulation) {
  // An FM source naming no oscillator (46 = 0.5 reads 25 + 1) modulates nothing.
  EXPECT_EQ(Played({{44, 1.0f}, {46, 0.5f}, {52, 1.0f}}, 3000), Played({}, 3000));
  // Ring modulation by oscillator 2 at volume 0 silences the voice; by a square, it sounds.
  EXPECT_LT(Peak(Played({{77, 1.0f}}, 4000)), 1e-9f);
  EXPECT_GT(Peak(Played({{77, 1.0f}, {62, 0.75f}, {59, WaveValue(4)}}, 4000), 1000), 0.3f);
}

}  // namespace
}  // namespace vellicor::testing
