// The evolver's breeding: nine slots filled from one parent sound, eight of them mutated at
// random. How often a value moves is the level, how far the amount (both squared first). Pure
// arithmetic on plain arrays with the random source passed in, so a seeded source reproduces a
// breed exactly.
#pragma once

#include <array>
#include <functional>

#include "parameters/parameter_table.h"

namespace vellicor::evolver {

constexpr int kSlotCount = 9;
constexpr int kCentreSlot = 4;  // the middle of the 3 x 3 grid: keeps the parent's parameters
// A slot holds the patch values before param::kEvolverSlotEnd: the parameters, the envelopes and
// everything up to the evolver's own controls, which a bred sound leaves alone.
constexpr int kSlotValues = param::kEvolverSlotEnd;

using Slot = std::array<float, kSlotValues>;
using Slots = std::array<Slot, kSlotCount>;
// Uniform draws in [0, 1).
using RandomSource = std::function<double()>;

// How a value of the bred range (the LFO restart switch to the envelopes' lengths) mutates.
enum class Gene {
  kFixed,     // never changes (MIDI requests, view settings, ...), though it takes its draw
  kPlain,     // moves by up to the amount, limited to 0..1
  kWrapping,  // a choice that moves by up to amount * k1 choices and wraps round within k2
};
struct GeneRule {
  Gene gene;
  double k1 = 0.0;  // the choice's read-back scale
  double k2 = 0.0;  // where its choice numbers wrap
};
GeneRule RuleOf(int index);

// Fills all nine slots with `parent` and mutates every slot but the centre's parameters, and
// every slot's envelope levels and curves, the centre's included. `level` and `amount` are the
// evolver's controls (0..1). The parent is taken by value: breeding from one of the slots
// being filled still varies one and the same parent in every slot.
void Breed(Slot parent, float level, float amount, Slots& slots, const RandomSource& random);

}  // namespace vellicor::evolver
