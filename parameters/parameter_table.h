// The parameter table: the one place where an index of the 1,600-value sound record gets its
// meaning. Every layer reads it: the engine's derivations, the editor's controls, the factory
// writer, and every format's list of parameters (VST 2 names, LV2 ports and Turtle).
//
// A sound is 1,600 single-precision values in 0..1, addressed by index in a program, in the
// engine's copy, in the editor's copy, as a host parameter and in the controller map. Indices
// 0..1598 are host parameters; 1599 is stored and replayed but never offered to a host.
//
// Dependency-free on purpose (standard headers only), so that any folder may include it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vellicor::param {

constexpr int kPatchSize = 1600;           // values in a sound record
constexpr int kHostParameterCount = 1599;  // 0..1598; 1599 is replayed only
constexpr int kControllerMapSize = 300;    // one controller-map entry per index 0..299
constexpr int kLearnableCount = 256;       // the entries the editor shows, saves and learns
constexpr int kNoController = 255;         // the controller-map entry of an index none drives

// --- Single settings ----------------------------------------------------------------------
constexpr int kVoiceMode = 0;  // Poly, Mono, Legato, Arp
constexpr int kMainVolume = 1;
constexpr int kTempo = 2;         // 20..220 bpm; below 25 the host's tempo
constexpr int kMainEnvelope = 3;  // envelope selector of the main amplitude
constexpr int kBendRange = 4;
constexpr int kArpLength = 5;
constexpr int kArpGate = 6;
constexpr int kArpOrder = 7;
constexpr int kArpOctaves = 8;
constexpr int kLfoRestart = 9;
constexpr int kLfoKeyTracking = 10;
constexpr int kPortamento = 11;
constexpr int kRelease = 12;
constexpr int kStereo = 13;
constexpr int kEnvelopeKeyTracking = 14;
// The editor's requests to the engine, not settings of the sound: 15 the controller-map
// command (1 learn the next controller for 16, 0.5 assign 17 to 16), 16 the parameter (its
// index / 255), 17 the controller (its number / 255), 18 "all notes off" at 1.
constexpr int kLearnCommand = 15;
constexpr int kLearnTarget = 16;
constexpr int kLearnController = 17;
constexpr int kVoiceReset = 18;
constexpr int kVolumeLfo = 19;
constexpr int kPanLfo = 20;
// 0: the oscillators read their waves as they always have, folding back whatever lies above
// half the sample rate; 1: band-limited (engine/band_limited.h).
constexpr int kAliasFree = 21;

// The request values of kLearnCommand.
constexpr float kLearnRequest = 1.0f;
constexpr float kAssignRequest = 0.5f;

// --- Oscillators: two blocks, not a fixed offset apart ---------------------------------------
struct OscillatorIndices {
  int wave, octave, semitone, volume, fm_amount, fine_tune, fm_source, pwm_amount, pwm_speed,
      amp_envelope, pitch_envelope, env_pitch_range, fm_envelope, volume_lfo, pitch_lfo,
      lfo_pitch_range;
};
inline constexpr OscillatorIndices kOscillator[2] = {
    {39, 40, 41, 42, 44, 45, 46, 47, 48, 49, 50, 51, 52, 53, 54, 55},
    {59, 60, 61, 62, 64, 65, 66, 67, 68, 70, 71, 72, 73, 74, 75, 76},
};
constexpr int kOsc2Sync = 63;
constexpr int kRingModulation = 77;

// --- Filter --------------------------------------------------------------------------------
constexpr int kFilterType = 120;
constexpr int kFilterQ = 121;
constexpr int kFilterFrequency = 122;
constexpr int kFilterEnvelopeAmount = 123;
constexpr int kFilterVolume = 124;
constexpr int kFilterDistortion = 125;
constexpr int kFilterKeyTracking = 129;
constexpr int kFilterEnvelope = 131;  // envelope selector
constexpr int kFilterLfo = 132;       // LFO selector

