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

#include "engine/lanes.h"

namespace vellicor {

namespace {

// What a voice kept for the frames from its last run's end on (`length` of them), as due from
// `late` frames after that end: `kept` itself when the voice runs on without a gap, else
// shifted into `scratch`, the frames it was left out of lost.
const float* DueAfter(const float* kept, int length, uint32_t late, float* scratch) {
  if (late == 0) return kept;
  for (int x = 0; x < length; ++x) {
    scratch[x] = late < static_cast<uint32_t>(length - x) ? kept[x + static_cast<int>(late)] : 0.0f;
  }
  return scratch;
}

int LaneFilterOf(int type) {
  switch (type) {
    case kFilterOff:
      return kLaneOff;
    case kFilterLowpass12:
    case kFilterHighpass12:
    case kFilterBandpass12:
    case kFilterBandreject12:
      return kLaneTwoPole;
    case kFilterLowpass24:
      return kLaneLadderLow;
    case kFilterHighpass24:
      return kLaneLadderHigh;
    case kFilterBandpass24:
      return kLaneLadderBand;
    case kFilterBandreject24:
      return kLaneLadderNotch;
    case kFilterRingMod:
    case kFilterTunedRingMod:
      return kLaneRing;
    case kFilterComb:
    case kFilterComb2:
      return kLaneComb;
    default:
      return kLaneMixed;
  }
}

}  // namespace

void Engine::LoadLanes(Lanes& L, Voice* const* voices, int count, const FilterHistoryRing& ring,
                       uint32_t counter) {
  std::memset(static_cast<void*>(&L), 0, offsetof(Lanes, input));
  L.count = count;
  L.first_ring = ring;
  const float sync_factor = sync_factor_;
  L.sync_factor = sync_factor;
  L.sync = sync_factor != 1.0f;  // a factor of 1 leaves the phase as it is
  L.ring = ring_mod_;
  L.release_step = release_step_;
  L.drive = filter_settings_.drive;
  L.distort = !(L.drive <= 1.01f);
  L.filter_volume = filter_settings_.volume;
  for (int m = 0; m < 2; ++m) {
    const OscillatorSettings& osc = osc_[m];
    L.wave[m] = waves_.Table(osc.wave);
    const int source = osc.fm_source;
    L.fm_slot[m] = source == 1 ? 0 : (source == 2 ? 1 : 2);
  }
  const int main_env = main_env_;
  const float main_volume = main_volume_;
  const int amp_env[2] = {osc_[0].amp_env, osc_[1].amp_env};
  const float volume[2] = {osc_[0].volume, osc_[1].volume};
  bool steady = true;
  int filter = -1;
  for (int i = 0; i < count; ++i) {
    Voice& voice = *voices[i];
    L.voice[i] = &voice;
    for (int m = 0; m < 2; ++m) {
      L.phase[m][i] = voice.phase[m];
      L.increment[m][i] = voice.increment[m];
      // Off, the routine reads no previous sample: a depth of 0 offsets by exactly 0.
      L.fm_depth[m][i] = voice.fm_active ? voice.fm_depth[m] : 0.0f;
      L.amp_env[m][i] = voice.env_output[amp_env[m]];
      L.volume[m][i] = volume[m];
      L.lfo_gain[m][i] = voice.osc_lfo_gain[m];
    }
    for (int j = 0; j < 2; ++j) L.fm_sample[j][i] = voice.fm_sample[j];
    for (int m = 0; m < 2; ++m) L.fm_on[m] = L.fm_on[m] || L.fm_depth[m][i] != 0.0f;
    L.gate[i] = MaskOf(voice.gate);
    L.alive[i] = MaskOf(true);
    L.release[i] = voice.release;
    L.fade[i] = voice.fade_in;
    L.velocity[i] = voice.velocity;
    L.volume_lfo[i] = voice.volume_lfo_gain;
    voice.main_gain = main_volume * voice.env_output[main_env];
    L.main_gain[i] = voice.main_gain;
    const bool held = voice.gate && !(voice.fade_in > 0.0f);
    steady = steady && held;
    if (held) {
      L.release[i] = 1.0f;
      for (int m = 0; m < 2; ++m) {
        const float amplitude = 1.0f * voice.velocity * L.amp_env[m][i] + 1e-15f;
        L.steady_gain[m][i] = amplitude * L.volume[m][i] * L.lfo_gain[m][i];
      }
      L.steady_scale[i] = 1.0f * voice.velocity * voice.volume_lfo_gain;
    }
    const int kind = LaneFilterOf(voice.filter.type_in_use());
    filter = filter < 0 || filter == kind ? kind : kLaneMixed;
  }
  L.steady = steady;
  L.filter = filter;
  L.band = BandReading();
  if (L.band) {
    L.band_mixing = BandMixing();
    for (int m = 0; m < 2; ++m) {
      L.band_plain[m] = osc_[m].wave == kWaveNoise1 || osc_[m].wave == kWaveNoise2;
    }
    const BandTable& silent = SilentBand();
    // The lanes of the groups that run (padding lanes read silence).
    const int lanes = count <= 4 ? 4 : kMaxLanes;
    for (int i = 0; i < lanes; ++i) {
      const Voice* voice = i < count ? voices[i] : nullptr;
      for (int m = 0; m < 2; ++m) {
        for (int j = 0; j < 2; ++j) {
          const BandTable* band =
              voice != nullptr ? (j == 0 ? voice->band_from[m] : voice->band_to[m]) : nullptr;
          if (band == nullptr) band = &silent;
          L.band_offset[m][j][i] = band->offset;
          L.band_scale[m][j][i] = band->scale;
          L.band_mask[m][j][i] = band->mask;
          if (m == 1) L.band_restart_offset[j][i] = band->restart_offset;
        }
        // How far the fade into band_to has come before the run's first frame (1: it is over).
        float weight = 1.0f;
        if (voice != nullptr && voice->band_from[m] != voice->band_to[m]) {
          const uint32_t since = counter - voice->band_fade_start[m];
          if (since < kBandFadeFrames) weight = static_cast<float>(since) / kBandFadeFrames;
        }
        L.band_weight[m][i] = weight;
        L.band_previous[m][i] = voice != nullptr ? voice->band_previous[m] : 0.0f;
        L.band_restarted[i] = voice != nullptr ? voice->band_restarted : 0.0f;

        if (weight < 1.0f) L.band_fading[m][i / 4] = true;
      }
    }
    // The samples the voices' last runs left waiting, four voices by four frames at a time (a
    // voice left out of some frames lost those due in them).
    static const float kNothingWaiting[kCorrectionHalf] = {};
    for (int o = 0; o < lanes; o += 4) {
      for (int m = 0; m < 2; ++m) {
        alignas(16) float shifted[4][kCorrectionHalf];
        const float* waiting[4];
        for (int r = 0; r < 4; ++r) {
          waiting[r] = o + r >= count ? kNothingWaiting
                                      : DueAfter(voices[o + r]->band_line[m], kCorrectionHalf,
                                                 counter - voices[o + r]->band_fix_at, shifted[r]);
        }
        for (int j = 0; j < kCorrectionHalf; j += 4) {
          simd::F4 rows[4] = {
              simd::LoadUnaligned(waiting[0] + j), simd::LoadUnaligned(waiting[1] + j),
              simd::LoadUnaligned(waiting[2] + j), simd::LoadUnaligned(waiting[3] + j)};
          simd::Transpose(rows[0], rows[1], rows[2], rows[3]);
          for (int r = 0; r < 4; ++r) simd::Store(&L.band_wait[m][j + r][o], rows[r]);
        }
      }
    }
    // The corrections owed, lane by lane, for the oscillators that are owed some or may get
    // some: sync's jumps (oscillator 2) and the pulse width's corners.
    L.band_counter = counter;
    for (int m = 0; m < 2; ++m) {
      bool fixing = pwm_on_[m] || (m == 1 && L.sync);
      for (int i = 0; i < count && !fixing; ++i) {
        simd::F4 any = simd::Splat(0.0f);
        for (int x = 0; x < kCorrectionTaps; x += 4) {
          any = simd::Or(any, simd::LoadUnaligned(voices[i]->band_fix[m] + x));
        }
        // Bits, not values: an or of two numbers' bits may read as one that is not a number.
        fixing = simd::MaskBits(simd::SameBits(simd::Abs(any), simd::Splat(0.0f))) != 0xF;
      }
      L.band_fixing[m] = fixing;
      if (!fixing) continue;
      for (int i = 0; i < lanes; ++i) {
        float* row = L.band_fix[m][i];
        for (int x = 0; x < Lanes::kFixLength; x += 4) simd::Store(row + x, simd::Splat(0.0f));
        if (i >= count) continue;
        // Owed from the voice's last run; a voice left out of some frames owes them nothing.
        alignas(16) float shifted[kCorrectionTaps];
        const float* owed = DueAfter(voices[i]->band_fix[m], kCorrectionTaps,
                                     counter - voices[i]->band_fix_at, shifted);
        for (int x = 0; x < kCorrectionTaps; x += 4) {
          simd::Store(row + x, simd::LoadUnaligned(owed + x));
        }
      }
    }
  }
  for (int i = 0; i < count; ++i) {
    const VoiceFilter& f = voices[i]->filter;
    if (filter == kLaneTwoPole) {
      const VoiceFilter::TwoPoleMemory m = f.TakeTwoPole(L.first_ring);
      const float values[11] = {m.c0,         m.c1,         m.c2,        m.c4,
                                m.c5,         m.input[0],   m.input[1],  m.input[2],
                                m.history[0], m.history[1], m.history[2]};
      for (int j = 0; j < 11; ++j) L.two_pole[j][i] = values[j];
    } else if (filter >= kLaneLadderLow && filter <= kLaneLadderNotch) {
      const VoiceFilter::LadderMemory m = f.TakeLadder();
      const float values[8] = {m.k, m.p, m.r, m.input, m.y1, m.y2, m.y3, m.y4};
      for (int j = 0; j < 8; ++j) L.ladder[j][i] = values[j];
    } else if (filter == kLaneRing) {
      const VoiceFilter::RingMemory m = f.TakeRing();
      L.ring_phase[i] = m.phase;
      L.ring_increment[i] = m.increment;
      L.ring_depth[i] = m.depth;
    }
  }
}

void Engine::StoreLanes(const Lanes& L, int from, int to) {
  if (L.band) {
    const int frames = to - from;
    // The samples still waiting, back to the voices, as LoadLanes took them.
    for (int o = 0; o < L.count; o += 4) {
      for (int m = 0; m < 2; ++m) {
        for (int j = 0; j < kCorrectionHalf; j += 4) {
          simd::F4 rows[4];
          for (int r = 0; r < 4; ++r) rows[r] = simd::Load(&L.band_wait[m][frames + j + r][o]);
          simd::Transpose(rows[0], rows[1], rows[2], rows[3]);
          for (int r = 0; r < 4 && o + r < L.count; ++r) {
            simd::StoreUnaligned(L.voice[o + r]->band_line[m] + j, rows[r]);
          }
        }
      }
    }
    // What the run's frames still owe the frames after it.
    for (int i = 0; i < L.count; ++i) {
      Voice& voice = *L.voice[i];
      voice.band_fix_at = L.band_counter + static_cast<uint32_t>(frames);
      for (int m = 0; m < 2; ++m) {
        if (!L.band_fixing[m]) continue;
        for (int x = 0; x < kCorrectionTaps; x += 4) {
          simd::StoreUnaligned(voice.band_fix[m] + x,
                               simd::LoadUnaligned(L.band_fix[m][i] + frames + x));
        }
      }
    }
  }
  for (int i = 0; i < L.count; ++i) {
    Voice& voice = *L.voice[i];
    voice.phase[0] = static_cast<uint16_t>(L.phase[0][i]);
    voice.phase[1] = static_cast<uint16_t>(L.phase[1][i]);
    // Only the FM routine keeps its samples.
    if (voice.fm_active) {
      for (int j = 0; j < 2; ++j) voice.fm_sample[j] = L.fm_sample[j][i];
    }
    voice.release = L.release[i];
    voice.fade_in = L.fade[i];
    if (L.band) {
      for (int m = 0; m < 2; ++m) voice.band_previous[m] = L.band_previous[m][i];
      voice.band_restarted = L.band_restarted[i];
    }
    // Combs, and voices filtered one by one, kept their own state.
    if (L.filter == kLaneComb || L.filter == kLaneMixed) continue;
    const int done = L.steady ? to - from : L.frames_done[i];
    if (done == 0) continue;
    VoiceFilter& filter = voice.filter;
    uint32_t runaway;
    std::memcpy(&runaway, &L.runaway[i], sizeof runaway);
    if (runaway != 0) filter.ClearMemories();  // as the runaway did, for the other memories
    if (L.filter == kLaneTwoPole) {
      FilterHistoryRing ring = L.first_ring;
      for (int n = done % 3; n > 0; --n) ring.Advance();
      VoiceFilter::TwoPoleMemory m;
      for (int j = 0; j < 3; ++j) {
        m.input[j] = L.two_pole[5 + j][i];
        m.history[j] = L.two_pole[8 + j][i];
      }
      filter.PutTwoPole(m, ring);
    } else if (L.filter == kLaneRing) {
      filter.PutRing(L.ring_phase[i]);
    } else if (L.filter != kLaneOff) {
      filter.PutLadder({0.0f, 0.0f, 0.0f, L.ladder[3][i], L.ladder[4][i], L.ladder[5][i],
                        L.ladder[6][i], L.ladder[7][i]});
    }
    filter.SetOutput(L.output[i]);
  }
}

// The filters that run voice by voice, then the levels of every lane.
template <int kGroups, bool kSteady>
void Engine::FinishLanes(Lanes& L, int frames) {
  using namespace simd;
  const int filter = L.filter;
  if (filter == kLaneComb || filter == kLaneMixed) {
    // Over the frames each voice is alive for (a lane that falls idle stays idle).
    for (int i = 0; i < L.count; ++i) {
      VoiceFilter& f = L.voice[i]->filter;
      const int done = kSteady ? frames : L.frames_done[i];
      if (filter == kLaneComb) {
        f.CombRun(&L.input[0][i], &L.filtered[0][i], kMaxLanes, done);
      } else {
        for (int n = 0; n < done; ++n) {
          L.filtered[n][i] = f.Filter(L.input[n][i], ring_of_frame_[L.first_frame + n], sine_);
        }
      }
    }
  }

  // Levels: the filter volume, then fade-in, velocity, volume LFO and the voice's main gain.
  // A steady run's levels are fixed: AddToMix applies them as it adds.
  const float(*const y)[kMaxLanes] = filter == kLaneOff ? L.input : L.filtered;
  if constexpr (kSteady) {
    for (int o = 0; o < 4 * kGroups; o += 4) Store(&L.output[o], Load(&y[frames - 1][o]));
    return;
  }
  const F4 filter_volume = Splat(L.filter_volume);
  for (int o = 0; o < 4 * kGroups; o += 4) {
    const F4 main_gain = Load(&L.main_gain[o]);
    F4 output = Splat(0.0f);
    for (int n = 0; n < frames; ++n) {
      const F4 out = Load(&y[n][o]);
      const F4 live = Load(&L.live[n][o]);
      const F4 contribution = Load(&L.scale[n][o]) * (filter_volume * out) * main_gain;
      Store(&L.contribution[n][o], And(live, contribution));  // idle adds +0
      output = Select(live, out, output);
    }
    Store(&L.output[o], output);
  }
}

template <int kGroups>
void Engine::DispatchLanes(Lanes& L, int from, int to, uint32_t first_counter) {
  auto run = [&](auto steady, auto band, auto simple) {
    constexpr bool kSteady = decltype(steady)::value;
    constexpr bool kBand = decltype(band)::value;
    constexpr bool kSimple = decltype(simple)::value;
    switch (L.filter) {
      case kLaneTwoPole:
        RunLanes<kGroups, kSteady, kLaneTwoPole, kBand, kSimple>(L, from, to, first_counter);
        break;
      case kLaneLadderLow:
        RunLanes<kGroups, kSteady, kLaneLadderLow, kBand, kSimple>(L, from, to, first_counter);
        break;
      case kLaneLadderHigh:
        RunLanes<kGroups, kSteady, kLaneLadderHigh, kBand, kSimple>(L, from, to, first_counter);
        break;
      case kLaneLadderBand:
        RunLanes<kGroups, kSteady, kLaneLadderBand, kBand, kSimple>(L, from, to, first_counter);
        break;
      case kLaneLadderNotch:
        RunLanes<kGroups, kSteady, kLaneLadderNotch, kBand, kSimple>(L, from, to, first_counter);
        break;
      case kLaneRing:
        RunLanes<kGroups, kSteady, kLaneRing, kBand, kSimple>(L, from, to, first_counter);
        break;
      default:
        RunLanes<kGroups, kSteady, kLaneOff, kBand, kSimple>(L, from, to, first_counter);
        break;
    }
    FinishLanes<kGroups, kSteady>(L, to - from);
  };
  using Yes = std::true_type;
  using No = std::false_type;
  if (L.band) {
    // Whether the run needs none of the alias-free loop's rarer features.
    bool simple = L.steady && !L.fm_on[0] && !L.fm_on[1] && !pwm_on_[0] && !pwm_on_[1] &&
                  !L.band_mixing && !L.band_plain[0] && !L.band_plain[1];
    for (int m = 0; m < 2; ++m) {
      for (int g = 0; g < kGroups; ++g) simple = simple && !L.band_fading[m][g];
    }
    if (simple) {
      run(Yes{}, Yes{}, Yes{});
    } else if (L.steady) {
      run(Yes{}, Yes{}, No{});
    } else {
      run(No{}, Yes{}, No{});
    }
  } else if (L.steady) {
    run(Yes{}, No{}, No{});
  } else {
    run(No{}, No{}, No{});
  }
}

// Each part reads only what earlier parts of the same voice's tick computed (or what the
// previous tick left), so the order across voices changes no value.
void Engine::TickVoices(Voice* const* voices, int count, uint32_t counter) {
  for (int i = 0; i < count; ++i) ControlTick(*voices[i], counter);
  FilterModulation modulation[kMaxLanes];
  for (int i = 0; i < count; ++i) modulation[i] = EnvelopeTick(*voices[i]);
  for (int i = 0; i < count; ++i) PitchTick(*voices[i]);
  if (BandReading()) {
    BandCompression(counter);
    for (int i = 0; i < count; ++i) BandTick(*voices[i], counter);
  }
  bool recompute[kMaxLanes];
  for (int i = 0; i < count; ++i) {
    recompute[i] = voices[i]->filter.MoveCutoff(filter_settings_, modulation[i], sample_rate_);
  }
  for (int i = 0; i < count; ++i) {
    if (recompute[i]) voices[i]->filter.ComputeCoefficients();
  }
}

void Engine::RenderVoices(int frames, uint32_t first_counter) {
  Lanes lanes;
  Voice* active[kMaxLanes];
  // RenderFrames filled the pan term with voice 0's value before the sub-block; it changes
  // where voice 0 ticks and holds from there on.
  bool pan_moved = false;
  float pan = 0.0f;
  int k = 0;
  while (k < frames) {
    const uint32_t counter = first_counter + static_cast<uint32_t>(k);
    const bool tick = (counter & (kControlPeriod - 1)) == 0;
    int count = 0, ticked = 0;
    Voice* ticking[kMaxLanes];
    for (int v = 0; v < voice_count_; ++v) {
      Voice& voice = voices_[v];
      if (!voice.gate) {
        const float r = voice.release;
        if (r + r + r <= 0.001f) continue;  // idle: skipped
      }
      if (tick || voice.fade_in > 499.0f) ticking[ticked++] = &voice;
      active[count++] = &voice;
    }
    if (ticked > 0) {
      TickVoices(ticking, ticked, counter);
      if (ticking[0] == &voices_[0]) {
        pan = LfoPanTerm(voices_[0].lfo, pan_selector_);
        pan_moved = true;
      }
    }
    const int until_tick = kControlPeriod - static_cast<int>(counter & (kControlPeriod - 1));
    // Without the arpeggiator nothing wakes a voice within the sub-block.
    const int end = count == 0 ? frames : (k + until_tick < frames ? k + until_tick : frames);
    if (pan_moved) {
      for (int j = k; j < end; ++j) pan_term_[j] = pan;
    }
    if (count == 0) return;
    if (BandReading()) {
      // The alias-free reading has just begun: every voice needs its levels now.
      if (!band_ready_) {
        BandCompression(counter);
        for (int i = 0; i < count; ++i) {
          for (int& level : active[i]->band_level) level = -1;  // chosen afresh, no fade
          BandTick(*active[i], counter);
        }
        band_ready_ = true;
      }
    }
    LoadLanes(lanes, active, count, ring_of_frame_[k], counter);
    lanes.first_frame = k;
    if (lanes.band_mixing) {
      for (int j = k; j < end; ++j) lanes.band_mix[j - k] = BandWeight(j, kCorrectionHalf);
    }
    if (count <= 4) {
      DispatchLanes<1>(lanes, k, end, first_counter);
    } else {
      DispatchLanes<2>(lanes, k, end, first_counter);
    }
    AddToMix(lanes, k, end);
    StoreLanes(lanes, k, end);
    k = end;
  }
}

// The voices add to the mix in voice order, as one voice after another would; four frames at a
// time, with each group's lanes turned into frames.
void Engine::AddToMix(const Lanes& L, int from, int to) {
  if (L.steady) {
    AddRowsToMix<true>(L, from, to);
  } else {
    AddRowsToMix<false>(L, from, to);
  }
}

// A steady run's contributions are its outputs at the levels of the run (FinishLanes left them
// to this pass); any other run's were computed frame by frame.
template <bool kSteady>
void Engine::AddRowsToMix(const Lanes& L, int from, int to) {
  using namespace simd;
  const int count = L.count;
  const float(*const y)[kMaxLanes] =
      !kSteady ? L.contribution : (L.filter == kLaneOff ? L.input : L.filtered);
  const F4 filter_volume = Splat(L.filter_volume);
  auto row = [&](int n, int o) VELLICOR_INLINE {
    const F4 out = Load(&y[n][o]);
    if constexpr (kSteady) {
      return Load(&L.steady_scale[o]) * (filter_volume * out) * Load(&L.main_gain[o]);
    } else {
      return out;
    }
  };
  int j = from;
  for (; j + 4 <= to; j += 4) {
    const int n = j - from;
    F4 mix = LoadUnaligned(&mix_[j]);
    for (int o = 0; o < count; o += 4) {
      F4 lane[4] = {row(n, o), row(n + 1, o), row(n + 2, o), row(n + 3, o)};
      Transpose(lane[0], lane[1], lane[2], lane[3]);
      for (int i = 0; i < 4 && o + i < count; ++i) mix = mix + lane[i];
    }
    StoreUnaligned(&mix_[j], mix);
  }
  for (; j < to; ++j) {
    const int n = j - from;
    float mix = mix_[j];
    for (int i = 0; i < count; ++i) {
      const float out = y[n][i];
      mix += kSteady ? L.steady_scale[i] * (L.filter_volume * out) * L.main_gain[i] : out;
    }
    mix_[j] = mix;
  }
}

}  // namespace vellicor
