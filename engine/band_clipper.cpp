#include "engine/band_clipper.h"

#include <cmath>

#include "engine/portable_math.h"

namespace vellicor {

namespace {

// The soft clipper of the output (engine/output.cpp): slope 1.5 at 0, +-1 from +-1 on.
float Clip(float x) {
  const float a = x < 0.0f ? -x : x;
  if (a >= 1.0f) return x < 0.0f ? -1.0f : 1.0f;
  const float y = (3.0f * a - a * a) / 2.0f;
  return x < 0.0f ? -y : y;
}

// Kaiser-windowed low-pass at twice the rate, cut at 0.22 of that rate (0.44 of the base):
// its own 2 taps of every 2 interleave as the interpolator's two phases.
struct Filter {
  float tap[kBandClipTaps];
  Filter() {
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kCut = 0.22;
    constexpr double kBeta = 7.3;
    auto bessel0 = [](double x) {
      double sum = 1.0, term = 1.0;
      for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
      }
      return sum;
    };
    double h[kBandClipTaps], total = 0.0;
    const int middle = kBandClipDelay;
    for (int n = 0; n < kBandClipTaps; ++n) {
      const double t = n - middle;
      const double sinc = t == 0.0 ? 2.0 * kCut : pmath::Sin(2.0 * kPi * kCut * t) / (kPi * t);
      const double r = t / middle;
      h[n] = sinc * bessel0(kBeta * std::sqrt(1.0 - r * r)) / bessel0(kBeta);
      total += h[n];
    }
    for (int n = 0; n < kBandClipTaps; ++n) tap[n] = static_cast<float>(h[n] / total);
  }
};

const Filter& Taps() {
  static const Filter filter;  // thread-safe one-time construction
  return filter;
}

}  // namespace

void BandClipper::Reset() {
  *this = BandClipper();
}

float BandClipper::Run(float x) {
  // A broken sample must not stay in the filters' memories.
  if (!(x >= -1e6f && x <= 1e6f)) x = 0.0f;
  const float* h = Taps().tap;
  input_at_ = (input_at_ + kInputRing - 1) % kInputRing;
  input_[input_at_] = input_[input_at_ + kInputRing] = x;
  const float* in = &input_[input_at_];  // in[j]: the input j frames ago
  // The input at twice the rate: the even taps make the frame's own point, the odd ones the
  // point half a frame later (zeros stuffed between the frames, the gain of 2 restored).
  float even = 0.0f, odd = 0.0f;
  for (int j = 0; 2 * j < kBandClipTaps; ++j) even += h[2 * j] * in[j];
  for (int j = 0; 2 * j + 1 < kBandClipTaps; ++j) odd += h[2 * j + 1] * in[j];
  even *= 2.0f;
  odd *= 2.0f;
  // The bent parts, newest first.
  bent_at_ = (bent_at_ + kBentRing - 2) % kBentRing;
  bent_[bent_at_] = bent_[bent_at_ + kBentRing] = Clip(odd) - 1.5f * odd;
  bent_[bent_at_ + 1] = bent_[bent_at_ + 1 + kBentRing] = Clip(even) - 1.5f * even;
  // Filtered and taken at the frame's own point.
  const float* bent = &bent_[bent_at_ + 1];
  float y = 0.0f;
  for (int k = 0; k < kBandClipTaps; ++k) y += h[k] * bent[k];
  return 1.5f * in[kBandClipDelay] + y;
}

}  // namespace vellicor
