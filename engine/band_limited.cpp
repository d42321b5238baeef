#include "engine/band_limited.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/fourier.h"
#include "engine/portable_math.h"
#include "engine/wavetables.h"

namespace vellicor {

namespace {

// Level L is alias-free while H(L) * increment <= 32768 (the top harmonic at most half the
// sample rate): the increments at which each level stops being so, rising; and for each level
// the next one with fewer harmonics.
struct Limits {
  float limit[kBandLevels];
  int next[kBandLevels];
};

constexpr Limits MakeLimits() {
  Limits limits{};
  for (int level = 0; level < kBandLevels; ++level) {
    limits.limit[level] = static_cast<float>(32768.0 / BandHarmonics(level));
  }
  for (int level = 0; level < kBandLevels; ++level) {
    int n = level + 1;
    while (n < kBandLevels && BandHarmonics(n) == BandHarmonics(level)) ++n;
    limits.next[level] = n;
  }
  return limits;
}

// Computed by the compiler: the control tick asks for them for every oscillator of every voice.
constexpr Limits kLevelLimits = MakeLimits();

}  // namespace

int ChooseLevel(float effective_increment) {
  const Limits& limits = kLevelLimits;
  const float e = effective_increment;
  if (!(e > limits.limit[0])) return 0;
  // Three levels to the octave from an increment of 16: start from the octave's first level
  // (the exponent of e, read from its bits) and step up while the level's harmonics reach past
  // half the rate.
  uint32_t bits;
  std::memcpy(&bits, &e, sizeof bits);
  const int exponent = static_cast<int>((bits >> 23) & 0xFF) - 127;  // e in [2^x, 2^(x + 1))
  int level = std::max(0, kBandsPerOctave * (exponent - 4) - 1);
  while (level < kBandLevels && e > limits.limit[level]) ++level;
  return level;
}

BandMove MoveBand(int current, float effective_increment) {
  constexpr float kHalfSemitone = 1.0293022f;  // 2^(1/24)
  constexpr float kSpare = kHalfSemitone * kHalfSemitone * kHalfSemitone;
  const float e = effective_increment;
  const float* limit = kLevelLimits.limit;
  // Mostly the level stays: alias-free with headroom, its richer neighbour not with room.
  if (current >= 0 && current < kBandLevels && !(e * kHalfSemitone > limit[current]) &&
      (current == 0 || e * kSpare > limit[current - 1])) {
    return {current, false};
  }
  const int needed = ChooseLevel(e * kHalfSemitone);
  if (current < 0) return {needed, false};
  if (needed > current) {
    // Poorer, fading while the old level is still alias-free.
    return {needed, current >= kBandLevels || !(e > limit[current])};
  }
  const int richer = ChooseLevel(e * kSpare);
  if (richer < current) return {richer, true};
  return {current, false};
}

namespace {

constexpr int kPoints = kWavePoints;
// Copies of few harmonics get more points than 32 per cycle of the top one: a sine read by a
// moving position (FM) spreads its interpolation's images, which 512 points keep 100 dB down.
constexpr int kSmallestCopy = 512;

struct SharedBands {
  // Level kBandLevels and the one after it are silent.
  BandTable table[kComputedWaves][kBandLevels + 2];
  std::vector<float> pool = {0.0f, 0.0f};  // the silent table first
  BandTable silent{nullptr, 0, 1.0f / kPoints, 0, 0.0f, 0};

  SharedBands() {
    const FourierTransform transform(kPoints);
    std::vector<double> re(kPoints), im(kPoints);
    for (int w = 0; w < kComputedWaves; ++w) {
      const float* wave = ComputedWave(w);
      for (int n = 0; n < kPoints; ++n) {
        re[n] = wave[n];
        im[n] = 0.0;
      }
      transform.Run(re, im, -1);
      // The wave's own top harmonic: anything 120 dB under its strongest counts as nothing.
      double peak = 0.0;
      for (int k = 1; k <= kPoints / 2; ++k) peak = std::max(peak, std::hypot(re[k], im[k]));
      int top = 1;
      for (int k = 1; k < kPoints / 2; ++k) {
        if (std::hypot(re[k], im[k]) > 1e-6 * peak) top = k;
      }
      int built_harmonics = -1;
      for (int level = 0; level < kBandLevels; ++level) {
        const int h = std::min(BandHarmonics(level), top);
        table[w][level] =
            h == built_harmonics ? table[w][level - 1] : Build(transform, re, im, h, wave);
        built_harmonics = h;
      }
      table[w][kBandLevels] = table[w][kBandLevels + 1] = silent;
    }
    // The pool has its size now: the tables' points.
    silent.points = pool.data();
    for (auto& ladder : table) {
      for (BandTable& band : ladder) band.points = pool.data() + band.offset;
    }
  }

