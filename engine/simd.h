// Four voices side by side: four single-precision lanes (F4) and four 32-bit integer lanes (I4).
// Every operation is the lane-wise IEEE operation the one-voice code performs (SSE2's packed
// add, multiply, divide, compare and conversions round exactly as their scalar forms do, in the
// same rounding mode), so four voices computed together give the samples each gives alone.
// Targets without SSE2 get the same operations on plain arrays.
#pragma once

#include <cstdint>

#include "engine/tables.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define VELLICOR_HAVE_SSE2 1
#endif

namespace vellicor::simd {

#ifdef VELLICOR_HAVE_SSE2

struct F4 {
  __m128 v;
};
struct I4 {
  __m128i v;
};

inline F4 Load(const float* p) {
  return {_mm_load_ps(p)};
}
inline void Store(float* p, F4 a) {
  _mm_store_ps(p, a.v);
}
inline I4 Load(const int32_t* p) {
  return {_mm_load_si128(reinterpret_cast<const __m128i*>(p))};
}
inline void Store(int32_t* p, I4 a) {
  _mm_store_si128(reinterpret_cast<__m128i*>(p), a.v);
}
inline F4 LoadUnaligned(const float* p) {
  return {_mm_loadu_ps(p)};
}
inline void StoreUnaligned(float* p, F4 a) {
  _mm_storeu_ps(p, a.v);
}
inline F4 Splat(float x) {
  return {_mm_set1_ps(x)};
}
inline I4 SplatInt(int32_t x) {
  return {_mm_set1_epi32(x)};
}

inline F4 operator+(F4 a, F4 b) {
  return {_mm_add_ps(a.v, b.v)};
}
inline F4 operator-(F4 a, F4 b) {
  return {_mm_sub_ps(a.v, b.v)};
}
inline F4 operator*(F4 a, F4 b) {
  return {_mm_mul_ps(a.v, b.v)};
}
inline F4 operator/(F4 a, F4 b) {
  return {_mm_div_ps(a.v, b.v)};
}
inline I4 operator+(I4 a, I4 b) {
  return {_mm_add_epi32(a.v, b.v)};
}
inline I4 operator&(I4 a, I4 b) {
  return {_mm_and_si128(a.v, b.v)};
}

// Masks: all bits set in a lane where the comparison holds (false for NaN, as in scalar code).
inline F4 Less(F4 a, F4 b) {
  return {_mm_cmplt_ps(a.v, b.v)};
}
inline F4 LessEqual(F4 a, F4 b) {
  return {_mm_cmple_ps(a.v, b.v)};
}
inline F4 NotLess(F4 a, F4 b) {  // !(a < b): true for NaN
  return {_mm_cmpnlt_ps(a.v, b.v)};
}
inline F4 Or(F4 a, F4 b) {
  return {_mm_or_ps(a.v, b.v)};
}
inline F4 And(F4 a, F4 b) {
  return {_mm_and_ps(a.v, b.v)};
}
inline F4 AndNot(F4 not_this, F4 b) {  // ~not_this & b
  return {_mm_andnot_ps(not_this.v, b.v)};
}
inline F4 Select(F4 mask, F4 a, F4 b) {  // mask ? a : b
  return {_mm_or_ps(_mm_and_ps(mask.v, a.v), _mm_andnot_ps(mask.v, b.v))};
}
inline I4 Select(F4 mask, I4 a, I4 b) {
  const __m128i m = _mm_castps_si128(mask.v);
  return {_mm_or_si128(_mm_and_si128(m, a.v), _mm_andnot_si128(m, b.v))};
}
inline I4 And(F4 mask, I4 a) {
  return {_mm_and_si128(_mm_castps_si128(mask.v), a.v)};
}
// Signed comparison; the phases it compares lie in 0..65535.
inline F4 LessInt(I4 a, I4 b) {
  return {_mm_castsi128_ps(_mm_cmplt_epi32(a.v, b.v))};
}
inline int MaskBits(F4 mask) {
  return _mm_movemask_ps(mask.v);
}
// Lanes whose bits are the same (so +0 and -0 differ, and a NaN may equal itself).
inline F4 SameBits(F4 a, F4 b) {
  return {_mm_castsi128_ps(_mm_cmpeq_epi32(_mm_castps_si128(a.v), _mm_castps_si128(b.v)))};
}
inline F4 Xor(F4 a, F4 b) {
  return {_mm_xor_ps(a.v, b.v)};
}
inline F4 Abs(F4 a) {
  return {_mm_andnot_ps(_mm_set1_ps(-0.0f), a.v)};
}
inline F4 Negate(F4 a) {  // -a: the sign flipped, as for zeros too
  return {_mm_xor_ps(_mm_set1_ps(-0.0f), a.v)};
}
// Rows a..d become columns: afterwards a holds the first lane of each, and so on.
inline void Transpose(F4& a, F4& b, F4& c, F4& d) {
  _MM_TRANSPOSE4_PS(a.v, b.v, c.v, d.v);
}
// a > b ? a : b, and a < b ? a : b: a NaN in a gives b, as the scalar ternaries do.
inline F4 MaxOf(F4 a, F4 b) {
  return {_mm_max_ps(a.v, b.v)};
}
inline F4 MinOf(F4 a, F4 b) {
  return {_mm_min_ps(a.v, b.v)};
}

inline F4 ToFloat(I4 a) {
  return {_mm_cvtepi32_ps(a.v)};
}
// Round to nearest, ties to even: RoundToInt lane by lane.
inline I4 RoundInt(F4 a) {
  return {_mm_cvtps_epi32(a.v)};
}
// Toward zero.
inline I4 Truncate(F4 a) {
  return {_mm_cvttps_epi32(a.v)};
}

// table[index] per lane; indices are already limited to the table. Read as unsigned, an index
// needs no sign extension before it addresses the table.
inline F4 Gather(const float* table, I4 index) {
  const uint32_t i0 = static_cast<uint32_t>(_mm_cvtsi128_si32(index.v));
  const uint32_t i1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0x55)));
  const uint32_t i2 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0xAA)));
  const uint32_t i3 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0xFF)));
  return {_mm_setr_ps(table[i0], table[i1], table[i2], table[i3])};
}
// table[index] and table[index + 1] per lane, each pair read with one 64-bit load.
inline void GatherPair(const float* table, I4 index, F4* at, F4* next) {
  const uint32_t i0 = static_cast<uint32_t>(_mm_cvtsi128_si32(index.v));
  const uint32_t i1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0x55)));
  const uint32_t i2 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0xAA)));
  const uint32_t i3 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0xFF)));
  auto pair = [&](uint32_t i) {
    return _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(table + i)));
  };
  const __m128 low = _mm_unpacklo_ps(pair(i0), pair(i1));   // a0 a1 b0 b1
  const __m128 high = _mm_unpacklo_ps(pair(i2), pair(i3));  // a2 a3 b2 b3
  at->v = _mm_movelh_ps(low, high);
  next->v = _mm_movehl_ps(high, low);
}
// p[0], p[stride], p[2 stride], p[3 stride]: a column of rows.
inline F4 Column(const float* p, int stride) {
  return {_mm_setr_ps(p[0], p[stride], p[2 * stride], p[3 * stride])};
}
// The first lane's value in every lane.
inline F4 First(F4 a) {
  return {_mm_shuffle_ps(a.v, a.v, 0)};
}
// tables[i][index] per lane i: each lane reads a table of its own.
inline F4 GatherEach(const float* const* tables, I4 index) {
  const uint32_t i0 = static_cast<uint32_t>(_mm_cvtsi128_si32(index.v));
  const uint32_t i1 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0x55)));
  const uint32_t i2 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0xAA)));
  const uint32_t i3 = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(index.v, 0xFF)));
  return {_mm_setr_ps(tables[0][i0], tables[1][i1], tables[2][i2], tables[3][i3])};
}

