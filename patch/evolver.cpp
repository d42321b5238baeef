#include "patch/evolver.h"

#include <cmath>

#include "engine/tables.h"

namespace vellicor::evolver {

namespace {

// The bred range: below it the voice mode, volume, tempo, main envelope, bend range and the
// arpeggiator's settings; from its end on the envelopes' loop points, point counts and point
// times, none of which may move or the points would leave their places in time.
constexpr int kFirstBred = 9;
constexpr int kLastBred = 269;

constexpr int kEnvelopes = 8;
constexpr int kEnvelopePoints = 20;
constexpr int kLastPointBase = 310;
constexpr int kLevelBase = 710;
constexpr int kCurveBase = 1110;

struct WrapRange {
  int first;
  int last;
  double k1;
  double k2;
};
// Choices whose value read back must stay a choice: the LFO selectors (5 LFOs and none), the
// envelope selectors (8 envelopes and none), the waves, the FM sources and the filter types.
constexpr WrapRange kWrapping[] = {
    {19, 20, 10.99, 5.99},    {53, 54, 10.99, 5.99},  {74, 75, 10.99, 5.99},
    {132, 132, 10.99, 5.99},  {49, 50, 10.99, 8.99},  {52, 52, 10.99, 8.99},
    {70, 71, 10.99, 8.99},    {73, 73, 10.99, 8.99},  {131, 131, 10.99, 8.99},
    {190, 199, 10.99, 8.99},  {39, 39, 49.99, 13.99}, {59, 59, 49.99, 13.99},
    {170, 174, 49.99, 13.99}, {46, 46, 49.99, 1.99},  {66, 66, 49.99, 1.99},
    {120, 120, 12.99, 11.99},
};

double Limit(double v) {
  return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

// The parent's value moved by up to `amount`, in double so that a zero move gives the parent
// back exactly once stored as a single.
float Moved(float parent, double amount, const RandomSource& random) {
  return static_cast<float>(Limit(parent + amount * (2.0 * random() - 1.0)));
}

}  // namespace

GeneRule RuleOf(int index) {
  if (index < kFirstBred || index > kLastBred) return {Gene::kFixed};
  // The MIDI-learn and voice-reset requests, two unused indices, and the editor's view of
  // which envelope it shows.
  if ((index >= 14 && index <= 18) || index == 21 || index == 22 ||
      (index >= 219 && index <= 227)) {
    return {Gene::kFixed};
  }
  for (const WrapRange& w : kWrapping) {
    if (index >= w.first && index <= w.last) return {Gene::kWrapping, w.k1, w.k2};
  }
  return {Gene::kPlain};
}

void Breed(Slot parent, float level, float amount, Slots& slots, const RandomSource& random) {
  const double p = static_cast<double>(level) * level;
  const double a = static_cast<double>(amount) * amount;
  for (Slot& slot : slots) slot = parent;
  for (int s = 0; s < kSlotCount; ++s) {
    Slot& slot = slots[static_cast<size_t>(s)];
    if (s != kCentreSlot) {
      for (int i = kFirstBred; i <= kLastBred; ++i) {
        if (random() >= p) continue;
        const GeneRule rule = RuleOf(i);
        const float from = parent[static_cast<size_t>(i)];
        switch (rule.gene) {
          case Gene::kFixed:
            break;
          case Gene::kPlain:
            slot[static_cast<size_t>(i)] = Moved(from, a, random);
            break;
          case Gene::kWrapping: {
            const double x = (from + a * (2.0 * random() - 1.0)) * rule.k1;
            const double q = std::floor(x / rule.k2);
            slot[static_cast<size_t>(i)] = static_cast<float>(Limit((x - q * rule.k2) / rule.k1));
            break;
          }
        }
      }
    }
    for (int e = 0; e < kEnvelopes; ++e) {
      // Bounded: a stored point count past the last point slot must not reach the next
      // envelope's values.
      const int last =
          Choice(slot[static_cast<size_t>(kLastPointBase + e)], 39.99f, kEnvelopePoints - 1);
      for (int j = 0; j <= last; ++j) {
        const size_t level_at = static_cast<size_t>(kLevelBase + kEnvelopePoints * e + j);
        const size_t curve_at = static_cast<size_t>(kCurveBase + kEnvelopePoints * e + j);
        if (random() < p) slot[level_at] = Moved(parent[level_at], a, random);
        if (random() < p) slot[curve_at] = Moved(parent[curve_at], a, random);
      }
    }
  }
}

}  // namespace vellicor::evolver
