// The wave bank: single-cycle waves of 65,536 points read by the oscillators, the LFOs and
// the ring modulator. The twelve computed waves are built once per process and shared
// read-only by every instance; the two noise waves are drawn per instance from the shared
// random generator, so they differ between instances as the sound design expects.
#pragma once

#include <cstdint>

#include "engine/band_limited.h"

namespace vellicor {

constexpr int kWavePoints = 65536;
constexpr uint32_t kWaveMask = kWavePoints - 1;
constexpr int kWaveTables = 26;   // the bank: 0..13 filled, 14..25 silent
constexpr int kWaveChoices = 50;  // a wave parameter reads IntPart(49.99 v): 0..49
constexpr int kWaveNoise1 = 12;
constexpr int kWaveNoise2 = 13;
constexpr int kComputedWaves = 12;  // waves 0..11; the noise waves follow

// Computed wave 0..11 as every instance reads it (built on first use).
const float* ComputedWave(int wave);

class WaveBank {
 public:
  WaveBank();

  // Attaches the shared computed waves (building them on first use in the process) and
  // draws the two noise waves from vellicor::random.
  void Build();

  // The wave for a choice 0..49. Choices 14..49 (the bank's silent tables and the readings
  // that name no table at all) all read one silent wave; anything outside 0..49 does too.
  const float* Table(int choice) const {
    return static_cast<unsigned>(choice) < static_cast<unsigned>(kWaveChoices) ? tables_[choice]
                                                                               : tables_[14];
  }
  // The sine wave (table 0), used by the ring modulator.
  const float* Sine() const { return tables_[0]; }

  // Level 0..kBandLevels + 1 of the alias-free oscillators' ladder for a choice. The noise
  // waves have nothing to band-limit (their fold-back is more noise): every level is the wave
  // itself, read as the specified oscillators read it. Silent choices read silence.
  const BandTable& Band(int choice, int level) const {
    if (choice == kWaveNoise1 || choice == kWaveNoise2) return noise_band_[choice - kWaveNoise1];
    if (choice < 0 || choice >= kComputedWaves) return SilentBand();
    return SharedBand(choice, level);
  }

 private:
  const float* tables_[kWaveChoices];
  // Each with a guard point after the cycle (its first point) for interpolated reads.
  float noise1_[kWavePoints + 1];
  float noise2_[kWavePoints + 1];
  BandTable noise_band_[2];
};

}  // namespace vellicor
