// Parameter derivations, program-change requests and the render loop.
//
// The sample loop runs the active voices four at a time (RunLanes, on engine/simd.h): between
// two control ticks everything a voice's samples depend on is fixed, so its state is gathered
// into lanes (LoadLanes), run for the frames up to the next tick and put back (StoreLanes).
// Each lane computes exactly what the voice computes alone, and the voices add to the mix in
// voice order, so the samples are those of one voice after another.
//
// Where the filter, LFO and arpeggiator units plug in:
//   filter:       coefficients in ControlTick step 5; the sample stage in RunLanes, with the
//                 two-pole and ladder memories in registers for a run (filter_lanes) and the
//                 other types through VoiceFilter::Process; memories cleared in ApplyRequests,
//                 comb rings at note starts (StartVoice), the history ring advanced per frame
//                 in RenderFrames;
//   LFOs:         timing in PrepareBlock, the voice tick in ControlTick step 2, outputs and
//                 gains read in ControlTick steps 4 to 6 and for the pan in RenderFrames;
//   arpeggiator:  timing in PrepareBlock, the clock per frame in RenderFrames, note entry
//                 points in voices.cpp, and the ArpVoices callbacks there.
#include "engine/engine.h"

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "engine/portable_math.h"
#include "engine/simd.h"
#include "engine/tables.h"

