// The synthesis engine: patch mirror, derived values, voices and the render loop.
// It knows nothing of the VST interface; the plug-in frame feeds it parameter changes,
// MIDI bytes and output buffers, and answers its few questions through EngineHost.
//
// Threads: the patch mirror, the controller map and every derived value are relaxed atomics,
// written by whichever thread calls setParameter and read by the audio thread. Everything
// else (voices, envelope shapes, delay line, counters) belongs to the audio thread alone:
// requests from other threads that touch it (program reset, voice reset, suspend) are posted
// as flags and carried out at the start of the next HandleMidi or Render.
#pragma once

#include <atomic>
#include <cstdint>

#include "engine/arpeggiator.h"
#include "engine/band_clipper.h"
#include "engine/envelope.h"
#include "engine/filter.h"
#include "engine/lfo.h"
#include "engine/oscillator.h"
#include "engine/relaxed.h"
#include "engine/voice.h"
#include "engine/wavetables.h"
#include "parameters/parameter_table.h"

namespace vellicor {

using param::kControllerMapSize;
using param::kNoController;
using param::kPatchSize;
constexpr int kDelayLineSize = 1024;
constexpr int kControlPeriod = 32;  // samples per control tick
constexpr int kPwmPeriod = 8;       // samples per pulse-width update
constexpr float kBandFade = 0.02f;  // seconds a switch of the oscillators' reading takes

enum VoiceMode { kPoly = 0, kMono = 1, kLegato = 2, kArp = 3 };

// The factory controller map: the controller assigned to parameter `index` at construction,
// kNoController for none (and for any index outside the map). The editor's "Midi Reset"
// restores exactly this.
int DefaultController(int index);

// What the engine asks of the plug-in that owns it.
class EngineHost {
 public:
  // The plug-in's full setParameter (clamp, store in program and mirror, derive, refresh the
  // editor). Learnt MIDI controllers go through it exactly as host automation would.
  virtual void SetParameterFromEngine(int index, float value) = 0;
  // Ask the open editor to refresh its copy of the values (after controllers and bends).
  virtual void RefreshEditor() = 0;

 protected:
  ~EngineHost() = default;
};

class Engine : private ArpVoices {
 public:
  explicit Engine(EngineHost* host);

  // Construction steps, called by the plug-in in its fixed order.
  void SetDefaults();        // tempo 120, sample rate 44100, counters and voices 0
  void BuildWaveTables();    // deterministic tables shared, noise tables per instance
  void InitControllerMap();  // all 255, then the default assignments

  // The patch mirror: the current program's values as the engine sees them.
  float Patch(int index) const { return patch_[index]; }
  void SetPatch(int index, float value) { patch_[index] = value; }

  // After the frame stored a clamped value at index (anywhere in the record): derive what
  // depends on it.
  void OnParameterChanged(int index);

  // Program selection: step 1 (sample rate from the host), step 6 (running state reset),
  // step 7 (envelope tables from the mirror).
  void SetSampleRate(float sample_rate);
  void ResetForProgramChange();
  void RebuildEnvelopeTables();

  // One MIDI message (status with channel, data 1, data 2).
  void HandleMidi(uint8_t status, uint8_t data1, uint8_t data2);

  // Render frames into left/right; accumulate adds to the buffers instead of overwriting.
  void Render(float* left, float* right, int32_t frames, bool accumulate);

  void Suspend();  // clears the stereo delay line

  // Builds what the alias-free oscillators read (once per process) and lets the switch act;
  // until then it keeps the plain reading. Where the host activates the plug-in, never on the
  // audio thread: a host that only scans (makes an instance and lets it go) pays nothing.
  void PrepareAliasFree();

  // The host's tempo in beats per minute, which "Auto" programs follow from the next block on;
  // limited to 1..999 (an unknown or absurd tempo gives 1), so every length stays finite.
  // Until a host says otherwise it is 120. Any thread.
  void SetHostTempo(double bpm);

