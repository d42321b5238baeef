// The integer-part rule, choice bounds, the volume curve, and the portable elementary
// functions that make every build compute the same samples.
#include "engine/tables.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/portable_math.h"

namespace vellicor {
namespace {

TEST(IntPart, FloorForTheValuesThatOccurAndWholeNumbersStayWhole) {
  EXPECT_EQ(IntPart(0.5f), 0);
  EXPECT_EQ(IntPart(2.5f), 2);
  EXPECT_EQ(IntPart(-2.2f), -3);
  for (int k : {-3, 0, 1, 120, 4194305, 8388609, 16777215}) {
    EXPECT_EQ(IntPart(static_cast<float>(k)), k);
  }
  EXPECT_EQ(IntPart(0.99999994f), 1);  // the rule, not the floor
  EXPECT_EQ(IntPart(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(IntPart(1e20f), INT32_MAX);
  EXPECT_EQ(IntPart(-1e20f), INT32_MIN);
  // Every editor encoding reads back its choice; v = 1 reads the last; beyond it is bounded.
  for (int k = 0; k < 50; ++k) EXPECT_EQ(Choice(k / 49.99f + 0.001f, 49.99f, 49), k);
  EXPECT_EQ(Choice(1.0f, 3.99f, 3), 3);
  EXPECT_EQ(EnvelopeSelector(1.0f), kEnvelopeNone);  // reads 10
  EXPECT_EQ(LfoSelector(7.5f / 10.99f), kLfoNone);
}

TEST(IntPart, VolumeCurveAndLengths) {
  EXPECT_EQ(VolumeCurve(0.0f), 0.0f);
  EXPECT_EQ(VolumeCurve(0.75f), 1.0f);
  EXPECT_NEAR(VolumeCurve(1.0f), std::sqrt(10.0f), 1e-6);
  for (int i = 1; i < kLengthTableSize; ++i) {
    EXPECT_EQ(kReversedLengthTable[i], kLengthTable[kLengthTableSize - i]);
  }
}

// Within one unit in the last place of a float of the C library's answer.
TEST(PortableMath, MatchesTheLibraryToOneUlp) {
  auto ulps = [](float a, double exact) {
    const float rounded = static_cast<float>(exact);
    if (a == rounded) return 0.0;
    return std::fabs(a - exact) / std::fabs(std::nextafter(rounded, 2 * rounded) - rounded);
  };
  for (double d = -50.0; d < 50.0; d += 0.0137) {
    const float x = static_cast<float>(d);
    EXPECT_LE(ulps(pmath::Sinf(x), std::sin(double(x))), 1.0) << x;
    EXPECT_LE(ulps(pmath::Cosf(x), std::cos(double(x))), 1.0) << x;
    EXPECT_LE(ulps(pmath::Exp2f(x), std::exp2(double(x))), 1.0) << x;
    EXPECT_LE(ulps(pmath::Expf(x), std::exp(double(x))), 1.0) << x;
  }
  for (double d = 1e-6; d < 1.0; d *= 1.37) {
    const float x = static_cast<float>(d);
    for (float e : {1.0f / 64, 0.5f, 3.7f, 64.0f}) {
      EXPECT_LE(ulps(pmath::Powf(x, e), std::pow(double(x), double(e))), 1.0) << x << " " << e;
    }
  }
  EXPECT_NEAR(pmath::Sin(1e6), std::sin(1e6), 1e-12);  // a pulse-width phase after hours
  EXPECT_EQ(pmath::Powf(0.0f, 2.0f), 0.0f);
  EXPECT_TRUE(std::isnan(pmath::Sin(std::numeric_limits<double>::quiet_NaN())));
}

}  // namespace
}  // namespace vellicor