// --- LFOs: rows of five, one value per LFO (row + n, n = 0..4) -------------------------------
constexpr int kLfoCount = 5;
constexpr int kLfoShown = 169;  // the LFO the editor's panel shows
constexpr int kLfoWave = 170;
constexpr int kLfoPeriod = 175;
constexpr int kLfoAmplitude = 180;
constexpr int kLfoDepthEnvelope = 190;
constexpr int kLfoSpeedEnvelope = 195;
constexpr int kLfoHold = 205;  // sample-and-hold period
constexpr int kLfoRows[] = {kLfoWave,          kLfoPeriod,        kLfoAmplitude,
                            kLfoDepthEnvelope, kLfoSpeedEnvelope, kLfoHold};
constexpr int Lfo(int row, int n) {
  return row + n;
}

// --- Envelopes: one slot per envelope in each slot block (block + e, e = 0..19), twenty points
// per envelope in each point block (block + 20 e + j). The voices play envelopes 0..7.
constexpr int kEnvelopeShown = 219;  // the envelope the editor's panel shows
constexpr int kEnvelopeSlots = 20;
constexpr int kEnvelopePoints = 20;
constexpr int kEnvLoopMode = 230;  // loop while the key is held (sustain loop)
constexpr int kEnvLength = 250;
constexpr int kEnvLoopStart = 270;
constexpr int kEnvLoopEnd = 290;
constexpr int kEnvLastPoint = 310;
constexpr int kEnvSlotBlocks[] = {kEnvLoopMode, kEnvLength, kEnvLoopStart, kEnvLoopEnd,
                                  kEnvLastPoint};
constexpr int kEnvTime = 350;  // times of envelopes 0..17: the levels follow
constexpr int kEnvLevel = 710;
constexpr int kEnvCurve = 1110;  // curve of the segment from point j to j + 1
constexpr int kEnvPointBlocks[] = {kEnvTime, kEnvLevel, kEnvCurve};
constexpr int Envelope(int block, int e) {
  return block + e;
}
constexpr int Point(int block, int e, int j) {
  return block + kEnvelopePoints * e + j;
}

// --- The evolver's sliders, and the replayed tail ------------------------------------------
constexpr int kEvolverAmount = 1597;
constexpr int kEvolverLevel = 1598;
// The evolver's slots hold the values before this index; a bred sound leaves the rest (its own
// sliders among them) as the current sound has them.
constexpr int kEvolverSlotEnd = 1591;
constexpr int kReplayOnly = 1599;

// --- What each index means -------------------------------------------------------------------

// How a value is read.
enum class Encoding : uint8_t {
  kUnused,          // no setting: stored, replayed, offered to hosts, read by nothing
  kAmount,          // a plain amount, 0..1
  kVolume,          // the volume curve: off at 0, then -30 dB .. +10 dB
  kSwitch,          // off or on: IntPart(1.99 v)
  kChoice,          // one of `choices`: IntPart(scale v), the last for v = 1
  kLength,          // IntPart(49.99 v) in the length table (quarter or half beats)
  kReversedLength,  // IntPart(49.99 v) in the reversed length table
  kTempo,           // IntPart(200 v + 20) bpm; below 25 the host's tempo
  kRequest,         // written by the editor to ask the engine for something
};

// What a block repeats over, and so how its parameters are named.
enum class Repeat : uint8_t {
  kNone,      // a single parameter: `name` is its whole name
  kLfo,       // "LFO n name"
  kEnvelope,  // "Env n name"
  kPoint,     // "Env n point j name"
  kSpare,     // "Spare index"
};

struct Row {
  int first;
  int count;
  Repeat repeat;
  std::string_view name;
  Encoding encoding;
  float scale = 0.0f;  // kChoice: K of IntPart(K v)
  int choices = 0;     // kChoice: how many the editor offers
  float default_value = 0.0f;
  // VST 2 answers the name of these 33 (the others answer ""); every other format names all.
  bool vst2_named = false;
};

