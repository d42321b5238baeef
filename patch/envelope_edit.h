// The envelope editor's model, with no window: the working copy of one envelope, where its
// values live in the patch record, how it is loaded and committed, how the view maps it to
// pixels, and every edit the editor makes to it (point grabbing and bending, insertion and
// deletion, loops, the command menu's commands and preset shapes, snapping, the curve
// modifiers).
//
// Every operation is bounded: point indices stay within the twenty stored points whatever the
// patch holds, and nothing reads or writes past the arrays.
#pragma once

#include <array>

#include "parameters/parameter_table.h"

namespace vellicor::envelope_edit {

constexpr int kPoints = param::kEnvelopePoints;  // points stored per envelope
constexpr int kMaxLast = kPoints - 1;            // highest point index
constexpr int kShownEnvelopes = 8;

// --- Where an envelope lives in the patch record ---
// The envelope shown, (e + 0.1) / 20.99, under the name the editor knows it by.
constexpr int kShownIndex = param::kEnvelopeShown;
constexpr int LoopModeIndex(int e) {
  return param::Envelope(param::kEnvLoopMode, e);
}
constexpr int LengthIndex(int e) {
  return param::Envelope(param::kEnvLength, e);
}
constexpr int LoopStartIndex(int e) {
  return param::Envelope(param::kEnvLoopStart, e);
}
constexpr int LoopEndIndex(int e) {
  return param::Envelope(param::kEnvLoopEnd, e);
}
constexpr int LastPointIndex(int e) {
  return param::Envelope(param::kEnvLastPoint, e);
}
constexpr int TimeIndex(int e, int j) {
  return param::Point(param::kEnvTime, e, j);
}
constexpr int LevelIndex(int e, int j) {
  return param::Point(param::kEnvLevel, e, j);
}
constexpr int CurveIndex(int e, int j) {
  return param::Point(param::kEnvCurve, e, j);
}

// Point indices are stored as i / 39.99 and read as IntPart(39.99 v).
float EncodePointIndex(int i);
int DecodePointIndex(float v);  // bounded to 0..kMaxLast
// The value that shows envelope e (0..7) in the editor.
float EncodeShown(int e);
// Which envelope drives a destination: "Env1".."Env8" are 0..7, "None" is 8.
constexpr int kDestinationNone = 8;
float EncodeDestination(int k);

struct Envelope {
  std::array<float, kPoints> time{};
  std::array<float, kPoints> level{};
  std::array<float, kPoints> curve{};
  int last = 0;        // index of the last point
  int loop_start = 0;  // loop start == loop end: no loop
  int loop_end = 0;

