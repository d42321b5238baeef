// The one random generator of the whole plug-in: a 32-bit linear congruential generator,
// seed := seed * 134775813 + 1 (mod 2^32), each draw seed / 2^32 in [0, 1).
// It is used from construction, the audio thread (random arpeggio order) and the editor
// (evolver), so its state is atomic; a draw is one compare-and-swap loop, no lock.
#pragma once

#include <cstdint>

namespace vellicor::random {

void Seed(uint32_t seed);
uint32_t State();
// The next draw in [0, 1), as a double so that draws near 1 never round up to 1.
double Next();
// Milliseconds since midnight UTC, the seed construction uses.
uint32_t MillisecondsSinceMidnightUtc();

}  // namespace vellicor::random