namespace detail {
using E = Encoding;
using R = Repeat;
constexpr Row Single(int index, std::string_view name, E encoding, float default_value = 0.0f,
                     bool vst2_named = false) {
  return {index, 1, R::kNone, name, encoding, 0.0f, 0, default_value, vst2_named};
}
constexpr Row Named(int index, std::string_view name, E encoding, float default_value = 0.0f) {
  return Single(index, name, encoding, default_value, true);
}
constexpr Row Choice(int index, std::string_view name, float scale, int choices,
                     bool vst2_named = false) {
  return {index, 1, R::kNone, name, E::kChoice, scale, choices, 0.0f, vst2_named};
}
constexpr Row Block(int first, int count, R repeat, std::string_view name, E encoding,
                    float scale = 0.0f, int choices = 0) {
  return {first, count, repeat, name, encoding, scale, choices, 0.0f, false};
}
constexpr Row Spare(int first, int last) {
  return {first, last - first + 1, R::kSpare, "Spare", E::kUnused};
}

// Choice scales: the engine reads choice k of a value v as IntPart(scale v).
constexpr float kModeScale = 3.99f;       // voice mode, arpeggio order and octaves
constexpr float kSelectorScale = 10.99f;  // envelope selectors (8 and "none"), LFO selectors (5)
constexpr float kRangeScale = 15.999f;    // pitch ranges: 0..12, 24, 36, 48 semitones
constexpr float kWaveScale = 49.99f;      // waves and FM sources
constexpr float kPointScale = 39.99f;     // envelope point indices

constexpr int kEnvelopeChoices = 9;  // "Env1".."Env8", none
constexpr int kLfoChoices = 6;       // LFO 1..5, none

// Inline, like the array: a namespace-scope reference is not const itself, so without it every
// file that includes this header would define these two once more.
inline constexpr const OscillatorIndices& O1 = kOscillator[0];
inline constexpr const OscillatorIndices& O2 = kOscillator[1];
}  // namespace detail

