// Parameter derivations, program-change requests and the render loop.
//
// The sample loop runs the active voices four at a time (engine/lanes.cpp): RenderVoices runs
// the control ticks and hands the frames between two ticks to RunLanes.
//
// Where the filter, LFO and arpeggiator units plug in:
//   filter:       coefficients after EnvelopeTick step 5; the sample stage in RunLanes (every type,
//                 the distortion stage included); memories cleared in ApplyRequests, comb
//                 rings at note starts (StartVoice), the history ring advanced per frame in
//                 RenderFrames;
//   LFOs:         timing in PrepareBlock, the voice tick in ControlTick step 2, outputs and
//                 gains read in EnvelopeTick and PitchTick and for the pan in RenderFrames;
//   arpeggiator:  timing in PrepareBlock, the clock per frame in RenderFrames, note entry
//                 points in voices.cpp, and the ArpVoices callbacks there.
#include "engine/engine.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/portable_math.h"
#include "engine/simd.h"
#include "engine/tables.h"

namespace vellicor {

namespace {

struct DefaultAssignment {
  int index;
  int controller;
};

// The two oscillator blocks, short enough for case labels.
constexpr const param::OscillatorIndices& kOsc1 = param::kOscillator[0];
constexpr const param::OscillatorIndices& kOsc2 = param::kOscillator[1];

constexpr DefaultAssignment kDefaultControllers[] = {
    {param::kMainVolume, 7},
    {param::kTempo, 16},
    {param::kArpLength, 17},
    {param::kArpGate, 18},
    {param::kPortamento, 5},
    {param::kRelease, 9},
    {param::kStereo, 8},
    {kOsc1.octave, 22},
    {kOsc1.semitone, 24},
    {kOsc1.volume, 20},
    {kOsc1.fm_amount, 28},
    {kOsc1.fine_tune, 26},
    {kOsc1.pwm_amount, 30},
    {kOsc1.pwm_speed, 32},
    {kOsc2.octave, 23},
    {kOsc2.semitone, 25},
    {kOsc2.volume, 21},
    {param::kOsc2Sync, 34},
    {kOsc2.fm_amount, 29},
    {kOsc2.fine_tune, 27},
    {kOsc2.pwm_amount, 31},
    {kOsc2.pwm_speed, 33},
    {param::kFilterQ, 44},
    {param::kFilterFrequency, 40},
    {param::kFilterEnvelopeAmount, 41},
    {param::kFilterVolume, 42},
    {param::kFilterDistortion, 43},
};

}  // namespace

Engine::Engine(EngineHost* host) : host_(host) {
  sine_ = waves_.Sine();
}

void Engine::PrepareAliasFree() {
  if (alias_free_ready_.load(std::memory_order_acquire)) return;
  waves_.PrepareBands();
  BandClipper::Prepare();
  alias_free_ready_.store(true, std::memory_order_release);
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
  int row = 0, n = 0;
  if (param::InLfoRow(index, &row, &n)) {
    if (row == param::kLfoPeriod) return 55 + n;
    if (row == param::kLfoAmplitude) return 50 + n;
    if (row == param::kLfoHold) return 60 + n;  // sample-and-hold periods
  }
  return kNoController;
}

void Engine::InitControllerMap() {
  for (int i = 0; i < kControllerMapSize; ++i) controller_map_[i] = DefaultController(i);
  controller_map_changes_.fetch_add(1, std::memory_order_release);
}

int Engine::ControllerMap(int index) const {
  if (index < 0 || index >= kControllerMapSize) return kNoController;
  return controller_map_[index];
}

void Engine::SetControllerMap(int index, int controller) {
  if (index < 0 || index >= kControllerMapSize) return;
  controller_map_[index] = controller < 0 ? 0 : (controller > 255 ? 255 : controller);
  controller_map_changes_.fetch_add(1, std::memory_order_release);
}

// ---------------------------------------------------------------------------------------------
// Derivations

namespace {

// The envelope an index of the envelope blocks belongs to, or -1; the slots the voices do not
// play count as none.
int PlayedEnvelopeOf(int index) {
  const int e = param::EnvelopeOf(index);
  return e < kEnvelopes ? e : -1;
}

}  // namespace

void Engine::OnParameterChanged(int index) {
  if (index < 0 || index >= kPatchSize) return;
  const float v = patch_[index];
  // After the value is stored: the audio thread that takes the bit reads the new value.
  const int envelope = PlayedEnvelopeOf(index);
  if (envelope >= 0) envelope_changes_.fetch_or(1u << envelope, std::memory_order_release);
  // The LFO, filter and arpeggiator units derive their own indices and ignore the rest.
  lfo_settings_.Derive(index, v);
  filter_settings_.Derive(index, v);
  arp_settings_.Derive(index, v);
  // The blocks are not a fixed offset apart, but all of oscillator 2's lies above oscillator 1's.
  auto osc_of = [](int i) { return i < kOsc2.wave ? 0 : 1; };
  switch (index) {
    case param::kVoiceMode:
      voice_mode_ = Choice(v, 3.99f, kArp);
      break;
    case param::kMainVolume:
      main_volume_ = VolumeCurve(v);
      break;
    case param::kTempo:
      DeriveTempo();
      break;
    case param::kMainEnvelope:
      main_env_ = EnvelopeSelector(v);
      break;
    case param::kBendRange:
      bend_range_ = SemitonesOf(v);
      break;
    case param::kPortamento:
      glide_ = v == 0.0f ? 100.0f : pmath::Exp2f(-8.0f * v);
      break;
    case param::kStereo: {
      const int delay = IntPart(pmath::Exp2f(9.0f * v) + 1.0f);
      stereo_delay_ = delay < 2 ? 2 : (delay > 513 ? 513 : delay);
      break;
    }
    case param::kEnvelopeKeyTracking:
      env_key_tracking_ = Switch(v);
      break;
    case param::kLearnCommand:
      // An assign request from the editor: slot and controller were stored before.
      if (v == param::kAssignRequest) {
        const int slot = IntPart(255.0f * patch_[param::kLearnTarget] + 0.5f);
        const int controller = IntPart(255.0f * patch_[param::kLearnController] + 0.5f);
        if (slot >= 0 && slot < kControllerMapSize) {
          controller_map_[slot] = controller < 0 ? 0 : (controller > 255 ? 255 : controller);
          controller_map_changes_.fetch_add(1, std::memory_order_release);
        }
      }
      break;
    case param::kVoiceReset:
      if (v == 1.0f) {
        Post(kRequestVoiceReset);
        // The engine's copy only; the program keeps the trigger value.
        patch_[param::kVoiceReset] = 0.0f;
      }
      break;
    case kOsc1.wave:
    case kOsc2.wave:
      osc_[osc_of(index)].wave = Choice(v, 49.99f, kWaveChoices - 1);
      break;
    case kOsc1.octave:
    case kOsc2.octave:
      osc_[osc_of(index)].octave = IntPart(7.99f * v - 3.0f);
      break;
    case kOsc1.semitone:
    case kOsc2.semitone:
      osc_[osc_of(index)].semitone = IntPart(11.99f * v);
      break;
    case kOsc1.volume:
    case kOsc2.volume:
      osc_[osc_of(index)].volume = VolumeCurve(v);
      break;
    case kOsc1.fm_amount:
    case kOsc2.fm_amount:
      osc_[osc_of(index)].fm_amount = v;
      break;
    case kOsc1.fine_tune:
    case kOsc2.fine_tune:
      osc_[osc_of(index)].fine = v;
      break;
    case kOsc1.fm_source:
    case kOsc2.fm_source:
      osc_[osc_of(index)].fm_source = IntPart(49.99f * v) + 1;
      break;
    case kOsc1.pwm_speed:
    case kOsc2.pwm_speed:
      osc_[osc_of(index)].pwm_rate = PulseWidthRate(v, sample_rate_);
      break;
    case kOsc1.amp_envelope:
    case kOsc2.amp_envelope:
      osc_[osc_of(index)].amp_env = EnvelopeSelector(v);
      break;
    case kOsc1.pitch_envelope:
    case kOsc2.pitch_envelope:
      osc_[osc_of(index)].pitch_env = EnvelopeSelector(v);
      break;
    case kOsc1.env_pitch_range:
    case kOsc2.env_pitch_range:
      osc_[osc_of(index)].env_pitch_range = SemitonesOf(v);
      break;
    case kOsc1.fm_envelope:
    case kOsc2.fm_envelope:
      osc_[osc_of(index)].fm_env = EnvelopeSelector(v);
      break;
    case kOsc1.lfo_pitch_range:
    case kOsc2.lfo_pitch_range:
      osc_[osc_of(index)].lfo_pitch_range = SemitonesOf(v);
      break;
    case param::kOsc2Sync:
      sync_factor_ = 1.0f - v;
      break;
    case param::kRingModulation:
      ring_mod_ = Switch(v);
      break;
    case param::kAliasFree:
      alias_free_ = Switch(v);
      break;
    default:
      break;
  }
  if (index == param::kTempo || index == param::kRelease) DeriveReleaseStep();
}

void Engine::SetHostTempo(double bpm) {
  host_bpm_ = TempoFromHost(bpm);
}

float Engine::HostTempo() {
  return host_bpm_;
}

void Engine::DeriveTempo() {
  const int bpm = IntPart(200.0f * patch_[param::kTempo] + 20.0f);
  if (bpm < 25) {
    host_tempo_ = true;
    tempo_ = HostTempo();
  } else {
    host_tempo_ = false;
    tempo_ = static_cast<float>(bpm);
  }
}

void Engine::DeriveReleaseStep() {
  release_step_ = ReleaseStep(patch_[param::kRelease], sample_rate_, tempo_);
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
  if (requests & kRequestEnvelopes) PrepareEnvelopes(true);
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

void Engine::PrepareEnvelopes(bool everything) {
  const float sample_rate = sample_rate_;
  const float tempo = tempo_;
  uint32_t changes = envelope_changes_.exchange(0, std::memory_order_acquire);
  if (everything || !(sample_rate == envelope_rate_ && tempo == envelope_tempo_)) {
    changes = (1u << kEnvelopes) - 1;
  }
  envelope_rate_ = sample_rate;
  envelope_tempo_ = tempo;
  for (int e = 0; e < kEnvelopes; ++e) {
    if (changes & (1u << e)) PrepareEnvelope(&shapes_[e], e, patch_, sample_rate, tempo);
  }
}

void Engine::PrepareBlock() {
  if (host_tempo_) {
    tempo_ = HostTempo();
  } else {
    tempo_ = static_cast<float>(IntPart(200.0f * patch_[param::kTempo] + 20.0f));
  }
  const float tempo = tempo_, sample_rate = sample_rate_;
  lfo_timing_.Prepare(lfo_settings_, tempo, sample_rate, waves_);
  lfo_refreshes_valid_ = false;  // the hold periods may have changed
  DeriveReleaseStep();
  PrepareEnvelopes(false);
  arp_.Prepare(arp_settings_, tempo, sample_rate);
  pwm_on_[0] = patch_[kOsc1.pwm_amount] != 0.0f;
  pwm_on_[1] = patch_[kOsc2.pwm_amount] != 0.0f;
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
  const float pwm_amount[2] = {patch_[kOsc1.pwm_amount], patch_[kOsc2.pwm_amount]};
  const float pwm_rate[2] = {osc_[0].pwm_rate, osc_[1].pwm_rate};
  // Frame steps that precede the voices: history ring, counters, arpeggiator clock, PWM.
  // The pulse-width state is kept per stretch of frames between two updates (segments).
  pwm_base_ = (first_counter - 1) >> 3;
  pwm_segment_[0][0] = pwm_[0];
  pwm_segment_[1][0] = pwm_[1];
  // The ring comes back to where it was every three frames.
  FilterHistoryRing cycle[3] = {filter_ring_, filter_ring_, filter_ring_};
  cycle[0].Advance();
  for (int n = 1; n < 3; ++n) {
    cycle[n] = cycle[n - 1];
    cycle[n].Advance();
  }
  int k3 = 0;
  for (; k3 + 3 <= frames; k3 += 3) {
    for (int n = 0; n < 3; ++n) ring_of_frame_[k3 + n] = cycle[n];
  }
  for (int n = 0; k3 + n < frames; ++n) ring_of_frame_[k3 + n] = cycle[n];
  filter_ring_ = ring_of_frame_[frames - 1];
  for (int k = 0; k < frames; ++k) mix_[k] = 1e-15f;
  if (arp_clocked) {  // one frame: the clock may start a voice before the pulse width moves
    ++sample_counter_;
    if (arp_.running()) arp_.Clock(*this);
  } else {
    sample_counter_ += static_cast<uint32_t>(frames);
  }
  // The pulse-width updates fall on the frames whose counter is a multiple of 8.
  for (int k = (kPwmPeriod - static_cast<int>(first_counter & (kPwmPeriod - 1))) & (kPwmPeriod - 1);
       k < frames; k += kPwmPeriod) {
    pwm_[0].Advance(pwm_rate[0], pwm_amount[0]);
    pwm_[1].Advance(pwm_rate[1], pwm_amount[1]);
    const int segment = PwmSegment(first_counter + static_cast<uint32_t>(k));
    pwm_segment_[0][segment] = pwm_[0];
    pwm_segment_[1][segment] = pwm_[1];
  }

  pan_selector_ = lfo_settings_.pan_lfo;
  const float pan_now = LfoPanTerm(voices_[0].lfo, pan_selector_);
  for (int k = 0; k < frames; ++k) pan_term_[k] = pan_now;

  // A switch of the oscillators' reading crossfades over kBandFade.
  const bool alias_free = alias_free_ && alias_free_ready_.load(std::memory_order_acquire);
  const int fade_length = std::max(1, static_cast<int>(std::lround(kBandFade * sample_rate_)));
  if (fade_length != band_fade_length_) {  // a new rate: the same share of the fade
    band_fade_done_ = static_cast<int>(
        std::lround(static_cast<double>(band_fade_done_) * fade_length / band_fade_length_));
    band_fade_length_ = fade_length;
  }
  const int band_target = alias_free ? band_fade_length_ : 0;
  band_direction_ = band_target > band_fade_done_ ? 1 : (band_target < band_fade_done_ ? -1 : 0);
  if (!BandReading()) band_ready_ = band_clip_ready_ = false;

  RenderVoices(frames, first_counter);
  WriteOutput(left, right, frames, accumulate, first_counter);

  if (band_direction_ != 0) {
    band_fade_done_ = std::clamp(band_fade_done_ + band_direction_ * frames, 0, band_fade_length_);
  }
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
}

FilterModulation Engine::EnvelopeTick(Voice& voice) {
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

  // 5. The filter's cutoff and coefficients come from these (the caller ticks the filters).
  FilterModulation modulation;
  modulation.pitch = voice.tracking_pitch;
  const int filter_envelope = filter_settings_.envelope_selector;
  modulation.envelope = filter_envelope >= 0 && filter_envelope <= kEnvelopeNone
                            ? voice.env_output[filter_envelope]
                            : 1.0f;
  modulation.lfo_gain = voice.lfo.Gain(filter_settings_.lfo_selector);
  return modulation;
}

void Engine::PitchTick(Voice& voice) {
  // Key factors for the envelopes and LFOs follow the pitch and take effect at the next tick.
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
    voice.increment[m] = PhaseIncrement(note, pitch_scale, voice.pitch_power[m]);
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

}  // namespace vellicor
