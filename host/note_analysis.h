// The spectrum of a held note: how much of its energy lies off its harmonics, and the strongest
// single component there against the fundamental. Whatever an oscillator folds back from above
// half the sample rate lands between the harmonics, so these two numbers measure aliasing.
// Standard headers only: the engine's tests measure with it too.
#pragma once

#include <cstddef>

namespace vellicor::host {

struct NoteSpectrum {
  double fundamental = 0.0;      // Hz, refined from the harmonics found
  int harmonics = 0;             // below half the sample rate
  double off_harmonic_db = 0.0;  // energy away from the harmonics against all of it
  double strongest_db = 0.0;     // the strongest component away from them, against the
  double strongest_hz = 0.0;     // fundamental (peak against peak), and where it lies
};

// Analyses `count` samples from `samples` (a power of two between 1,024 and 262,144 is used:
// the largest that fits). `note` tells where to look for the fundamental, in the synth's tuning
// (57 is 110 Hz, an octave below MIDI's); below 0 the strongest peak above 20 Hz is taken.
// False when there is no tone to measure.
bool AnalyzeNote(const float* samples, size_t count, double sample_rate, double note,
                 NoteSpectrum* result);

}  // namespace vellicor::host
