// The output stage of a sub-block: the smoothed pan position, the channel gains, the stereo
// delay of the right channel and the soft clipper. The position is a chain from frame to frame
// and runs first, one frame at a time; everything after it runs four frames at a time with the
// same operations, so the samples are those of the frame-by-frame loop.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "engine/engine.h"
#include "engine/simd.h"

namespace vellicor {

namespace {

using simd::F4;

// The soft clipper: saturation with slope 1.5 at 0, reaching +-1 at +-1.
inline float SoftClip(float x) {
  const float a = x < 0.0f ? -x : x;
  if (a <= 1.0f) {
    const float y = (3.0f * a - a * a) / 2.0f;
    return x < 0.0f ? -y : y;
  }
  if (x > 1.0f) return 1.0f;
  if (x < -1.0f) return -1.0f;
  return 0.0f;  // NaN: a broken sample must not reach the host
}

// SoftClip, four samples at a time. Halving is exact, so / 2 and * 0.5 give the same float.
// Negating where x < 0 is flipping the sign bit there (a -0 keeps its sign, as in the scalar
// form); beyond +-1 the result is 1 with that sign, and a NaN is in neither range and gives 0.
inline F4 SoftClip(F4 x) {
  using namespace simd;
  const F4 one = Splat(1.0f);
  const F4 sign = And(Less(x, Splat(0.0f)), Splat(-0.0f));
  const F4 a = Xor(x, sign);
  const F4 y = (Splat(3.0f) * a - a * a) * Splat(0.5f);
  const F4 inside = And(LessEqual(a, one), Xor(y, sign));
  const F4 outside = And(Less(one, a), Xor(one, sign));
  return Or(inside, outside);
}

bool SameBits(float a, float b) {
  uint32_t x, y;
  std::memcpy(&x, &a, sizeof x);
  std::memcpy(&y, &b, sizeof y);
  return x == y;
}

}  // namespace

void Engine::WriteOutput(float* left, float* right, int frames, bool accumulate,
                         uint32_t first_counter) {
  using namespace simd;
  // The smoothed pan position of every frame. Once a step leaves the position as it was, the
  // same target leaves it there again: the chain stops until the target moves.
  alignas(16) float position_of[kSubBlock];
  const float pan_offset = pan_offset_;
  float position = pan_position_;
  float settled_target = 0.0f;
  bool settled = false;
  const simd::F4 offset4 = simd::Splat(pan_offset);
  for (int k = 0; k < frames; ++k) {
    if (settled && k + 4 <= frames) {
      // Four frames at a time while the target stays where the position settled.
      const F4 same =
          simd::SameBits(offset4 + simd::LoadUnaligned(&pan_term_[k]), simd::Splat(settled_target));
      if (simd::MaskBits(same) == 0xF) {
        simd::StoreUnaligned(&position_of[k], simd::Splat(position));
        k += 3;
        continue;
      }
    }
    const float target = pan_offset + pan_term_[k];
    if (!(settled && SameBits(target, settled_target))) {
      float next = (0.1f * target + position) * 0.9f;
      next = next < 0.0f ? 0.0f : (next > 1.0f ? 1.0f : next);
      settled = SameBits(next, position);
      settled_target = target;
      position = next;
    }
    position_of[k] = position;
  }
  pan_position_ = position;
  if (BandReading()) {
    WriteBandOutput(left, right, frames, accumulate, first_counter, position_of);
    return;
  }

  // Gains; the left channel is clipped and the right one goes into the delay line. A frame
  // reads the right channel 2..513 frames back, so with at most 256 frames here no write of
  // this sub-block lands on a slot a later frame of it still has to read.
  alignas(16) float delayed_in[kSubBlock];
  const F4 one = Splat(1.0f), two = Splat(2.0f), half = Splat(0.5f);
  int k = 0;
  for (; k + 4 <= frames; k += 4) {
    const F4 p = Load(&position_of[k]);
    const F4 upper = GreaterEqual(p, half);
    const F4 left_gain = Select(upper, one, two * p);
    const F4 right_gain = Select(upper, two - two * p, one);
    const F4 mix = LoadUnaligned(&mix_[k]);
    F4 out_left = SoftClip(left_gain * mix);
    if (accumulate) out_left = LoadUnaligned(&left[k]) + out_left;
    StoreUnaligned(&left[k], out_left);
    Store(&delayed_in[k], right_gain * mix);
  }
  for (; k < frames; ++k) {
    const float p = position_of[k];
    float left_gain = 1.0f, right_gain = 1.0f;
    if (p >= 0.5f) {
      right_gain = 2.0f - 2.0f * p;
    } else {
      left_gain = 2.0f * p;
    }
    const float out_left = SoftClip(left_gain * mix_[k]);
    left[k] = accumulate ? left[k] + out_left : out_left;
    delayed_in[k] = right_gain * mix_[k];
  }

  // Frame k writes slot first_counter + k and reads slot first_counter + k - delay: runs of
  // consecutive slots, each copied in at most two pieces around the end of the line.
  constexpr uint32_t kMask = kDelayLineSize - 1;
  const uint32_t delay = static_cast<uint32_t>(static_cast<int>(stereo_delay_));
  alignas(16) float delayed_out[kSubBlock];
  auto pieces = [frames](uint32_t slot, auto copy) {
    const int start = static_cast<int>(slot & kMask);
    const int first = frames < kDelayLineSize - start ? frames : kDelayLineSize - start;
    copy(start, 0, first);
    copy(0, first, frames - first);
  };
  pieces(first_counter, [&](int slot, int from, int n) {
    std::memcpy(&delay_line_[slot], &delayed_in[from], sizeof(float) * static_cast<size_t>(n));
  });
  pieces(first_counter - delay, [&](int slot, int from, int n) {
    std::memcpy(&delayed_out[from], &delay_line_[slot], sizeof(float) * static_cast<size_t>(n));
  });
  for (k = 0; k + 4 <= frames; k += 4) {
    F4 out_right = SoftClip(Load(&delayed_out[k]));
    if (accumulate) out_right = LoadUnaligned(&right[k]) + out_right;
    StoreUnaligned(&right[k], out_right);
  }
  for (; k < frames; ++k) {
    const float out_right = SoftClip(delayed_out[k]);
    right[k] = accumulate ? right[k] + out_right : out_right;
  }
}

// The same with the alias-free mode's clipper, crossfaded with the plain one while the mode
// switches.
void Engine::WriteBandOutput(float* left, float* right, int frames, bool accumulate,
                             uint32_t first_counter, const float* position_of) {
  if (!band_clip_ready_) {
    for (BandClipper& clipper : band_clip_) clipper.Reset();
    band_clip_ready_ = true;
  }
  alignas(16) float in[2][kSubBlock];
  for (int k = 0; k < frames; ++k) {
    const float p = position_of[k];
    float left_gain = 1.0f, right_gain = 1.0f;
    if (p >= 0.5f) {
      right_gain = 2.0f - 2.0f * p;
    } else {
      left_gain = 2.0f * p;
    }
    in[0][k] = left_gain * mix_[k];
    delay_line_[(first_counter + static_cast<uint32_t>(k)) & (kDelayLineSize - 1)] =
        right_gain * mix_[k];
  }
  const uint32_t delay = static_cast<uint32_t>(static_cast<int>(stereo_delay_));
  for (int k = 0; k < frames; ++k) {
    in[1][k] =
        delay_line_[(first_counter + static_cast<uint32_t>(k) - delay) & (kDelayLineSize - 1)];
  }
  const bool mixing = BandMixing();
  float* const out[2] = {left, right};
  for (int c = 0; c < 2; ++c) {
    alignas(16) float clipped[kSubBlock];
    band_clip_[c].Run(in[c], clipped, frames);
    // The filtered bend rings a little past the clipper's ceiling when driven hard: the output
    // still never leaves +-1, as the plain clipper's never does. Four at a time (a loop of
    // std::min and std::max stays scalar), in the operands' order that takes what is not a
    // number to -1 as the scalar form does.
    const F4 one = simd::Splat(1.0f), minus_one = simd::Splat(-1.0f);
    int k = 0;
    for (; k + 4 <= frames; k += 4) {
      simd::Store(&clipped[k], simd::MinOf(simd::MaxOf(simd::Load(&clipped[k]), minus_one), one));
    }
    for (; k < frames; ++k) clipped[k] = std::min(1.0f, std::max(-1.0f, clipped[k]));
    if (mixing) {
      for (k = 0; k < frames; ++k) {
        const float plain = SoftClip(in[c][k]);
        // Weighted on both sides, so that a weight of 0 or 1 gives one clipper's bits exactly.
        const float w = BandWeight(k, kBandClipDelay);
        clipped[k] = plain * (1.0f - w) + clipped[k] * w;
      }
    }
    float* o = out[c];
    if (accumulate) {
      for (int k = 0; k < frames; ++k) o[k] += clipped[k];
    } else {
      for (int k = 0; k < frames; ++k) o[k] = clipped[k];
    }
  }
}

}  // namespace vellicor
