#include "engine/envelope.h"

#include <cstring>

#include "engine/portable_math.h"
#include "engine/tables.h"

namespace vellicor {

namespace {

// Stores value in *field, noting whether the stored bits changed.
template <typename T>
void Update(T* field, T value, bool* changed) {
  if (std::memcmp(field, &value, sizeof value) != 0) {
    *field = value;
    *changed = true;
  }
}

}  // namespace

void PrepareEnvelope(EnvelopeShape* shape, int e, const Relaxed<float>* patch, float sample_rate,
                     float tempo) {
  bool changed = false;
  const float length = patch[param::Envelope(param::kEnvLength, e)];
  Update(&shape->off, length == 0.0f, &changed);
  Update(&shape->loop_while_held, patch[param::Envelope(param::kEnvLoopMode, e)] >= 0.5f, &changed);
  const float quarter_beats = LengthOf(length);
  const float scale = quarter_beats * 15.0f * sample_rate / (tempo + 0.01f) + 1.0f;
  Update(&shape->scale, scale, &changed);
  // Indices above 19 name points this envelope does not store: they read as the last one.
  Update(&shape->last,
         Choice(patch[param::Envelope(param::kEnvLastPoint, e)], 39.99f, kEnvelopePoints - 1),
         &changed);
  const int loop_start =
      Choice(patch[param::Envelope(param::kEnvLoopStart, e)], 39.99f, kEnvelopePoints - 1);
  const int loop_end =
      Choice(patch[param::Envelope(param::kEnvLoopEnd, e)], 39.99f, kEnvelopePoints - 1);
  Update(&shape->loop_start, loop_start, &changed);
  Update(&shape->loop_end, loop_end < loop_start ? loop_start : loop_end, &changed);
  for (int i = 0; i < kEnvelopePoints; ++i) {
    const float time = patch[param::Point(param::kEnvTime, e, i)];
    Update(&shape->time[i], time, &changed);
    Update(&shape->position[i], static_cast<int32_t>(IntPart(scale * time)), &changed);
    Update(&shape->level[i], static_cast<float>(patch[param::Point(param::kEnvLevel, e, i)]),
           &changed);
    const float curve = patch[param::Point(param::kEnvCurve, e, i)];
    if (!shape->curve_valid[i] || shape->curve_source[i] != curve) {
      Update(&shape->curve[i], pmath::Exp2f(12.0f * curve - 6.0f), &changed);
      shape->curve_source[i] = curve;
      shape->curve_valid[i] = true;
    }
  }
  if (changed) ++shape->version;
}

float ReleaseStep(float release_parameter, float sample_rate, float tempo) {
  const float half_beats = LengthOf(release_parameter);
  return 1.0f / (half_beats * 30.0f * sample_rate / (tempo + 0.01f) + 100.0f);
}

}  // namespace vellicor