  friend bool operator==(const Envelope&, const Envelope&) = default;
};

// Envelope e from a patch record: `value(i)` returns the value at index i.
template <typename Value>
Envelope Load(int e, Value&& value) {
  Envelope env;
  for (int j = 0; j < kPoints; ++j) {
    env.time[j] = value(TimeIndex(e, j));
    env.level[j] = value(LevelIndex(e, j));
    env.curve[j] = value(CurveIndex(e, j));
  }
  env.last = DecodePointIndex(value(LastPointIndex(e)));
  env.loop_start = DecodePointIndex(value(LoopStartIndex(e)));
  env.loop_end = DecodePointIndex(value(LoopEndIndex(e)));
  return env;
}

// The 63 writes of a commit, in the order the host hears them: time, level and curve of each
// point 0..19, then the last point, loop start and loop end. `write(index, value)`.
constexpr int kCommitWrites = 3 * kPoints + 3;
template <typename Write>
void Commit(const Envelope& env, int e, Write&& write) {
  for (int j = 0; j < kPoints; ++j) {
    write(TimeIndex(e, j), env.time[j]);
    write(LevelIndex(e, j), env.level[j]);
    write(CurveIndex(e, j), env.curve[j]);
  }
  write(LastPointIndex(e), EncodePointIndex(env.last));
  write(LoopStartIndex(e), EncodePointIndex(env.loop_start));
  write(LoopEndIndex(e), EncodePointIndex(env.loop_end));
}

// --- Shape and view ---
constexpr int kViewLeft = 5;  // the drawable area of the 610 x 110 view: 5..605 x 5..105
constexpr int kViewRight = 605;
constexpr int kViewTop = 5;
constexpr int kViewBottom = 105;
constexpr int kViewWidth = 600;
constexpr int kViewHeight = 100;

int ScreenX(float time);   // IntPart(600 t) + 5
int ScreenY(float level);  // IntPart(100 - 100 v) + 5
// The segment's exponent 2^(12 c - 6); above this it is drawn as a held step.
float CurveExponent(float curve);
constexpr float kStepExponent = 40.0f;
// The level at fraction f (0..1) across a segment from l0 to l1 with curve c.
float SegmentValue(float f, float l0, float l1, float curve);

// The redraw's order repair: each interior time k = 1..last-1 in turn is kept below its right
// and then above its left neighbour by 0.001. The end points stay.
void RepairOrder(std::array<float, kPoints>& time, int last);

// --- Mouse editing (pointer positions in view pixels, already clamped to the drawable area) ---
int ClampX(int x);
int ClampY(int y);
// The highest point at or left of x, or 0.
int LeftPoint(const Envelope& env, int x);
struct Nearest {
  int point;
  float distance;  // city-block pixels
};
Nearest NearestPoint(const Envelope& env, int x, int y);
constexpr float kGrabDistance = 20.0f;
// The time and level a drag of point s to (x, y) gives: within 0..1, the end points at 0 and
// 1, interior points at least 0.001 from their neighbours.
struct PointPosition {
  float time;
  float level;
};
PointPosition DragPoint(const Envelope& env, int s, int x, int y);
// The curve a bend of the segment under the pointer gives, from the pointer's height.
float BendCurve(int y);
// The level at a pointer height, within 0..1.
float LevelAt(int y);

// --- Point and loop commands (s = the selected point) ---
// Inserts a point after s: false when the envelope is full or s is not before the last point.
bool InsertPoint(Envelope& env, int s, float time, float level, float curve);
// Add Point: the new point is the mean of s and s + 1 of `before`.
bool AddPoint(Envelope& env, const Envelope& before, int s);
// Del Point: false for the end points or an envelope of two points.
bool DeletePoint(Envelope& env, int s);
// Loop start / end at point i, exchanged with the other end when they would cross.
void SetLoopStart(Envelope& env, int i);
void SetLoopEnd(Envelope& env, int i);
void LoopAll(Envelope& env);
void LoopOff(Envelope& env);
void Clear(Envelope& env);
// The shape twice in its length; false (nothing changes) when the result would need more than
// the twenty stored points.
bool Double(Envelope& env, const Envelope& before);

enum class Preset { kUp, kDown, kFull, kHalf, kZero, k4, k8, k16, kSine, kSquare, kTriangle };
void ApplyPreset(Envelope& env, Preset preset);

// --- Snapping, on release ---
enum class TimeSnap { kOff, kQbeat, kHalfQbeat, kQuarterQbeat };
enum class LevelSnap { kOff, kSevenSemi, kOneOct, kFourOct };
// `quarter_beats` is the envelope's length; times snap only when it is above one quarter beat.
void Snap(Envelope& env, TimeSnap time_snap, LevelSnap level_snap, float quarter_beats);
// Steps across the full level range: 7, 12, 48 (0 for kOff).
int LevelSteps(LevelSnap snap);
// The grid per unit of time: the length in quarter beats times 1, 2, 4 (0 for kOff).
float TimeGrid(TimeSnap snap, float quarter_beats);

// --- Curve modifiers: each recomputes from `before`, at slider position 0..80 ---
enum class Modifier { kNone, kSlope, kAmp, kFlip, kSmooth, kSquash, kMove };
constexpr int kModifierPositions = 80;
int ModifierPosition(int x);  // x - 10 within 0..80
// The points a modifier acts on: the loop, or the whole envelope when there is none.
struct Range {
  int a;
  int b;
};
Range ModifierRange(const Envelope& env);
void ApplyModifier(Envelope& env, const Envelope& before, Modifier modifier, int pos,
                   bool smooth_backward);

}  // namespace vellicor::envelope_edit
