#include "engine/portable_math.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace vellicor::pmath {
namespace {

using detail::Exp2Reduced;
using detail::kLn2;
using detail::kLog2E;
using detail::kSteps;
using detail::kTables;
using detail::Log2Normal;
constexpr double kLog2Of10 = 3.32192809488736234787;

// pi/128 in three parts of at most 24 significant bits, so k * part is exact for k < 2^29.
constexpr double kStep = 3.14159265358979323846 / 128.0;
constexpr double kStep1 = static_cast<double>(static_cast<float>(kStep));
constexpr double kStep2 = static_cast<double>(static_cast<float>(kStep - kStep1));
// What is left of the double, plus the part of pi/128 the double cannot hold.
constexpr double kStep3 = (kStep - kStep1 - kStep2) + 6.123233995736766e-17 / 64.0;

// Quadrant index (multiples of pi/128) and remainder |r| <= pi/256.
double Reduce(double x, int* index) {
  const double k = std::floor(x * (1.0 / kStep) + 0.5);
  *index = static_cast<int>(static_cast<int64_t>(k) & (kSteps - 1));
  return ((x - k * kStep1) - k * kStep2) - k * kStep3;
}

// sin r and cos r for |r| <= pi/256.
inline double SinTiny(double r) {
  const double r2 = r * r;
  return r + r * r2 * (-1.0 / 6 + r2 * (1.0 / 120 - r2 * (1.0 / 5040)));
}
inline double CosTiny(double r) {
  const double r2 = r * r;
  return 1.0 + r2 * (-0.5 + r2 * (1.0 / 24 - r2 * (1.0 / 720)));
}

bool Usable(double x) {
  return std::fabs(x) < 1e15;  // also false for NaN and infinities
}

}  // namespace

double Exp2(double x) {
  if (x != x) return x;
  if (x > 1100.0) return std::numeric_limits<double>::infinity();
  if (x < -1100.0) return 0.0;
  return Exp2Reduced(x);
}

double Exp(double x) {
  if (x != x) return x;
  if (x > 760.0) return std::numeric_limits<double>::infinity();
  if (x < -760.0) return 0.0;
  return Exp2Reduced(x * kLog2E);
}

double Log2(double x) {
  if (x != x) return x;
  if (x <= 0.0) return -std::numeric_limits<double>::infinity();
  if (x == std::numeric_limits<double>::infinity()) return x;
  if (x < 1e-300) return Log2Normal(x * 18014398509481984.0) - 54.0;  // subnormal: scale by 2^54
  return Log2Normal(x);
}

double Sin(double x) {
  if (!Usable(x)) return x != x || std::isinf(x) ? std::numeric_limits<double>::quiet_NaN() : 0.0;
  int j = 0;
  const double r = Reduce(x, &j);
  return kTables.sin[j] * CosTiny(r) + kTables.cos[j] * SinTiny(r);
}

double Cos(double x) {
  if (!Usable(x)) return x != x || std::isinf(x) ? std::numeric_limits<double>::quiet_NaN() : 1.0;
  int j = 0;
  const double r = Reduce(x, &j);
  return kTables.cos[j] * CosTiny(r) - kTables.sin[j] * SinTiny(r);
}

void SinCos(double x, double* sine, double* cosine) {
  if (!Usable(x)) {
    *sine = Sin(x);
    *cosine = Cos(x);
    return;
  }
  int j = 0;
  const double r = Reduce(x, &j);
  const double sin_r = SinTiny(r), cos_r = CosTiny(r);
  *sine = kTables.sin[j] * cos_r + kTables.cos[j] * sin_r;
  *cosine = kTables.cos[j] * cos_r - kTables.sin[j] * sin_r;
}

float Pow10f(float x) {
  return static_cast<float>(Exp2(static_cast<double>(x) * kLog2Of10));
}

}  // namespace vellicor::pmath
