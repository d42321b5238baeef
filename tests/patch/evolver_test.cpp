// Breeding: what moves, how far, what never moves, the centre slot, and one parent per breed.
#include "patch/evolver.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/tables.h"

namespace vellicor::evolver {
namespace {

RandomSource Seeded(uint32_t seed) {
  return [seed]() mutable { return (seed = seed * 134775813u + 1u) / 4294967296.0; };
}

// Every value somewhere in 0..1, every envelope of ten points.
const Slot kParent = [] {
  Slot parent{};
  const RandomSource random = Seeded(7);
  for (float& v : parent) v = static_cast<float>(random());
  for (int e = 0; e < 8; ++e) parent[310 + e] = 9.5f / 39.99f;
  return parent;
}();

bool Envelope(int i) {
  return (i >= 710 && i < 870) || (i >= 1110 && i < 1270);
}
bool NeverBred(int i) {
  return i < 9 || (i >= 14 && i <= 18) || i == 21 || i == 22 || (i >= 219 && i <= 227) ||
         (i >= 270 && !Envelope(i));
}

TEST(Evolver, LevelSetsHowOftenAndAmountHowFarValuesMove) {
  Slots slots{};
  Breed(kParent, 0.0f, 1.0f, slots, Seeded(1));
  for (const Slot& slot : slots) EXPECT_EQ(slot, kParent);
  // No amount: only choices whose scaled value reaches their wrap move (to the start).
  Breed(kParent, 1.0f, 0.0f, slots, Seeded(2));
  for (int s = 0; s < kSlotCount; ++s) {
    for (int i = 0; i < kSlotValues; ++i) {
      const GeneRule r = RuleOf(i);
      const bool wraps = s != kCentreSlot && r.gene == Gene::kWrapping && kParent[i] * r.k1 >= r.k2;
      ASSERT_EQ(slots[s][i] != kParent[i], wraps) << s << " " << i;
    }
  }
  // Full amount: every bred value moves, within 0..1 and its choices; the centre only varies
  // its envelope levels and curves.
  Breed(kParent, 1.0f, 1.0f, slots, Seeded(3));
  int moved = 0;
  for (int s = 0; s < kSlotCount; ++s) {
    for (int i = 0; i < kSlotValues; ++i) {
      const float v = slots[s][i];
      const GeneRule r = RuleOf(i);
      ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
      const bool kept = NeverBred(i) || (s == kCentreSlot && !Envelope(i));
      ASSERT_TRUE(!kept || v == kParent[i]) << s << " " << i;
      const bool choice = s != kCentreSlot && r.gene == Gene::kWrapping;
      ASSERT_TRUE(!choice || IntPart(static_cast<float>(r.k1 * v)) < r.k2) << i;
      moved += v != kParent[i];
    }
  }
  EXPECT_GT(moved, 9 * 160 + 8 * 244 - 20);
}

TEST(Evolver, BreedingFromASlotVariesOneParentAndASeedRepeatsIt) {
  Slots slots{};
  Breed(kParent, 1.0f, 1.0f, slots, Seeded(4));
  const Slot parent = slots[5];
  Slots again = slots;
  Breed(slots[5], 1.0f, 0.3f, slots, Seeded(5));
  Breed(again[5], 1.0f, 0.3f, again, Seeded(5));
  EXPECT_EQ(slots, again);
  // No plain value of any slot lies further than 0.3^2 from the slot bred from.
  for (int s = 0; s < kSlotCount; ++s) {
    for (int i = 0; i < kSlotValues; ++i) {
      const float step = RuleOf(i).gene == Gene::kWrapping ? 0.0f : slots[s][i] - parent[i];
      ASSERT_LE(std::fabs(step), 0.0900001f) << s << " " << i;
    }
  }
}

}  // namespace
}  // namespace vellicor::evolver