  int ControllerMap(int index) const;  // kNoController outside the map
  // One entry of the map (a restored state); ignored outside the map, limited to 0..255.
  void SetControllerMap(int index, int controller);
  // Counts the map's changes (learnt, assigned, set, reset): one look tells whether it moved.
  uint32_t controller_map_changes() const {
    return controller_map_changes_.load(std::memory_order_acquire);
  }
  float sample_rate() const { return sample_rate_; }
  float tempo() const { return tempo_; }
  bool host_tempo() const { return host_tempo_; }

  // Read access for the editor side and for tests. Voice state belongs to the audio thread:
  // read it only from there (or while nothing renders).
  const WaveBank& waves() const { return waves_; }
  const Voice& voice(int index) const { return voices_[index]; }
  int current_voice() const { return current_voice_; }
  int previous_voice() const { return previous_voice_; }
  int legato_state() const { return legato_state_; }
  int held_keys() const { return held_count_; }
  float pitch_bend() const { return pitch_bend_; }
  float release_step() const { return release_step_; }
  int stereo_delay() const { return stereo_delay_; }
  const Arpeggiator& arpeggiator() const { return arp_; }
  const EnvelopeShape& envelope_shape(int e) const { return shapes_[e]; }
  uint32_t sample_counter() const { return sample_counter_; }

 private:
  // Values derived from one oscillator's block of parameters (param::kOscillator).
  struct OscillatorSettings {
    Relaxed<int> wave{0};
    Relaxed<int> octave{0};
    Relaxed<int> semitone{0};
    Relaxed<float> volume{0.0f};
    Relaxed<float> fm_amount{0.0f};
    Relaxed<float> fine{0.0f};
    Relaxed<int> fm_source{1};  // 1 or 2, anything else names no oscillator
    Relaxed<float> pwm_rate{0.0f};
    Relaxed<int> amp_env{kEnvelopeNone};
    Relaxed<int> pitch_env{kEnvelopeNone};
    Relaxed<float> env_pitch_range{0.0f};
    Relaxed<int> fm_env{kEnvelopeNone};
    Relaxed<float> lfo_pitch_range{0.0f};
  };

  // The voices active during a run of frames between two control ticks, side by side in groups
  // of four, with everything the sample loop reads gathered so that it touches nothing shared.
  struct Lanes;
  void LoadLanes(Lanes& lanes, Voice* const* voices, int count, const FilterHistoryRing& ring,
                 uint32_t counter);
  void StoreLanes(const Lanes& lanes, int from, int to);
  void AddToMix(const Lanes& lanes, int from, int to);
  template <bool kSteady>
  void AddRowsToMix(const Lanes& lanes, int from, int to);
  // A run's passes (engine/lanes.cpp): oscillators, distortion and the filters that run
  // four lanes at a time; then the filters that run voice by voice, and the levels.
  template <int kGroups>
  void DispatchLanes(Lanes& lanes, int from, int to, uint32_t first_counter);
  // kSimple: a steady alias-free run without FM, pulse-width modulation, noise waves, fades
  // between levels or the crossfade with the plain reading (most runs of a held chord),
  // compiled without their code.
  template <int kGroups, bool kSteady, int kFilter, bool kBand, bool kSimple = false>
  void RunLanes(Lanes& lanes, int from, int to, uint32_t first_counter);
  template <int kGroups, bool kSteady>
  void FinishLanes(Lanes& lanes, int frames);
  // Index of the pulse-width segment a frame's counter falls in, within the sub-block.
  int PwmSegment(uint32_t counter) const {
    return static_cast<int>(((counter >> 3) - pwm_base_) & 0x1FFFFFFFu);
  }

  enum Request : uint32_t {
    kRequestProgramReset = 1,
    kRequestVoiceReset = 2,
    kRequestClearDelay = 4,
    kRequestEnvelopes = 8,
  };
  void Post(Request request) { requests_.fetch_or(request, std::memory_order_relaxed); }
  void ApplyRequests();

  // Derivations needing more than one line.
  void DeriveTempo();
  void DeriveReleaseStep();
  float HostTempo();

