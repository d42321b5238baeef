// The voices' sample loop, four voices at a time (engine/simd.h). Between two control ticks
// everything a voice's samples depend on is fixed, so the active voices' state is gathered into
// lanes (LoadLanes), run for the frames up to the next tick and put back (StoreLanes). A run
// goes in three passes, each a tight loop that keeps its state in registers:
//   oscillators  phases, FM, pulse-width warp, sync, ring modulation, the release and fade-in
//                levels and the distortion stage: the filter input of every frame;
//   filters      the type in use over those inputs: two-pole sections, ladders and ring
//                modulators four lanes at a time; combs voice by voice over the run, since
//                each reads its own 8,192-entry rings;
//   levels       filter volume and the voice's gains: what each lane adds to the mix (for a
//                steady run, whose levels hold throughout, applied as the lanes are added).
// Each lane computes exactly what its voice computes alone, operation for operation, and the
// voices add to the mix in voice order, so the samples are those of one voice after another.
//
// The run's state and the filter sections live here; the per-frame loop (RunLanes, in
// lanes_run.h) is instantiated once per reading, in lanes_plain.cpp and lanes_band_*.cpp, so the
// two readings' many instantiations compile side by side.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "engine/engine.h"
#include "engine/simd.h"

// Forced inlining keeps the lanes' values in registers; sanitizer builds and the plain-array
// fallback (built only to check its samples), which check and do not time, leave the choice to
// the compiler, which then compiles them in a fraction of the time.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELLICOR_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define VELLICOR_SANITIZED 1
#endif
#endif
#if defined(__GNUC__) && !defined(VELLICOR_SANITIZED) && defined(VELLICOR_HAVE_SSE2)
#define VELLICOR_INLINE __attribute__((always_inline))
#else
#define VELLICOR_INLINE
#endif

namespace vellicor {

using simd::I4;

constexpr int kMaxLanes = 8;  // two groups of four
static_assert(kVoiceCount <= kMaxLanes, "every active voice needs a lane");

// How a run's lanes filter: one kind for all of them, or each voice by itself when their types
// differ (for a tick or two after a change of type, while some voices still release).
enum LaneFilter : int {
  kLaneOff,
  kLaneTwoPole,
  kLaneLadderLow,
  kLaneLadderHigh,
  kLaneLadderBand,
  kLaneLadderNotch,
  kLaneRing,
  kLaneComb,
  kLaneMixed,
};

// Masks as stored floats: all bits set, or none.
inline float MaskOf(bool on) {
  const uint32_t bits = on ? 0xFFFFFFFFu : 0u;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}
// One lane of four, as a mask.
alignas(16) inline const float kLaneMask[4][4] = {{MaskOf(true), 0.0f, 0.0f, 0.0f},
                                                  {0.0f, MaskOf(true), 0.0f, 0.0f},
                                                  {0.0f, 0.0f, MaskOf(true), 0.0f},
                                                  {0.0f, 0.0f, 0.0f, MaskOf(true)}};

// The filter sections that run four lanes at a time. Each steps one sample (Step) and, in a run
// where lanes may fall idle, keeps the new state only in live lanes (Keep).
struct TwoPoleLanes : filter_lanes::TwoPole {
  simd::F4 Step(simd::F4 x, simd::F4* runaway, const float*) {
    return filter_lanes::TwoPole::Step(x, runaway);
  }
  void Keep(const TwoPoleLanes& next, simd::F4 live) {
    for (auto [now, after] : {std::pair{&x1, &next.x1},
                              {&x2, &next.x2},
                              {&x3, &next.x3},
                              {&y1, &next.y1},
                              {&y2, &next.y2},
                              {&y3, &next.y3}}) {
      *now = simd::Select(live, *after, *now);
    }
  }
};

template <int kType>
struct LadderLanes : filter_lanes::Ladder {
  simd::F4 Step(simd::F4 x, simd::F4* runaway, const float*) {
    return filter_lanes::Ladder::Step<kType>(x, runaway);
  }
  void Keep(const LadderLanes& next, simd::F4 live) {
    for (auto [now, after] : {std::pair{&input, &next.input},
                              {&y1, &next.y1},
                              {&y2, &next.y2},
                              {&y3, &next.y3},
                              {&y4, &next.y4}}) {
      *now = simd::Select(live, *after, *now);
    }
  }
};

struct RingLanes : filter_lanes::Ring {
  simd::F4 Step(simd::F4 x, simd::F4*, const float* sine) {
    return filter_lanes::Ring::Step(x, sine);
  }
  void Keep(const RingLanes& next, simd::F4 live) { phase = simd::Select(live, next.phase, phase); }
};

// For the kinds filtered after the oscillators' pass (off, combs, mixed types).
struct NoLanes {};

template <int kKind>
struct SectionOf {
  using type = NoLanes;
};
template <>
struct SectionOf<kLaneTwoPole> {
  using type = TwoPoleLanes;
};
template <>
struct SectionOf<kLaneLadderLow> {
  using type = LadderLanes<kFilterLowpass24>;
};
template <>
struct SectionOf<kLaneLadderHigh> {
  using type = LadderLanes<kFilterHighpass24>;
};
template <>
struct SectionOf<kLaneLadderBand> {
  using type = LadderLanes<kFilterBandpass24>;
};
template <>
struct SectionOf<kLaneLadderNotch> {
  using type = LadderLanes<kFilterBandreject24>;
};
template <>
struct SectionOf<kLaneRing> {
  using type = RingLanes;
};

struct Engine::Lanes {
  int count;
  Voice* voice[kMaxLanes];
  // The same for every lane of the run.
  bool steady;    // every lane held and faded in: level and fade gain 1 throughout
  int filter;     // LaneFilter
  bool fm_on[2];  // some lane's FM routine offsets oscillator 1's, 2's read position
  int fm_slot[2];
  bool sync;
  float sync_factor;
  bool ring;
  bool distort;
  float drive;
  float filter_volume;
  float release_step;
  const float* wave[2];
  // The alias-free reading: on, mixed with the plain one (with the weight band_mix[n] at
  // frame n of the run); whether some lane of a group fades an oscillator from one level into
  // another, and whether an oscillator reads a noise wave (as the plain reading does).
  bool band;
  bool band_mixing;
  bool band_fading[2][2];  // (oscillator, group of four lanes)
  bool band_plain[2];
  bool band_fixing[2];    // an oscillator's corrections may come, or are still owed, in the run
  uint32_t band_counter;  // the run's first frame's
  FilterHistoryRing first_ring;  // as the run's first frame sees it
  int first_frame;               // the run's first frame within the sub-block

