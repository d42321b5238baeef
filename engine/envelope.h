// The drawn multi-point envelopes: per-block shape preparation from the patch record and the
// per-tick advance of one voice's position through a shape, with sustain and loops.
#pragma once

#include <cstdint>
#include <cstring>

#include "engine/portable_math.h"
#include "engine/relaxed.h"
#include "parameters/parameter_table.h"

namespace vellicor {

constexpr int kEnvelopes = 8;        // envelopes the voices run
constexpr int kEnvelopeOutputs = 9;  // plus the "none" slot, always 1
using param::kEnvelopePoints;        // points stored per envelope

struct EnvelopeShape {
  bool off = true;  // length parameter exactly 0: the output is 1
  bool loop_while_held = false;
  float scale = 1.0f;  // samples per unit of envelope time
  int last = 0;        // index of the last point, 0..19
  int loop_start = 0;  // 0..19
  int loop_end = 0;    // loop_start..19
  float time[kEnvelopePoints] = {};
  int32_t position[kEnvelopePoints] = {};
  float level[kEnvelopePoints] = {};
  float curve[kEnvelopePoints] = {};  // exponent 2^(12 v - 6)
  // The curve parameter the exponent was last computed from, so unchanged curves cost nothing.
  float curve_source[kEnvelopePoints] = {};
  bool curve_valid[kEnvelopePoints] = {};
  // Moves on whenever PrepareEnvelope builds a shape that differs from the one before, so that
  // what was computed from the shape can be kept until it changes.
  uint32_t version = 0;
};

// Builds shape e from the patch mirror for the given sample rate and tempo.
void PrepareEnvelope(EnvelopeShape* shape, int e, const Relaxed<float>* patch, float sample_rate,
                     float tempo);

// The level of a shape at position p (after looping); *hold when p lies past the last point,
// where the envelope keeps its previous output.
inline float EnvelopeLevel(const EnvelopeShape& shape, float p, bool* hold) {
  *hold = false;
  if (static_cast<double>(p) == shape.position[0]) return shape.level[0] + 1e-15f;
  for (int j = shape.last - 1; j >= 0; --j) {
    if (shape.position[j] < static_cast<double>(p) &&
        static_cast<double>(p) <= shape.position[j + 1]) {
      const float t = (p / shape.scale - shape.time[j]) / (shape.time[j + 1] - shape.time[j]);
      // Point positions are rounded down, so t can dip just below 0 at a segment's start;
      // that reads as the start rather than a power of a negative number.
      const float shaped = t > 0.0f ? pmath::Powf(t, shape.curve[j]) : 0.0f;
      return (1.0f - shaped) * shape.level[j] + shaped * shape.level[j + 1] + 1e-15f;
    }
  }
  *hold = true;
  return 0.0f;
}

// The last level computed on a shape, for the next voice that stands at the same position at
// the same shape version: voices started together (a chord) pass the same positions.
struct EnvelopeMemo {
  bool valid = false;
  uint32_t version = 0;
  uint32_t position_bits = 0;
  float level = 0.0f;
  bool hold = false;
};

// One control tick of one envelope of one voice. advance is speed controller x 32 x key
// factor. Returns the new output (the previous one when the position lies past the last point).
// Inline: the render loop runs it for eight envelopes of every voice at every tick.
inline float TickEnvelope(const EnvelopeShape& shape, float* position, float previous_output,
                          float advance, bool gate, EnvelopeMemo* memo = nullptr) {
  if (shape.off) return 1.0f;
  // Positions are compared and moved in double so the integer point positions stay exact.
  double pos = static_cast<double>(*position + advance);
  const double start = shape.position[shape.loop_start];
  const double end = shape.position[shape.loop_end];
  if (shape.loop_start == shape.loop_end && gate && pos > start) pos = start;
  if (pos >= end && (gate || !shape.loop_while_held)) pos = pos - end + start;
  const float p = static_cast<float>(pos);
  *position = p;

  bool hold;
  float level;
  uint32_t bits;
  std::memcpy(&bits, &p, sizeof bits);
  if (memo && memo->valid && memo->version == shape.version && memo->position_bits == bits) {
    level = memo->level;
    hold = memo->hold;
  } else {
    level = EnvelopeLevel(shape, p, &hold);
    if (memo) *memo = {true, shape.version, bits, level, hold};
  }
  return hold ? previous_output : level;
}

// Per-sample release decrement: the release takes R half beats plus 100 samples.
float ReleaseStep(float release_parameter, float sample_rate, float tempo);

}  // namespace vellicor
