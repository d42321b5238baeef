// The drawn envelopes: timing in beats, curves, sustain and loops, bounded point indices.
#include "engine/envelope.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

// Envelope 0 in a patch of its own: a ramp from 0 to 1 over one quarter beat.
struct Bench {
  Bench() : patch(new Relaxed<float>[kPatchSize]) {
    patch[kEnvLengthIndex] = LengthValue(14);
    patch[kEnvLastPointIndex] = PointValue(1);
    Point(0, 0.0f, 0.0f);
    Point(1, 1.0f, 1.0f);
  }
  void Point(int j, float time, float level, float curve = 0.5f) {
    patch[kEnvTimeIndex + j] = time;
    patch[kEnvLevelIndex + j] = level;
    patch[kEnvCurveIndex + j] = curve;
  }
  void Loop(int start, int end, bool while_held = false) {
    patch[kEnvLoopStartIndex] = PointValue(start);
    patch[kEnvLoopEndIndex] = PointValue(end);
    patch[kEnvLoopModeIndex] = while_held ? 1.0f : 0.0f;
  }
  float Tick(bool gate) {
    if (!prepared) PrepareEnvelope(&shape, 0, patch.get(), 44100.0f, 120.0f);
    prepared = true;
    return output = TickEnvelope(shape, &position, output, 32.0f, gate);
  }
  // Counts the local maxima of the output over some ticks.
  int Peaks(bool gate, int ticks) {
    int peaks = 0;
    float before = output, previous = output;
    for (int i = 0; i < ticks; ++i) {
      const float out = Tick(gate);
      peaks += previous > before && previous > out;
      before = previous;
      previous = out;
    }
    return peaks;
  }

  std::unique_ptr<Relaxed<float>[]> patch;
  EnvelopeShape shape;
  bool prepared = false;
  float position = 0.0f, output = 0.0f;
};

TEST(Envelope, TimingInQuarterBeatsHoldsPastTheLastPoint) {
  Bench b;
  float previous = 0.0f;
  for (int tick = 1; tick <= 172; ++tick) {
    previous = b.Tick(false);
    ASSERT_NEAR(previous, 32.0 * tick / 5513.04, 1e-5) << tick;
  }
  EXPECT_NEAR(b.shape.scale, 5513.04, 0.01);  // 15 x 44100 / 120.01 + 1
  EXPECT_NEAR(previous, 0.998, 0.001);
  for (int tick = 173; tick < 400; ++tick) ASSERT_EQ(b.Tick(false), previous);

  Bench off;  // a length of exactly 0 switches the envelope off: output 1, nothing moves
  off.patch[kEnvLengthIndex] = 0.0f;
  EXPECT_EQ(off.Tick(true), 1.0f);
  EXPECT_EQ(off.position, 0.0f);
}

TEST(Envelope, CurvesBendSegments) {
  Bench steep, soft;
  steep.Point(0, 0.0f, 0.0f, 1.0f);  // exponent 64: stays at the start until the very end
  soft.Point(0, 0.0f, 0.0f, 0.0f);   // exponent 1/64: almost at once at the end level
  for (int tick = 0; tick < 86; ++tick) steep.Tick(false), soft.Tick(false);
  EXPECT_LT(steep.output, 1e-10f);
  EXPECT_NEAR(soft.output, std::pow(32.0 * 86 / 5513.04, 1.0 / 64), 1e-5);
}

TEST(Envelope, SustainAndLoops) {
  Bench b;  // up to 1 at half time, down to 0.25: sustained on point 1 while held
  b.patch[kEnvLastPointIndex] = PointValue(2);
  b.Point(1, 0.5f, 1.0f);
  b.Point(2, 1.0f, 0.25f);
  b.Loop(1, 1);
  for (int tick = 0; tick < 1000; ++tick) b.Tick(true);
  EXPECT_NEAR(b.output, 1.0f, 1e-3);  // positions are whole samples: a hair below the level
  for (int tick = 0; tick < 1000; ++tick) b.Tick(false);
  EXPECT_NEAR(b.output, 0.25f, 0.01f);

  // A triangle looping over points 0..2 (about 86 ticks a cycle), then on to 0.5.
  auto triangle = [](bool while_held) {
    Bench t;
    t.patch[kEnvLastPointIndex] = PointValue(3);
    t.Point(1, 0.25f, 1.0f);
    t.Point(2, 0.5f, 0.0f);
    t.Point(3, 1.0f, 0.5f);
    t.Loop(0, 2, while_held);
    return t;
  };
  Bench forever = triangle(false);
  EXPECT_GE(forever.Peaks(true, 860), 9);
  EXPECT_GE(forever.Peaks(false, 860), 9);  // keeps looping after release
  Bench held = triangle(true);
  EXPECT_GE(held.Peaks(true, 860), 9);
  EXPECT_LE(held.Peaks(false, 860), 1);  // stops looping at release
  EXPECT_NEAR(held.output, 0.5f, 0.01f);
}

TEST(Envelope, PointIndicesStayWithinTheStoredPoints) {
  Bench b;
  b.patch[kEnvLastPointIndex] = 1.0f;  // reads 39
  b.patch[kEnvLoopStartIndex] = 1.0f;
  b.patch[kEnvLoopEndIndex] = 0.5f;  // below the start: raised to it
  for (int tick = 0; tick < 500; ++tick) ASSERT_TRUE(std::isfinite(b.Tick(tick < 250)));
  EXPECT_EQ(b.shape.last, kEnvelopePoints - 1);
  EXPECT_EQ(b.shape.loop_end, kEnvelopePoints - 1);
}

// The engine rebuilds only the shapes whose values moved, and all of them for a new tempo: each
// value of each envelope's blocks must reach its shape by the next block. Loop end goes before
// loop start, which would otherwise carry it along.
TEST(Envelope, EveryValueChangeReachesItsShapeByTheNextBlock) {
  Harness h;
  h.Render(512);
  auto version = [&h](int e) { return h.engine().envelope_shape(e).version; };
  for (int e = 0; e < kEnvelopes; ++e) {
    const int point = (7 * e) % kEnvelopePoints;
    for (int index :
         {kEnvLoopModeIndex + e, kEnvLengthIndex + e, kEnvLoopEndIndex + e, kEnvLoopStartIndex + e,
          kEnvLastPointIndex + e, kEnvTimeIndex + kEnvelopePoints * e + point,
          kEnvLevelIndex + kEnvelopePoints * e + point,
          kEnvCurveIndex + kEnvelopePoints * e + point}) {
      const uint32_t before = version(e);
      h.Set(index, h.engine().Patch(index) < 0.5f ? 0.9f : 0.1f);
      h.Render(512);
      EXPECT_NE(version(e), before) << "envelope " << e << ", index " << index;
    }
  }
  uint32_t before[kEnvelopes];
  for (int e = 0; e < kEnvelopes; ++e) before[e] = version(e);
  h.Set(2, 0.8f);  // tempo 180
  h.Render(512);
  for (int e = 0; e < kEnvelopes; ++e) EXPECT_NE(version(e), before[e]) << "envelope " << e;
}

}  // namespace
}  // namespace vellicor::testing