namespace vellicor {

namespace {

// The soft clipper: cubic-free saturation with slope 1.5 at 0, reaching +-1 at +-1.
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

struct DefaultAssignment {
  int index;
  int controller;
};

constexpr DefaultAssignment kDefaultControllers[] = {
    {1, 7},   {2, 16},  {5, 17},  {6, 18},  {11, 5},   {12, 9},   {13, 8},   {40, 22},  {41, 24},
    {42, 20}, {44, 28}, {45, 26}, {47, 30}, {48, 32},  {60, 23},  {61, 25},  {62, 21},  {63, 34},
    {64, 29}, {65, 27}, {67, 31}, {68, 33}, {121, 44}, {122, 40}, {123, 41}, {124, 42}, {125, 43},
};

}  // namespace

Engine::Engine(EngineHost* host) : host_(host) {
  sine_ = waves_.Sine();
}

void Engine::SetDefaults() {
  sample_rate_ = 44100.0f;
  pitch_scale_ = 110.0f / 44100.0f;
  tempo_ = 120.0f;
  filter_ring_.Reset();
  sample_counter_ = 0;
  for (Voice& voice : voices_) voice = Voice();
  ClearHeldKeys();
  arp_.Init();
}

void Engine::BuildWaveTables() {
  waves_.Build();
  sine_ = waves_.Sine();
}

int DefaultController(int index) {
  for (const DefaultAssignment& a : kDefaultControllers) {
    if (a.index == index) return a.controller;
  }
  if (index >= 175 && index < 180) return 55 + (index - 175);  // LFO periods
  if (index >= 180 && index < 185) return 50 + (index - 180);  // LFO amplitudes
  if (index >= 205 && index < 210) return 60 + (index - 205);  // LFO sample-and-hold periods
  return kNoController;
}

void Engine::InitControllerMap() {
  for (int i = 0; i < kControllerMapSize; ++i) controller_map_[i] = DefaultController(i);
}

int Engine::ControllerMap(int index) const {
  if (index < 0 || index >= kControllerMapSize) return kNoController;
  return controller_map_[index];
}

// ---------------------------------------------------------------------------------------------
// Derivations

void Engine::OnParameterChanged(int index) {
  if (index < 0 || index >= kPatchSize) return;
  const float v = patch_[index];
  // The LFO, filter and arpeggiator units derive their own indices and ignore the rest.
  lfo_settings_.Derive(index, v);
  filter_settings_.Derive(index, v);
  arp_settings_.Derive(index, v);
  // Oscillator 2's block starts 20 after oscillator 1's, but a few of its indices do not.
  auto osc_of = [](int i) { return i < 59 ? 0 : 1; };
  switch (index) {
    case 0:
      voice_mode_ = Choice(v, 3.99f, kArp);
      break;
    case 1:
      main_volume_ = VolumeCurve(v);
      break;
    case 2:
      DeriveTempo();
      break;
    case 3:
      main_env_ = EnvelopeSelector(v);
      break;
    case 4:
      bend_range_ = SemitonesOf(v);
      break;
    case 11:
      glide_ = v == 0.0f ? 100.0f : pmath::Exp2f(-8.0f * v);
      break;
    case 13: {
      const int delay = IntPart(pmath::Exp2f(9.0f * v) + 1.0f);
      stereo_delay_ = delay < 2 ? 2 : (delay > 513 ? 513 : delay);
      break;
    }
    case 14:
      env_key_tracking_ = Switch(v);
      break;
    case 15:
      // An assign request from the editor: slot and controller were stored before.
      if (v == 0.5f) {
        const int slot = IntPart(255.0f * patch_[16] + 0.5f);
        const int controller = IntPart(255.0f * patch_[17] + 0.5f);
        if (slot >= 0 && slot < kControllerMapSize) {
          controller_map_[slot] = controller < 0 ? 0 : (controller > 255 ? 255 : controller);
        }
      }
      break;
    case 18:
      if (v == 1.0f) {
        Post(kRequestVoiceReset);
        patch_[18] = 0.0f;  // the engine's copy only; the program keeps the trigger value
      }
      break;
    case 39:
    case 59:
      osc_[osc_of(index)].wave = Choice(v, 49.99f, kWaveChoices - 1);
      break;
    case 40:
    case 60:
      osc_[osc_of(index)].octave = IntPart(7.99f * v - 3.0f);
      break;
    case 41:
    case 61:
      osc_[osc_of(index)].semitone = IntPart(11.99f * v);
      break;
    case 42:
    case 62:
      osc_[osc_of(index)].volume = VolumeCurve(v);
      break;
    case 44:
    case 64:
      osc_[osc_of(index)].fm_amount = v;
      break;
    case 45:
    case 65:
      osc_[osc_of(index)].fine = v;
      break;
    case 46:
    case 66:
      osc_[osc_of(index)].fm_source = IntPart(49.99f * v) + 1;
      break;
    case 48:
    case 68:
      osc_[osc_of(index)].pwm_rate = PulseWidthRate(v, sample_rate_);
      break;
    case 49:
    case 70:
      osc_[osc_of(index)].amp_env = EnvelopeSelector(v);
      break;
    case 50:
    case 71:
      osc_[osc_of(index)].pitch_env = EnvelopeSelector(v);
      break;
    case 51:
    case 72:
      osc_[osc_of(index)].env_pitch_range = SemitonesOf(v);
      break;
    case 52:
    case 73:
      osc_[osc_of(index)].fm_env = EnvelopeSelector(v);
      break;
    case 55:
    case 76:
      osc_[osc_of(index)].lfo_pitch_range = SemitonesOf(v);
      break;
    case 63:
      sync_factor_ = 1.0f - v;
      break;
    case 77:
      ring_mod_ = Switch(v);
      break;
    default:
      break;
  }
  if (index == 2 || index == 12) DeriveReleaseStep();
}

float Engine::HostTempo() {
  const intptr_t answer = host_ ? host_->HostTempoTimes10000() : 0;
  const double bpm = static_cast<double>(answer) / 10000.0;
  // A host may answer nothing useful; every tempo-derived length needs a sane tempo.
  if (!(bpm >= 1.0)) return 1.0f;
  return bpm > 999.0 ? 999.0f : static_cast<float>(bpm);
}

void Engine::DeriveTempo() {
  const int bpm = IntPart(200.0f * patch_[2] + 20.0f);
  if (bpm < 25) {
    host_tempo_ = true;
    tempo_ = HostTempo();
  } else {
    host_tempo_ = false;
    tempo_ = static_cast<float>(bpm);
  }
}

void Engine::DeriveReleaseStep() {
  release_step_ = ReleaseStep(patch_[12], sample_rate_, tempo_);
}

void Engine::SetSampleRate(float sample_rate) {
  // The frame filters host values; the engine still refuses anything it cannot run at.
  if (!(sample_rate >= 1000.0f && sample_rate <= 1000000.0f)) return;
  sample_rate_ = sample_rate;
  pitch_scale_ = 110.0f / sample_rate;
}

void Engine::ResetForProgramChange() {
  Post(kRequestProgramReset);
}

void Engine::RebuildEnvelopeTables() {
  Post(kRequestEnvelopes);
}

void Engine::Suspend() {
  Post(kRequestClearDelay);
}

void Engine::ApplyRequests() {
  const uint32_t requests = requests_.exchange(0, std::memory_order_relaxed);
  if (requests == 0) return;
  if (requests & (kRequestProgramReset | kRequestClearDelay)) {
    std::memset(delay_line_, 0, sizeof delay_line_);
  }
  if (requests & kRequestProgramReset) {
    for (float& scale : controller_scale_) scale = 1.0f;
    pan_offset_ = 0.0f;
    filter_ring_.Reset();
    for (Voice& voice : voices_) {
      voice.filter.ClearMemories();
      voice.gate = false;
      voice.release = 0.0f;
      voice.lfo.ResetPhases();
      for (auto& position : voice.env_position) position = 0.0f;
    }
    current_voice_ = 0;
    voice_count_ = kVoiceCount;
    ClearHeldKeys();
  }
  if (requests & kRequestVoiceReset) SilenceVoices();
  if (requests & kRequestEnvelopes) PrepareEnvelopes();
}

void Engine::SilenceVoices() {
  for (int i = 0; i < kVoiceCount; ++i) {
    voices_[i].gate = false;
    voices_[i].release = 0.0f;
  }
  ClearHeldKeys();
}

// ---------------------------------------------------------------------------------------------
// Per block

void Engine::PrepareEnvelopes() {
  const float sample_rate = sample_rate_;
  const float tempo = tempo_;
  for (int e = 0; e < kEnvelopes; ++e) PrepareEnvelope(&shapes_[e], e, patch_, sample_rate, tempo);
}

void Engine::PrepareBlock() {
  if (host_tempo_) {
    tempo_ = HostTempo();
  } else {
    tempo_ = static_cast<float>(IntPart(200.0f * patch_[2] + 20.0f));
  }
  const float tempo = tempo_, sample_rate = sample_rate_;
  lfo_timing_.Prepare(lfo_settings_, tempo, sample_rate, waves_);
  lfo_refreshes_valid_ = false;  // the hold periods may have changed
  DeriveReleaseStep();
  PrepareEnvelopes();
  arp_.Prepare(arp_settings_, tempo, sample_rate);
  pwm_on_[0] = patch_[47] != 0.0f;
  pwm_on_[1] = patch_[67] != 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Render loop

void Engine::Render(float* left, float* right, int32_t frames, bool accumulate) {
  ApplyRequests();
  PrepareBlock();
  if (frames <= 0 || !left || !right) return;
  // The arpeggiator clock acts between two frames and may start a voice at any of them, so
  // while it runs the voices advance one frame at a time.
  const bool arp_clocked = voice_mode_ == kArp && arp_.running();
  int32_t done = 0;
  while (done < frames) {
    const int32_t left_over = frames - done;
    const int n =
        arp_clocked ? 1 : (left_over < kSubBlock ? static_cast<int>(left_over) : kSubBlock);
    RenderFrames(left + done, right + done, n, accumulate, arp_clocked);
    done += n;
  }
}

void Engine::RenderFrames(float* left, float* right, int frames, bool accumulate,
                          bool arp_clocked) {
  const uint32_t first_counter = sample_counter_ + 1;
  const float pwm_amount[2] = {patch_[47], patch_[67]};
  const float pwm_rate[2] = {osc_[0].pwm_rate, osc_[1].pwm_rate};
  // Frame steps that precede the voices: history ring, counters, arpeggiator clock, PWM.
  // The pulse-width state is kept per stretch of frames between two updates (segments).
  pwm_base_ = (first_counter - 1) >> 3;
  pwm_segment_[0][0] = pwm_[0];
  pwm_segment_[1][0] = pwm_[1];
  for (int k = 0; k < frames; ++k) {
    filter_ring_.Advance();
    ring_of_frame_[k] = filter_ring_;
    ++sample_counter_;
    if (arp_clocked && arp_.running()) arp_.Clock(*this);  // frames == 1 here
    if ((sample_counter_ & (kPwmPeriod - 1)) == 0) {
      pwm_[0].Advance(pwm_rate[0], pwm_amount[0]);
      pwm_[1].Advance(pwm_rate[1], pwm_amount[1]);
      const int segment = PwmSegment(sample_counter_);
      pwm_segment_[0][segment] = pwm_[0];
      pwm_segment_[1][segment] = pwm_[1];
    }
    mix_[k] = 1e-15f;
  }

  pan_selector_ = lfo_settings_.pan_lfo;
  const float pan_now = LfoPanTerm(voices_[0].lfo, pan_selector_);
  for (int k = 0; k < frames; ++k) pan_term_[k] = pan_now;

  RenderVoices(frames, first_counter);

  // Pan, gains, stereo delay and clipper; the smoothed pan position is kept in a local so
  // the frame-to-frame chain does not go through memory the output stores might alias.
  const int delay = stereo_delay_;
  const float pan_offset = pan_offset_;
  float position = pan_position_;
  for (int k = 0; k < frames; ++k) {
    const uint32_t counter = first_counter + static_cast<uint32_t>(k);
    const float target = pan_offset + pan_term_[k];
    position = (0.1f * target + position) * 0.9f;
    position = position < 0.0f ? 0.0f : (position > 1.0f ? 1.0f : position);
    float left_gain = 1.0f, right_gain = 1.0f;
    if (position >= 0.5f) {
      right_gain = 2.0f - 2.0f * position;
    } else {
      left_gain = 2.0f * position;
    }
    const float mix = mix_[k];
    const float out_left = SoftClip(left_gain * mix);
    delay_line_[counter & (kDelayLineSize - 1)] = right_gain * mix;
    const float out_right =
        SoftClip(delay_line_[(counter - static_cast<uint32_t>(delay)) & (kDelayLineSize - 1)]);
    if (accumulate) {
      left[k] += out_left;
      right[k] += out_right;
    } else {
      left[k] = out_left;
      right[k] = out_right;
    }
  }
  pan_position_ = position;
}

void Engine::ControlTick(Voice& voice, uint32_t counter) {
  // 1. Glide toward the target pitch.
  const float glide = glide_;
  voice.current_pitch = (voice.target_pitch * glide + voice.current_pitch) / (1.0f + glide);
  voice.tracking_pitch = voice.current_pitch;

  // 2. The five LFOs, with the envelope outputs of the previous tick.
  if (!lfo_refreshes_valid_ || lfo_refreshes_counter_ != counter) {
    lfo_refreshes_ = lfo_timing_.Refreshes(counter);
    lfo_refreshes_counter_ = counter;
    lfo_refreshes_valid_ = true;
  }
  voice.lfo.TickRefreshing(lfo_settings_, lfo_timing_, voice.env_output, controller_scale_[0],
                           controller_scale_[1], lfo_refreshes_);

  // 3. Envelopes; the key factor is the one of the previous tick.
  const float advance = controller_scale_[2] * 32.0f * voice.env_key_factor;
  for (int e = 0; e < kEnvelopes; ++e) {
    voice.env_output[e] = TickEnvelope(shapes_[e], &voice.env_position[e], voice.env_output[e],
                                       advance, voice.gate, &envelope_memo_[e]);
  }
  voice.env_output[kEnvelopeNone] = 1.0f;

  // 4. LFO gains of the voice and oscillator volumes.
  voice.volume_lfo_gain = voice.lfo.Gain(lfo_settings_.volume_lfo);
  voice.osc_lfo_gain[0] = voice.lfo.Gain(lfo_settings_.oscillator_volume_lfo[0]);
  voice.osc_lfo_gain[1] = voice.lfo.Gain(lfo_settings_.oscillator_volume_lfo[1]);

  // 5. Filter cutoff and coefficients; key factors for the envelopes and LFOs follow the
  // pitch and take effect at the next tick.
  FilterModulation modulation;
  modulation.pitch = voice.tracking_pitch;
  const int filter_envelope = filter_settings_.envelope_selector;
  modulation.envelope = filter_envelope >= 0 && filter_envelope <= kEnvelopeNone
                            ? voice.env_output[filter_envelope]
                            : 1.0f;
  modulation.lfo_gain = voice.lfo.Gain(filter_settings_.lfo_selector);
  voice.filter.Tick(filter_settings_, modulation, sample_rate_);
  voice.env_key_factor =
      env_key_tracking_ ? pmath::Exp2f((voice.tracking_pitch - 57.0f) / 12.0f) : 1.0f;
  voice.lfo.UpdateKeyFactor(voice.tracking_pitch, lfo_settings_.key_tracking != 0);

  // 6. Pitch modulation and phase increments.
  const float bend = pitch_bend_;
  const float pitch_scale = pitch_scale_;
  for (int m = 0; m < 2; ++m) {
    const OscillatorSettings& osc = osc_[m];
    const float lfo_pitch =
        voice.lfo.Output(lfo_settings_.oscillator_pitch_lfo[m]) * osc.lfo_pitch_range;
    const int env = osc.pitch_env;
    float modulation_semitones = lfo_pitch;
    if (env != kEnvelopeNone && shapes_[env].last != 0) {
      modulation_semitones = voice.env_output[env] * osc.env_pitch_range + lfo_pitch;
    }
    voice.pitch_mod[m] = modulation_semitones;
    const float tuning = static_cast<float>(12 * osc.octave + osc.semitone);
    const float note = tuning + osc.fine + bend + voice.current_pitch + modulation_semitones;
    voice.increment[m] = PhaseIncrement(note, pitch_scale);
  }

  // 7. FM depths and the choice of routine.
  for (int m = 0; m < 2; ++m) {
    float depth = 32676.0f * osc_[m].fm_amount * voice.env_output[osc_[m].fm_env];
    // Envelope levels come from the patch; keep a wild one from overflowing the phase offset.
    if (!(depth > -1e6f && depth < 1e6f)) depth = 0.0f;
    voice.fm_depth[m] = depth;
  }
  voice.fm_active = voice.fm_depth[0] >= 0.01f || voice.fm_depth[1] >= 0.001f;
}

namespace {

using simd::F4;
using simd::I4;

constexpr int kMaxLanes = 8;  // two groups of four
static_assert(kVoiceCount <= kMaxLanes, "every active voice needs a lane");

// How a run's lanes filter: one kind for all of them, the per-lane call when they differ or
// the type keeps state the vector code does not hold (ring modulators, combs).
enum LaneFilter : int {
  kLaneOff,
  kLaneTwoPole,
  kLaneLadderLow,
  kLaneLadderHigh,
  kLaneLadderBand,
  kLaneLadderNotch,
  kLaneEach,
};

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
    default:
      return kLaneEach;
  }
}

// Masks as stored floats: all bits set, or none.
float MaskOf(bool on) {
  const uint32_t bits = on ? 0xFFFFFFFFu : 0u;
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace

struct Engine::Lanes {
  int count;
  Voice* voice[kMaxLanes];
  // The same for every lane of the run.
  bool steady;  // every lane held and faded in: level and fade gain 1 throughout
  int filter;   // LaneFilter
  bool fm;      // some lane runs the FM routine
  int fm_slot[2];
  bool sync;
  float sync_factor;
  bool ring;
  bool distort;
  float drive;
  float filter_volume;
  float release_step;
  const float* wave[2];
  FilterHistoryRing first_ring;  // as the run's first frame sees it

  // Per lane; padding lanes hold zeros, so they compute harmless values nobody reads.
  alignas(16) int32_t phase[2][kMaxLanes];
  alignas(16) int32_t increment[2][kMaxLanes];
  alignas(16) int32_t frames_done[kMaxLanes];
  alignas(16) float fm_depth[2][kMaxLanes];  // 0 where the FM routine is off
  alignas(16) float fm_sample[3][kMaxLanes];
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
  // Filter memories (two-pole: c0 c1 c2 c4 c5, inputs, outputs; ladder: k p r input y1..y4).
  alignas(16) float two_pole[11][kMaxLanes];
  alignas(16) float ladder[8][kMaxLanes];
  alignas(16) float runaway[kMaxLanes];  // mask
  alignas(16) float output[kMaxLanes];   // the filter's last output before its volume
  // What each lane adds to the mix, per frame of the run.
  alignas(16) float contribution[kControlPeriod][kMaxLanes];
};

void Engine::LoadLanes(Lanes& L, Voice* const* voices, int count, const FilterHistoryRing& ring) {
  std::memset(static_cast<void*>(&L), 0, offsetof(Lanes, contribution));
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
  bool steady = true, fm = false;
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
    for (int j = 0; j < 3; ++j) L.fm_sample[j][i] = voice.fm_sample[j];
    fm = fm || voice.fm_active;
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
    filter = filter < 0 || filter == kind ? kind : kLaneEach;
  }
  L.steady = steady;
  L.fm = fm;
  L.filter = filter;
  if (filter == kLaneTwoPole) {
    for (int i = 0; i < count; ++i) {
      const VoiceFilter::TwoPoleMemory m = voices[i]->filter.TakeTwoPole(L.first_ring);
      const float values[11] = {m.c0,         m.c1,         m.c2,        m.c4,
                                m.c5,         m.input[0],   m.input[1],  m.input[2],
                                m.history[0], m.history[1], m.history[2]};
      for (int j = 0; j < 11; ++j) L.two_pole[j][i] = values[j];
    }
  } else if (filter >= kLaneLadderLow && filter <= kLaneLadderNotch) {
    for (int i = 0; i < count; ++i) {
      const VoiceFilter::LadderMemory m = voices[i]->filter.TakeLadder();
      const float values[8] = {m.k, m.p, m.r, m.input, m.y1, m.y2, m.y3, m.y4};
      for (int j = 0; j < 8; ++j) L.ladder[j][i] = values[j];
    }
  }
}

void Engine::StoreLanes(const Lanes& L, int from, int to) {
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
    if (L.filter == kLaneEach) continue;  // the filter kept its own state
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
    } else if (L.filter != kLaneOff) {
      filter.PutLadder({0.0f, 0.0f, 0.0f, L.ladder[3][i], L.ladder[4][i], L.ladder[5][i],
                        L.ladder[6][i], L.ladder[7][i]});
    }
    filter.SetOutput(L.output[i]);
  }
}