  // The wave's harmonics 0..h (from its transform) at 32 to 64 points per cycle of harmonic h,
  // at least kSmallestCopy.
  BandTable Build(const FourierTransform& transform, const std::vector<double>& re,
                  const std::vector<double>& im, int h, const float* wave) {
    int n = kSmallestCopy;
    while (n < 32 * h && n < kPoints) n *= 2;
    std::vector<double> yr(static_cast<size_t>(n), 0.0), yi(static_cast<size_t>(n), 0.0);
    yr[0] = re[0] / kPoints;
    for (int k = 1; k <= h; ++k) {
      yr[k] = re[k] / kPoints;
      yi[k] = im[k] / kPoints;
      yr[n - k] = yr[k];
      yi[n - k] = -yi[k];
    }
    transform.Run(yr, yi, 1);
    const int32_t offset = static_cast<int32_t>(pool.size());
    pool.resize(pool.size() + static_cast<size_t>(n) + 1);
    float* points = pool.data() + offset;
    for (int j = 0; j < n; ++j) points[j] = static_cast<float>(yr[j]);
    points[n] = points[0];
    float slope = 0.0f;
    for (int j = 0; j < n; ++j) slope = std::max(slope, std::fabs(points[j + 1] - points[j]));
    // The restart copy: at point j (phase p, a point of the wave too), the wave blending into
    // the copy as p crosses the span.
    const int32_t restart_offset = static_cast<int32_t>(pool.size());
    const int quarter = n / 4;
    pool.resize(pool.size() + static_cast<size_t>(quarter) + 1);
    const float* copy = pool.data() + offset;
    float* restart = pool.data() + restart_offset;
    for (int j = 0; j <= quarter; ++j) {
      const int p = j * (kPoints / n);
      const float s = std::min(static_cast<float>(p) * (1.0f / kRestartSpan), 1.0f);
      const float fade = 1.0f - s * s * (3.0f - 2.0f * s);
      restart[j] = copy[j] - fade * (copy[j] - wave[p]);
    }
    return {nullptr, offset, static_cast<float>(n) / kPoints, n - 1, slope * n, restart_offset};
  }
};

const SharedBands& Bands() {
  static const SharedBands bands;  // thread-safe one-time construction
  return bands;
}

struct Residuals {
  alignas(16) float step[kCorrectionPoints + 1][kCorrectionTaps];
  alignas(16) float ramp[kCorrectionPoints + 1][kCorrectionTaps];

  Residuals() {
    constexpr double kPi = 3.14159265358979323846;
    constexpr double kCut = 0.42;  // cycles per frame
    constexpr double kBeta = 7.0;
    constexpr int kFine = 1024;  // integration steps per frame
    constexpr int kHalf = kCorrectionHalf;
    auto bessel0 = [](double x) {
      double sum = 1.0, term = 1.0;
      for (int k = 1; k < 40; ++k) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
      }
      return sum;
    };
    // The kernel on a fine grid over [-K, K], its running integral (the band-limited step) and
    // that integral's (the ramp), less the plain step and ramp.
    const int n = 2 * kHalf * kFine;
    std::vector<double> kernel(static_cast<size_t>(n) + 1);
    double total = 0.0;
    for (int i = 0; i <= n; ++i) {
      const double t = static_cast<double>(i) / kFine - kHalf;
      const double sinc = t == 0.0 ? 2.0 * kCut : pmath::Sin(2.0 * kPi * kCut * t) / (kPi * t);
      const double r = t / kHalf;
      kernel[i] = sinc * bessel0(kBeta * std::sqrt(std::max(0.0, 1.0 - r * r))) / bessel0(kBeta);
      total += (i == 0 || i == n ? 0.5 : 1.0) * kernel[i];
    }
    std::vector<double> step(static_cast<size_t>(n) + 1), ramp(static_cast<size_t>(n) + 1);
    double s = 0.0, q = 0.0;
    for (int i = 0; i <= n; ++i) {
      if (i > 0) s += 0.5 * (kernel[i - 1] + kernel[i]) / total;
      const double t = static_cast<double>(i) / kFine - kHalf;
      step[i] = s - (t >= 0.0 ? 1.0 : 0.0);
      if (i > 0) q += 0.5 * (step[i - 1] + step[i]) / kFine;
      ramp[i] = q;
    }
    // Tap j at `since` d reads t = j - K + d.
    for (int j = 0; j < kCorrectionTaps; ++j) {
      for (int p = 0; p <= kCorrectionPoints; ++p) {
        const int i = j * kFine + p * (kFine / kCorrectionPoints);
        // The step's residual jumps at t = 0: tap K - 1 reaches it from before (d = 1), tap K
        // starts just after it (d = 0).
        const int at = std::min(i, n);
        const bool before = at == kHalf * kFine && p == kCorrectionPoints;
        this->step[p][j] = static_cast<float>(step[at] + (before ? 1.0 : 0.0));
        this->ramp[p][j] = static_cast<float>(ramp[at]);
      }
    }
  }
};

const Residuals& CorrectionResiduals() {
  static const Residuals residuals;  // thread-safe one-time construction
  return residuals;
}

}  // namespace

const BandTable& SharedBand(int wave, int level) {
  const SharedBands& bands = Bands();
  if (wave < 0 || wave >= kComputedWaves || level < 0 || level > kBandLevels + 1) {
    return bands.silent;
  }
  return bands.table[wave][level];
}

const BandTable& SilentBand() {
  return Bands().silent;
}

const float* BandPool() {
  return Bands().pool.data();
}

int64_t SharedBandBytes() {
  CorrectionResiduals();
  return static_cast<int64_t>(Bands().pool.size() * sizeof(float) + sizeof(Residuals));
}

const float* StepResidual() {
  return CorrectionResiduals().step[0];
}

const float* RampResidual() {
  return CorrectionResiduals().ramp[0];
}

}  // namespace vellicor
