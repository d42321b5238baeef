// Oscillators and waves: the bank, pulse-width warp, FM, ring modulation. Sync and the rendered
// pulse-width sweep are pinned by the render-hash scenes (heavy, fm_ring_sync).
#include "engine/oscillator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

double Rms(const std::vector<float>& x, size_t from = 0) {
  double sum = 0.0;
  for (size_t i = from; i < x.size(); ++i) sum += double(x[i]) * x[i];
  return std::sqrt(sum / double(x.size() - from));
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
    for (int w : {kWaveNoise1, kWaveNoise2}) {
      ASSERT_LE(std::fabs(a->Table(w)[n]), 1.0f);
    }
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

TEST(Oscillators, PulseWidthModulationMovesTheDutyCycle) {
  PulseWidth pw;
  pw.phase = 1.5707964f;
  pw.Advance(0.0f, 0.5f);  // sin = 1: position 0.5 + 0.499 x 0.5
  EXPECT_NEAR(pw.position, 0.7495f, 1e-6);
  EXPECT_NEAR(pw.upper, 1.0 / ((1.0 - 0.7495 + 0.001) * 2.0), 1e-4);
  EXPECT_EQ(WarpPhase(40000, 0.5f, 7.0f, 7.0f), 40000u);  // centred: read as it is
  // The first half of the wave is squeezed below the position: the square's edge moves there.
  EXPECT_NEAR(WarpPhase(49118, pw.position, pw.upper, pw.lower), 32768.0, 30.0);
  // The sample loop's scaled form gives the same positions.
  for (uint32_t q = 0; q < 65536; q += 7) {
    ASSERT_EQ(WarpPhase(q, pw.position, pw.upper, pw.lower),
              WarpPhaseScaled(q, pw.position, 65536.0f * pw.upper, 65536.0f * pw.lower));
  }
}

TEST(Oscillators, FmOffsetsTheReadPositionByTheOtherOscillator) {
  Harness h;
  h.Set(44, 1.0f);          // oscillator 1 FM amount 1 ...
  h.Set(46, WaveValue(1));  // ... from oscillator 2
  h.Set(52, 1.0f);          // FM envelope none: 1
  h.Set(59, WaveValue(4));  // oscillator 2 a square, silent in the mix
  h.NoteOn(60);
  h.Render(64);
  const Voice& v = h.voice(1);
  EXPECT_TRUE(v.fm_active);
  EXPECT_EQ(v.fm_depth[0], 32676.0f);
  // The source sample is +-1, so oscillator 1 reads 32,676 points (half a cycle) away.
  const uint32_t read = (v.phase[0] + (v.fm_sample[1] > 0 ? 32676u : 65536u - 32676u)) & kWaveMask;
  EXPECT_EQ(v.fm_sample[0], h.engine().waves().Table(0)[read]);

  // A source naming no oscillator modulates nothing: the same samples as without FM.
  Harness with, without;
  with.Set(44, 1.0f);
  with.Set(46, 0.5f);  // reads 25 + 1
  with.Set(52, 1.0f);
  with.NoteOn(60);
  without.NoteOn(60);
  EXPECT_EQ(with.Render(3000), without.Render(3000));
}

TEST(Oscillators, RingModulationAndSilentWaves) {
  Harness silent;
  silent.Set(77, 1.0f);  // ring on with oscillator 2 at volume 0
  silent.NoteOn(60);
  EXPECT_LT(Rms(silent.Render(4000)), 1e-9);
  Harness ring;
  ring.Set(77, 1.0f);
  ring.Set(62, 0.75f);
  ring.Set(59, WaveValue(4));
  ring.NoteOn(60);
  EXPECT_GT(Rms(ring.Render(4000), 1000), 0.3);
  for (float wave : {WaveValue(14), WaveValue(30), 1.0f}) {
    Harness h;
    h.Set(39, wave);
    h.NoteOn(60);
    EXPECT_LT(Rms(h.Render(4000)), 1e-9) << wave;
  }
}

}  // namespace
}  // namespace vellicor::testing
