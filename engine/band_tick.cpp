// The alias-free oscillators' control tick: which band-limited levels each oscillator of a voice
// reads until the next tick. A level is chosen from how fast the oscillator sweeps its wave,
// the effective increment: the phase increment, widened by whatever makes the wave pass faster
// than the increment says.
//   FM          the read position also moves with the modulator: at most the depth times the
//               modulator's steepest change per sample;
//   pulse width the warp squeezes half of the wave into less than half a cycle: the
//               increment times the warp's greatest compression over the tick;
//   ring        the product holds the sums of both oscillators' frequencies: each oscillator
//               keeps below half the sample rate less the other's top, and so both are read as
//               if they swept at the sum of their increments.
// Sync's jumps are no matter of level: the sample loop corrects each (engine/lanes.cpp).
#include <cmath>

#include "engine/engine.h"
#include "engine/portable_math.h"

namespace vellicor {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The greatest |sin| over [from, to].
double MaxAbsSine(double from, double to) {
  if (!(to - from < kPi)) return 1.0;
  // The first peak (pi/2 + k pi) at or after `from`.
  const double peak = kPi / 2.0 + std::ceil((from - kPi / 2.0) / kPi) * kPi;
  if (peak <= to) return 1.0;
  return std::fmax(std::fabs(pmath::Sin(from)), std::fabs(pmath::Sin(to)));
}

}  // namespace

void Engine::BandCompression(uint32_t counter) {
  for (int m = 0; m < 2; ++m) {
    band_compression_[m] = 1.0f;
    if (!pwm_on_[m]) continue;
    const PulseWidth& pw = pwm_segment_[m][PwmSegment(counter)];
    const float amount = patch_[param::kOscillator[m].pwm_amount];
    // Over this tick and the update after it (the pulse width moves every 8 frames).
    const double rate = osc_[m].pwm_rate;
    const double reach = (kControlPeriod + 2 * kPwmPeriod) * std::fabs(rate);
    const double sine = MaxAbsSine(pw.phase, pw.phase + reach);
    // The narrower side of the pulse, and the factor its half of the wave is squeezed by.
    const double narrow = 0.5 - 0.499 * std::fabs(amount) * sine;
    const double compression = 1.0 / (2.0 * narrow + 0.001);
    // And room for the corners: the warp changes speed in the middle of the wave's steepest
    // parts (a square's edges), where the sample loop's correction of a corner is only the
    // first of its terms. Measured on a square at note 96: 28 dB less fold-back than the
    // plain reading with no room, 32 with 1.26, 34 with 1.6 (two levels down).
    constexpr double kCornerRoom = 1.6;
    band_compression_[m] =
        static_cast<float>((compression > 1.0 ? compression : 1.0) * kCornerRoom);
  }
}

void Engine::BandTick(Voice& voice, uint32_t counter) {
  float swept[2];
  int wave[2];
  for (int m = 0; m < 2; ++m) {
    swept[m] = std::fabs(static_cast<float>(voice.increment[m])) * band_compression_[m];
    wave[m] = osc_[m].wave;
  }
  float effective[2] = {swept[0], swept[1]};
  if (voice.fm_active) {
    for (int m = 0; m < 2; ++m) {
      const int source = osc_[m].fm_source == 1 ? 0 : (osc_[m].fm_source == 2 ? 1 : -1);
      if (source < 0 || voice.fm_depth[m] == 0.0f) continue;
      // The modulator's steepest change per sample, at the level it reads itself without FM.
      const int own = ChooseLevel(swept[source]);
      const float slope = waves_.Band(wave[source], own).slope * swept[source] / 65536.0f;
      // Three times the swing: the sidebands reach past it (measured on Rlead's FM at note 96:
      // -40 dB off the harmonics with the swing alone, -45 with twice, -50 three times).
      effective[m] += 3.0f * std::fabs(voice.fm_depth[m]) * slope * band_compression_[m];
    }
  }
  if (ring_mod_) effective[0] = effective[1] = effective[0] + effective[1];
  for (int m = 0; m < 2; ++m) {
    const BandMove move = MoveBand(voice.band_level[m], effective[m]);
    const BandTable* now = &waves_.Band(wave[m], move.level);
    // A new wave fades in like a new level.
    const bool fade = voice.band_level[m] >= 0 && (move.fade || move.level == voice.band_level[m]);
    if (now != voice.band_to[m] && fade) {
      voice.band_from[m] = voice.band_to[m];
      voice.band_fade_start[m] = counter;
    } else if (now != voice.band_to[m] || counter - voice.band_fade_start[m] >= kBandFadeFrames) {
      voice.band_from[m] = now;
    }
    voice.band_to[m] = now;
    voice.band_level[m] = move.level;
  }
}

}  // namespace vellicor