  // Per block.
  void PrepareBlock();
  // Builds the shapes whose values, sample rate or tempo changed since the last build (all of
  // them when everything is asked for): a shape built from the same values is the same shape.
  void PrepareEnvelopes(bool everything);

  // Per sub-block of frames that share everything but the per-sample state.
  void RenderFrames(float* left, float* right, int frames, bool accumulate, bool arp_clocked);
  void RenderVoices(int frames, uint32_t first_counter);
  // Pan, gains, stereo delay and soft clipper over the mix of the sub-block (engine/output.cpp).
  void WriteOutput(float* left, float* right, int frames, bool accumulate, uint32_t first_counter);
  void WriteBandOutput(float* left, float* right, int frames, bool accumulate,
                       uint32_t first_counter, const float* position_of);
  // The control tick of the voices that tick at one frame, in parts, each run for all of them
  // before the next, so that the long chains of powers and exponentials of one voice overlap
  // those of the others: ControlTick (glide, LFOs), EnvelopeTick (envelopes, gains; it answers
  // the filter's inputs), PitchTick (key factors, phase increments, FM depths), then the
  // filters' cutoffs and coefficients.
  void TickVoices(Voice* const* voices, int count, uint32_t counter);
  void ControlTick(Voice& voice, uint32_t counter);
  FilterModulation EnvelopeTick(Voice& voice);
  void PitchTick(Voice& voice);
  // The alias-free oscillators' levels for the voice's increments (engine/band_tick.cpp), and
  // the pulse-width warp's greatest compression over the next tick, shared by every voice.
  void BandTick(Voice& voice, uint32_t counter);
  void BandCompression(uint32_t counter);

  // MIDI.
  void NoteOn(int note, float velocity);
  void NoteOff(int note);
  void Controller(int number, float value);
  void StartVoice(int index, bool fade_in);
  void SilenceVoices();
  void ClearHeldKeys();

  // ArpVoices: what the arpeggiator's clock and note entry points do to the voices.
  void ArpStep(float target_pitch, int note) override;
  void ArpGateEnd() override;
  void ArpReleaseVoice(int voice) override;
  void ArpStopped() override;

  EngineHost* host_;
  Relaxed<float> patch_[kPatchSize];
  Relaxed<int> controller_map_[kControllerMapSize];
  std::atomic<uint32_t> controller_map_changes_{0};
  std::atomic<uint32_t> requests_{0};

  // Derived values (written by setParameter on any thread, read by the audio thread).
  Relaxed<float> sample_rate_{44100.0f};
  Relaxed<float> pitch_scale_{110.0f / 44100.0f};
  Relaxed<float> tempo_{120.0f};
  Relaxed<bool> host_tempo_{false};
  Relaxed<float> host_bpm_{120.0f};
  Relaxed<float> release_step_{0.0f};
  Relaxed<int> voice_mode_{kPoly};
  Relaxed<float> main_volume_{0.0f};
  Relaxed<int> main_env_{0};
  Relaxed<float> bend_range_{0.0f};
  Relaxed<float> glide_{100.0f};
  Relaxed<int> stereo_delay_{2};
  Relaxed<bool> env_key_tracking_{false};
  OscillatorSettings osc_[2];
  Relaxed<float> sync_factor_{1.0f};
  Relaxed<bool> ring_mod_{false};
  Relaxed<bool> alias_free_{false};
  std::atomic<bool> alias_free_ready_{false};  // PrepareAliasFree done: the tables may be read
  // Envelopes whose patch values changed since the audio thread last built them, one bit each.
  std::atomic<uint32_t> envelope_changes_{(1u << kEnvelopes) - 1};
  LfoSettings lfo_settings_;
  FilterSettings filter_settings_;
  ArpSettings arp_settings_;

