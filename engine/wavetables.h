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

  // Attaches the alias-free oscillators' ladders, building them on first use in the process.
  // Not on the audio thread: Band is read only once this has been done.
  void PrepareBands();
  // Level 0..kBandLevels + 1 of the alias-free oscillators' ladder for a choice; silence for
  // the noise waves, which the alias-free reading reads as the plain one does (they have
  // no harmonics to keep: what folds back is more noise), and for the silent choices.
  const BandTable& Band(int choice, int level) const {
    if (static_cast<unsigned>(choice) >= static_cast<unsigned>(kComputedWaves) ||
        static_cast<unsigned>(level) > static_cast<unsigned>(kBandLevels + 1)) {
      return *silent_band_;
    }
    return ladders_[choice][level];
  }

 private:
  const float* tables_[kWaveChoices];
  // The shared ladders, kept here so the control tick reads them without asking for them.
  const BandTable* ladders_[kComputedWaves];
  const BandTable* silent_band_;
  float noise1_[kWavePoints];
  float noise2_[kWavePoints];
};

}  // namespace vellicor