// Every index once, in order. Defaults are the values the editor's "Reset Value" restores.
inline constexpr Row kRows[] = {
    detail::Choice(kVoiceMode, "Voice mode", detail::kModeScale, 4),
    detail::Named(kMainVolume, "Main volume", Encoding::kVolume, 0.8f),
    detail::Named(kTempo, "Tempo", Encoding::kTempo, 0.5f),
    detail::Choice(kMainEnvelope, "Main envelope", detail::kSelectorScale,
                   detail::kEnvelopeChoices),
    detail::Choice(kBendRange, "Pitch bend", detail::kRangeScale, 16, true),
    detail::Named(kArpLength, "Arp Length", Encoding::kReversedLength),
    detail::Named(kArpGate, "Arp Gate", Encoding::kAmount),
    detail::Choice(kArpOrder, "Arp order", detail::kModeScale, 4),
    detail::Choice(kArpOctaves, "Arp octaves", detail::kModeScale, 4),
    detail::Single(kLfoRestart, "LFO restart", Encoding::kSwitch),
    detail::Single(kLfoKeyTracking, "LFO key tracking", Encoding::kSwitch),
    detail::Named(kPortamento, "Portmento", Encoding::kAmount),
    detail::Named(kRelease, "Release", Encoding::kLength),
    detail::Named(kStereo, "Stereo", Encoding::kAmount),
    detail::Single(kEnvelopeKeyTracking, "Envelope key tracking", Encoding::kSwitch),
    detail::Single(kLearnCommand, "MIDI learn command", Encoding::kRequest),
    detail::Single(kLearnTarget, "MIDI learn target", Encoding::kRequest),
    detail::Single(kLearnController, "MIDI learn controller", Encoding::kRequest),
    detail::Single(kVoiceReset, "All notes off", Encoding::kRequest),
    detail::Choice(kVolumeLfo, "Volume LFO", detail::kSelectorScale, detail::kLfoChoices),
    detail::Choice(kPanLfo, "Pan LFO", detail::kSelectorScale, detail::kLfoChoices),
    detail::Named(kAliasFree, "Alias-free oscillators", Encoding::kSwitch),
    detail::Spare(22, 38),
    detail::Choice(detail::O1.wave, "Osc 1 wave", detail::kWaveScale, 14),
    {detail::O1.octave, 1, Repeat::kNone, "Osc 1 octave", Encoding::kChoice, 7.99f, 8, 0.5f},
    {detail::O1.semitone, 1, Repeat::kNone, "Osc 1 tune", Encoding::kChoice, 11.99f, 12, 0.0f,
     true},
    detail::Named(detail::O1.volume, "Osc 1 volume", Encoding::kVolume, 0.8f),
    detail::Spare(43, 43),
    detail::Named(detail::O1.fm_amount, "Osc 1 FM amount", Encoding::kAmount),
    detail::Named(detail::O1.fine_tune, "Osc 1 fine tune", Encoding::kAmount),
    detail::Choice(detail::O1.fm_source, "Osc 1 FM source", detail::kWaveScale, 2),
    detail::Named(detail::O1.pwm_amount, "Osc 1 PWM amount", Encoding::kAmount),
    detail::Named(detail::O1.pwm_speed, "Osc 1 PWM speed", Encoding::kAmount),
    detail::Choice(detail::O1.amp_envelope, "Osc 1 amplitude envelope", detail::kSelectorScale,
                   detail::kEnvelopeChoices),
    detail::Choice(detail::O1.pitch_envelope, "Osc 1 pitch envelope", detail::kSelectorScale,
                   detail::kEnvelopeChoices),
    detail::Choice(detail::O1.env_pitch_range, "Osc 1 envelope pitch range", detail::kRangeScale,
                   16, true),
    detail::Choice(detail::O1.fm_envelope, "Osc 1 FM envelope", detail::kSelectorScale,
                   detail::kEnvelopeChoices),
    detail::Choice(detail::O1.volume_lfo, "Osc 1 volume LFO", detail::kSelectorScale,
                   detail::kLfoChoices),
    detail::Choice(detail::O1.pitch_lfo, "Osc 1 pitch LFO", detail::kSelectorScale,
                   detail::kLfoChoices),
    detail::Choice(detail::O1.lfo_pitch_range, "Osc 1 LFO pitch range", detail::kRangeScale, 16,
                   true),
    detail::Spare(56, 58),
    detail::Choice(detail::O2.wave, "Osc 2 wave", detail::kWaveScale, 14),
    {detail::O2.octave, 1, Repeat::kNone, "Osc 2 octave", Encoding::kChoice, 7.99f, 8, 0.5f},
    {detail::O2.semitone, 1, Repeat::kNone, "Osc 2 tune", Encoding::kChoice, 11.99f, 12, 0.0f,
     true},
    detail::Named(detail::O2.volume, "Osc 2 volume", Encoding::kVolume, 0.8f),
    detail::Named(kOsc2Sync, "Osc 2 sync amount", Encoding::kAmount),
    detail::Named(detail::O2.fm_amount, "Osc 2 FM amount", Encoding::kAmount),
    detail::Named(detail::O2.fine_tune, "Osc 2 fine tune", Encoding::kAmount),
    detail::Choice(detail::O2.fm_source, "Osc 2 FM source", detail::kWaveScale, 2),
    detail::Named(detail::O2.pwm_amount, "Osc 2 PWM amount", Encoding::kAmount),
    detail::Named(detail::O2.pwm_speed, "Osc 2 PWM speed", Encoding::kAmount),
    detail::Spare(69, 69),
    detail::Choice(detail::O2.amp_envelope, "Osc 2 amplitude envelope", detail::kSelectorScale,
                   detail::kEnvelopeChoices),
    detail::Choice(detail::O2.pitch_envelope, "Osc 2 pitch envelope", detail::kSelectorScale,
                   detail::kEnvelopeChoices),
    detail::Choice(detail::O2.env_pitch_range, "Osc 2 envelope pitch range", detail::kRangeScale,
                   16, true),
    detail::Choice(detail::O2.fm_envelope, "Osc 2 FM envelope", detail::kSelectorScale,
                   detail::kEnvelopeChoices),
    detail::Choice(detail::O2.volume_lfo, "Osc 2 volume LFO", detail::kSelectorScale,
                   detail::kLfoChoices),
    detail::Choice(detail::O2.pitch_lfo, "Osc 2 pitch LFO", detail::kSelectorScale,
                   detail::kLfoChoices),
    detail::Choice(detail::O2.lfo_pitch_range, "Osc 2 LFO pitch range", detail::kRangeScale, 16,
                   true),
    detail::Single(kRingModulation, "Ring modulation", Encoding::kSwitch),
    detail::Spare(78, 119),
    {kFilterType, 1, Repeat::kNone, "Filter 1 type", Encoding::kChoice, 12.99f, 12, 0.0f, true},
    detail::Named(kFilterQ, "Filter 1 Q", Encoding::kAmount),
    detail::Named(kFilterFrequency, "Filter 1 frequency", Encoding::kAmount),
    detail::Named(kFilterEnvelopeAmount, "Filter 1 envelope", Encoding::kAmount, 0.5f),
    detail::Named(kFilterVolume, "Filter 1 volume", Encoding::kVolume, 0.8f),
    detail::Named(kFilterDistortion, "Filter 1 distortion", Encoding::kAmount),
    detail::Spare(126, 128),
    detail::Named(kFilterKeyTracking, "Filter 1 tracking", Encoding::kSwitch),
    detail::Spare(130, 130),
    detail::Choice(kFilterEnvelope, "Filter 1 envelope select", detail::kSelectorScale,
                   detail::kEnvelopeChoices),
    detail::Choice(kFilterLfo, "Filter 1 LFO select", detail::kSelectorScale, detail::kLfoChoices),
    detail::Spare(133, 168),
    detail::Choice(kLfoShown, "LFO shown", detail::kSelectorScale, kLfoCount),
    detail::Block(kLfoWave, kLfoCount, Repeat::kLfo, "wave", Encoding::kChoice, detail::kWaveScale,
                  14),
    detail::Block(kLfoPeriod, kLfoCount, Repeat::kLfo, "period", Encoding::kReversedLength),
    detail::Block(kLfoAmplitude, kLfoCount, Repeat::kLfo, "amplitude", Encoding::kAmount),
    detail::Spare(185, 189),
    detail::Block(kLfoDepthEnvelope, kLfoCount, Repeat::kLfo, "amplitude envelope",
                  Encoding::kChoice, detail::kSelectorScale, detail::kEnvelopeChoices),
    detail::Block(kLfoSpeedEnvelope, kLfoCount, Repeat::kLfo, "speed envelope", Encoding::kChoice,
                  detail::kSelectorScale, detail::kEnvelopeChoices),
    detail::Spare(200, 204),
    detail::Block(kLfoHold, kLfoCount, Repeat::kLfo, "sample and hold", Encoding::kReversedLength),
    detail::Spare(210, 218),
    detail::Choice(kEnvelopeShown, "Envelope shown", 20.99f, 8),
    detail::Spare(220, 229),
    detail::Block(kEnvLoopMode, kEnvelopeSlots, Repeat::kEnvelope, "sustain loop",
                  Encoding::kSwitch),
    detail::Block(kEnvLength, kEnvelopeSlots, Repeat::kEnvelope, "length", Encoding::kLength),
    detail::Block(kEnvLoopStart, kEnvelopeSlots, Repeat::kEnvelope, "loop start", Encoding::kChoice,
                  detail::kPointScale, kEnvelopePoints),
    detail::Block(kEnvLoopEnd, kEnvelopeSlots, Repeat::kEnvelope, "loop end", Encoding::kChoice,
                  detail::kPointScale, kEnvelopePoints),
    detail::Block(kEnvLastPoint, kEnvelopeSlots, Repeat::kEnvelope, "last point", Encoding::kChoice,
                  detail::kPointScale, kEnvelopePoints),
    detail::Spare(330, 349),
    detail::Block(kEnvTime, kEnvLevel - kEnvTime, Repeat::kPoint, "time", Encoding::kAmount),
    detail::Block(kEnvLevel, kEnvelopeSlots* kEnvelopePoints, Repeat::kPoint, "level",
                  Encoding::kAmount),
    detail::Block(kEnvCurve, kEnvelopeSlots* kEnvelopePoints, Repeat::kPoint, "curve",
                  Encoding::kAmount),
    detail::Spare(1510, 1596),
    detail::Single(kEvolverAmount, "Evolver amount", Encoding::kAmount),
    detail::Single(kEvolverLevel, "Evolver level", Encoding::kAmount),
    detail::Single(kReplayOnly, "Replayed only", Encoding::kUnused),
};