  // Per lane; padding lanes hold zeros, so they compute harmless values nobody reads.
  alignas(16) int32_t phase[2][kMaxLanes];
  alignas(16) int32_t increment[2][kMaxLanes];
  alignas(16) int32_t frames_done[kMaxLanes];
  alignas(16) float fm_depth[2][kMaxLanes];  // 0 where the FM routine is off
  alignas(16) float fm_sample[2][kMaxLanes];
  alignas(16) float gate[kMaxLanes];   // mask
  alignas(16) float alive[kMaxLanes];  // mask: loaded, and not yet idle within the run
  alignas(16) float release[kMaxLanes];
  alignas(16) float fade[kMaxLanes];
  alignas(16) float velocity[kMaxLanes];
  alignas(16) float amp_env[2][kMaxLanes];
  alignas(16) float volume[2][kMaxLanes];
  alignas(16) float lfo_gain[2][kMaxLanes];
  alignas(16) float volume_lfo[kMaxLanes];
  alignas(16) float main_gain[kMaxLanes];
  alignas(16) float steady_gain[2][kMaxLanes];
  alignas(16) float steady_scale[kMaxLanes];
  // Filter memories (two-pole: c0 c1 c2 c4 c5, inputs, outputs; ladder: k p r input y1..y4;
  // ring modulator: phase, increment, depth).
  alignas(16) float two_pole[11][kMaxLanes];
  alignas(16) float ladder[8][kMaxLanes];
  alignas(16) int32_t ring_phase[kMaxLanes];
  alignas(16) int32_t ring_increment[kMaxLanes];
  alignas(16) float ring_depth[kMaxLanes];
  alignas(16) float runaway[kMaxLanes];  // mask
  alignas(16) float output[kMaxLanes];   // the filter's last output before its volume

  // Per frame of the run (frame from + n in row n), each written before it is read.
  alignas(16) float input[kControlPeriod][kMaxLanes];     // the filter's input
  alignas(16) float filtered[kControlPeriod][kMaxLanes];  // the filter's output
  alignas(16) float live[kControlPeriod][kMaxLanes];      // alive mask (runs that are not steady)
  alignas(16) float scale[kControlPeriod][kMaxLanes];     // fade-in x velocity x volume LFO gain
  alignas(16) float contribution[kControlPeriod][kMaxLanes];  // what each lane adds to the mix

  // The alias-free reading's, filled only while it runs: the levels (oscillator, level, lane),
  // the outputs waiting for corrections and the unwarped positions of the frame before.
  // The level read and the next, read with it at band_weight; in the shared pool.
  alignas(16) int32_t band_offset[2][2][kMaxLanes];
  alignas(16) float band_scale[2][2][kMaxLanes];
  alignas(16) int32_t band_mask[2][2][kMaxLanes];
  alignas(16) int32_t band_restart_offset[2][kMaxLanes];  // oscillator 2's, by level
  alignas(16) float band_weight[2][kMaxLanes];            // of band_to, at the run's first frame
  alignas(16) float band_weight_now[2][kMaxLanes];        // and at the frame being read
  alignas(16) float band_restarted[kMaxLanes];            // mask
  // The oscillators' samples wait kCorrectionHalf frames for their corrections: frame n's in
  // row n + kCorrectionHalf, read at frame n + kCorrectionHalf; rows 0..kCorrectionHalf - 1 hold
  // the samples the voices' last runs left waiting.
  alignas(16) float band_wait[2][kControlPeriod + kCorrectionHalf][kMaxLanes];
  // The corrections, lane by lane (an event adds its taps to one lane's frames as whole
  // vectors): the one read at frame n of the run in band_fix[m][lane][n], owed ones first.
  static constexpr int kFixLength = kControlPeriod + kCorrectionTaps;
  alignas(16) float band_fix[2][kMaxLanes][kFixLength];
  alignas(16) float band_previous[2][kMaxLanes];
  float band_mix[kControlPeriod];
};

}  // namespace vellicor
