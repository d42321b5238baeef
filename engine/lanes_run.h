// The lanes' per-frame loop: the oscillators' pass and the filters' (see lanes.h). Included only
// by the files that instantiate it, one per reading of the waves.
#pragma once

#include <bit>

#include "engine/lanes.h"

namespace vellicor {

// Frames from..to of every lane, frame by frame and group by group within a frame, so the
// groups' independent chains (FM feeds each sample from the previous one, a filter its state)
// overlap, and the oscillators of a frame overlap the filter's chain.
template <int kGroups, bool kSteady, int kKind, bool kBand, bool kSimple>
void Engine::RunLanes(Lanes& L, int from, int to, uint32_t first_counter) {
  using namespace simd;
  using Section = typename SectionOf<kKind>::type;
  constexpr bool kFiltered = !std::is_same_v<Section, NoLanes>;
  const F4 tiny = Splat(1e-15f);
  const F4 zero = Splat(0.0f);
  const F4 one = Splat(1.0f);
  const I4 wave_mask = SplatInt(static_cast<int32_t>(kWaveMask));
  const float* const wave0 = L.wave[0];
  const float* const wave1 = L.wave[1];
  const float* const sine = sine_;
  const bool sync = L.sync, ring = L.ring, distort = L.distort;
  // A depth of 0 offsets by 0 modulo the table (even a product that is not a number converts to
  // a multiple of 65,536), so an oscillator that no lane modulates skips the routine.
  const bool fm0 = !kSimple && L.fm_on[0], fm1 = !kSimple && L.fm_on[1];
  const int slot0 = L.fm_slot[0], slot1 = L.fm_slot[1];
  const F4 sync_factor = Splat(L.sync_factor);
  const F4 drive = Splat(L.drive);
  const F4 release_step = Splat(L.release_step);
  [[maybe_unused]] const bool mixing = !kSimple && L.band_mixing;
  [[maybe_unused]] const bool plain0 = !kSimple && L.band_plain[0];
  [[maybe_unused]] const bool plain1 = !kSimple && L.band_plain[1];
  [[maybe_unused]] const float* const pool = kBand ? BandPool() : nullptr;
  [[maybe_unused]] const float* const step_residuals = kBand ? StepResidual() : nullptr;
  [[maybe_unused]] const float* const ramp_residuals = kBand ? RampResidual() : nullptr;

  struct Group {
    I4 phase0, phase1, increment0, increment1, done;
    F4 per_increment0;  // 1 / oscillator 1's increment (at least 1), for sync's timing
    F4 depth0, depth1;
    F4 sample0, sample1;      // the oscillators' previous samples
    F4 previous0, previous1;  // the alias-free reading's unwarped positions, a frame back
    F4 restarted;             // mask: oscillator 2 restarted by sync, within kRestartSpan
    F4 gain1, gain2;
    F4 gate, alive, release, fade, velocity, amp0, amp1, volume0, volume1, lfo0, lfo1, volume_lfo;
    F4 runaway;
    Section filter;
  };
  auto load = [&L](int o) {
    Group G;
    G.phase0 = Load(&L.phase[0][o]);
    G.phase1 = Load(&L.phase[1][o]);
    G.increment0 = Load(&L.increment[0][o]);
    G.increment1 = Load(&L.increment[1][o]);
    G.per_increment0 = Splat(1.0f) / MaxOf(ToFloat(G.increment0), Splat(1.0f));
    G.done = SplatInt(0);
    G.depth0 = Load(&L.fm_depth[0][o]);
    G.depth1 = Load(&L.fm_depth[1][o]);
    G.sample0 = Load(&L.fm_sample[0][o]);
    G.sample1 = Load(&L.fm_sample[1][o]);
    if constexpr (kBand) {
      G.previous0 = Load(&L.band_previous[0][o]);
      G.previous1 = Load(&L.band_previous[1][o]);
      G.restarted = Load(&L.band_restarted[o]);
    } else {
      G.previous0 = G.previous1 = G.restarted = Splat(0.0f);
    }
    G.gain1 = Load(&L.steady_gain[0][o]);
    G.gain2 = Load(&L.steady_gain[1][o]);
    G.gate = Load(&L.gate[o]);
    G.alive = Load(&L.alive[o]);
    G.release = Load(&L.release[o]);
    G.fade = Load(&L.fade[o]);
    G.velocity = Load(&L.velocity[o]);
    G.amp0 = Load(&L.amp_env[0][o]);
    G.amp1 = Load(&L.amp_env[1][o]);
    G.volume0 = Load(&L.volume[0][o]);
    G.volume1 = Load(&L.volume[1][o]);
    G.lfo0 = Load(&L.lfo_gain[0][o]);
    G.lfo1 = Load(&L.lfo_gain[1][o]);
    G.volume_lfo = Load(&L.volume_lfo[o]);
    G.runaway = Splat(0.0f);
    if constexpr (std::is_same_v<Section, TwoPoleLanes>) {
      Section& f = G.filter;
      F4* const memories[11] = {&f.c0, &f.c1, &f.c2, &f.c4, &f.c5, &f.x1,
                                &f.x2, &f.x3, &f.y1, &f.y2, &f.y3};
      for (int j = 0; j < 11; ++j) *memories[j] = Load(&L.two_pole[j][o]);
    } else if constexpr (std::is_same_v<Section, RingLanes>) {
      G.filter.phase = Load(&L.ring_phase[o]);
      G.filter.increment = Load(&L.ring_increment[o]);
      G.filter.depth = Load(&L.ring_depth[o]);
    } else if constexpr (kFiltered) {
      Section& f = G.filter;
      F4* const memories[8] = {&f.k, &f.p, &f.r, &f.input, &f.y1, &f.y2, &f.y3, &f.y4};
      for (int j = 0; j < 8; ++j) *memories[j] = Load(&L.ladder[j][o]);
    }
    return G;
  };
  auto store = [&L](const Group& G, int o) {
    Store(&L.phase[0][o], G.phase0);
    Store(&L.phase[1][o], G.phase1);
    Store(&L.frames_done[o], G.done);
    Store(&L.fm_sample[0][o], G.sample0);
    Store(&L.fm_sample[1][o], G.sample1);
    if constexpr (kBand) {
      Store(&L.band_previous[0][o], G.previous0);
      Store(&L.band_previous[1][o], G.previous1);
      Store(&L.band_restarted[o], G.restarted);
    }
    Store(&L.release[o], G.release);
    Store(&L.fade[o], G.fade);
    Store(&L.runaway[o], G.runaway);
    if constexpr (std::is_same_v<Section, TwoPoleLanes>) {
      const Section& f = G.filter;
      const F4 memories[6] = {f.x1, f.x2, f.x3, f.y1, f.y2, f.y3};
      for (int j = 0; j < 6; ++j) Store(&L.two_pole[5 + j][o], memories[j]);
    } else if constexpr (std::is_same_v<Section, RingLanes>) {
      Store(&L.ring_phase[o], G.filter.phase);
    } else if constexpr (kFiltered) {
      const Section& f = G.filter;
      const F4 memories[5] = {f.input, f.y1, f.y2, f.y3, f.y4};
      for (int j = 0; j < 5; ++j) Store(&L.ladder[3 + j][o], memories[j]);
    }
  };
  Group g0 = load(0);
  [[maybe_unused]] Group g1 = kGroups == 2 ? load(4) : g0;

  // One frame of one group's filter, on the input the oscillators left for it. The filter is
  // a chain from sample to sample; it runs a few frames behind the oscillators, so that each
  // input is ready when the chain reaches it and the oscillators' work fills the chain's gaps.
  auto filter_step = [&](Group& G, int n, int o) VELLICOR_INLINE {
    if constexpr (kFiltered) {
      const F4 x = Load(&L.input[n][o]);
      if constexpr (kSteady) {
        Store(&L.filtered[n][o], G.filter.Step(x, &G.runaway, sine));
      } else {
        // The state moves on only in live lanes, and only a live lane's runaway counts (an
        // idle lane computes from a state its voice no longer has).
        const F4 alive = Load(&L.live[n][o]);
        Section next = G.filter;
        F4 bad = zero;
        Store(&L.filtered[n][o], next.Step(x, &bad, sine));
        G.runaway = Or(G.runaway, And(alive, bad));
        G.filter.Keep(next, alive);
      }
    }
  };
  constexpr int kFilterLag = 3;

  for (int k = from; k < to;) {
    // The pulse-width factors hold until the next frame whose counter is a multiple of 8.
    const uint32_t counter = first_counter + static_cast<uint32_t>(k);
    const int stretch = kPwmPeriod - static_cast<int>(counter & (kPwmPeriod - 1));
    const int stretch_end = k + stretch < to ? k + stretch : to;
    const int segment = PwmSegment(counter);
    bool warp_on[2];
    F4 position[2], upper16[2], lower16[2];
    for (int m = 0; m < 2; ++m) {
      const PulseWidth& pw = pwm_segment_[m][segment];
      // Without PWM the phase is never warped; an even pulse leaves it as it is.
      warp_on[m] = !kSimple && pwm_on_[m] && pw.position != 0.5f;
      position[m] = Splat(pw.position);
      upper16[m] = Splat(65536.0f * pw.upper);
      lower16[m] = Splat(65536.0f * pw.lower);
    }
    // Phase warp, four lanes at a time: the first half of the wave is squeezed into
    // [0, position), the second half into [position, 1), so a square becomes a pulse of
    // variable width. The factors are scaled by 65536 beforehand: scaling by a power of two is
    // exact, so (a * upper + 0.5) * 65536 and a * (upper * 65536) + 32768 are the same float.
    auto warp = [&](I4 q, int m) VELLICOR_INLINE {
      const F4 u = ToFloat(q) / Splat(65535.0f);
      const F4 scaled = Select(GreaterEqual(u, position[m]),
                               (u - position[m]) * upper16[m] + Splat(32768.0f), u * lower16[m]);
      return RoundInt(scaled) & wave_mask;
    };
    // The FM routine reads oscillator 1's, oscillator 2's or no previous sample.
    auto source = [&](const Group& G, int slot) VELLICOR_INLINE {
      return slot == 0 ? G.sample0 : (slot == 1 ? G.sample1 : zero);
    };

    // The alias-free reading (engine/band_limited.h): positions kept with their fractions, the
    // levels interpolated and crossfaded, sync's jumps and the warp's corners corrected, the
    // outputs kCorrectionHalf frames late.
    // Level j of oscillator m at `position`, its table at `offset` in the pool (a restarted
    // oscillator 2 reads its level's restart copy).
    [[maybe_unused]] auto band_level = [&](int m, int j, int o, F4 position,
                                           I4 offset) VELLICOR_INLINE {
      const F4 x = position * Load(&L.band_scale[m][j][o]);
      const I4 i = Truncate(x);
      const F4 f = x - ToFloat(i);
      F4 a, b;
      GatherPair(pool, (i & Load(&L.band_mask[m][j][o])) + offset, &a, &b);
      return a + f * (b - a);
    };
    // The level read, faded into the next while a lane of the group moves between them.
    [[maybe_unused]] auto band_levels = [&](int m, int o, F4 position,
                                            auto offset_of) VELLICOR_INLINE {
      const F4 s = band_level(m, 0, o, position, offset_of(0));
      if (kSimple || !L.band_fading[m][o / 4]) return s;
      return s + Load(&L.band_weight_now[m][o]) * (band_level(m, 1, o, position, offset_of(1)) - s);
    };
    [[maybe_unused]] auto band_read = [&](int m, int o, F4 position) VELLICOR_INLINE {
      if (m == 0 ? plain0 : plain1) {
        return Gather(m == 0 ? wave0 : wave1, RoundInt(position) & wave_mask);
      }
      return band_levels(m, o, position,
                         [&](int j) VELLICOR_INLINE { return Load(&L.band_offset[m][j][o]); });
    };
    // A phase with its FM offset, brought into 0..65536 (floor, from a truncation), and warped
    // as the plain reading warps it, without rounding to a point.
    [[maybe_unused]] auto band_place = [&](int m, F4 p, bool wrap, bool warp) VELLICOR_INLINE {
      if (wrap) {
        const F4 cycles = p * Splat(1.0f / 65536.0f);
        I4 whole = Truncate(cycles);
        whole = whole + And(Less(cycles, ToFloat(whole)), SplatInt(-1));
        p = p - ToFloat(whole) * Splat(65536.0f);
      }
      if (warp && warp_on[m]) {
        const F4 u = p / Splat(65535.0f);
        p = Select(GreaterEqual(u, position[m]), (u - position[m]) * upper16[m] + Splat(32768.0f),
                   u * lower16[m]);
      }
      return p;
    };
    // Corrections: `amount` times a residual at `since`, added to one lane's frames from
    // kCorrectionHalf before frame n on (read kCorrectionHalf frames later, at frames n on).
    [[maybe_unused]] auto correct_one = [&](int m, const float* residuals, int n, int lane,
                                            float amount, float since, F4* now) VELLICOR_INLINE {
      if (amount == 0.0f) return;
      float scaled = std::min(since, 0.9999f) * static_cast<float>(kCorrectionPoints);
      if (!(scaled > 0.0f)) scaled = 0.0f;
      const int index = static_cast<int>(scaled);
      const float fraction = scaled - static_cast<float>(index);
      // The residual at `since`, four taps at a time, into the lane's frames.
      const float* before = residuals + index * kCorrectionTaps;
      const float* after = before + kCorrectionTaps;
      const F4 scale = Splat(amount), part = Splat(fraction);
      // Frame n has been read already: its tap goes to `now`, the lane's part of its reading.
      float* row = &L.band_fix[m][lane][n];
      for (int j = 0; j < kCorrectionTaps; j += 4) {
        const F4 a = Load(before + j);
        const F4 taps = scale * (a + part * (Load(after + j) - a));
        if (j == 0) *now = *now + And(First(taps), Load(kLaneMask[lane & 3]));
        StoreUnaligned(row + j, LoadUnaligned(row + j) + taps);
      }
    };
    // The same for the lanes of a group, `amount` 0 in lanes without the event.
    [[maybe_unused]] auto correct = [&](int m, const float* residuals, int n, int o, F4 amount,
                                        F4 since, F4* now) VELLICOR_INLINE {
      alignas(16) float amounts[4], sinces[4];
      Store(amounts, amount);
      Store(sinces, since);
      for (int lane = 0; lane < 4; ++lane) {
        correct_one(m, residuals, n, o + lane, amounts[lane], sinces[lane], now);
      }
    };
    // The slope of oscillator m's levels at table positions p, per phase unit.
    [[maybe_unused]] auto slope = [&](int m, int o, F4 p) VELLICOR_INLINE {
      return (band_read(m, o, p + one) - band_read(m, o, p - one)) * Splat(0.5f);
    };
    // The warp's corners: the read speed changes where the unwarped position u passes the pulse
    // width (from the lower factor to the upper) and where it wraps (back). Between the frame's
    // previous position and this one, at most one of each.
    [[maybe_unused]] auto corners = [&](int m, int n, int o, F4 previous, F4 now, F4 live,
                                        F4* fix) VELLICOR_INLINE {
      const F4 cycle = Splat(65536.0f / 65535.0f);
      const F4 u0 = previous / Splat(65535.0f), u1 = now / Splat(65535.0f);
      F4 moved = u1 - u0;
      // A step back by more than half a cycle is a wrap; a smaller one (FM) passes nothing.
      const F4 wrapped = Less(moved, Splat(-0.5f));
      moved = moved + And(wrapped, cycle);
      const F4 forward = Less(zero, moved);
      const F4 pos = position[m];
      const F4 passed = And(forward, Select(wrapped, Or(GreaterEqual(u1, pos), Less(u0, pos)),
                                            And(Less(u0, pos), GreaterEqual(u1, pos))));
      const F4 at_zero = And(live, And(forward, wrapped));
      const F4 at_pos = And(live, passed);
      if (MaskBits(Or(at_zero, at_pos)) == 0) return;
      const F4 per_frame = MaxOf(moved, Splat(1e-9f));
      const F4 change = (lower16[m] - upper16[m]) * moved;  // of the read speed, at u = 0
      if (MaskBits(at_zero) != 0) {
        const F4 since = u1 / per_frame;
        const F4 bend = slope(m, o, zero) * change;
        correct(m, ramp_residuals, n, o, And(at_zero, bend), since, fix);
      }
      if (MaskBits(at_pos) != 0) {
        const F4 since = Select(GreaterEqual(u1, pos), u1 - pos, u1 + cycle - pos) / per_frame;
        const F4 bend = slope(m, o, Splat(32768.0f)) * (zero - change);
        correct(m, ramp_residuals, n, o, And(at_pos, bend), since, fix);
      }
    };
    // Oscillator 2 after a restart by sync: lanes restarted within kRestartSpan read their
    // copies' restart copies (engine/band_limited.h), at the same points. Without a branch on
    // the lanes' mask: which lanes are in their span changes from frame to frame without a
    // pattern, so a branch would be mispredicted about as often as taken.
    [[maybe_unused]] auto restart_read = [&](F4 p, F4 restarted, int o) VELLICOR_INLINE {
      if (plain1) return band_read(1, o, p);
      return band_levels(1, o, p, [&](int j) VELLICOR_INLINE {
        return Select(restarted, Load(&L.band_restart_offset[j][o]), Load(&L.band_offset[1][j][o]));
      });
    };
    // One lane's reading of the same, for events that come in one lane at a time.
    // `restart`: oscillator 2 restarted within kRestartSpan, reading its restart copies.
    [[maybe_unused]] auto read_one = [&](int m, int lane, float position,
                                         bool restart) VELLICOR_INLINE {
      if (m == 0 ? plain0 : plain1) {
        return (m == 0 ? L.wave[0] : L.wave[1])[RoundToInt(position) & (kWavePoints - 1)];
      }
      auto level = [&](int j) {
        const float x = position * L.band_scale[m][j][lane];
        const int32_t i = static_cast<int32_t>(x);
        const float f = x - static_cast<float>(i);
        const int32_t base = restart ? L.band_restart_offset[j][lane] : L.band_offset[m][j][lane];
        const float* t = pool + (i & L.band_mask[m][j][lane]) + base;
        return t[0] + f * (t[1] - t[0]);
      };
      const float s = level(0);
      if (kSimple || !L.band_fading[m][lane / 4]) return s;
      return s + L.band_weight_now[m][lane] * (level(1) - s);
    };
    [[maybe_unused]] auto band_oscillators = [&](Group& G, int n, int o, F4 alive, F4* out1,
                                                 F4* out2) VELLICOR_INLINE {
      for (int m = 0; m < 2; ++m) {
        if (kSimple || !L.band_fading[m][o / 4]) continue;
        const F4 weight =
            Load(&L.band_weight[m][o]) + Splat(static_cast<float>(n + 1) / kBandFadeFrames);
        Store(&L.band_weight_now[m][o], MinOf(weight, one));
      }
      // The corrections owed to the frame read now, read before this frame's own add theirs.
      constexpr int kRow = Lanes::kFixLength;
      F4 fix0 = L.band_fixing[0] ? Column(&L.band_fix[0][o][n], kRow) : zero;
      F4 fix1 = L.band_fixing[1] ? Column(&L.band_fix[1][o][n], kRow) : zero;
      const I4 old0 = G.phase0;
      const I4 phase0 = (old0 + G.increment0) & wave_mask;
      const F4 offset0 = fm0 ? G.depth0 * source(G, slot0) : zero;
      const F4 offset1 = fm1 ? G.depth1 * source(G, slot1) : zero;
      // With FM the position may fall anywhere: read four cycles on (the levels wrap by their
      // masks), unless the warp or sync needs it within the cycle.
      const F4 ahead = Splat(262144.0f);
      const F4 u0 = !fm0         ? ToFloat(phase0)
                    : warp_on[0] ? band_place(0, ToFloat(phase0) + offset0, true, false)
                                 : ToFloat(phase0) + offset0 + ahead;
      const F4 a1 = band_read(0, o, band_place(0, u0, false, true));
      if (warp_on[0]) corners(0, n, o, G.previous0, u0, alive, &fix0);
      I4 phase1 = (G.phase1 + G.increment1) & wave_mask;
      F4 restarted = G.restarted;
      if (sync) {
        const F4 wrapped = And(alive, LessInt(phase0, old0));
        const int wraps = MaskBits(wrapped);
        if (wraps != 0) {
          // Oscillator 1 wrapped `since` of a frame ago: oscillator 2's phase then, and where
          // sync put it, from where it has moved on for `since` since. Computed for the four
          // lanes at once (lanes put back together from scalars would wait on their stores);
          // the jump's correction goes lane by lane, as a wrap seldom comes in more than one
          // lane of a frame.
          const F4 step = ToFloat(G.increment1);
          const F4 since = MinOf(ToFloat(phase0) * G.per_increment0, one);
          const F4 before = ToFloat(G.phase1) + step * (one - since);
          const F4 after = before * sync_factor;
          phase1 = Select(wrapped, RoundInt(after + step * since) & wave_mask, phase1);
          const F4 from = band_place(1, before + offset1, true, true);
          const F4 to = band_place(1, after + offset1, true, true);
          const F4 span = Splat(kRestartSpan);
          const F4 landed = Less(to, span);
          // Before the jump it may have moved past the span since the last frame.
          const F4 was_restarted = And(restarted, Less(from, span));
          restarted = Select(wrapped, landed, restarted);
          alignas(16) float since_at[4], from_at[4], to_at[4], landed_at[4], was_at[4];
          Store(since_at, since);
          Store(from_at, from);
          Store(to_at, to);
          Store(landed_at, landed);
          Store(was_at, was_restarted);
          for (int left = wraps; left != 0; left &= left - 1) {
            const int lane = std::countr_zero(static_cast<unsigned>(left));
            const float jump = read_one(1, o + lane, to_at[lane], landed_at[lane] != 0.0f) -
                               read_one(1, o + lane, from_at[lane], was_at[lane] != 0.0f);
            correct_one(1, step_residuals, n, o + lane, jump, since_at[lane], &fix1);
          }
        }
      }
      const F4 u1 = !fm1                 ? ToFloat(phase1)
                    : warp_on[1] || sync ? band_place(1, ToFloat(phase1) + offset1, true, false)
                                         : ToFloat(phase1) + offset1 + ahead;
      const F4 p1 = band_place(1, u1, false, true);
      if (sync) restarted = And(restarted, Less(p1, Splat(kRestartSpan)));
      const F4 a2 = sync ? restart_read(p1, restarted, o) : band_read(1, o, p1);
      if (warp_on[1]) corners(1, n, o, G.previous1, u1, alive, &fix1);
      // This frame's samples wait kCorrectionHalf frames; those of the frame kCorrectionHalf
      // back are read, with their corrections.
      Store(&L.band_wait[0][n + kCorrectionHalf][o], kSteady ? a1 : And(alive, a1));
      Store(&L.band_wait[1][n + kCorrectionHalf][o], kSteady ? a2 : And(alive, a2));
      F4 o1 = Load(&L.band_wait[0][n][o]) + fix0;
      F4 o2 = Load(&L.band_wait[1][n][o]) + fix1;
      F4 f1 = a1, f2 = a2;  // what the FM routine reads next frame
      if (mixing) {
        // The plain reading too, and the two crossfaded.
        const F4 mix = Splat(L.band_mix[n]);
        I4 read0 = phase0;
        if (fm0) read0 = (phase0 + RoundInt(offset0)) & wave_mask;
        if (warp_on[0]) read0 = warp(read0, 0);
        I4 read1 = phase1;
        if (fm1) read1 = (phase1 + RoundInt(offset1)) & wave_mask;
        if (warp_on[1]) read1 = warp(read1, 1);
        const F4 s1 = Gather(wave0, read0);
        const F4 s2 = Gather(wave1, read1);
        // Weighted on both sides, so that a weight of 0 or 1 gives one reading's bits exactly.
        const F4 rest = one - mix;
        o1 = s1 * rest + o1 * mix;
        o2 = s2 * rest + o2 * mix;
        f1 = s1 * rest + f1 * mix;
        f2 = s2 * rest + f2 * mix;
      }
      if constexpr (kSteady) {
        G.phase0 = phase0;
        G.phase1 = phase1;
        G.sample0 = f1;
        G.sample1 = f2;
        G.previous0 = u0;
        G.previous1 = u1;
        G.restarted = restarted;
      } else {
        G.phase0 = Select(alive, phase0, G.phase0);
        G.phase1 = Select(alive, phase1, G.phase1);
        G.sample0 = Select(alive, f1, G.sample0);
        G.sample1 = Select(alive, f2, G.sample1);
        G.previous0 = Select(alive, u0, G.previous0);
        G.previous1 = Select(alive, u1, G.previous1);
        G.restarted = Select(alive, restarted, G.restarted);
        G.done = G.done + And(alive, SplatInt(1));
      }
      *out1 = o1;
      *out2 = o2;
    };

    // One frame of one group: oscillators, distortion, and the filter when it runs here.
    auto step = [&](Group& G, int n, int o) VELLICOR_INLINE {
      F4 gain1 = G.gain1, gain2 = G.gain2;
      F4 alive = G.alive;
      if constexpr (!kSteady) {
        // Release stage: a lane that falls idle stops where it is.
        const F4 r = G.release;
        const F4 idle = AndNot(G.gate, LessEqual(r + r + r, Splat(0.001f)));
        alive = AndNot(idle, alive);
        G.alive = alive;
        G.release = Select(alive, Select(G.gate, one, r - release_step), r);
        const F4 level = MaxOf(G.release, tiny);  // release > 1e-15 ? release : 1e-15
        const F4 fading = Less(zero, G.fade);
        const F4 fade_gain = Select(fading, one - Splat(0.002f) * G.fade, one);
        G.fade = Select(And(alive, fading), G.fade - one, G.fade);
        const F4 amplitude1 = level * G.velocity * G.amp0 + tiny;
        const F4 amplitude2 = level * G.velocity * G.amp1 + tiny;
        gain1 = amplitude1 * G.volume0 * G.lfo0;
        gain2 = amplitude2 * G.volume1 * G.lfo1;
        Store(&L.scale[n][o], fade_gain * G.velocity * G.volume_lfo);
        Store(&L.live[n][o], alive);
      }

      F4 s1, s2;
      if constexpr (kBand) {
        band_oscillators(G, n, o, alive, &s1, &s2);
      } else {
        // Oscillators: the FM routine offsets the read positions by the previous samples.
        const I4 old0 = G.phase0;
        const I4 phase0 = (old0 + G.increment0) & wave_mask;
        I4 read0 = phase0;
        if (fm0) read0 = (phase0 + RoundInt(G.depth0 * source(G, slot0))) & wave_mask;
        if (warp_on[0]) read0 = warp(read0, 0);
        I4 phase1 = G.phase1;
        if (sync) {
          const F4 wrapped = LessInt(phase0, old0);
          phase1 = Select(wrapped, RoundInt(ToFloat(phase1) * sync_factor), phase1);
        }
        phase1 = (phase1 + G.increment1) & wave_mask;
        I4 read1 = phase1;
        if (fm1) read1 = (phase1 + RoundInt(G.depth1 * source(G, slot1))) & wave_mask;
        if (warp_on[1]) read1 = warp(read1, 1);
        s1 = Gather(wave0, read0);
        s2 = Gather(wave1, read1);
        if constexpr (kSteady) {
          G.phase0 = phase0;
          G.phase1 = phase1;
          G.sample0 = s1;
          G.sample1 = s2;
        } else {
          G.phase0 = Select(alive, phase0, G.phase0);
          G.phase1 = Select(alive, phase1, G.phase1);
          G.sample0 = Select(alive, s1, G.sample0);
          G.sample1 = Select(alive, s2, G.sample1);
          G.done = G.done + And(alive, SplatInt(1));
        }
      }
      F4 x = ring ? gain1 * gain2 * s1 * s2 : gain1 * s1 + gain2 * s2;
      x = x + tiny;
      if (distort) x = filter_lanes::Distort(x, drive);
      Store(&L.input[n][o], x);
    };

    // The run's first frames only fill the lag; from there every frame also filters the one
    // kFilterLag before it (a filter step taken every time keeps its state out of memory).
    const int lag_end = from + kFilterLag < stretch_end ? from + kFilterLag : stretch_end;
    for (; k < lag_end; ++k) {
      step(g0, k - from, 0);
      if constexpr (kGroups == 2) step(g1, k - from, 4);
    }
    for (; k < stretch_end; ++k) {
      step(g0, k - from, 0);
      if constexpr (kGroups == 2) step(g1, k - from, 4);
      filter_step(g0, k - kFilterLag - from, 0);
      if constexpr (kGroups == 2) filter_step(g1, k - kFilterLag - from, 4);
    }
  }
  for (int n = (to - kFilterLag > from ? to - kFilterLag : from) - from; n < to - from; ++n) {
    filter_step(g0, n, 0);
    if constexpr (kGroups == 2) filter_step(g1, n, 4);
  }

  store(g0, 0);
  if constexpr (kGroups == 2) store(g1, 4);
}

// Every run DispatchLanes may ask for, for one reading (kBand), and for the simple alias-free
// loop (kSimple).
#define VELLICOR_RUN_LANES_OF(kGroups, kSteady, kBand, kSimple)                                    \
  template void Engine::RunLanes<kGroups, kSteady, kLaneOff, kBand, kSimple>(Lanes&, int, int,     \
                                                                             uint32_t);            \
  template void Engine::RunLanes<kGroups, kSteady, kLaneTwoPole, kBand, kSimple>(Lanes&, int, int, \
                                                                                 uint32_t);        \
  template void Engine::RunLanes<kGroups, kSteady, kLaneLadderLow, kBand, kSimple>(Lanes&, int,    \
                                                                                   int, uint32_t); \
  template void Engine::RunLanes<kGroups, kSteady, kLaneLadderHigh, kBand, kSimple>(               \
      Lanes&, int, int, uint32_t);                                                                 \
  template void Engine::RunLanes<kGroups, kSteady, kLaneLadderBand, kBand, kSimple>(               \
      Lanes&, int, int, uint32_t);                                                                 \
  template void Engine::RunLanes<kGroups, kSteady, kLaneLadderNotch, kBand, kSimple>(              \
      Lanes&, int, int, uint32_t);                                                                 \
  template void Engine::RunLanes<kGroups, kSteady, kLaneRing, kBand, kSimple>(Lanes&, int, int,    \
                                                                              uint32_t);
#define VELLICOR_RUN_LANES_KINDS(kGroups, kSteady, kBand) \
  VELLICOR_RUN_LANES_OF(kGroups, kSteady, kBand, false)
#define VELLICOR_RUN_LANES_SIMPLE(kGroups, kSteady) \
  VELLICOR_RUN_LANES_OF(kGroups, kSteady, true, true)
#define VELLICOR_RUN_LANES(kBand)           \
  VELLICOR_RUN_LANES_KINDS(1, false, kBand) \
  VELLICOR_RUN_LANES_KINDS(1, true, kBand)  \
  VELLICOR_RUN_LANES_KINDS(2, false, kBand) \
  VELLICOR_RUN_LANES_KINDS(2, true, kBand)

}  // namespace vellicor