// The row holding `index`; null outside 0..1599.
constexpr const Row* RowOf(int index) {
  for (const Row& row : kRows) {
    if (index >= row.first && index < row.first + row.count) return &row;
  }
  return nullptr;
}

// A name or symbol, built without allocating (so the audio thread and constant expressions may
// ask too).
struct Text {
  char chars[48] = {};
  int size = 0;
  constexpr void Append(std::string_view text) {
    for (char c : text) {
      if (size < static_cast<int>(sizeof chars) - 1) chars[size++] = c;
    }
  }
  constexpr void AppendNumber(int n) {
    char digits[12] = {};
    int count = 0;
    do {
      digits[count++] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n > 0 && count < 11);
    while (count > 0) Append(std::string_view(&digits[--count], 1));
  }
  constexpr std::string_view view() const { return std::string_view(chars, size); }
  const char* c_str() const { return chars; }
};

// The full name ("Main volume", "LFO 2 period", "Env 1 point 3 level", "Spare 43"); empty
// outside 0..1599.
constexpr Text Name(int index) {
  Text text;
  const Row* row = RowOf(index);
  if (!row) return text;
  const int offset = index - row->first;
  switch (row->repeat) {
    case Repeat::kNone:
      text.Append(row->name);
      break;
    case Repeat::kLfo:
    case Repeat::kEnvelope:
      text.Append(row->repeat == Repeat::kLfo ? "LFO " : "Env ");
      text.AppendNumber(offset + 1);
      text.Append(" ");
      text.Append(row->name);
      break;
    case Repeat::kPoint:
      text.Append("Env ");
      text.AppendNumber(offset / kEnvelopePoints + 1);
      text.Append(" point ");
      text.AppendNumber(offset % kEnvelopePoints + 1);
      text.Append(" ");
      text.Append(row->name);
      break;
    case Repeat::kSpare:
      text.Append("Spare ");
      text.AppendNumber(index);
      break;
  }
  return text;
}

