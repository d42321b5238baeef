// The alias-free oscillators, measured: a held note's energy off its harmonics and the strongest
// component there, on factory program 0 with oscillator 2, the LFOs and the filter off (a saw
// at octave 0), with the host's analyser.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "engine/band_limited.h"
#include "host/note_analysis.h"
#include "patch/factory_bank.h"
#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

using host::NoteSpectrum;

constexpr int kSaw = 2, kSquare = 4;

std::vector<float> PlainPatch() {
  std::vector<float> patch(kPatchSize, 0.0f);
  factory_bank::Fill(0, patch.data());
  patch[62] = 0.0f;                            // oscillator 2 silent
  patch[53] = patch[54] = 1.0f;                // no LFO on oscillator 1
  patch[120] = 0.0f;                           // filter off
  patch[param::kFilterEnvelopeAmount] = 0.5f;  // and unmodulated
  patch[param::kFilterLfo] = 1.0f;
  return patch;
}

// Key `note` held half a second, then `window` samples analysed.
NoteSpectrum Measure(float rate, int note, bool alias_free, Settings settings, int window = 65536) {
  Harness h(rate);
  std::vector<float> patch = PlainPatch();
  for (const auto& [index, value] : settings) patch[static_cast<size_t>(index)] = value;
  patch[param::kAliasFree] = alias_free ? 1.0f : 0.0f;
  h.SelectPatch(patch, rate);
  h.NoteOn(note, 100);
  const int attack = static_cast<int>(0.5f * rate);
  const std::vector<float> x = h.Render(attack + window);
  NoteSpectrum s;
  EXPECT_TRUE(host::AnalyzeNote(x.data() + attack, static_cast<size_t>(window), rate, note, &s));
  return s;
}

