// Breeding: what moves, how far, what never moves, the centre slot, and one parent per breed.
#include "patch/evolver.h"

#include <gtest/gtest.h>

#include <cmath>

#include "engine/tables.h"

namespace vellicor::evolver {
namespace {

// A seeded generator of the plug-in's kind.
RandomSource Seeded(uint32_t seed) {
  return [seed]() mutable { return (seed = seed * 134775813u + 1u) / 4294967296.0; };
}

// Every value somewhere in 0..1, every envelope of ten points.
Slot Parent() {
  Slot parent{};
  const RandomSource random = Seeded(7);
  for (float& v : parent) v = static_cast<float>(random());
  for (int e = 0; e < 8; ++e) parent[310 + e] = 9.5f / 39.99f;
  return parent;
}

TEST(Evolver, LevelZeroCopiesAndAmountZeroMovesOnlyChoicesThatReachTheirWrap) {
  const Slot parent = Parent();
  Slots slots{};
  Breed(parent, 0.0f, 1.0f, slots, Seeded(1));
  for (const Slot& slot : slots) EXPECT_EQ(slot, parent);
  Breed(parent, 1.0f, 0.0f, slots, Seeded(2));
  int wrapped = 0;
  for (int s = 0; s < kSlotCount; ++s) {
    for (int i = 0; i < kSlotValues; ++i) {
      const GeneRule rule = RuleOf(i);
      const double x = parent[i] * rule.k1;
      const bool wraps = s != kCentreSlot && rule.gene == Gene::kWrapping && x >= rule.k2;
      wrapped += wraps;
      EXPECT_FLOAT_EQ(slots[s][i],
                      wraps ? (x - std::floor(x / rule.k2) * rule.k2) / rule.k1 : parent[i]);
    }
  }
  EXPECT_GT(wrapped, 8);
}

TEST(Evolver, FullAmountMovesOnlyBredValuesAndKeepsEveryChoiceReadable) {
  const Slot parent = Parent();
  Slots slots{};
  Breed(parent, 1.0f, 1.0f, slots, Seeded(3));
  int moved = 0, centre_moved = 0;
  for (int s = 0; s < kSlotCount; ++s) {
    for (int i = 0; i < kSlotValues; ++i) {
      const float v = slots[s][i];
      const GeneRule rule = RuleOf(i);
      const bool envelope = (i >= 710 && i < 870) || (i >= 1110 && i < 1270);
      ASSERT_TRUE(v >= 0.0f && v <= 1.0f);
      if (!envelope && (s == kCentreSlot || rule.gene == Gene::kFixed)) {
        ASSERT_EQ(v, parent[i]);
      }
      if (s != kCentreSlot && rule.gene == Gene::kWrapping) {
        ASSERT_LT(IntPart(static_cast<float>(rule.k1) * v), rule.k2) << i;
      }
      moved += v != parent[i];
      centre_moved += s == kCentreSlot && v != parent[i];
    }
  }
  EXPECT_GT(moved, 8 * 200);
  EXPECT_GT(centre_moved, 100);
  for (int i : {0, 8, 14, 18, 21, 22, 219, 227, 270, 310, 350, 1590}) {
    EXPECT_EQ(RuleOf(i).gene, Gene::kFixed) << i;
  }
}

TEST(Evolver, BreedingFromASlotVariesOneParentAndASeedRepeatsIt) {
  Slots slots{};
  Breed(Parent(), 1.0f, 1.0f, slots, Seeded(4));
  const Slot parent = slots[5];
  Slots again = slots;
  Breed(slots[5], 1.0f, 0.3f, slots, Seeded(5));
  Breed(again[5], 1.0f, 0.3f, again, Seeded(5));
  EXPECT_EQ(slots, again);
  // No plain value of any slot lies further than 0.3^2 from the slot bred from.
  for (int s = 0; s < kSlotCount; ++s) {
    for (int i = 0; i < kSlotValues; ++i) {
      if (RuleOf(i).gene != Gene::kWrapping) {
        ASSERT_LE(std::fabs(slots[s][i] - parent[i]), 0.0900001f);
      }
    }
  }
}

}  // namespace
}  // namespace vellicor::evolver