// The name a VST 2 host sees: the full name for the 33 named parameters, "" for the others.
constexpr Text Vst2Name(int index) {
  const Row* row = RowOf(index);
  return row && row->vst2_named ? Name(index) : Text{};
}

// The stable symbol of every format ("p0000".."p1599"): the index, so that improving a name
// never breaks a saved session.
constexpr Text Symbol(int index) {
  Text text;
  if (index < 0 || index >= kPatchSize) return text;
  text.Append("p");
  for (int scale = 1000; scale > 0; scale /= 10) {
    text.AppendNumber((index / scale) % 10);
  }
  return text;
}

constexpr float DefaultValue(int index) {
  const Row* row = RowOf(index);
  return row ? row->default_value : 0.0f;
}

constexpr Encoding EncodingOf(int index) {
  const Row* row = RowOf(index);
  return row ? row->encoding : Encoding::kUnused;
}

// Which LFO row and which LFO an index of the LFO rows belongs to; false for any other index.
constexpr bool InLfoRow(int index, int* row, int* n) {
  for (int first : kLfoRows) {
    if (index >= first && index < first + kLfoCount) {
      *row = first;
      *n = index - first;
      return true;
    }
  }
  return false;
}

// The envelope slot (0..19) an index of the envelope blocks belongs to, or -1.
constexpr int EnvelopeOf(int index) {
  for (int block : kEnvSlotBlocks) {
    if (index >= block && index < block + kEnvelopeSlots) return index - block;
  }
  if (index >= kEnvTime && index < kEnvCurve + kEnvelopeSlots * kEnvelopePoints) {
    for (int b = 2; b >= 0; --b) {
      if (index >= kEnvPointBlocks[b]) return (index - kEnvPointBlocks[b]) / kEnvelopePoints;
    }
  }
  return -1;
}

}  // namespace vellicor::param
