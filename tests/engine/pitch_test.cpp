// Pitch as heard: note, octave, semitone, fine tune and bend move the rendered frequency.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

double Frequency(int note, Settings settings = {}, float sample_rate = 44100.0f) {
  Harness h(sample_rate);
  h.Apply(settings);
  h.Midi(0xE0, 0, 0);  // full bend down: 0 semitones unless a range is set
  h.NoteOn(note);
  return MeasureFrequency(h.Render(static_cast<int>(sample_rate)), 2000, sample_rate);
}

TEST(Pitch, NoteOctaveSemitoneFineAndBendMoveTheRenderedFrequency) {
  // Note 69 is 220 Hz; the phase step is an integer: floor(2 * 65535 * 110 / 44100) = 326.
  EXPECT_NEAR(Frequency(69), 326 * 44100.0 / 65536.0, 0.01);
  EXPECT_NEAR(Frequency(69, {}, 96000.0f), 220.0, 1.5);
  const double reference = Frequency(60);
  auto ratio = [&reference](Settings s) { return Frequency(60, s) / reference; };
  EXPECT_NEAR(ratio({{40, 4.5f / 7.99f}}), 2.0, 0.002);  // octave +1
  EXPECT_NEAR(ratio({{40, 0.0f}}), 0.125, 0.002);        // octave -3
  EXPECT_NEAR(ratio({{41, 7.5f / 11.99f}}), std::pow(2.0, 7.0 / 12), 0.002);
  EXPECT_NEAR(ratio({{45, 0.5f}}), std::pow(2.0, 0.5 / 12), 0.002);
  EXPECT_NEAR(ratio({{4, 2.5f / 15.999f}}), std::pow(2.0, -2.0 / 12), 0.002);  // bend -2
}

TEST(Pitch, BendValues) {
  Harness h;
  h.Set(4, 1.0f);  // the last range: 48 semitones
  h.Midi(0xE0, 0, 64);
  EXPECT_EQ(h.engine().pitch_bend(), 0.0f);
  h.Midi(0xE0, 0, 0);
  EXPECT_EQ(h.engine().pitch_bend(), -48.0f);
  h.Set(4, 12.5f / 15.999f);  // a new range applies from the next bend message on
  EXPECT_EQ(h.engine().pitch_bend(), -48.0f);
  h.Midi(0xE0, 0, 127);
  EXPECT_FLOAT_EQ(h.engine().pitch_bend(), 63.0f / 64.0f * 12.0f);
  EXPECT_EQ(h.refreshes(), 3);
}

}  // namespace
}  // namespace vellicor::testing
