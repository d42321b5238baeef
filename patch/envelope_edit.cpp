#include "patch/envelope_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "engine/portable_math.h"
#include "engine/tables.h"

namespace vellicor::envelope_edit {

namespace {

constexpr float kMinGap = 0.001f;  // neighbouring times stay this far apart

float Limit(float v) {
  return std::clamp(v, 0.0f, 1.0f);
}

int BoundPoint(int i) {
  return std::clamp(i, 0, kMaxLast);
}

// 2^x as the editor computes it: e^(0.6931472 x), kept as single. The portable maths, not the C
// library's, so that every target stores the same points.
float PowerOfTwo(float x) {
  return static_cast<float>(pmath::Exp(0.6931472 * x));
}

constexpr double kLn2 = 0.69314718055994530942;

// base^p as exp(p ln base), kept as single; base > 0.
float Power(float base, float p) {
  return static_cast<float>(pmath::Exp(p * pmath::Log2(base) * kLn2));
}

void SetPoint(Envelope& env, int k, float time, float level, float curve) {
  env.time[k] = time;
  env.level[k] = level;
  env.curve[k] = curve;
}

void CopyPoint(Envelope& to, int k, const Envelope& from, int j) {
  SetPoint(to, k, from.time[j], from.level[j], from.curve[j]);
}

}  // namespace

float EncodePointIndex(int i) {
  return static_cast<float>(BoundPoint(i) / 39.99);
}

int DecodePointIndex(float v) {
  return Choice(v, 39.99f, kMaxLast);
}

float EncodeShown(int e) {
  return static_cast<float>((std::clamp(e, 0, kShownEnvelopes - 1) + 0.1) / 20.99);
}

float EncodeDestination(int k) {
  return static_cast<float>((std::clamp(k, 0, kDestinationNone) + 0.5) / 10.99);
}

int ScreenX(float time) {
  return IntPart(600.0f * time) + kViewLeft;
}

int ScreenY(float level) {
  return IntPart(100.0f - 100.0f * level) + kViewTop;
}

float CurveExponent(float curve) {
  return PowerOfTwo(12.0f * curve - 6.0f);
}

float SegmentValue(float f, float l0, float l1, float curve) {
  const float p = CurveExponent(curve);
  if (p > kStepExponent) return l0;
  return Power(f + 0.001f, p) * (l1 - l0) + l0;
}

void RepairOrder(std::array<float, kPoints>& time, int last) {
  last = BoundPoint(last);
  for (int k = 1; k < last; ++k) {
    if (time[k] >= time[k + 1]) time[k] = time[k + 1] - kMinGap;
    if (time[k] <= time[k - 1]) time[k] = time[k - 1] + kMinGap;
  }
}

int ClampX(int x) {
  return std::clamp(x, kViewLeft, kViewRight);
}

int ClampY(int y) {
  return std::clamp(y, kViewTop, kViewBottom);
}

int LeftPoint(const Envelope& env, int x) {
  int left = 0;
  for (int k = 0; k <= BoundPoint(env.last); ++k) {
    if (static_cast<float>(x - kViewLeft) - 600.0f * env.time[k] >= 0.0f) left = k;
  }
  return left;
}

Nearest NearestPoint(const Envelope& env, int x, int y) {
  Nearest nearest{0, 10000.0f};
  for (int k = 0; k <= BoundPoint(env.last); ++k) {
    const float d = std::fabs(static_cast<float>(x - kViewLeft) - 600.0f * env.time[k]) +
                    std::fabs(static_cast<float>(y - kViewTop) - (100.0f - 100.0f * env.level[k]));
    if (d < nearest.distance) nearest = {k, d};
  }
  return nearest;
}

float LevelAt(int y) {
  return Limit(static_cast<float>(kViewBottom - y) / 100.0f);
}

float BendCurve(int y) {
  return LevelAt(y);
}

PointPosition DragPoint(const Envelope& env, int s, int x, int y) {
  const int last = BoundPoint(env.last);
  s = std::clamp(s, 0, last);
  float t = Limit(static_cast<float>(x - kViewLeft) / 600.0f);
  if (s == 0) {
    t = 0.0f;
  } else if (s == last) {
    t = 1.0f;
  } else {
    if (t >= env.time[s + 1]) t = env.time[s + 1] - kMinGap;
    if (t <= env.time[s - 1]) t = env.time[s - 1] + kMinGap;
  }
  return {t, LevelAt(y)};
}

bool InsertPoint(Envelope& env, int s, float time, float level, float curve) {
  const int n = env.last;
  if (n >= kMaxLast || s < 0 || s >= n) return false;
  for (int k = n; k > s; --k) CopyPoint(env, k + 1, env, k);
  SetPoint(env, s + 1, time, level, curve);
  env.last = n + 1;
  if (env.loop_start > s) ++env.loop_start;
  if (env.loop_end > s) ++env.loop_end;
  return true;
}

bool AddPoint(Envelope& env, const Envelope& before, int s) {
  if (s < 0 || s >= before.last || before.last > kMaxLast) return false;
  auto mean = [](float a, float b) { return (a + b) / 2.0f; };
  return InsertPoint(env, s, mean(before.time[s], before.time[s + 1]),
                     mean(before.level[s], before.level[s + 1]),
                     mean(before.curve[s], before.curve[s + 1]));
}

bool DeletePoint(Envelope& env, int s) {
  const int n = BoundPoint(env.last);
  if (n < 2 || s <= 0 || s >= n) return false;
  for (int k = s; k < n; ++k) CopyPoint(env, k, env, k + 1);
  env.last = n - 1;
  if (env.loop_start > s) --env.loop_start;
  if (env.loop_end > s) --env.loop_end;
  return true;
}

void SetLoopStart(Envelope& env, int i) {
  env.loop_start = BoundPoint(i);
  if (env.loop_start > env.loop_end) std::swap(env.loop_start, env.loop_end);
}

void SetLoopEnd(Envelope& env, int i) {
  env.loop_end = BoundPoint(i);
  if (env.loop_end < env.loop_start) std::swap(env.loop_start, env.loop_end);
}

void LoopAll(Envelope& env) {
  env.loop_start = 0;
  env.loop_end = env.last;
}

void LoopOff(Envelope& env) {
  env.loop_start = env.last;
  env.loop_end = env.last;
}

void Clear(Envelope& env) {
  env.last = 1;
  env.loop_start = 0;
  env.loop_end = 1;
  SetPoint(env, 0, 0.0f, 0.0f, 0.5f);
  SetPoint(env, 1, 1.0f, 0.0f, 0.5f);
}

bool Double(Envelope& env, const Envelope& before) {
  const int n = before.last;
  if (n < 0 || 2 * n + 1 > kMaxLast) return false;
  for (int k = 0; k <= n; ++k) {
    SetPoint(env, k, before.time[k] * 0.5f, before.level[k], before.curve[k]);
    SetPoint(env, n + 1 + k, before.time[k] * 0.5f + 0.5f, before.level[k], before.curve[k]);
  }
  env.last = 2 * n + 1;
  env.loop_start = 0;
  env.loop_end = env.last;
  return true;
}

void ApplyPreset(Envelope& env, Preset preset) {
  env.last = BoundPoint(env.last);
  auto even = [&env](int m, float level) {
    env.last = m;
    for (int k = 0; k <= m; ++k) SetPoint(env, k, static_cast<float>(k) / m, level, 0.5f);
    env.loop_start = 0;
    env.loop_end = m;
  };
  auto levels = [&env](float level) {
    for (int k = 0; k <= env.last; ++k) {
      env.level[k] = level;
      env.curve[k] = 0.5f;
    }
  };
  switch (preset) {
    case Preset::kUp:
    case Preset::kDown: {
      // A ramp needs two points; a one-point envelope from a stray patch value gets them.
      const int n = std::max(env.last, 1);
      env.last = n;
      for (int k = 0; k <= n; ++k) {
        const float f = static_cast<float>(k) / n;
        SetPoint(env, k, f, preset == Preset::kUp ? f : 1.0f - f, 0.5f);
      }
      break;
    }
    case Preset::kFull:
      levels(1.0f);
      break;
    case Preset::kHalf:
      levels(0.5f);
      break;
    case Preset::kZero:
      levels(0.0f);
      break;
    case Preset::k4:
      even(4, 0.5f);
      break;
    case Preset::k8:
      even(8, 0.5f);
      break;
    case Preset::k16:
      even(16, 0.5f);
      break;
    case Preset::kSine:
      even(16, 0.5f);
      for (int k = 0; k <= 16; ++k) {
        env.level[k] = static_cast<float>(pmath::Sin(k * 6.28318 / 16) * 0.5 + 0.5);
      }
      break;
    case Preset::kSquare:
      env.last = 3;
      SetPoint(env, 0, 0.0f, 0.0f, 0.5f);
      SetPoint(env, 1, 0.499f, 0.0f, 0.5f);
      SetPoint(env, 2, 0.501f, 1.0f, 0.5f);
      SetPoint(env, 3, 1.0f, 1.0f, 0.5f);
      env.loop_start = 0;
      env.loop_end = 3;
      break;
    case Preset::kTriangle:
      env.last = 2;
      SetPoint(env, 0, 0.0f, 0.0f, 0.5f);
      SetPoint(env, 1, 0.5f, 1.0f, 0.5f);
      SetPoint(env, 2, 1.0f, 0.0f, 0.5f);
      env.loop_start = 0;
      env.loop_end = 2;
      break;
  }
}

int LevelSteps(LevelSnap snap) {
  switch (snap) {
    case LevelSnap::kOff:
      return 0;
    case LevelSnap::kSevenSemi:
      return 7;
    case LevelSnap::kOneOct:
      return 12;
    case LevelSnap::kFourOct:
      return 48;
  }
  return 0;
}

float TimeGrid(TimeSnap snap, float quarter_beats) {
  switch (snap) {
    case TimeSnap::kOff:
      return 0.0f;
    case TimeSnap::kQbeat:
      return quarter_beats;
    case TimeSnap::kHalfQbeat:
      return 2.0f * quarter_beats;
    case TimeSnap::kQuarterQbeat:
      return 4.0f * quarter_beats;
  }
  return 0.0f;
}

void Snap(Envelope& env, TimeSnap time_snap, LevelSnap level_snap, float quarter_beats) {
  const int last = BoundPoint(env.last);
  const float g = TimeGrid(time_snap, quarter_beats);
  if (quarter_beats > 1.0f && g > 0.0f) {
    // The last point keeps time 1.
    for (int k = 0; k < last; ++k) {
      env.time[k] = static_cast<float>(IntPart(g * env.time[k] + 0.5f)) / g;
    }
  }
  const int n = LevelSteps(level_snap);
  if (n > 0) {
    for (int k = 0; k <= last; ++k) {
      env.level[k] = static_cast<float>(IntPart(static_cast<float>(n) * env.level[k] + 0.5f)) /
                     static_cast<float>(n);
    }
  }
}

int ModifierPosition(int x) {
  return std::clamp(x - 10, 0, kModifierPositions);
}

Range ModifierRange(const Envelope& env) {
  const int last = BoundPoint(env.last);
  if (env.loop_start == env.loop_end) return {0, last};
  const int a = std::clamp(env.loop_start, 0, last);
  const int b = std::clamp(env.loop_end, 0, last);
  return {std::min(a, b), std::max(a, b)};
}

void ApplyModifier(Envelope& env, const Envelope& before, Modifier modifier, int pos,
                   bool smooth_backward) {
  pos = std::clamp(pos, 0, kModifierPositions);
  const float s = static_cast<float>(pos) / 80.0f;
  const float m = static_cast<float>(pos) / 40.0f;
  const auto [a, b] = ModifierRange(env);
  switch (modifier) {
    case Modifier::kNone:
      break;
    case Modifier::kSlope:
      for (int k = a; k <= b; ++k) env.curve[k] = s;
      break;
    case Modifier::kAmp:
      for (int k = a; k <= b; ++k) env.level[k] = Limit(before.level[k] * m);
      break;
    case Modifier::kFlip:
      // 0 mirrors the levels about 0.5, 40 flattens them to 0.5, 80 leaves them.
      for (int k = a; k <= b; ++k) env.level[k] = (m - 1.0f) * (before.level[k] - 0.5f) + 0.5f;
      break;
    case Modifier::kSmooth:
      // Each point is pulled towards its left neighbour, or its right one going backward.
      if (smooth_backward) {
        for (int k = a; k < b; ++k) {
          env.level[k] = s * before.level[k] + (1.0f - s) * before.level[k + 1];
          env.curve[k] = s * before.curve[k] + (1.0f - s) * before.curve[k + 1];
        }
      } else {
        for (int k = a + 1; k <= b; ++k) {
          env.level[k] = s * before.level[k] + (1.0f - s) * before.level[k - 1];
          env.curve[k] = s * before.curve[k] + (1.0f - s) * before.curve[k - 1];
        }
      }
      break;
    case Modifier::kSquash: {
      // Interior times raised to 1/4 .. 4: points crowd towards the start or the end.
      const float exponent = PowerOfTwo(static_cast<float>(pos - 40) / 20.0f);
      for (int k = a + 1; k < b; ++k) {
        env.time[k] = Limit(Power(before.time[k] + 0.001f, exponent));
      }
      break;
    }
    case Modifier::kMove: {
      // The levels and curves rotate within the range; times stay.
      const int n = b - a;
      const int shift = std::clamp(IntPart(s * static_cast<float>(n)), 0, n);
      for (int j = 0; j <= n; ++j) {
        const int from = a + (n + 1 + j - shift) % (n + 1);
        env.level[a + j] = before.level[from];
        env.curve[a + j] = before.curve[from];
      }
      break;
    }
  }
}

}  // namespace vellicor::envelope_edit
