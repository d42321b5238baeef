#include "patch/evolver.h"

#include <cmath>
#include <cstddef>

#include "engine/envelope.h"
#include "engine/tables.h"
#include "parameters/parameter_table.h"

namespace vellicor::evolver {

namespace {

// The bred range: below it the voice mode, volume, tempo, main envelope, bend range and the
// arpeggiator's settings; from its end on the envelopes' loop points, point counts and point
// times, none of which may move or the points would leave their places in time.
constexpr int kFirstBred = param::kLfoRestart;
constexpr int kLastBred = param::kEnvLoopStart - 1;

constexpr const param::OscillatorIndices& kOsc1 = param::kOscillator[0];
constexpr const param::OscillatorIndices& kOsc2 = param::kOscillator[1];

struct IndexRange {
  int first;
  int last;
};
// Never bred: envelope key tracking, the MIDI-learn and voice-reset requests, the choice of
// alias-free oscillators (a way of playing the sound, not a trait to vary), and the editor's
// view of which envelope it shows.
constexpr IndexRange kFixed[] = {
    {param::kEnvelopeKeyTracking, param::kVoiceReset},
    {param::kAliasFree, param::kAliasFree},
    {param::kEnvelopeShown, param::kEnvelopeShown},
};
// Spare indices that have always been left alone too (a bred sound keeps them as they are).
constexpr IndexRange kFixedSpares[] = {{22, 22}, {220, 227}};

struct WrapRange {
  int first;
  int last;
  double k1;
  double k2;
};
// Choices whose value read back must stay a choice: the LFO selectors (5 LFOs and none), the
// envelope selectors (8 envelopes and none), the waves, the FM sources and the filter types.
constexpr WrapRange kWrapping[] = {
    {param::kVolumeLfo, param::kPanLfo, 10.99, 5.99},
    {kOsc1.volume_lfo, kOsc1.pitch_lfo, 10.99, 5.99},
    {kOsc2.volume_lfo, kOsc2.pitch_lfo, 10.99, 5.99},
    {param::kFilterLfo, param::kFilterLfo, 10.99, 5.99},
    {kOsc1.amp_envelope, kOsc1.pitch_envelope, 10.99, 8.99},
    {kOsc1.fm_envelope, kOsc1.fm_envelope, 10.99, 8.99},
    {kOsc2.amp_envelope, kOsc2.pitch_envelope, 10.99, 8.99},
    {kOsc2.fm_envelope, kOsc2.fm_envelope, 10.99, 8.99},
    {param::kFilterEnvelope, param::kFilterEnvelope, 10.99, 8.99},
    {param::kLfoDepthEnvelope, param::Lfo(param::kLfoSpeedEnvelope, param::kLfoCount - 1), 10.99,
     8.99},
    {kOsc1.wave, kOsc1.wave, 49.99, 13.99},
    {kOsc2.wave, kOsc2.wave, 49.99, 13.99},
    {param::kLfoWave, param::Lfo(param::kLfoWave, param::kLfoCount - 1), 49.99, 13.99},
    {kOsc1.fm_source, kOsc1.fm_source, 49.99, 1.99},
    {kOsc2.fm_source, kOsc2.fm_source, 49.99, 1.99},
    {param::kFilterType, param::kFilterType, 12.99, 11.99},
};

template <size_t kCount>
bool InAny(int index, const IndexRange (&ranges)[kCount]) {
  for (const IndexRange& range : ranges) {
    if (index >= range.first && index <= range.last) return true;
  }
  return false;
}

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
  if (InAny(index, kFixed) || InAny(index, kFixedSpares)) {
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
      const int last = Choice(slot[static_cast<size_t>(param::Envelope(param::kEnvLastPoint, e))],
                              39.99f, kEnvelopePoints - 1);
      for (int j = 0; j <= last; ++j) {
        const size_t level_at = static_cast<size_t>(param::Point(param::kEnvLevel, e, j));
        const size_t curve_at = static_cast<size_t>(param::Point(param::kEnvCurve, e, j));
        if (random() < p) slot[level_at] = Moved(parent[level_at], a, random);
        if (random() < p) slot[curve_at] = Moved(parent[curve_at], a, random);
      }
    }
  }
}

}  // namespace vellicor::evolver
