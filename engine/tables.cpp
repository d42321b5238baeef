#include "engine/tables.h"

#include <cstdint>

#include "engine/portable_math.h"

namespace vellicor {

int Choice(float v, float k, int last) {
  const int choice = IntPart(k * v);
  if (choice < 0) return 0;
  return choice > last ? last : choice;
}

const float kLengthTable[kLengthTableSize] = {
    0.0f,     1.0f / 32, 1.0f / 16, 1.0f / 12, 1.0f / 8, 1.0f / 6, 1.0f / 4, 1.0f / 3, 3.0f / 8,
    1.0f / 2, 5.0f / 8,  2.0f / 3,  3.0f / 4,  7.0f / 8, 1.0f,     1.25f,    4.0f / 3, 1.5f,
    5.0f / 3, 1.75f,     2.0f,      2.5f,      3.0f,     3.5f,     4.0f,     5.0f,     6.0f,
    7.0f,     8.0f,      9.0f,      10.0f,     12.0f,    14.0f,    16.0f,    20.0f,    24.0f,
    28.0f,    32.0f,     36.0f,     40.0f,     44.0f,    48.0f,    56.0f,    64.0f,    80.0f,
    96.0f,    128.0f,    192.0f,    256.0f,    512.0f};

const float kReversedLengthTable[kLengthTableSize] = {
    0.0f,     512.0f,   256.0f,    192.0f,    128.0f,   96.0f,    80.0f,    64.0f,    56.0f,
    48.0f,    44.0f,    40.0f,     36.0f,     32.0f,    28.0f,    24.0f,    20.0f,    16.0f,
    14.0f,    12.0f,    10.0f,     9.0f,      8.0f,     7.0f,     6.0f,     5.0f,     4.0f,
    3.5f,     3.0f,     2.5f,      2.0f,      1.75f,    5.0f / 3, 1.5f,     4.0f / 3, 1.25f,
    1.0f,     7.0f / 8, 3.0f / 4,  2.0f / 3,  5.0f / 8, 1.0f / 2, 3.0f / 8, 1.0f / 3, 1.0f / 4,
    1.0f / 6, 1.0f / 8, 1.0f / 12, 1.0f / 16, 1.0f / 32};

const float kSemitoneTable[kSemitoneTableSize] = {0, 1, 2,  3,  4,  5,  6,  7,
                                                  8, 9, 10, 11, 12, 24, 36, 48};

float VolumeCurve(float v) {
  if (v == 0.0f) return 0.0f;
  return pmath::Pow10f((40.0f * v - 30.0f) / 20.0f);
}

}  // namespace vellicor
