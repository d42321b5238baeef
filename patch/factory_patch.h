// Writing a sound into a patch record section by section, in the encodings the engine and the
// editor read back. The factory bank is built from these; each helper writes one section of
// the record (voice, one oscillator, the filter, one LFO, one envelope) by name.
#pragma once

#include <initializer_list>

#include "parameters/parameter_table.h"

namespace vellicor::factory_patch {

// The bank writes nothing from here on: the evolver values and the tail of the envelope
// curves (envelope 15 from point 10, all of envelope 16) stay 0; no voice plays those slots.
constexpr int kBankEnd = param::Point(param::kEnvCurve, 14, 10);

constexpr int kEnvelopeSlots = 16;
using param::kEnvelopePoints;

// --- Choice encodings: choice k stored the way the editor's menus write it, so that the
// integer part of K * v reads k back.

enum Waveform {
  kSine,
  kTri,
  kSaw,
  kRSaw,
  kSquare,
  kSawSquare,
  kSawTri,
  kSmoothSaw,
  kSmoothSquare,
  kOrgan,
  kVox,
  kBell,
  kNoise1,
  kNoise2,
};

enum FilterType {
  kFilterOff,
  kLowpass12,
  kHighpass12,
  kBandpass12,
  kBandreject12,
  kLowpass24,
  kHighpass24,
  kBandpass24,
  kBandreject24,
  kRingMod,
  kTunedRingMod,
  kComb,
};

constexpr float Wave(int k) {
  return static_cast<float>(k / 49.99 + 0.001);
}
constexpr float Filter(int k) {
  return static_cast<float>(k / 12.99 + 0.05);
}
// Voice mode, arpeggiator order and octaves: 0..3.
constexpr float Choice4(int k) {
  return static_cast<float>((k + 0.5) / 3.99);
}
// Envelope selectors: "Env1".."Env8" as 1..8.
constexpr float Env(int n) {
  return static_cast<float>((n - 1 + 0.5) / 10.99);
}
constexpr float kNoEnv = static_cast<float>(8.5 / 10.99);
// LFO selectors: LFO 1..5.
constexpr float Lfo(int n) {
  return static_cast<float>((n - 1 + 0.5) / 10.99);
}
constexpr float kNoLfo = static_cast<float>(5.5 / 10.99);
// Pitch ranges in semitones: 0..12, 24, 36 or 48.
constexpr float Semitones(int semitones) {
  const int k = semitones <= 12 ? semitones : 11 + semitones / 12;
  return static_cast<float>((k + 0.5) / 15.99);
}
// Oscillator semitone offset above its octave: 0..11.
constexpr float Transpose(int semitones) {
  return static_cast<float>((semitones + 0.5) / 11.99);
}
// FM source: oscillator 1 or 2.
constexpr float FmFrom(int oscillator) {
  return Wave(oscillator - 1);
}
// On/off switches as the editor's toggle writes "on".
constexpr float kOn = 0.9f;

// Envelope point indices (last point, loop start, loop end). The editor writes i/39.99, which
// times 39.99 comes out at i or a hair off it. A reader that subtracts 0.4999999 in single
// precision meets an exact tie at i - 0.5 from i = 3 up and rounds it to even, reading some i
// as i - 1. From 3 up the bank therefore stores (i + 0.99)/39.99, mid-way in the band of i,
// which reads back as i however the product and the subtraction are rounded.
constexpr float PointIndex(int i) {
  return static_cast<float>(i < 3 ? i / 39.99 : (i + 0.99) / 39.99);
}

// --- Sections. Every field is a stored value; the defaults are what a program leaves alone:
// selectors on "none", so an unused source or destination is inert.

struct Voice {
  float mode = 0.0f;  // plain 0 reads as Poly; Choice4(k) is the mode menu's value
  float main_volume = 0.0f;
  float tempo = 0.5f;  // 120 bpm
  float main_envelope = kNoEnv;
  float bend_range = Semitones(2);
  float arp_length = 0.6125f;  // 2 qb steps
  float arp_gate = 0.5f;
  float arp_order = Choice4(0);    // Up
  float arp_octaves = Choice4(0);  // 1 octave
  float lfo_restart = kOn;         // LFOs start each note at phase 0
  float lfo_key_tracking = 0.0f;
  float portamento = 0.0f;
  float release = 0.0f;
  float stereo = 0.0f;
  float envelope_key_tracking = 0.0f;
  float volume_lfo = kNoLfo;
  float pan_lfo = kNoLfo;
};

struct Oscillator {
  float wave = 0.0f;
  float octave = 0.0f;
  float semitone = 0.0f;
  float volume = 0.0f;
  float sync = 0.0f;  // oscillator 2 only
  float fm_amount = 0.0f;
  float fine = 0.0f;
  float fm_source = 0.0f;  // 0 picks the other oscillator
  float pwm_amount = 0.0f;
  float pwm_speed = 0.3f;
  float amp_envelope = kNoEnv;
  float pitch_envelope = kNoEnv;
  float envelope_pitch_range = 0.0f;
  float fm_envelope = kNoEnv;
  float volume_lfo = kNoLfo;
  float pitch_lfo = kNoLfo;
  float lfo_pitch_range = 0.0f;
};

struct FilterSection {
  float type = 0.0f;
  float q = 0.0f;
  float frequency = 0.0f;
  float envelope_amount = 0.5f;  // 0.5 is no envelope movement
  float volume = 0.75f;          // 0 dB; 0 would silence the voice
  float distortion = 0.0f;
  float key_tracking = 0.0f;
  float envelope = kNoEnv;
  float lfo = kNoLfo;
};

struct LfoSection {
  float wave = Wave(kSine);
  float period = 0.525f;  // 4 half beats
  float amplitude = 0.5f;
  float depth_envelope = kNoEnv;
  float speed_envelope = kNoEnv;
  float hold = 0.0f;  // sample-and-hold off
};

struct Point {
  float time;
  float level;
  float curve = 0.5f;  // curve of the segment to the next point; 0.5 is straight
};

// Loop points of an envelope. With start = end there is no loop: the envelope stops at that
// point while the key is held.
struct Loop {
  int start;
  int end;
};
// Play to the last point and stay there while the key is held.
constexpr Loop kHoldEnd{-1, -1};

void SetVoice(float* record, const Voice& voice);
void SetOscillator(float* record, int oscillator, const Oscillator& osc);  // 1 or 2
void SetFilter(float* record, const FilterSection& filter);
void SetLfo(float* record, int lfo, const LfoSection& section);  // 1..5

// Envelope slot `envelope` (1..16): length (the stored slider value; 0 switches it off),
// its points, and its loop. Slots beyond the last point hold time 1, level 1, curve 0.5.
void SetEnvelope(float* record, int envelope, float length, std::initializer_list<Point> points,
                 Loop loop = kHoldEnd);
void SetDecay(float* record, int envelope, float length, float curve = 0.5f, Loop loop = kHoldEnd);
void SetRise(float* record, int envelope, float length, float curve = 0.5f, Loop loop = kHoldEnd);

// What every factory program starts from: all sixteen envelope slots a switched-off straight
// decay, every LFO a gentle unrouted sine, and the values the bank has always carried in
// the record's spare selector slots.
void SetBase(float* record);

}  // namespace vellicor::factory_patch
