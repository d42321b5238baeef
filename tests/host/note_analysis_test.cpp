// The held-note analyser on signals whose answer is known.
#include "host/note_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vellicor::host {
namespace {

constexpr double kRate = 44100.0;
constexpr double kPi = 3.14159265358979323846;

// Harmonics 1..10 of `f0` at 1/h, and one tone off them at `off_hz` and `off_db` against the
// fundamental.
std::vector<float> Tones(double f0, double off_hz, double off_db, size_t count = 65536) {
  std::vector<float> x(count);
  const double off = std::pow(10.0, off_db / 20.0);
  for (size_t n = 0; n < count; ++n) {
    const double t = static_cast<double>(n) / kRate;
    double v = off * std::sin(2 * kPi * off_hz * t + 0.3);
    for (int h = 1; h <= 10; ++h) v += std::sin(2 * kPi * h * f0 * t + h) / h;
    x[n] = static_cast<float>(0.2 * v);
  }
  return x;
}

TEST(NoteSpectrum, FindsTheFundamentalAndMeasuresWhatLiesOffItsHarmonics) {
  const std::vector<float> x = Tones(440.3, 1234.5, -50.0);
  NoteSpectrum s;
  ASSERT_TRUE(AnalyzeNote(x.data(), x.size(), kRate, -1.0, &s));
  EXPECT_NEAR(s.fundamental, 440.3, 0.01);
  EXPECT_EQ(s.harmonics, 50);
  EXPECT_NEAR(s.strongest_db, -50.0, 1.0);
  EXPECT_NEAR(s.strongest_hz, 1234.5, 1.0);
  // The tone's power over all of it: 10^-5 against sum(1/h^2) + 10^-5.
  double harmonics = 0.0;
  for (int h = 1; h <= 10; ++h) harmonics += 1.0 / (h * h);
  EXPECT_NEAR(s.off_harmonic_db, 10.0 * std::log10(1e-5 / (harmonics + 1e-5)), 0.5);

  // Told the key (in the synth's tuning, 57 is 110 Hz: 81 is 440 Hz), it looks there, and a
  // strong tone elsewhere (-3 dB, below the second harmonic's -6) does not become the note.
  const std::vector<float> y = Tones(440.0, 3000.0, -3.0);
  ASSERT_TRUE(AnalyzeNote(y.data(), y.size(), kRate, 81.0, &s));
  EXPECT_NEAR(s.fundamental, 440.0, 0.01);
  EXPECT_NEAR(s.strongest_db, -3.0, 1.0);

  // Harmonics alone leave nothing off them but the window's leakage, 90 dB down.
  const std::vector<float> clean = Tones(523.25, 1000.0, -400.0);
  ASSERT_TRUE(AnalyzeNote(clean.data(), clean.size(), kRate, -1.0, &s));
  EXPECT_LT(s.off_harmonic_db, -85.0);
  EXPECT_LT(s.strongest_db, -85.0);

  // Nothing to measure: too short, or silent.
  EXPECT_FALSE(AnalyzeNote(x.data(), 1000, kRate, -1.0, &s));
  const std::vector<float> silence(8192, 0.0f);
  EXPECT_FALSE(AnalyzeNote(silence.data(), silence.size(), kRate, -1.0, &s));
}

}  // namespace
}  // namespace vellicor::host