  // Audio-thread state.
  WaveBank waves_;
  const float* sine_ = nullptr;  // wave table 0, for the ring-modulating filter types
  EnvelopeShape shapes_[kEnvelopes];
  // The sample rate and tempo the shapes were last built for: a change rebuilds them all.
  float envelope_rate_ = 0.0f, envelope_tempo_ = 0.0f;
  EnvelopeMemo envelope_memo_[kEnvelopes];
  Voice voices_[kVoiceStorage];
  int voice_count_ = kVoiceCount;
  int current_voice_ = 0;
  int previous_voice_ = 0;
  int last_note_ = 0;
  int legato_state_ = 0;
  int first_note_ = 0;
  // Keys down, counted per note (a key pressed twice needs two releases), so that a Legato
  // phrase ends when the last key goes up. Cleared with the voices.
  uint8_t held_keys_[128] = {};
  int held_count_ = 0;
  // Voices the arpeggiator started since its list last emptied, one bit per voice: voice
  // numbers and list positions part once the clock has moved, so releasing the last key closes
  // these rather than the released keys' list positions. Cleared with the held keys.
  uint8_t arp_started_ = 0;
  float pitch_bend_ = 0.0f;
  float controller_scale_[3] = {1.0f, 1.0f, 1.0f};  // controllers 1, 2, 3
  float pan_offset_ = 0.0f;
  float pan_position_ = 0.0f;
  int last_controller_ = 0;
  float last_controller_value_ = 0.0f;
  uint32_t sample_counter_ = 0;  // also the LFOs' tick counter; wraps after 2^32 samples
  FilterHistoryRing filter_ring_;
  LfoTiming lfo_timing_;
  // Which LFOs refresh their held values at the tick of lfo_refreshes_counter_, for this block.
  bool lfo_refreshes_valid_ = false;
  uint32_t lfo_refreshes_counter_ = 0;
  uint32_t lfo_refreshes_ = 0;
  Arpeggiator arp_;
  PulseWidth pwm_[2];
  bool pwm_on_[2] = {false, false};
  // How far the oscillators have crossed from the plain reading (0) to the alias-free one
  // (1): a switch of the mode moves it over kBandFade seconds, both readings mixed meanwhile.
  // The weight of the alias-free reading at frame k of the sub-block, for a part that is
  // `latency` frames late: switching on, it waits until that part gives what it was given.
  // Counted in whole frames, so that a frame's weight does not depend on how the host cut
  // the frames before it into blocks.
  float BandWeight(int k, int latency) const {
    const float length = static_cast<float>(band_fade_length_);
    const float m = static_cast<float>(band_fade_done_ + band_direction_ * (k + 1)) / length;
    const float wait = band_direction_ > 0 ? static_cast<float>(latency) / length : 0.0f;
    const float w = (m - wait) / (1.0f - wait);
    return w < 0.0f ? 0.0f : (w > 1.0f ? 1.0f : w);
  }
  // The alias-free reading runs in this sub-block (alone or mixed), and is mixed with the plain.
  bool BandReading() const { return band_fade_done_ > 0 || band_direction_ > 0; }
  bool BandMixing() const { return band_fade_done_ < band_fade_length_ || band_direction_ < 0; }
  int band_fade_length_ = 1;  // frames of a whole crossfade at this rate
  int band_fade_done_ = 0;    // of them, at the start of the sub-block
  int band_direction_ = 0;    // +1 toward the alias-free reading, -1 back, 0 still
  bool band_ready_ = false;   // the voices' levels are chosen (the reading ran last tick)
  float band_compression_[2] = {1.0f, 1.0f};
  BandClipper band_clip_[2];  // left, right
  bool band_clip_ready_ = false;
  float delay_line_[kDelayLineSize] = {};

  // Scratch of one sub-block.
  static constexpr int kSubBlock = 256;
  static_assert(kSubBlock <= kBandClipBlock, "a sub-block goes through the clipper at once");
  float mix_[kSubBlock];
  float pan_term_[kSubBlock];    // pan LFO term of voice 0 per frame
  int pan_selector_ = kLfoNone;  // pan LFO selector of the current sub-block
  PulseWidth pwm_segment_[2][kSubBlock / kPwmPeriod + 2];
  uint32_t pwm_base_ = 0;
  FilterHistoryRing ring_of_frame_[kSubBlock];  // the history ring as each frame sees it
};

}  // namespace vellicor