// Frames from..to of every lane, frame by frame and group by group within a frame, so the
// groups' independent chains (FM feeds each sample from the previous one) overlap.
template <int kGroups, int kFilter, bool kSteady>
void Engine::RunLanes(Lanes& L, int from, int to, uint32_t first_counter) {
  using namespace simd;
  constexpr bool kTwoPole = kFilter == kLaneTwoPole;
  constexpr bool kLadder = kFilter >= kLaneLadderLow && kFilter <= kLaneLadderNotch;
  constexpr int kLadderType = kFilter - kLaneLadderLow + kFilterLowpass24;
  const F4 tiny = Splat(1e-15f);
  const F4 zero = Splat(0.0f);
  const F4 one = Splat(1.0f);
  const I4 wave_mask = SplatInt(static_cast<int32_t>(kWaveMask));
  const float* const wave0 = L.wave[0];
  const float* const wave1 = L.wave[1];
  const bool fm = L.fm, sync = L.sync, ring = L.ring, distort = L.distort;
  const int slot0 = L.fm_slot[0], slot1 = L.fm_slot[1];
  const F4 sync_factor = Splat(L.sync_factor);
  const F4 drive = Splat(L.drive);
  const F4 filter_volume = Splat(L.filter_volume);
  const F4 release_step = Splat(L.release_step);

  struct Group {
    I4 phase0, phase1, increment0, increment1, done;
    F4 depth0, depth1;
    F4 sample[3];  // the oscillators' previous samples, and 0 for a source naming neither
    F4 gain1, gain2, scale, main_gain;
    F4 gate, alive, release, fade, velocity, amp0, amp1, volume0, volume1, lfo0, lfo1, volume_lfo;
    F4 output, runaway;
    filter_lanes::TwoPole two_pole;
    filter_lanes::Ladder ladder;
  };
  Group groups[kGroups];
  for (int g = 0; g < kGroups; ++g) {
    Group& G = groups[g];
    const int o = 4 * g;
    G.phase0 = Load(&L.phase[0][o]);
    G.phase1 = Load(&L.phase[1][o]);
    G.increment0 = Load(&L.increment[0][o]);
    G.increment1 = Load(&L.increment[1][o]);
    G.done = SplatInt(0);
    G.depth0 = Load(&L.fm_depth[0][o]);
    G.depth1 = Load(&L.fm_depth[1][o]);
    for (int j = 0; j < 3; ++j) G.sample[j] = Load(&L.fm_sample[j][o]);
    G.gain1 = Load(&L.steady_gain[0][o]);
    G.gain2 = Load(&L.steady_gain[1][o]);
    G.scale = Load(&L.steady_scale[o]);
    G.main_gain = Load(&L.main_gain[o]);
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
    G.output = zero;
    G.runaway = zero;
    if constexpr (kTwoPole) {
      filter_lanes::TwoPole& f = G.two_pole;
      F4* const memories[11] = {&f.c0, &f.c1, &f.c2, &f.c4, &f.c5, &f.x1,
                                &f.x2, &f.x3, &f.y1, &f.y2, &f.y3};
      for (int j = 0; j < 11; ++j) *memories[j] = Load(&L.two_pole[j][o]);
    }
    if constexpr (kLadder) {
      filter_lanes::Ladder& f = G.ladder;
      F4* const memories[8] = {&f.k, &f.p, &f.r, &f.input, &f.y1, &f.y2, &f.y3, &f.y4};
      for (int j = 0; j < 8; ++j) *memories[j] = Load(&L.ladder[j][o]);
    }
  }

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
      warp_on[m] = pwm_on_[m] && pw.position != 0.5f;
      position[m] = Splat(pw.position);
      upper16[m] = Splat(65536.0f * pw.upper);
      lower16[m] = Splat(65536.0f * pw.lower);
    }
    // WarpPhaseScaled, four lanes at a time.
    auto warp = [&](I4 q, int m) {
      const F4 u = ToFloat(q) / Splat(65535.0f);
      const F4 scaled = Select(GreaterEqual(u, position[m]),
                               (u - position[m]) * upper16[m] + Splat(32768.0f), u * lower16[m]);
      return RoundInt(scaled) & wave_mask;
    };

    for (; k < stretch_end; ++k) {
      for (int g = 0; g < kGroups; ++g) {
        Group& G = groups[g];
        F4 gain1 = G.gain1, gain2 = G.gain2, scale = G.scale;
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
          scale = fade_gain * G.velocity * G.volume_lfo;
        }

        // Oscillators: the FM routine offsets both read positions by the previous samples.
        I4 offset0 = SplatInt(0), offset1 = SplatInt(0);
        if (fm) {
          offset0 = RoundInt(G.depth0 * G.sample[slot0]);
          offset1 = RoundInt(G.depth1 * G.sample[slot1]);
        }
        const I4 old0 = G.phase0;
        const I4 phase0 = (old0 + G.increment0) & wave_mask;
        I4 read0 = (phase0 + offset0) & wave_mask;
        if (warp_on[0]) read0 = warp(read0, 0);
        I4 phase1 = G.phase1;
        if (sync) {
          const F4 wrapped = LessInt(phase0, old0);
          phase1 = Select(wrapped, RoundInt(ToFloat(phase1) * sync_factor), phase1);
        }
        phase1 = (phase1 + G.increment1) & wave_mask;
        I4 read1 = (phase1 + offset1) & wave_mask;
        if (warp_on[1]) read1 = warp(read1, 1);
        const F4 s1 = Gather(wave0, read0);
        const F4 s2 = Gather(wave1, read1);
        if constexpr (kSteady) {
          G.phase0 = phase0;
          G.phase1 = phase1;
          G.sample[0] = s1;
          G.sample[1] = s2;
        } else {
          G.phase0 = Select(alive, phase0, G.phase0);
          G.phase1 = Select(alive, phase1, G.phase1);
          G.sample[0] = Select(alive, s1, G.sample[0]);
          G.sample[1] = Select(alive, s2, G.sample[1]);
          G.done = G.done + And(alive, SplatInt(1));
        }
        F4 x = ring ? gain1 * gain2 * s1 * s2 : gain1 * s1 + gain2 * s2;
        x = x + tiny;

        // Distortion, filter and filter volume.
        F4 out;
        if constexpr (kFilter == kLaneEach) {
          alignas(16) float in[4], result[4];
          Store(in, x);
          const int bits = MaskBits(alive);
          for (int i = 0; i < 4; ++i) {
            result[i] = 0.0f;
            if (bits & (1 << i)) {
              result[i] = L.voice[4 * g + i]->filter.Process(in[i], filter_settings_,
                                                             ring_of_frame_[k], sine_);
            }
          }
          out = Load(result);
        } else {
          F4 y = distort ? filter_lanes::Distort(x, drive) : x;
          if constexpr (kTwoPole) {
            if constexpr (kSteady) {
              y = G.two_pole.Step(y, &G.runaway);
            } else {
              filter_lanes::TwoPole next = G.two_pole;
              y = next.Step(y, &G.runaway);
              filter_lanes::TwoPole& f = G.two_pole;
              for (auto [now, after] : {std::pair{&f.x1, &next.x1},
                                        {&f.x2, &next.x2},
                                        {&f.x3, &next.x3},
                                        {&f.y1, &next.y1},
                                        {&f.y2, &next.y2},
                                        {&f.y3, &next.y3}}) {
                *now = Select(alive, *after, *now);
              }
            }
          } else if constexpr (kLadder) {
            if constexpr (kSteady) {
              y = G.ladder.template Step<kLadderType>(y, &G.runaway);
            } else {
              filter_lanes::Ladder next = G.ladder;
              y = next.template Step<kLadderType>(y, &G.runaway);
              filter_lanes::Ladder& f = G.ladder;
              for (auto [now, after] : {std::pair{&f.input, &next.input},
                                        {&f.y1, &next.y1},
                                        {&f.y2, &next.y2},
                                        {&f.y3, &next.y3},
                                        {&f.y4, &next.y4}}) {
                *now = Select(alive, *after, *now);
              }
            }
          }
          G.output = kSteady ? y : Select(alive, y, G.output);
          out = filter_volume * y;
        }
        F4 contribution = scale * out * G.main_gain;
        if constexpr (!kSteady) contribution = And(alive, contribution);  // idle adds +0
        Store(&L.contribution[k - from][4 * g], contribution);
      }
    }
  }

  for (int g = 0; g < kGroups; ++g) {
    const Group& G = groups[g];
    const int o = 4 * g;
    Store(&L.phase[0][o], G.phase0);
    Store(&L.phase[1][o], G.phase1);
    Store(&L.frames_done[o], G.done);
    Store(&L.fm_sample[0][o], G.sample[0]);
    Store(&L.fm_sample[1][o], G.sample[1]);
    Store(&L.release[o], G.release);
    Store(&L.fade[o], G.fade);
    Store(&L.output[o], G.output);
    Store(&L.runaway[o], G.runaway);
    if constexpr (kTwoPole) {
      const filter_lanes::TwoPole& f = G.two_pole;
      const F4 memories[6] = {f.x1, f.x2, f.x3, f.y1, f.y2, f.y3};
      for (int j = 0; j < 6; ++j) Store(&L.two_pole[5 + j][o], memories[j]);
    }
    if constexpr (kLadder) {
      const filter_lanes::Ladder& f = G.ladder;
      const F4 memories[5] = {f.input, f.y1, f.y2, f.y3, f.y4};
      for (int j = 0; j < 5; ++j) Store(&L.ladder[3 + j][o], memories[j]);
    }
  }
}

