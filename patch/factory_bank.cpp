#include "patch/factory_bank.h"

#include "parameters/parameter_table.h"
#include "patch/factory_patch.h"

namespace vellicor::factory_bank {
namespace {

using namespace factory_patch;

// Reading aid. Slider and dial values are stored as the controls leave them. What they mean at
// the factory tempo of 120 bpm (one quarter beat, qb, is 0.125 s; a half beat 0.25 s):
// - volumes (main, oscillator, filter): 40 v - 30 dB, so 0.75 is 0 dB and 0.5 is -10 dB;
// - octave: 0.475 is 0, 0.3625 is -1, 0.25 is -2, 0.6375 is +2; semitone: 0.625 is +7;
// - filter frequency: 60 * 2^(8 v) Hz; envelope amount 2 v - 1 (0.5 is none);
// - envelope lengths and the release: ascending length table, e.g. 0.4875 is 4 qb,
//   0.625 is 12 qb, 0.8 is 40 qb; the release counts the same entries in half beats;
// - LFO periods and hold times: descending length table in half beats, e.g. 0.7625 is 3/4
//   (a 5.3 Hz vibrato), 0.725 is 1, 0.525 is 4, 0.49 is 6, 0.45 is 8, 0.325 is 20, and
//   0.03 is 512 (128 s: an LFO that barely moves, used as a fixed offset, see below);
// - PWM speed: 2^(8 v) * 55/1024 Hz, so 0.3 is 0.28 Hz;
// - pitch: note 57 sounds at 110 Hz, an octave below the usual MIDI tuning.
// Levels: the oscillators are summed, scaled by main and filter volume, and six voices are
// mixed before a soft clipper. The filter volume trims each sound so that the host's demo
// phrase plays every program at an RMS level of about 0.1 and a
// six-note chord at full velocity stays off the clipper.
// A filter LFO can only lower the cutoff: its gain is 1 - (depth + output) / 2 on the
// cutoff's exponent. A reverse saw over 128 s starts each note at output = depth and hardly
// moves, so it lowers the whole envelope sweep by a fixed factor of 1 - depth; that keeps the
// fixed sweeps of some programs on their partials.

// Two saws an octave apart, 15 cents apart besides, the upper one drifting slowly by
// +-0.15 semitone, through a resonant 24 dB low-pass that closes from 5.8 kHz to about
// 500 Hz over 3.5 s: a thick, beating saw with full low mids (a held C4 centres at 2.6 kHz
// in its first second, a chord at 1.7 kHz).
void ThickSaw(float* v) {
  SetVoice(v, {.main_volume = 0.7f, .release = 0.15f, .stereo = 0.6f});

  // No pulse-width warping: on a saw it only shifts the wave's mean, an inaudible drift that
  // eats headroom. The detuning and a slow drift of the upper saw do the thickening.
  SetOscillator(v, 1,
                {.wave = Wave(kSaw),
                 .octave = 0.475f,
                 .volume = 0.475f,
                 .pitch_lfo = Lfo(1),
                 .lfo_pitch_range = Semitones(1)});
  SetOscillator(v, 2, {.wave = Wave(kSaw), .octave = 0.3625f, .volume = 0.4875f, .fine = 0.15f});

  SetFilter(v, {.type = Filter(kLowpass24),
                .q = 0.625f,
                .frequency = 0.825f,
                .envelope_amount = 0.7625f,
                .volume = 0.81f,
                .envelope = Env(1)});

  SetLfo(v, 1, {.period = 0.49f, .amplitude = 0.15f});  // 0.67 Hz, +-0.15 semitone

  SetDecay(v, 1, 0.7375f);  // 28 qb: the filter sweep
}

// Two distorted squares an octave down, one with moving pulse width, through a resonant
// 24 dB band-pass that envelope 1 (amount -97.5 %) holds near 65 Hz at the attack and lets
// rise to about 2.2 kHz over 3 s: a loud growl on the fundamental that slowly opens into a
// thinner buzz (spectral centre 85 Hz in the first 0.4 s, 2.8 kHz after 3 s).
void DistRez(float* v) {
  SetVoice(v, {.main_volume = 0.5125f, .release = 0.325f, .stereo = 0.5f});

  SetOscillator(v, 1, {.wave = Wave(kSquare), .octave = 0.325f, .volume = 0.625f});
  SetOscillator(v, 2,
                {.wave = Wave(kSquare),
                 .octave = 0.2875f,
                 .volume = 0.625f,
                 .fine = 0.1f,
                 .pwm_amount = 0.4f,
                 .pwm_speed = 0.25f});

  // LFO 1 barely moves (a reverse saw over 128 s): it scales the cutoff's exponent by 0.65,
  // so the sweep ends near 2.2 kHz, among the squares' partials, instead of at 15 kHz above
  // nearly all of them, where the held note faded to a whisper.
  SetFilter(v, {.type = Filter(kBandpass24),
                .q = 0.7674f,
                .frequency = 1.0f,
                .envelope_amount = 0.0125f,
                .volume = 0.4875f,
                .distortion = 0.75f,
                .envelope = Env(1),
                .lfo = Lfo(1)});

  SetLfo(v, 1, {.wave = Wave(kRSaw), .period = 0.03f, .amplitude = 0.35f});

  SetDecay(v, 1, 0.7125f);  // 24 qb: the band-pass sweep
}

// A reverse saw an octave down, roughened by phase modulation from a silent saw in unison,
// with glide and vibrato; the 24 dB low-pass opens from 340 Hz to 6 kHz in the first 0.2 s
// (envelope amount -62.5 %): a bright gliding lead (centre 3.7 kHz on a melody note) with a
// "wah" at every note.
void Rlead(float* v) {
  SetVoice(v, {.mode = Choice4(0),
               .main_volume = 0.5125f,
               .portamento = 0.65f,
               .release = 0.35f,
               .stereo = 0.4f});

  // Oscillator 1 is heard only as oscillator 2's modulator.
  SetOscillator(v, 1, {.wave = Wave(kSaw), .octave = 0.3f});
  SetOscillator(v, 2,
                {.wave = Wave(kRSaw),
                 .octave = 0.3f,
                 .volume = 0.5625f,
                 .fm_amount = 0.04f,
                 .fm_source = FmFrom(1),
                 .pitch_lfo = Lfo(1),
                 .lfo_pitch_range = Semitones(1)});

  SetFilter(v, {.type = Filter(kLowpass24),
                .q = 0.356f,
                .frequency = 0.8375f,
                .envelope_amount = 0.1875f,
                .volume = 0.9f,
                .envelope = Env(1)});

  SetLfo(v, 1, {.period = 0.7625f, .amplitude = 0.2f});  // +-0.2 semitone vibrato

  SetDecay(v, 1, 0.375f, 0.44f);  // 5/3 qb: the opening of the filter
}

// Two detuned, lightly driven organ waves two octaves down through a resonant 24 dB
// band-pass that sinks from 960 Hz towards 60 Hz over 8 s: a hollow, nasal, plastic formant
// that slides down and grows fuller as it reaches the low partials.
void Plastic(float* v) {
  SetVoice(v, {.main_volume = 0.35f, .release = 0.4375f, .stereo = 0.5f});

  SetOscillator(v, 1, {.wave = Wave(kOrgan), .octave = 0.25f, .volume = 0.7f});
  SetOscillator(v, 2, {.wave = Wave(kOrgan), .octave = 0.25f, .volume = 0.6875f, .fine = 0.15f});

  // LFO 1 barely moves (a reverse saw over 128 s): it halves the cutoff's exponent, so the
  // band-pass starts near 1 kHz, on the organ partials, instead of at 15 kHz above them all.
  // Drive fills the spectrum between the sparse partials for the band-pass to find.
  SetFilter(v, {.type = Filter(kBandpass24),
                .q = 0.7674f,
                .frequency = 1.0f,
                .envelope_amount = 1.0f,
                .volume = 0.9f,
                .distortion = 0.35f,
                .envelope = Env(1),
                .lfo = Lfo(1)});

  SetLfo(v, 1, {.wave = Wave(kRSaw), .period = 0.03f, .amplitude = 0.5f});

  SetDecay(v, 1, 0.875f);  // 64 qb: the band-pass sweep
}

// Noise read as a loop two octaves down excites a comb tuned two octaves above the note with
// feedback near 1. A looped noise is periodic, its lines rarely sit on the comb's narrow
// peaks, so a vibrato keeps sweeping them across: the comb flutters at the note's pitch. The
// noise loop also drops an octave in the first 0.17 s (envelope 3), a breathy chiff, and
// envelope 1 swells the voice in and holds it at 0.89: a whistling, hissing noise pad
// (centre near 9 kHz).
void Chousy(float* v) {
  SetVoice(v, {.mode = Choice4(0),
               .main_volume = 0.425f,
               .main_envelope = Env(1),
               .release = 0.425f,
               .stereo = 0.75f});

  SetOscillator(v, 1,
                {.wave = Wave(kNoise2),
                 .octave = 0.225f,
                 .volume = 0.4625f,
                 .pitch_envelope = Env(3),
                 .envelope_pitch_range = Semitones(12),
                 .pitch_lfo = Lfo(1),
                 .lfo_pitch_range = Semitones(1)});
  SetOscillator(v, 2, {.octave = 0.2625f});  // silent

  // The comb gains 45 dB at 0 Hz; the noise waves carry no average, so nothing of that
  // reaches the output as an offset.
  SetFilter(v, {.type = Filter(kComb), .q = 0.9862f, .frequency = 0.75f, .volume = 0.68f});

  SetLfo(v, 1, {.period = 0.725f, .amplitude = 0.3f});  // 4 Hz, +-0.3 semitone

  // 32 qb; held at the 0.89 plateau, it fades in the release.
  SetEnvelope(v, 1, 0.75f, {{0.0f, 0.0f, 0.24f}, {0.8867f, 0.89f}, {1.0f, 0.0f}}, {1, 1});
  SetDecay(v, 3, 0.325f, 0.31f);  // 4/3 qb: the chiff
}

// Two squares an octave down through a resonant 24 dB low-pass that snaps from 9 kHz down
// towards 1.7 kHz; the quieter, detuned square dies with the same envelope, leaving the
// plain one: a punchy synth bass, 90 % of its energy below 300 Hz on a C2 (80 % on a C3).
void SBass(float* v) {
  SetVoice(v, {.main_volume = 0.7f, .release = 0.0625f, .stereo = 0.2f});

  SetOscillator(v, 1, {.wave = Wave(kSquare), .octave = 0.325f, .volume = 0.475f});
  SetOscillator(v, 2,
                {.wave = Wave(kSquare),
                 .octave = 0.275f,
                 .volume = 0.35f,
                 .fine = 0.06f,
                 .amp_envelope = Env(1)});

  SetFilter(v, {.type = Filter(kLowpass24),
                .q = 0.7621f,
                .frequency = 0.9f,
                .envelope_amount = 0.6625f,
                .volume = 0.78f,
                .envelope = Env(1)});

  SetDecay(v, 1, 0.625f, 0.37f);  // 12 qb: filter snap and the second square's decay
}

// Two sines in unison; the first is phase-modulated by the second with a depth that decays
// with envelope 1, and a resonant 12 dB low-pass falls from 4.4 kHz to under 400 Hz within
// a second: a round, deep electric bass with a soft thump at the attack, all of its energy
// below 300 Hz, and no release tail.
void EBass(float* v) {
  SetVoice(v, {.main_volume = 0.2875f, .stereo = 0.1f});

  SetOscillator(v, 1,
                {.octave = 0.425f,
                 .volume = 0.5875f,
                 .fm_amount = 0.8f,
                 .fm_source = FmFrom(2),
                 .fm_envelope = Env(1)});
  SetOscillator(v, 2, {.octave = 0.5f, .volume = 0.825f});

  SetFilter(v, {.type = Filter(kLowpass12),
                .q = 0.8278f,
                .frequency = 0.775f,
                .envelope_amount = 0.7875f,
                .volume = 0.64f,
                .envelope = Env(1)});

  SetDecay(v, 1, 0.575f, 0.32f);  // 8 qb: the pluck
}

// A square plucked by envelope 1 (fast attack, quick fall to a third, 2 s fade) with a square
// two octaves up that dies within a fraction of a second, through a soft 24 dB low-pass that
// follows the pluck: a digital pizzicato that fades out within 2 s even while held.
void DPizz(float* v) {
  SetVoice(v, {.main_volume = 0.5375f, .release = 0.5375f, .stereo = 0.5f});

  SetOscillator(v, 1,
                {.wave = Wave(kSquare), .octave = 0.4f, .volume = 0.6125f, .amp_envelope = Env(1)});
  SetOscillator(v, 2,
                {.wave = Wave(kSquare),
                 .octave = 0.6375f,
                 .volume = 0.6125f,
                 .fine = 0.05f,
                 .amp_envelope = Env(2)});

  SetFilter(v, {.type = Filter(kLowpass24),
                .q = 0.143f,
                .frequency = 0.8625f,
                .envelope_amount = 0.6375f,
                .volume = 0.84f,
                .envelope = Env(1)});

  // 16 qb: the pluck.
  SetEnvelope(v, 1, 0.6625f, {{0.0f, 0.0f}, {0.0283f, 0.98f}, {0.1367f, 0.32f}, {1.0f, 0.0f}});
  SetDecay(v, 2, 0.525f, 0.25f);  // 6 qb: the high square's snap
}

// The bell wave two octaves up, struck and dying within a second, phase-modulated by a
// silent bell a fourth below it for a metallic clang at the strike; a key-tracked resonant
// low-pass closes faster than the tone dies, so the ring mellows: a glockenspiel (on a C5
// the centre falls from 4.3 kHz in the first 50 ms to 2.6 kHz half a second later).
void Glocky(float* v) {
  SetVoice(v, {.mode = Choice4(0), .main_volume = 0.7f, .release = 0.4125f, .stereo = 0.5f});

  // Oscillator 1 is heard only as oscillator 2's modulator, a pure fourth below it (3:4):
  // every sideband falls on a harmonic of the note and none on 0 Hz, where an octave below
  // (1:2) put an offset. At the strike oscillator 1 is itself modulated hard by the carrier,
  // which scatters the sidebands; that clangour fades with envelope 2.
  SetOscillator(v, 1,
                {.wave = Wave(kBell),
                 .octave = 0.6125f,
                 .semitone = Transpose(7),
                 .fm_amount = 1.0f,
                 .fine = 0.02f,
                 .fm_source = FmFrom(2),
                 .fm_envelope = Env(2)});
  SetOscillator(v, 2,
                {.wave = Wave(kBell),
                 .octave = 0.65f,
                 .volume = 0.7375f,
                 .fm_amount = 0.1f,
                 .fm_source = FmFrom(1),
                 .amp_envelope = Env(1)});

  // The low-pass follows the key, so every note keeps the same brightness: from above the
  // bell's upper partials at the strike down to just above the carrier. Without tracking it
  // closed below the carrier of most notes within 50 ms. LFO 1 barely moves (a reverse saw
  // over 128 s): it scales the cutoff's exponent by 0.6, without which tracking kept every
  // note glaring.
  SetFilter(v, {.type = Filter(kLowpass12),
                .q = 0.7007f,
                .frequency = 1.0f,
                .envelope_amount = 0.8125f,
                .volume = 0.69f,
                .key_tracking = kOn,
                .envelope = Env(2),
                .lfo = Lfo(1)});

  SetLfo(v, 1, {.wave = Wave(kRSaw), .period = 0.03f, .amplitude = 0.4f});

  SetDecay(v, 1, 0.5625f, 0.42f);  // 8 qb: the strike
  SetDecay(v, 2, 0.5625f, 0.28f);  // 8 qb: the brightness
}

// A sine an octave down, phase-modulated by a slightly detuned sine whose depth fades over
// 5 s, so the timbre churns at the detuning rate, under a low-pass that wanders slowly:
// a deep, dark growl (centre under 100 Hz) that digs, then calms, with a 2 s tail.
void Digger(float* v) {
  SetVoice(v, {.mode = Choice4(0), .main_volume = 0.7f, .release = 0.5875f, .stereo = 0.5f});

  SetOscillator(v, 1,
                {.wave = Wave(kSine),
                 .octave = 0.3125f,
                 .volume = 0.8125f,
                 .fm_amount = 0.35f,
                 .fm_source = FmFrom(2),
                 .fm_envelope = Env(1)});
  SetOscillator(v, 2, {.wave = Wave(kSine), .octave = 0.3f, .volume = 0.775f, .fine = 0.1f});

  // Loud sines: -14 dB of filter volume brings the voice back in line.
  SetFilter(v, {.type = Filter(kLowpass24),
                .q = 0.4804f,
                .frequency = 0.7375f,
                .volume = 0.39f,
                .lfo = Lfo(1)});

  SetLfo(v, 1, {.wave = Wave(kTri), .period = 0.45f, .amplitude = 0.3f});

  SetDecay(v, 1, 0.8f);  // 40 qb: the modulation depth
}

// Two soft saws an octave down, slightly detuned, fading in over 0.5 s and 1.5 s, with a
// gentle vibrato on the second, under a low-pass that darkens over 5 s: a smooth, dark string
// pad that swells (2.5 times louder after 2 s than in its first 0.25 s), with a 2 s tail.
void Smooth(float* v) {
  SetVoice(v, {.main_volume = 0.4625f, .release = 0.5875f, .stereo = 0.7f});

  SetOscillator(
      v, 1, {.wave = Wave(kSmoothSaw), .octave = 0.3625f, .volume = 0.85f, .amp_envelope = Env(1)});
  SetOscillator(v, 2,
                {.wave = Wave(kSmoothSaw),
                 .octave = 0.375f,
                 .volume = 0.875f,
                 .fine = 0.1f,
                 .amp_envelope = Env(2),
                 .pitch_lfo = Lfo(1),
                 .lfo_pitch_range = Semitones(1)});

  SetFilter(v, {.type = Filter(kLowpass12),
                .q = 0.4804f,
                .frequency = 0.8625f,
                .envelope_amount = 0.8375f,
                .volume = 0.4875f,
                .envelope = Env(3)});

  SetLfo(v, 1, {.period = 0.7625f, .amplitude = 0.08f});

  SetRise(v, 1, 0.4875f);  // 4 qb: first saw fades in
  SetRise(v, 2, 0.625f);   // 12 qb: second saw fades in
  SetDecay(v, 3, 0.8f);    // 40 qb: the filter darkens
}

// A bell two octaves up re-struck ten times a second by a looping decay that keeps running
// through the release, over a detuned bell an octave up swelling in over 1.5 s, under a
// low-pass that darkens over 5 s: a glittering, icy shimmer that swells and rings 3 s.
void Icy(float* v) {
  SetVoice(v, {.main_volume = 0.7f, .release = 0.625f, .stereo = 0.8f});

  SetOscillator(v, 1,
                {.wave = Wave(kBell), .octave = 0.7125f, .volume = 0.5f, .amp_envelope = Env(1)});
  SetOscillator(v, 2,
                {.wave = Wave(kBell),
                 .octave = 0.6125f,
                 .volume = 0.5125f,
                 .fine = 0.08f,
                 .amp_envelope = Env(2)});

  SetFilter(v, {.type = Filter(kLowpass12),
                .q = 0.4804f,
                .frequency = 0.8625f,
                .envelope_amount = 0.8375f,
                .volume = 0.6875f,
                .envelope = Env(3)});

  SetDecay(v, 1, 0.25f, 0.5f, {0, 1});  // 3/4 qb, repeating: the re-strikes
  SetRise(v, 2, 0.625f);                // 12 qb: the swell
  SetDecay(v, 3, 0.8f);                 // 40 qb: the filter darkens
}

// Two bells an octave down pulsing against each other, one every 2 qb and one every 3 qb
// (two against three), with a vibrato that fades in, through a band-pass sinking from
// 1.7 kHz to 180 Hz over 5 s, so a held chord blooms from a faint shimmer onto the bells'
// partials: a pulsing halo, twice as loud after 2 s as at its start.
void Halo(float* v) {
  SetVoice(v, {.main_volume = 0.7f, .release = 0.4625f, .stereo = 0.8f});

  SetOscillator(v, 1,
                {.wave = Wave(kBell),
                 .octave = 0.3375f,
                 .volume = 0.8375f,
                 .amp_envelope = Env(1),
                 .pitch_lfo = Lfo(1),
                 .lfo_pitch_range = Semitones(1)});
  SetOscillator(v, 2,
                {.wave = Wave(kBell),
                 .octave = 0.3375f,
                 .volume = 0.8875f,
                 .fine = 0.06f,
                 .amp_envelope = Env(4),
                 .pitch_lfo = Lfo(1),
                 .lfo_pitch_range = Semitones(1)});

  // LFO 2 barely moves (a reverse saw over 128 s): it scales the cutoff's exponent by 0.7,
  // so the band-pass starts near 1.7 kHz, just above the bells' partials, and sinks onto
  // them; from 7 kHz, as the envelope alone would start it, it missed them for seconds.
  SetFilter(v, {.type = Filter(kBandpass12),
                .q = 0.4804f,
                .frequency = 0.8625f,
                .envelope_amount = 0.8375f,
                .volume = 0.54f,
                .envelope = Env(3),
                .lfo = Lfo(2)});

  SetLfo(v, 1, {.period = 0.7625f, .amplitude = 0.25f, .depth_envelope = Env(2)});
  SetLfo(v, 2, {.wave = Wave(kRSaw), .period = 0.03f, .amplitude = 0.3f});

  SetDecay(v, 1, 0.4125f, 0.5f, {0, 1});  // 2 qb, repeating: first bell's pulse
  SetRise(v, 2, 0.425f);                  // 5/2 qb: the vibrato fades in
  SetDecay(v, 3, 0.8f);                   // 40 qb: the band-pass sinks
  SetDecay(v, 4, 0.45f, 0.45f, {0, 1});   // 3 qb, repeating: second bell's pulse
}

// Two saws three octaves up, the second hard-synced to the first and tuned a fifth above it;
// the first one's pitch rises an octave over 0.5 s, sweeping the sync timbre, while the
// second fades in over 1.5 s, all through a narrow, key-tracked band-pass that an LFO
// sweeps: a bright sci-fi sync sweep (centre 4.7 kHz on a melody note) with a 3 s tail.
void Sonic(float* v) {
  SetVoice(v, {.main_volume = 0.7f, .release = 0.6375f, .stereo = 0.7f});

  SetOscillator(v, 1,
                {.wave = Wave(kSaw),
                 .octave = 0.775f,
                 .volume = 0.8375f,
                 .pitch_envelope = Env(1),
                 .envelope_pitch_range = Semitones(12)});
  SetOscillator(v, 2,
                {.wave = Wave(kSaw),
                 .octave = 0.7625f,
                 .semitone = 0.625f,
                 .volume = 0.7625f,
                 .sync = 1.0f,
                 .amp_envelope = Env(2)});

  // Loud, bright saws: the band-pass sits below them and -4 dB of filter volume trims the rest.
  SetFilter(v, {.type = Filter(kBandpass12),
                .q = 0.4804f,
                .frequency = 0.425f,
                .volume = 0.64f,
                .key_tracking = kOn,
                .lfo = Lfo(1)});

  SetLfo(v, 1, {.wave = Wave(kTri), .period = 0.45f, .amplitude = 0.3f});

  SetRise(v, 1, 0.4875f);  // 4 qb: the pitch rise
  SetRise(v, 2, 0.625f);   // 12 qb: the synced saw fades in
}

// Two squares a fifth apart two octaves up, chopped by envelope 1 into four blips per 1/6 s
// loop, their pitch jumping at random about six times a second through a sample-and-hold
// noise LFO over a resonant low-pass: chattering computer babble on a steady 24 Hz gate.
void Computer1(float* v) {
  SetVoice(v, {.main_volume = 0.7f, .release = 0.3875f, .stereo = 0.5f});

  SetOscillator(v, 1,
                {.wave = Wave(kSquare),
                 .octave = 0.6625f,
                 .volume = 0.7f,
                 .amp_envelope = Env(1),
                 .pitch_lfo = Lfo(1),
                 .lfo_pitch_range = Semitones(12)});
  // A pure fifth above the first square. Detuned by a fraction of a semitone instead, the
  // two beat a few times a second and smear the gate's blips.
  SetOscillator(v, 2,
                {.wave = Wave(kSquare),
                 .octave = 0.6375f,
                 .semitone = Transpose(7),
                 .volume = 0.725f,
                 .fine = 0.02f,
                 .amp_envelope = Env(1),
                 .pitch_lfo = Lfo(1),
                 .lfo_pitch_range = Semitones(12)});

  SetFilter(v, {.type = Filter(kLowpass12),
                .q = 0.8324f,
                .frequency = 0.5875f,
                .envelope_amount = 0.6125f,
                .volume = 0.315f});

  // Random pitch steps of up to +-6 semitones; hold entry 20 gives a new step every 0.16 s.
  SetLfo(v, 1, {.wave = Wave(kNoise1), .period = 0.725f, .amplitude = 0.5f, .hold = 0.325f});

  // 4/3 qb, looping over all eight points: the gate.
  SetEnvelope(v, 1, 0.325f,
              {{0.0f, 1.0f},
               {0.25f, 0.0f},
               {0.251f, 1.0f},
               {0.5f, 0.0f},
               {0.501f, 0.97f},
               {0.745f, 0.0f},
               {0.746f, 1.0f},
               {1.0f, 0.0f}},
              {0, 7});
}

// Two squares an octave up hammered by two looping gate patterns of different lengths: a
// five-hit figure every 2 s on the louder, detuned square and on the low-pass, and a two-hit
// figure every 1.1 s on the quieter one against it: a hammering rhythm that repeats every
// 2 s for as long as a key is held.
void Hammerp(float* v) {
  SetVoice(v, {.main_volume = 0.6875f, .release = 0.3375f, .stereo = 0.5f});

  // The louder square follows the five-hit figure, like the filter, so the 2 s loop leads;
  // the quieter one plays the two-hit figure against it.
  SetOscillator(
      v, 1, {.wave = Wave(kSquare), .octave = 0.5125f, .volume = 0.5875f, .amp_envelope = Env(2)});
  SetOscillator(v, 2,
                {.wave = Wave(kSquare),
                 .octave = 0.55f,
                 .volume = 0.7625f,
                 .fine = 0.07f,
                 .amp_envelope = Env(1)});

  SetFilter(v, {.type = Filter(kLowpass12),
                .q = 0.4094f,
                .frequency = 1.0f,
                .envelope_amount = 0.825f,
                .volume = 0.4f,
                .envelope = Env(1)});

  // 16 qb, looping over all ten points: the five-hit figure.
  SetEnvelope(v, 1, 0.675f,
              {{0.0f, 1.0f},
               {0.25f, 0.0f},
               {0.251f, 1.0f},
               {0.3957f, 0.0f},
               {0.3967f, 1.0f},
               {0.5f, 0.0f},
               {0.501f, 0.97f},
               {0.745f, 0.0f},
               {0.746f, 1.0f},
               {1.0f, 0.0f}},
              {0, 9});
  // 9 qb, looping over all four points: the two-hit figure.
  SetEnvelope(v, 2, 0.5875f,
              {{0.0f, 1.0f, 0.32f}, {0.37f, 0.0f}, {0.371f, 0.93f, 0.28f}, {1.0f, 0.0f}}, {0, 3});
}

struct Program {
  const char* name;
  void (*build)(float* record);
};

constexpr Program kPrograms[kProgramCount] = {
    {"ThickSaw", ThickSaw}, {"DistRez", DistRez}, {"Rlead", Rlead},         {"Plastic", Plastic},
    {"Chousy", Chousy},     {"SBass", SBass},     {"EBass", EBass},         {"DPizz", DPizz},
    {"Glocky", Glocky},     {"Digger", Digger},   {"Smooth", Smooth},       {"Icy", Icy},
    {"Halo", Halo},         {"Sonic", Sonic},     {"Computer1", Computer1}, {"Hammerp", Hammerp},
};

}  // namespace

const char* Name(int program) {
  if (program < 0 || program >= kProgramCount) return "";
  return kPrograms[program].name;
}

void Fill(int program, float* values) {
  if (program < 0 || program >= kProgramCount || values == nullptr) return;
  // Sections overwrite each other's defaults, zeros included, so the sound is built on a
  // blank record and only its non-zero values are handed over.
  float record[param::kPatchSize] = {};
  SetBase(record);
  kPrograms[program].build(record);
  for (int i = 0; i < param::kPatchSize; ++i) {
    if (record[i] != 0.0f) values[i] = record[i];
  }
}

}  // namespace vellicor::factory_bank
