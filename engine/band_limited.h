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
};

constexpr int kBandsPerOctave = 3;
constexpr int kBandTopHarmonic = 2048;  // copies of 65,536 points hold up to this
// Levels 0..kBandLevels - 1 hold harmonics up to floor(2048 2^(-L/3)), down to the fundamental
// alone; level kBandLevels is silent (a fundamental above half the sample rate).
constexpr int kBandLevels = 34;

// The highest harmonic of level L (0 from kBandLevels on).
int BandHarmonics(int level);

// The richest level alias-free at an effective phase increment (phase units per sample: the
// increment, widened by FM, pulse-width compression and ring modulation): its top harmonic
// stays below half the sample rate.
int ChooseLevel(float effective_increment);
// That level and the weight of the next one (poorer) read with it: over the first seven
// eighths of the increments for which the level is the richest alias-free one, the level
// alone, over the last eighth (half a semitone) the fade into the next, complete where the
// level stops being alias-free. A glide or a bend so never switches a harmonic on or off at
// once.
struct BandChoice {
  int level;
  int next;      // the next level with fewer harmonics (kBandLevels: silence)
  float weight;  // of the next, 0..1
};
BandChoice ChooseBand(float effective_increment);

// Jumps and bends the ladders cannot hold (sync's resets, the pulse-width warp's corners) are
// corrected in the output: a jump of size J (a bend: a change of slope of S per frame) that
// happened `since` frames before frame n adds J * Step(j)(since) (S * Ramp(j)(since)) to frame
// n - kCorrectionHalf + j, j = 0..2 kCorrectionHalf - 1. These are the residuals of a step and
// a ramp band-limited by a Kaiser-windowed sinc cut at 0.42 of the sample rate, 70 dB down from
// half of it, sampled at kCorrectionPoints + 1 points of `since` in 0..1.
constexpr int kCorrectionHalf = 8;
constexpr int kCorrectionTaps = 2 * kCorrectionHalf;
constexpr int kCorrectionPoints = 64;
const float* StepResidual(int tap);
const float* RampResidual(int tap);

// The ladders of the twelve computed waves (built on first use) and a silent table, all in one
// pool of floats.
const BandTable& SharedBand(int wave, int level);
const BandTable& SilentBand();
const float* BandPool();
// Bytes the shared ladders take.
int64_t SharedBandBytes();

}  // namespace vellicor
