// Elementary functions built from plain IEEE double operations (+, -, *, /, conversions and
// bit manipulation) only. C libraries differ in the last bit of sin, exp or pow, and the i686
// runtime may even fall back to the x87 unit; computing everything here makes the 64-bit and
// the 32-bit builds produce the same samples bit for bit.
//
// The float wrappers evaluate in double and round once to single precision, so their results
// are the correctly rounded single values in all but vanishingly rare cases.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace vellicor::pmath {

double Exp2(double x);
double Exp(double x);
double Log2(double x);  // x <= 0 answers -infinity, NaN stays NaN
double Sin(double x);   // accurate for |x| up to about 1e7
double Cos(double x);
// Sin(x) and Cos(x) with one argument reduction between them: the same two values.
void SinCos(double x, double* sine, double* cosine);

inline float Exp2f(float x) {
  return static_cast<float>(Exp2(x));
}
inline float Expf(float x) {
  return static_cast<float>(Exp(x));
}
inline float Sinf(float x) {
  return static_cast<float>(Sin(x));
}
inline float Cosf(float x) {
  return static_cast<float>(Cos(x));
}
inline void SinCosf(float x, float* sine, float* cosine) {
  double s, c;
  SinCos(x, &s, &c);
  *sine = static_cast<float>(s);
  *cosine = static_cast<float>(c);
}
// 10^x for the volume curve.
float Pow10f(float x);
// base^exponent for base > 0; 0 for base == 0 and a positive exponent.
inline float Powf(float base, float exponent);

