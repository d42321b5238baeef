#include "engine/wavetables.h"

#include <algorithm>
#include <cmath>

#include "engine/portable_math.h"
#include "engine/random.h"

namespace vellicor {
namespace {

// The computed waves plus one silent table, built once and never written again.
struct SharedWaves {
  float wave[kComputedWaves][kWavePoints];
  float silence[kWavePoints];

  SharedWaves() {
    using pmath::Sinf;
    for (int n = 0; n < kWavePoints; ++n) {
      const float x = static_cast<float>(n) / 65536.0f;
      const float p = 6.28318f * x;
      wave[0][n] = Sinf(2.0f * 3.14159f * x);
      wave[1][n] = 1.0f - std::fabs(4.0f * x - 2.0f);
      wave[2][n] = 2.0f * x - 1.0f;
      wave[3][n] = 1.0f - 2.0f * x;
      wave[4][n] = x < 0.5f ? -1.0f : 1.0f;
      wave[5][n] = wave[4][n] + wave[2][n];
      wave[6][n] = wave[4][n] + wave[1][n];
      wave[7][n] =
          (Sinf(p) + Sinf(2.0f * p) / 2.0f + Sinf(3.0f * p) / 4.0f + Sinf(4.0f * p) / 8.0f) / 1.41f;
      wave[8][n] = Sinf(p) + Sinf(3.0f * p) / 3.0f + Sinf(5.0f * p) / 5.0f + Sinf(7.0f * p) / 7.0f +
                   Sinf(9.0f * p) / 9.0f;
      wave[9][n] =
          1.5f * (Sinf(p) / 2.0f + Sinf(2.0f * p) / 4.0f + Sinf(4.0f * p) / 8.0f +
                  Sinf(8.0f * p) / 16.0f + Sinf(10.0f * p) / 32.0f + Sinf(32.0f * p) / 64.0f);
      wave[10][n] =
          (0.54f * Sinf(p) + Sinf(2.0f * p) + 0.16f * Sinf(3.0f * p) + 0.0189f * Sinf(4.0f * p) +
           0.093f * Sinf(7.0f * p) + 0.0213f * Sinf(8.0f * p)) /
          1.7f;
      wave[11][n] =
          (Sinf(p) + 0.8f * Sinf(7.0f * p) + 0.6f * Sinf(9.0f * p) + 0.4f * Sinf(13.0f * p)) / 1.9f;
      silence[n] = 0.0f;
    }
  }
};

const SharedWaves& Shared() {
  static const SharedWaves waves;  // thread-safe one-time construction
  return waves;
}

}  // namespace

const float* ComputedWave(int wave) {
  return Shared().wave[wave];
}

namespace {

// A drawn noise cycle has a random average, and the slow layers of the second one a large
// one. Read through a filter that passes DC with high gain (the comb), that average came out
// as a constant offset on the output, different for every instance. Removing it keeps the
// noise and drops the offset.
void RemoveAverage(float (&table)[kWavePoints]) {
  double sum = 0.0;
  for (float point : table) sum += point;
  const double average = sum / kWavePoints;
  for (float& point : table) {
    point = static_cast<float>(std::clamp(point - average, -1.0, 1.0));
  }
}

}  // namespace

WaveBank::WaveBank() : tables_(), ladders_(), silent_band_(nullptr), noise1_(), noise2_() {
  for (auto& table : tables_) table = noise1_;  // silent until Build
}

void WaveBank::PrepareBands() {
  SharedBandBytes();  // builds the ladders and the residuals
  silent_band_ = &SilentBand();
  for (int i = 0; i < kComputedWaves; ++i) ladders_[i] = &SharedBand(i, 0);
}

void WaveBank::Build() {
  const SharedWaves& shared = Shared();
  for (int i = 0; i < kWaveChoices; ++i) tables_[i] = shared.silence;
  for (int i = 0; i < kComputedWaves; ++i) tables_[i] = shared.wave[i];
  tables_[kWaveNoise1] = noise1_;
  tables_[kWaveNoise2] = noise2_;

  for (float& point : noise1_) point = static_cast<float>(2.0 * random::Next() - 1.0);

  // Four layers of noise changing at rates of 1, 1/10, 1/100 and 1/1000 of the points.
  double a = 0.0, b = 0.0, c = 0.0, d = 0.0;
  for (float& point : noise2_) {
    a = random::Next() * 0.25;
    if (random::Next() < 0.1) b = random::Next() * 0.25;
    if (random::Next() < 0.01) c = random::Next() * 0.25;
    if (random::Next() < 0.001) d = random::Next() * 0.25;
    point = static_cast<float>(2.0 * (a + b + c + d) - 1.0);
  }
  RemoveAverage(noise1_);
  RemoveAverage(noise2_);
}

}  // namespace vellicor
