// Shared helpers of the engine: the integer-part rule every choice and length goes through,
// the tempo-related length table, the semitone table, the volume curve and rounding.
#pragma once

#include <cstdint>
#if defined(__SSE__) || defined(_M_X64) || defined(_M_IX86_FP)
#include <xmmintrin.h>
#define VELLICOR_HAVE_SSE 1
#endif

namespace vellicor {

// The integer part as the whole system computes it: x as single precision, minus 0.4999999,
// rounded to the nearest integer with ties to even. The subtraction is done in double so
// whole numbers stay whole at every magnitude. Saturates at the int32 range; NaN gives 0.
inline int IntPart(float x) {
  const double shifted = static_cast<double>(x) - 0.4999999;
  if (shifted != shifted) return 0;
  if (shifted <= -2147483648.0) return INT32_MIN;
  if (shifted >= 2147483647.0) return INT32_MAX;
  // Adding and removing 1.5 * 2^52 rounds to nearest, ties to even, for |shifted| < 2^51.
  constexpr double kMagic = 6755399441055744.0;
  return static_cast<int>((shifted + kMagic) - kMagic);
}

// Round to nearest, ties to even, without touching the C library: exact IEEE arithmetic
// with the default rounding mode. Valid for |x| < 2^22, which covers every per-sample use
// (table positions, phase offsets); larger magnitudes come back unchanged.
inline float RoundHalfEven(float x) {
  constexpr float kMagic = 12582912.0f;  // 1.5 * 2^23
  if (!(x < 4194304.0f && x > -4194304.0f)) return x;
  return (x + kMagic) - kMagic;
}

// RoundHalfEven as an integer, for the per-sample phase arithmetic: one SSE conversion in the
// default rounding mode (nearest, ties to even), which every target has. |x| < 2^22.
inline int32_t RoundToInt(float x) {
#ifdef VELLICOR_HAVE_SSE
  return _mm_cvtss_si32(_mm_set_ss(x));
#else
  return static_cast<int32_t>(RoundHalfEven(x));
#endif
}

// A choice read as IntPart(k * v), limited to 0..last so that no stored or automated value
// can index past the end of a table.
int Choice(float v, float k, int last);

constexpr int kLengthTableSize = 50;
// Lengths in quarter or half beats (the user decides the unit), indexed by IntPart(49.99 v).
extern const float kLengthTable[kLengthTableSize];
// Entry 0 stays 0; entries 1..49 hold 512 down to 1/32. The LFOs and the arpeggiator use it.
extern const float kReversedLengthTable[kLengthTableSize];
inline float LengthOf(float v) {
  return kLengthTable[Choice(v, 49.99f, kLengthTableSize - 1)];
}
inline float ReversedLengthOf(float v) {
  return kReversedLengthTable[Choice(v, 49.99f, kLengthTableSize - 1)];
}

constexpr int kSemitoneTableSize = 16;
// Pitch ranges (bend, envelope and LFO pitch), indexed by IntPart(15.999 v).
extern const float kSemitoneTable[kSemitoneTableSize];
inline float SemitonesOf(float v) {
  return kSemitoneTable[Choice(v, 15.999f, kSemitoneTableSize - 1)];
}

// Every volume parameter: 0 for v = 0, otherwise 10^((40 v - 30) / 20), -30 dB .. +10 dB.
float VolumeCurve(float v);

// Envelope selectors read IntPart(10.99 v): 0..7 an envelope, 8 none (its output is always 1).
constexpr int kEnvelopeNone = 8;
inline int EnvelopeSelector(float v) {
  // Readings 9 and 10 name no envelope and act as none.
  return Choice(v, 10.99f, kEnvelopeNone);
}
// LFO selectors read IntPart(10.99 v): 0..4 an LFO, 5 none; readings 6..10 act as none.
constexpr int kLfoNone = 5;
inline int LfoSelector(float v) {
  return Choice(v, 10.99f, kLfoNone);
}
// Switches read IntPart(1.99 v).
inline bool Switch(float v) {
  return IntPart(1.99f * v) >= 1;
}

}  // namespace vellicor
