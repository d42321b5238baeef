#include "engine/band_clipper.h"

#include <cmath>
#include <cstring>

#include "engine/portable_math.h"
#include "engine/simd.h"

namespace vellicor {

namespace {

using simd::F4;

// What the clipper adds to 1.5 x (engine/output.cpp's SoftClip less 1.5 x): -x |x| / 2 within
// +-1, sign(x) - 1.5 x beyond; a sample that is not a number bends nothing.
F4 Bent(F4 x) {
  using namespace simd;
  const F4 one = Splat(1.0f);
  const F4 a = Abs(x);
  const F4 inside = Negate(Splat(0.5f) * x * a);
  const F4 sign = Or(And(x, Splat(-0.0f)), one);
  const F4 outside = sign - Splat(1.5f) * x;
  const F4 bent = Select(LessEqual(a, one), inside, outside);
  // Nothing for what is not a number, and nothing for a whisper either: its bend would be a
  // denormal, and so would the filters' memories of it.
  return And(And(Less(a, Splat(1e30f)), Less(Splat(1e-12f), a)), bent);
}

// Kaiser-windowed low-pass at twice the rate, cut at 0.1875 of that rate (0.375 of the base):
// its even and odd taps are the interpolator's two phases.
struct Filter {
  float tap[kBandClipTaps];
  Filter() {
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kCut = 0.1875;
    constexpr double kBeta = 3.0;
    auto bessel0 = [](double x) {
      double sum = 1.0, term = 1.0;
      for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
      }
      return sum;
    };
    double h[kBandClipTaps], total = 0.0;
    for (int n = 0; n < kBandClipTaps; ++n) {
      const double t = n - kBandClipDelay;
      const double sinc = t == 0.0 ? 2.0 * kCut : pmath::Sin(2.0 * kPi * kCut * t) / (kPi * t);
      const double r = t / kBandClipDelay;
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

void BandClipper::Prepare() {
  Taps();
}

void BandClipper::Reset() {
  std::memset(input_, 0, sizeof input_);
  std::memset(even_, 0, sizeof even_);
  std::memset(odd_, 0, sizeof odd_);
}

void BandClipper::Run(const float* x, float* y, int count) {
  using namespace simd;
  if (count <= 0) return;
  if (count > kBandClipBlock) count = kBandClipBlock;
  // The taps in every lane, once for the call (the outputs could alias a table read through
  // a pointer, so the loops would otherwise load them again and again).
  const float* const taps = Taps().tap;
  F4 h[kBandClipTaps];
  for (int j = 0; j < kBandClipTaps; ++j) h[j] = Splat(taps[j]);
  constexpr int kEven = (kBandClipTaps + 1) / 2, kOdd = kBandClipTaps / 2;
  static_assert(kEven % 2 == 0 && kOdd % 2 == 1 && 2 * (kOdd / 2) + 1 == kBandClipDelay,
                "the sums below pair the taps around the middle one");
  // A sample that is not a number (or absurd) enters as silence, as the plain clipper gives.
  for (int k = 0; k < count; ++k) input_[kHistory + k] = std::fabs(x[k]) < 1e30f ? x[k] : 0.0f;
  // Four frames at a time (the last group may reach past the frames: those values are never
  // kept). Frame k of this call is at kHistory + k.
  for (int k = 0; k < count; k += 4) {
    const int at = kHistory + k;
    // The input at twice the rate: zeros stuffed between the frames, filtered, gain 2.
    // The filter is symmetric: taps i and kBandClipTaps - 1 - i share their product.
    F4 even = Splat(0.0f), odd = Splat(0.0f);
    for (int j = 0; j < kEven / 2; ++j) {
      even = even + h[2 * j] * (LoadUnaligned(&input_[at - j]) +
                                LoadUnaligned(&input_[at - (kEven - 1 - j)]));
    }
    for (int j = 0; j < kOdd / 2; ++j) {
      odd = odd + h[2 * j + 1] * (LoadUnaligned(&input_[at - j]) +
                                  LoadUnaligned(&input_[at - (kOdd - 1 - j)]));
    }
    odd = odd + h[kBandClipDelay] * LoadUnaligned(&input_[at - kOdd / 2]);
    StoreUnaligned(&even_[at], Bent(Splat(2.0f) * even));
    StoreUnaligned(&odd_[at], Bent(Splat(2.0f) * odd));
  }
  alignas(16) float out[kBandClipBlock + 4];
  for (int k = 0; k < count; k += 4) {
    const int at = kHistory + k;
    // Filtered and taken at the frames' own points: g[2n - i] for tap i.
    F4 bent = Splat(0.0f);
    for (int j = 0; j < kEven / 2; ++j) {
      bent = bent + h[2 * j] * (LoadUnaligned(&even_[at - j]) +
                                LoadUnaligned(&even_[at - (kEven - 1 - j)]));
    }
    for (int j = 0; j < kOdd / 2; ++j) {
      bent = bent + h[2 * j + 1] * (LoadUnaligned(&odd_[at - j - 1]) +
                                    LoadUnaligned(&odd_[at - (kOdd - 1 - j) - 1]));
    }
    bent = bent + h[kBandClipDelay] * LoadUnaligned(&odd_[at - kOdd / 2 - 1]);
    Store(&out[k], Splat(1.5f) * LoadUnaligned(&input_[at - kBandClipDelay]) + bent);
  }
  std::memcpy(y, out, sizeof(float) * static_cast<size_t>(count));
  // The last frames become the history.
  std::memmove(input_, &input_[count], sizeof(float) * kHistory);
  std::memmove(even_, &even_[count], sizeof(float) * kHistory);
  std::memmove(odd_, &odd_[count], sizeof(float) * kHistory);
}

}  // namespace vellicor
