#include "host/note_analysis.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "engine/fourier.h"

namespace vellicor::host {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Bins on each side of a harmonic counted as the harmonic: the window's main lobe is 4 wide,
// beyond 6 its leakage is 90 dB down.
constexpr int kLobe = 6;

// The peak's position in bins near `bin` (the largest within `reach`, refined by a parabola
// through its neighbours' logarithms); -1 when there is none.
double PeakNear(const std::vector<double>& power, double bin, int reach) {
  const int last = static_cast<int>(power.size()) - 2;
  const int from = std::max(1, static_cast<int>(std::lround(bin)) - reach);
  const int to = std::min(last, static_cast<int>(std::lround(bin)) + reach);
  if (from > to) return -1.0;
  int best = from;
  for (int k = from; k <= to; ++k) {
    if (power[k] > power[best]) best = k;
  }
  if (!(power[best] > 0.0) || power[best] < power[best - 1] || power[best] < power[best + 1]) {
    return -1.0;
  }
  const double a = std::log(power[best - 1] + 1e-300), b = std::log(power[best]),
               c = std::log(power[best + 1] + 1e-300);
  const double curve = a - 2.0 * b + c;
  return best + (curve < 0.0 ? 0.5 * (a - c) / curve : 0.0);
}

}  // namespace

bool AnalyzeNote(const float* samples, size_t count, double sample_rate, double note,
                 NoteSpectrum* result) {
  if (samples == nullptr || result == nullptr || !(sample_rate > 0.0) || count < 1024) return false;
  size_t n = 1024;
  while (n * 2 <= count && n < 262144) n *= 2;
  // Four-term Blackman-Harris: sidelobes 92 dB down.
  std::vector<double> re(n), im(n, 0.0);
  for (size_t i = 0; i < n; ++i) {
    const double x = 2.0 * kPi * static_cast<double>(i) / static_cast<double>(n);
    const double w =
        0.35875 - 0.48829 * std::cos(x) + 0.14128 * std::cos(2 * x) - 0.01168 * std::cos(3 * x);
    re[i] = w * samples[i];
  }
  FourierTransform(n).Run(re, im, -1);
  std::vector<double> power(n / 2 + 1);
  for (size_t k = 0; k <= n / 2; ++k) power[k] = re[k] * re[k] + im[k] * im[k];
  const double bin_hz = sample_rate / static_cast<double>(n);

  // The fundamental: near the note, or the strongest peak above 20 Hz.
  double bin = -1.0;
  if (note >= 0.0) {
    const double expected = 110.0 * std::pow(2.0, (note - 57.0) / 12.0) / bin_hz;
    bin = PeakNear(power, expected, std::max(2, static_cast<int>(expected * 0.03)));
  } else {
    const size_t first = static_cast<size_t>(std::ceil(20.0 / bin_hz)) + 1;
    size_t best = first;
    for (size_t k = first; k + 1 < power.size(); ++k) {
      if (power[k] > power[best]) best = k;
    }
    bin = PeakNear(power, static_cast<double>(best), 1);
  }
  if (!(bin > kLobe)) return false;
  const double fundamental_power = power[static_cast<size_t>(std::lround(bin))];
  // Each harmonic found narrows the fundamental down (an error of d bins is h d at harmonic h).
  const double nyquist_bin = static_cast<double>(n / 2);
  for (int h = 2; h * bin < nyquist_bin - kLobe; ++h) {
    const double at = PeakNear(power, h * bin, 3);
    if (at > 0.0 && power[static_cast<size_t>(std::lround(at))] > 1e-7 * fundamental_power) {
      bin = at / h;
    }
  }

  // Energy at the harmonics (DC counted as one), and the strongest bin elsewhere.
  std::vector<char> harmonic(power.size(), 0);
  int harmonics = 0;
  for (int h = 0; h * bin <= nyquist_bin + kLobe; ++h) {
    const long centre = std::lround(h * bin);
    for (long k = centre - kLobe; k <= centre + kLobe; ++k) {
      if (k >= 0 && k < static_cast<long>(power.size())) harmonic[static_cast<size_t>(k)] = 1;
    }
    if (h > 0 && h * bin < nyquist_bin) ++harmonics;
  }
  double total = 0.0, off = 0.0, strongest = 0.0;
  size_t strongest_bin = 0;
  for (size_t k = 0; k < power.size(); ++k) {
    total += power[k];
    if (harmonic[k]) continue;
    off += power[k];
    if (power[k] > strongest) {
      strongest = power[k];
      strongest_bin = k;
    }
  }
  if (!(total > 0.0)) return false;
  auto db = [](double ratio) { return 10.0 * std::log10(std::max(ratio, 1e-30)); };
  result->fundamental = bin * bin_hz;
  result->harmonics = harmonics;
  result->off_harmonic_db = db(off / total);
  result->strongest_db = db(strongest / fundamental_power);
  result->strongest_hz = static_cast<double>(strongest_bin) * bin_hz;
  return true;
}

}  // namespace vellicor::host
