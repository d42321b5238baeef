// The drawn envelopes at their limits, and the engine's rebuilding of their shapes. Timing in
// beats, curves, sustain and both loop modes are pinned by the render-hash scenes
// envelope_routings and lfo_routings.
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
    patch[param::kEnvLength] = LengthValue(14);
    patch[param::kEnvLastPoint] = PointValue(1);
    Point(0, 0.0f, 0.0f);
    Point(1, 1.0f, 1.0f);
  }
  void Point(int j, float time, float level, float curve = 0.5f) {
    patch[param::kEnvTime + j] = time;
    patch[param::kEnvLevel + j] = level;
    patch[param::kEnvCurve + j] = curve;
  }
  float Tick(bool gate) {
    if (!prepared) PrepareEnvelope(&shape, 0, patch.get(), 44100.0f, 120.0f);
    prepared = true;
    return output = TickEnvelope(shape, &position, output, 32.0f, gate);
  }

  std::unique_ptr<Relaxed<float>[]> patch;
  EnvelopeShape shape;
  bool prepared = false;
  float position = 0.0f, output = 0.0f;
};

TEST(Envelope, LengthZeroSwitchesItOffAndIndicesStayWithinTheStoredPoints) {
  Bench off;  // output 1, nothing moves
  off.patch[param::kEnvLength] = 0.0f;
  EXPECT_EQ(off.Tick(true), 1.0f);
  EXPECT_EQ(off.position, 0.0f);

  Bench b;
  b.patch[param::kEnvLastPoint] = 1.0f;  // reads 39
  b.patch[param::kEnvLoopStart] = 1.0f;
  b.patch[param::kEnvLoopEnd] = 0.5f;  // below the start: raised to it
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
    for (int index : {param::kEnvLoopMode + e, param::kEnvLength + e, param::kEnvLoopEnd + e,
                      param::kEnvLoopStart + e, param::kEnvLastPoint + e,
                      param::kEnvTime + kEnvelopePoints * e + point,
                      param::kEnvLevel + kEnvelopePoints * e + point,
                      param::kEnvCurve + kEnvelopePoints * e + point}) {
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