template <int kGroups>
void Engine::DispatchLanes(Lanes& L, int from, int to, uint32_t first_counter) {
  auto run = [&](auto steady) {
    constexpr bool kSteady = decltype(steady)::value;
    switch (L.filter) {
      case kLaneOff:
        RunLanes<kGroups, kLaneOff, kSteady>(L, from, to, first_counter);
        break;
      case kLaneTwoPole:
        RunLanes<kGroups, kLaneTwoPole, kSteady>(L, from, to, first_counter);
        break;
      case kLaneLadderLow:
        RunLanes<kGroups, kLaneLadderLow, kSteady>(L, from, to, first_counter);
        break;
      case kLaneLadderHigh:
        RunLanes<kGroups, kLaneLadderHigh, kSteady>(L, from, to, first_counter);
        break;
      case kLaneLadderBand:
        RunLanes<kGroups, kLaneLadderBand, kSteady>(L, from, to, first_counter);
        break;
      case kLaneLadderNotch:
        RunLanes<kGroups, kLaneLadderNotch, kSteady>(L, from, to, first_counter);
        break;
      default:
        RunLanes<kGroups, kLaneEach, kSteady>(L, from, to, first_counter);
        break;
    }
  };
  if (L.steady) {
    run(std::true_type{});
  } else {
    run(std::false_type{});
  }
}

