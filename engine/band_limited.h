// The alias-free oscillators' waves: every computed wave of the bank again as a ladder of
// band-limited copies, three to the octave, each holding the wave's harmonics up to its own
// limit and nothing above. An oscillator reads the richest copy whose top harmonic stays below
// half the sample rate at the speed it reads it, crossfading into the next one before the top
// harmonic gets there, so a glide or a bend never switches a harmonic on or off at once.
//
// The copies are built once per process and shared read-only by every instance. A copy of
// harmonics up to H has 32 to 64 points per cycle of harmonic H (512 at least), read with
// linear interpolation: the interpolation's images then lie 60 dB or more below the harmonics
// that make them. Copies that would hold every harmonic the wave has are one copy.
#pragma once

#include <cstdint>

namespace vellicor {

// One band-limited copy: points[0..mask] and a guard point equal to points[0] after them,
// offset floats into the shared pool (BandPool). A position p in 0..65536 (phase units) reads
// points at p * scale.
struct BandTable {
  const float* points;
  int32_t offset;
  float scale;   // points per phase unit: a power of two, mask + 1 over 65536
  int32_t mask;  // points - 1
  float slope;   // the steepest change of the wave per cycle, for FM's reach
  // The copy's first quarter as an oscillator restarted by sync reads it (kRestartSpan):
  // points 0..(mask + 1) / 4, offset floats into the pool.
  int32_t restart_offset;
};

// Sync restarting an oscillator near phase 0 lands inside its copy's band-limited jump at 0
// (the saw's reset, the square's edge), whose second half would then start at its steepest,
// with no first half: a jump that never happened. Over the first kRestartSpan phase units
// after a restart, the oscillator reads a restart copy instead: the wave itself at 0 blending
// into the copy (a smoothstep over the span), so the copy's ripple around 0 is faded out and
// the only jump is sync's, which is corrected where it happens.
constexpr float kRestartSpan = 16384.0f;

constexpr int kBandsPerOctave = 3;
constexpr int kBandTopHarmonic = 2048;  // copies of 65,536 points hold up to this
// Levels 0..kBandLevels - 1 hold harmonics up to floor(2048 2^(-L/3)), down to the fundamental
// alone; level kBandLevels is silent (a fundamental above half the sample rate).
constexpr int kBandLevels = 34;

// The highest harmonic of level L (0 from kBandLevels on): floor(2048 2^(-L/3)), from exact
// powers of two and the two cube roots.
constexpr int BandHarmonics(int level) {
  if (level < 0) return kBandTopHarmonic;
  if (level >= kBandLevels) return 0;
  constexpr double kThirds[kBandsPerOctave] = {1.0, 0.79370052598409973738, 0.62996052494743658238};
  const double h = kBandTopHarmonic * kThirds[level % kBandsPerOctave] /
                   static_cast<double>(1 << (level / kBandsPerOctave));
  return static_cast<int>(h + 1e-9);
}

// The richest level alias-free at an effective phase increment (phase units per sample: the
// increment, widened by FM, pulse-width compression and ring modulation): its top harmonic
// stays below half the sample rate.
int ChooseLevel(float effective_increment);
// The level an oscillator reads next, from the one it reads now (-1: none yet) and its
// effective increment. It keeps a level while the level stays alias-free with half a semitone
// to spare, moves to a poorer one when it would not, and back to a richer one only when that
// one has a semitone and a half to spare (a pitch wobbling at a boundary does not flip between
// two). A move fades from the old level into the new over a control tick, which the old level
// survives alias-free unless the pitch leapt (then `fade` is false: the leap hides the switch). The
// harmonics a move drops or adds lie in the top third of an octave below half the sample rate.
struct BandMove {
  int level;
  bool fade;
};
BandMove MoveBand(int current, float effective_increment);
// Ticks of kBandFadeFrames frames: how long a move's fade lasts.
constexpr int kBandFadeFrames = 32;

// Jumps and bends the ladders cannot hold (sync's resets, the pulse-width warp's corners) are
// corrected in the output: a jump of size J (a bend: a change of slope of S per frame) that
// happened `since` frames before frame n adds J * Step(j)(since) (S * Ramp(j)(since)) to frame
// n - kCorrectionHalf + j, j = 0..2 kCorrectionHalf - 1. These are the residuals of a step and
// a ramp band-limited by a Kaiser-windowed sinc cut at 0.42 of the sample rate, 70 dB down from
// half of it, sampled at kCorrectionPoints + 1 points of `since` in 0..1.
constexpr int kCorrectionHalf = 8;
constexpr int kCorrectionTaps = 2 * kCorrectionHalf;
constexpr int kCorrectionPoints = 64;
// The residuals as rows of kCorrectionTaps values, one row for each of the kCorrectionPoints + 1
// points of `since`: row p holds taps 0..kCorrectionTaps - 1 at since = p / kCorrectionPoints.
const float* StepResidual();
const float* RampResidual();

// The ladders of the twelve computed waves and a silent table, all in one pool of floats, and
// the correction residuals: built on first use, once per process (some 0.15 s), so the first
// use is where a format activates the plug-in (Engine::PrepareAliasFree), never the audio
// thread.
const BandTable& SharedBand(int wave, int level);
const BandTable& SilentBand();
const float* BandPool();
// Bytes the shared ladders take.
int64_t SharedBandBytes();

}  // namespace vellicor