// Kernels shared by the functions above, inline so that the envelope's power, computed
// thousands of times a second, is one straight piece of code.
namespace detail {

constexpr double kLn2 = 0.69314718055994530942;
constexpr double kLog2E = 1.44269504088896340736;

// The tables below are evaluated by the compiler. Basic double operations round the same at
// compile time as at run time on every IEEE target, so every build holds the same tables.

// e^y for |y| <= 0.7: Taylor series to degree 17, error far below double resolution.
constexpr double ExpSeries(double y) {
  constexpr double kInverseFactorials[] = {1.0 / 355687428096000.0,
                                           1.0 / 20922789888000.0,
                                           1.0 / 1307674368000.0,
                                           1.0 / 87178291200.0,
                                           1.0 / 6227020800.0,
                                           1.0 / 479001600.0,
                                           1.0 / 39916800.0,
                                           1.0 / 3628800.0,
                                           1.0 / 362880.0,
                                           1.0 / 40320.0,
                                           1.0 / 5040.0,
                                           1.0 / 720.0,
                                           1.0 / 120.0,
                                           1.0 / 24.0,
                                           1.0 / 6.0,
                                           0.5,
                                           1.0,
                                           1.0};
  double sum = 0.0;
  for (double c : kInverseFactorials) sum = sum * y + c;
  return sum;
}

// ln(c) for 1 <= c < 2 by 2 atanh((c - 1) / (c + 1)), |s| < 1/3.
constexpr double LnSeries(double c) {
  const double s = (c - 1.0) / (c + 1.0);
  const double s2 = s * s;
  double sum = 0.0;
  for (int k = 41; k >= 1; k -= 2) sum = sum * s2 + 1.0 / k;
  return 2.0 * s * sum;
}

// sin and cos for |a| <= pi/2 by Taylor series to degree 27 and 28.
constexpr double SinSeries(double a) {
  double term = a, sum = a;
  for (int n = 3; n <= 27; n += 2) {
    term = -term * a * a / ((n - 1) * n);
    sum += term;
  }
  return sum;
}
constexpr double CosSeries(double a) {
  double term = 1.0, sum = 1.0;
  for (int n = 2; n <= 28; n += 2) {
    term = -term * a * a / ((n - 1) * n);
    sum += term;
  }
  return sum;
}

constexpr int kSteps = 256;

struct Tables {
  double exp2[kSteps];          // 2^(j/256)
  double log2_inverse[kSteps];  // 1 / (1 + j/256)
  double log2[kSteps];          // log2(1 + j/256)
  double sin[kSteps];           // sin(j pi/128)
  double cos[kSteps];
  constexpr Tables() : exp2(), log2_inverse(), log2(), sin(), cos() {
    for (int j = 0; j < kSteps; ++j) {
      exp2[j] = ExpSeries(j / 256.0 * kLn2);
      const double c = 1.0 + j / 256.0;
      log2_inverse[j] = 1.0 / c;
      log2[j] = LnSeries(c) / kLn2;
    }
    constexpr double kStep = 3.14159265358979323846 / 128.0;
    for (int j = 0; j < 64; ++j) {
      sin[j] = SinSeries(j * kStep);
      cos[j] = CosSeries(j * kStep);
    }
    for (int j = 64; j < 128; ++j) {  // a + pi/2
      sin[j] = cos[j - 64];
      cos[j] = -sin[j - 64];
    }
    for (int j = 128; j < 256; ++j) {  // a + pi
      sin[j] = -sin[j - 128];
      cos[j] = -cos[j - 128];
    }
  }
};
inline constexpr Tables kTables;

// 2^n for whole n in the normal range, built from its bits.
inline double PowerOfTwo(int n) {
  const uint64_t bits = static_cast<uint64_t>(n + 1023) << 52;
  double result;
  std::memcpy(&result, &bits, sizeof result);
  return result;
}

// 2^x for |x| < 1100: x = n + j/256 + r with 0 <= r < 1/256.
inline double Exp2Reduced(double x) {
  const double scaled = x * 256.0;  // exact
  int64_t i = static_cast<int64_t>(scaled);
  if (static_cast<double>(i) > scaled) --i;  // floor
  const double r = x - static_cast<double>(i) * (1.0 / 256);
  const double y = r * kLn2;  // 0 <= y < 0.0028: degree 5 leaves an error below 1e-18
  const double y2 = y * y;
  const double series =
      (1.0 + y) + y2 * ((0.5 + y * (1.0 / 6)) + y2 * (1.0 / 24 + y * (1.0 / 120)));
  const double mantissa = kTables.exp2[i & (kSteps - 1)] * series;
  const int exponent = static_cast<int>(i >> 8);
  if (exponent > -1000 && exponent < 1000) return mantissa * PowerOfTwo(exponent);
  return std::ldexp(mantissa, exponent);
}

// log2 of a positive, finite, normal x.
inline double Log2Normal(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  const int exponent = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
  const int j = static_cast<int>((bits >> 44) & (kSteps - 1));
  const uint64_t mantissa_bits = (bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull;
  double m;
  std::memcpy(&m, &mantissa_bits, sizeof m);  // 1 <= m < 2
  // log2(m) = log2(c) + ln(1 + r) / ln2 with 0 <= r < 1/256: degree 6, error below 1e-17.
  const double r = m * kTables.log2_inverse[j] - 1.0;
  const double r2 = r * r;
  const double low = r - r2 * (0.5 - r * (1.0 / 3));
  const double high = (r2 * r2) * (-0.25 + r * 0.2 - r2 * (1.0 / 6));
  return static_cast<double>(exponent) + (kTables.log2[j] + (low + high) * kLog2E);
}

}  // namespace detail

inline float Powf(float base, float exponent) {
  if (base == 1.0f || exponent == 0.0f) return 1.0f;
  if (exponent == 1.0f) return base;  // straight envelope segments, exactly
  if (base > 0.0f && exponent >= -64.0f && exponent <= 64.0f) {
    // A positive float is a normal double and |log2| < 150, so the power stays in range.
    return static_cast<float>(
        detail::Exp2Reduced(static_cast<double>(exponent) * detail::Log2Normal(base)));
  }
  if (base == 0.0f) return exponent > 0.0f ? 0.0f : HUGE_VALF;
  return static_cast<float>(Exp2(static_cast<double>(exponent) * Log2(base)));
}

// Exp2f of the argument last asked for, kept: control values that rest (a held note's pitch, a
// sweep that has ended) then cost nothing. Exact, as Exp2f is a function of its argument alone.
class Exp2Memo {
 public:
  float operator()(float x) {
    if (!(x == argument_)) {  // a NaN argument is never kept
      argument_ = x;
      value_ = Exp2f(x);
    }
    return value_;
  }

 private:
  float argument_ = NAN;  // equal to nothing: the first call computes
  float value_ = 0.0f;
};

}  // namespace vellicor::pmath