void Engine::RenderVoices(int frames, uint32_t first_counter) {
  Lanes lanes;
  Voice* active[kMaxLanes];
  int k = 0;
  while (k < frames) {
    const uint32_t counter = first_counter + static_cast<uint32_t>(k);
    const bool tick = (counter & (kControlPeriod - 1)) == 0;
    int count = 0;
    for (int v = 0; v < voice_count_; ++v) {
      Voice& voice = voices_[v];
      if (!voice.gate) {
        const float r = voice.release;
        if (r + r + r <= 0.001f) continue;  // idle: skipped
      }
      if (tick || voice.fade_in > 499.0f) {
        ControlTick(voice, counter);
        if (v == 0) {
          const float pan = LfoPanTerm(voice.lfo, pan_selector_);
          for (int j = k; j < frames; ++j) pan_term_[j] = pan;
        }
      }
      active[count++] = &voice;
    }
    // Without the arpeggiator nothing wakes a voice within the sub-block.
    if (count == 0) return;
    const int until_tick = kControlPeriod - static_cast<int>(counter & (kControlPeriod - 1));
    const int end = k + until_tick < frames ? k + until_tick : frames;
    LoadLanes(lanes, active, count, ring_of_frame_[k]);
    if (count <= 4) {
      DispatchLanes<1>(lanes, k, end, first_counter);
    } else {
      DispatchLanes<2>(lanes, k, end, first_counter);
    }
    // The voices add to the mix in voice order, as one voice after another would.
    for (int j = k; j < end; ++j) {
      const float* add = lanes.contribution[j - k];
      float mix = mix_[j];
      for (int i = 0; i < count; ++i) mix += add[i];
      mix_[j] = mix;
    }
    StoreLanes(lanes, k, end);
    k = end;
  }
}

}  // namespace vellicor