#else  // plain arrays

struct F4 {
  float v[4];
};
struct I4 {
  int32_t v[4];
};

template <typename T, typename Op>
inline T Each(Op op) {
  T r;
  for (int i = 0; i < 4; ++i) r.v[i] = op(i);
  return r;
}
inline uint32_t BitsOf(float x) {
  uint32_t bits;
  __builtin_memcpy(&bits, &x, sizeof bits);
  return bits;
}
inline float FloatOf(uint32_t bits) {
  float f;
  __builtin_memcpy(&f, &bits, sizeof f);
  return f;
}
inline float MaskValue(bool on) {
  return FloatOf(on ? 0xFFFFFFFFu : 0u);
}
inline bool On(float mask) {
  return BitsOf(mask) != 0;
}

inline F4 Load(const float* p) {
  return Each<F4>([&](int i) { return p[i]; });
}
inline F4 LoadUnaligned(const float* p) {
  return Load(p);
}
inline void Store(float* p, F4 a) {
  for (int i = 0; i < 4; ++i) p[i] = a.v[i];
}
inline void StoreUnaligned(float* p, F4 a) {
  Store(p, a);
}
inline I4 Load(const int32_t* p) {
  return Each<I4>([&](int i) { return p[i]; });
}
inline void Store(int32_t* p, I4 a) {
  for (int i = 0; i < 4; ++i) p[i] = a.v[i];
}
inline F4 Splat(float x) {
  return Each<F4>([&](int) { return x; });
}
inline I4 SplatInt(int32_t x) {
  return Each<I4>([&](int) { return x; });
}
inline F4 operator+(F4 a, F4 b) {
  return Each<F4>([&](int i) { return a.v[i] + b.v[i]; });
}
inline F4 operator-(F4 a, F4 b) {
  return Each<F4>([&](int i) { return a.v[i] - b.v[i]; });
}
inline F4 operator*(F4 a, F4 b) {
  return Each<F4>([&](int i) { return a.v[i] * b.v[i]; });
}
inline F4 operator/(F4 a, F4 b) {
  return Each<F4>([&](int i) { return a.v[i] / b.v[i]; });
}
inline I4 operator+(I4 a, I4 b) {
  return Each<I4>([&](int i) {
    return static_cast<int32_t>(static_cast<uint32_t>(a.v[i]) + static_cast<uint32_t>(b.v[i]));
  });
}
inline I4 operator&(I4 a, I4 b) {
  return Each<I4>([&](int i) { return a.v[i] & b.v[i]; });
}
inline F4 Less(F4 a, F4 b) {
  return Each<F4>([&](int i) { return MaskValue(a.v[i] < b.v[i]); });
}
inline F4 LessEqual(F4 a, F4 b) {
  return Each<F4>([&](int i) { return MaskValue(a.v[i] <= b.v[i]); });
}
inline F4 NotLess(F4 a, F4 b) {
  return Each<F4>([&](int i) { return MaskValue(!(a.v[i] < b.v[i])); });
}
// Bitwise, as SSE's are: the render loop also ANDs a mask with values to zero lanes.
inline F4 Or(F4 a, F4 b) {
  return Each<F4>([&](int i) { return FloatOf(BitsOf(a.v[i]) | BitsOf(b.v[i])); });
}
inline F4 And(F4 a, F4 b) {
  return Each<F4>([&](int i) { return FloatOf(BitsOf(a.v[i]) & BitsOf(b.v[i])); });
}
inline F4 AndNot(F4 not_this, F4 b) {
  return Each<F4>([&](int i) { return FloatOf(~BitsOf(not_this.v[i]) & BitsOf(b.v[i])); });
}
inline F4 Select(F4 mask, F4 a, F4 b) {
  return Each<F4>([&](int i) { return On(mask.v[i]) ? a.v[i] : b.v[i]; });
}
inline I4 Select(F4 mask, I4 a, I4 b) {
  return Each<I4>([&](int i) { return On(mask.v[i]) ? a.v[i] : b.v[i]; });
}
inline I4 And(F4 mask, I4 a) {
  return Each<I4>([&](int i) { return On(mask.v[i]) ? a.v[i] : 0; });
}
inline F4 LessInt(I4 a, I4 b) {
  return Each<F4>([&](int i) { return MaskValue(a.v[i] < b.v[i]); });
}
inline int MaskBits(F4 mask) {
  int bits = 0;
  for (int i = 0; i < 4; ++i) bits |= On(mask.v[i]) ? 1 << i : 0;
  return bits;
}
inline F4 SameBits(F4 a, F4 b) {
  return Each<F4>([&](int i) { return MaskValue(BitsOf(a.v[i]) == BitsOf(b.v[i])); });
}
inline F4 Xor(F4 a, F4 b) {
  return Each<F4>([&](int i) { return FloatOf(BitsOf(a.v[i]) ^ BitsOf(b.v[i])); });
}
inline F4 Abs(F4 a) {
  return Each<F4>([&](int i) { return FloatOf(BitsOf(a.v[i]) & 0x7FFFFFFFu); });
}
inline F4 Negate(F4 a) {
  return Each<F4>([&](int i) { return -a.v[i]; });
}
inline void Transpose(F4& a, F4& b, F4& c, F4& d) {
  F4* rows[4] = {&a, &b, &c, &d};
  F4 t[4];
  for (int r = 0; r < 4; ++r) {
    for (int i = 0; i < 4; ++i) t[i].v[r] = rows[r]->v[i];
  }
  a = t[0];
  b = t[1];
  c = t[2];
  d = t[3];
}
inline F4 MaxOf(F4 a, F4 b) {
  return Each<F4>([&](int i) { return a.v[i] > b.v[i] ? a.v[i] : b.v[i]; });
}
inline F4 MinOf(F4 a, F4 b) {
  return Each<F4>([&](int i) { return a.v[i] < b.v[i] ? a.v[i] : b.v[i]; });
}
inline F4 ToFloat(I4 a) {
  return Each<F4>([&](int i) { return static_cast<float>(a.v[i]); });
}
inline I4 RoundInt(F4 a) {
  return Each<I4>([&](int i) { return RoundToInt(a.v[i]); });
}
// Toward zero, as cvttps: anything out of range gives 0x80000000.
inline I4 Truncate(F4 a) {
  return Each<I4>([&](int i) {
    const float x = a.v[i];
    return x > -2147483648.0f && x < 2147483648.0f ? static_cast<int32_t>(x) : INT32_MIN;
  });
}
inline F4 Gather(const float* table, I4 index) {
  return Each<F4>([&](int i) { return table[index.v[i]]; });
}
inline void GatherPair(const float* table, I4 index, F4* at, F4* next) {
  *at = Each<F4>([&](int i) { return table[index.v[i]]; });
  *next = Each<F4>([&](int i) { return table[index.v[i] + 1]; });
}
inline F4 Column(const float* p, int stride) {
  return Each<F4>([&](int i) { return p[i * stride]; });
}
inline F4 First(F4 a) {
  return Each<F4>([&](int) { return a.v[0]; });
}
inline F4 GatherEach(const float* const* tables, I4 index) {
  return Each<F4>([&](int i) { return tables[i][index.v[i]]; });
}

#endif

// A comparison the other way round, written with the operations above.
inline F4 GreaterEqual(F4 a, F4 b) {
  return LessEqual(b, a);
}

}  // namespace vellicor::simd