TEST(AliasFree, PlainWavesAndRingModulationFoldNothingBack) {
  struct Case {
    float rate;
    int note;
    Settings settings;
  };
  const Case cases[] = {
      {44100.0f, 60, {}},
      {44100.0f, 96, {}},
      {44100.0f, 108, {}},
      {44100.0f, 108, {{39, WaveValue(kSquare)}}},
      {22050.0f, 96, {}},
      {22050.0f, 84, {{39, WaveValue(kSquare)}}},
      {96000.0f, 108, {}},
      {96000.0f, 96, {{39, WaveValue(kSquare)}}},
      // A saw times a saw an octave up.
      {44100.0f, 96, {{62, 0.4875f}, {60, 0.6f}, {65, 0.0f}, {param::kRingModulation, 1.0f}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.rate << " Hz, note " << c.note);
    const NoteSpectrum s = Measure(c.rate, c.note, true, c.settings);
    EXPECT_LE(s.off_harmonic_db, -60.0);
    EXPECT_LE(s.strongest_db, -70.0) << s.strongest_hz << " Hz";
  }
  // As the plain oscillators read them, the same notes fold back plenty.
  EXPECT_GT(Measure(44100.0f, 96, false, {}).off_harmonic_db, -30.0);
}

TEST(AliasFree, PulseWidthSyncAndFmFoldBack30DbLessThanPlain) {
  struct Case {
    const char* name;
    Settings settings;
    int window;
  };
  const Case cases[] = {
      // DistRez's pulse width on a square; a short window, the width moving slowly.
      {"PWM", {{39, WaveValue(kSquare)}, {47, 0.4f}, {48, 0.25f}}, 8192},
      // Sonic's sync: a saw hard-synced a fifth above oscillator 1's saw.
      {"sync", {{61, 0.625f}, {62, 0.7625f}, {param::kOsc2Sync, 1.0f}}, 65536},
      // Rlead's FM: a reversed saw modulated by a silent saw.
      {"FM",
       {{42, 0.0f},
        {59, WaveValue(3)},
        {60, 0.44f},
        {65, 0.0f},
        {62, 0.5625f},
        {64, 0.04f},
        {66, 0.01f}},
       65536},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const NoteSpectrum plain = Measure(44100.0f, 96, false, c.settings, c.window);
    const NoteSpectrum alias_free = Measure(44100.0f, 96, true, c.settings, c.window);
    EXPECT_LE(alias_free.off_harmonic_db, plain.off_harmonic_db - 30.0) << plain.off_harmonic_db;
  }
}

// A pitch swept slowly up and down four octaves, with a wobble: every level read, and the one a
// fade leaves, keeps its harmonics below half the rate; levels change by fades, rarely, and a
// wobble at a boundary does not flip between two.
TEST(AliasFree, LevelsMoveByFadesAndStayBelowHalfTheRate) {
  auto alias_free = [](int level, float e) {
    return static_cast<double>(BandHarmonics(level)) * e <= 32768.0;
  };
  int level = -1, moves = 0, fades = 0;
  std::vector<float> sweep;
  for (float e = 40.0f; e < 640.0f; e *= 1.0005f) sweep.push_back(e);  // 0.009 semitone steps
  for (size_t i = sweep.size(); i-- > 0;) sweep.push_back(sweep[i]);
  for (size_t i = 0; i < sweep.size(); ++i) {
    const float e = sweep[i] * (1.0f + 0.004f * ((i / 8) % 2 == 0 ? 1.0f : -1.0f));
    const BandMove move = MoveBand(level, e);
    ASSERT_TRUE(alias_free(move.level, e)) << e;
    if (level >= 0 && move.level != level) {
      ++moves;
      ASSERT_TRUE(move.fade) << e;
      ASSERT_TRUE(alias_free(level, e)) << "the level faded out, at " << e;
      fades += move.fade;
    }
    level = move.level;
  }
  EXPECT_EQ(moves, 2 * 12);  // three levels to the octave, each passed once each way
  EXPECT_EQ(fades, moves);
  // A leap leaves the old level at once.
  EXPECT_FALSE(MoveBand(0, 400.0f).fade);
}

// Driven hard (a loud program, six notes at full velocity, the volume at +10 dB), the output
// still never leaves +-1: the alias-free clipper's filtered bend rings past its ceiling.
TEST(AliasFree, ADrivenClipperStaysWithinOne) {
  Harness h;
  std::vector<float> patch(kPatchSize, 0.0f);
  factory_bank::Fill(1, patch.data());
  patch[param::kMainVolume] = 1.0f;
  patch[param::kAliasFree] = 1.0f;
  h.SelectPatch(patch);
  for (int note : {36, 43, 48, 55, 60, 67}) h.NoteOn(note);
  std::vector<float> right;
  const std::vector<float> left = h.Render(44100, 512, &right);
  EXPECT_GT(Peak(left), 0.9f);
  EXPECT_LE(Peak(left), 1.0f);
  EXPECT_LE(Peak(right), 1.0f);
}

// A sine at key 60: its steepest step from sample to sample, in a stretch of frames.
float SteepestStep(const std::vector<float>& x, size_t from, size_t to) {
  float steepest = 0.0f;
  for (size_t n = from + 1; n < to; ++n) steepest = std::max(steepest, std::fabs(x[n] - x[n - 1]));
  return steepest;
}

TEST(AliasFree, SwitchingWhileANoteSoundsCrossfadesAndSwitchingBackRestoresTheBits) {
  // The alias-free reading comes out 56 frames late (its corrections and its clipper): without
  // the crossfade a sine would jump by a sixth of its cycle.
  std::vector<float> patch = PlainPatch();
  patch[39] = WaveValue(0);
  Harness h;
  h.SelectPatch(patch);
  h.NoteOn(60, 100);
  std::vector<float> x = h.Render(22050);
  h.Set(param::kAliasFree, 1.0f);
  const std::vector<float> on = h.Render(22050);
  h.Set(param::kAliasFree, 0.0f);
  const std::vector<float> off = h.Render(22050);
  x.insert(x.end(), on.begin(), on.end());
  x.insert(x.end(), off.begin(), off.end());
  const float natural = std::max(SteepestStep(x, 11025, 22050), SteepestStep(x, 33075, 44100));
  EXPECT_LE(SteepestStep(x, 22050, 33075), 1.1f * natural);
  EXPECT_LE(SteepestStep(x, 44100, 55125), 1.1f * natural);

  // Once it has faded back, a plain saw plays the plain bits, as if never switched.
  Harness never, twice;
  never.SelectPatch(PlainPatch());
  twice.SelectPatch(PlainPatch());
  never.NoteOn(60, 100);
  twice.NoteOn(60, 100);
  std::vector<float> right_never, right_twice;
  const std::vector<float> a = never.Render(30000, 512, &right_never);
  twice.Render(5000);
  twice.Set(param::kAliasFree, 1.0f);
  twice.Render(5000);
  twice.Set(param::kAliasFree, 0.0f);
  std::vector<float> b = twice.Render(20000, 512, &right_twice);
  b.insert(b.begin(), 10000, 0.0f);
  right_twice.insert(right_twice.begin(), 10000, 0.0f);
  const size_t settled = 10000 + 2048;  // the fade back is 882 frames
  EXPECT_EQ(std::memcmp(&a[settled], &b[settled], (a.size() - settled) * sizeof(float)), 0);
  EXPECT_EQ(std::memcmp(&right_never[settled], &right_twice[settled],
                        (a.size() - settled) * sizeof(float)),
            0);
}

}  // namespace
}  // namespace vellicor::testing
