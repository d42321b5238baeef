#include "engine/envelope.h"

#include "engine/portable_math.h"
#include "engine/tables.h"

namespace vellicor {

void PrepareEnvelope(EnvelopeShape* shape, int e, const Relaxed<float>* patch, float sample_rate,
                     float tempo) {
  const float length = patch[kEnvLengthIndex + e];
  shape->off = length == 0.0f;
  shape->loop_while_held = patch[kEnvLoopModeIndex + e] >= 0.5f;
  const float quarter_beats = LengthOf(length);
  shape->scale = quarter_beats * 15.0f * sample_rate / (tempo + 0.01f) + 1.0f;
  // Indices above 19 name points this envelope does not store: they read as the last one.
  shape->last = Choice(patch[kEnvLastPointIndex + e], 39.99f, kEnvelopePoints - 1);
  shape->loop_start = Choice(patch[kEnvLoopStartIndex + e], 39.99f, kEnvelopePoints - 1);
  const int loop_end = Choice(patch[kEnvLoopEndIndex + e], 39.99f, kEnvelopePoints - 1);
  shape->loop_end = loop_end < shape->loop_start ? shape->loop_start : loop_end;
  for (int i = 0; i < kEnvelopePoints; ++i) {
    const float time = patch[kEnvTimeIndex + 20 * e + i];
    shape->time[i] = time;
    shape->position[i] = IntPart(shape->scale * time);
    shape->level[i] = patch[kEnvLevelIndex + 20 * e + i];
    const float curve = patch[kEnvCurveIndex + 20 * e + i];
    if (!shape->curve_valid[i] || shape->curve_source[i] != curve) {
      shape->curve[i] = pmath::Exp2f(12.0f * curve - 6.0f);
      shape->curve_source[i] = curve;
      shape->curve_valid[i] = true;
    }
  }
}

float ReleaseStep(float release_parameter, float sample_rate, float tempo) {
  const float half_beats = LengthOf(release_parameter);
  return 1.0f / (half_beats * 30.0f * sample_rate / (tempo + 0.01f) + 100.0f);
}

}  // namespace vellicor
