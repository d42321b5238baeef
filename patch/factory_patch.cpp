#include "patch/factory_patch.h"

namespace vellicor::factory_patch {
namespace {

// Where each section lives in the record.
enum VoiceIndex {
  kVoiceMode = 0,
  kMainVolume = 1,
  kTempo = 2,
  kMainEnvelope = 3,
  kBendRange = 4,
  kArpLength = 5,
  kArpGate = 6,
  kArpOrder = 7,
  kArpOctaves = 8,
  kLfoRestart = 9,
  kLfoKeyTracking = 10,
  kPortamento = 11,
  kRelease = 12,
  kStereo = 13,
  kEnvelopeKeyTracking = 14,
  kVolumeLfo = 19,
  kPanLfo = 20,
  kLfoShown = 169,
  kEnvelopeShown = 219,
};

struct OscillatorIndex {
  int wave, octave, semitone, volume, sync, fm_amount, fine, fm_source, pwm_amount, pwm_speed,
      amp_envelope, pitch_envelope, envelope_pitch_range, fm_envelope, volume_lfo, pitch_lfo,
      lfo_pitch_range;
};
// The two blocks are not a fixed offset apart: oscillator 2 has the sync amount after its
// volume, and its envelope selectors start one slot later.
constexpr OscillatorIndex kOscillator1{39, 40, 41, 42, -1, 44, 45, 46, 47,
                                       48, 49, 50, 51, 52, 53, 54, 55};
constexpr OscillatorIndex kOscillator2{59, 60, 61, 62, 63, 64, 65, 66, 67,
                                       68, 70, 71, 72, 73, 74, 75, 76};

enum FilterIndex {
  kFilterType = 120,
  kFilterQ = 121,
  kFilterFrequency = 122,
  kFilterEnvelopeAmount = 123,
  kFilterVolume = 124,
  kFilterDistortion = 125,
  kFilterKeyTracking = 129,
  kFilterEnvelope = 131,
  kFilterLfo = 132,
};

enum LfoIndex {  // + LFO number - 1
  kLfoWave = 170,
  kLfoPeriod = 175,
  kLfoAmplitude = 180,
  kLfoDepthEnvelope = 190,
  kLfoSpeedEnvelope = 195,
  kLfoHold = 205,
};

enum EnvelopeIndex {  // + slot, or + 20 * slot + point
  kEnvelopeLength = 250,
  kLoopStart = 270,
  kLoopEnd = 290,
  kLastPoint = 310,
  kPointTime = 350,
  kPointLevel = 710,
  kPointCurve = 1110,
};

// Slots nothing reads; every factory program carries these values in them.
constexpr int kSpareEnvelopeSelectors[] = {91, 93, 111, 113, 150};
constexpr int kSpareLfoSelectors[] = {94, 114};
constexpr int kSpareWaveSlots[] = {127, 128};

void Put(float* record, int index, float value) {
  if (index >= 0 && index < kBankEnd) record[index] = value;
}

}  // namespace

void SetVoice(float* record, const Voice& voice) {
  Put(record, kVoiceMode, voice.mode);
  Put(record, kMainVolume, voice.main_volume);
  Put(record, kTempo, voice.tempo);
  Put(record, kMainEnvelope, voice.main_envelope);
  Put(record, kBendRange, voice.bend_range);
  Put(record, kArpLength, voice.arp_length);
  Put(record, kArpGate, voice.arp_gate);
  Put(record, kArpOrder, voice.arp_order);
  Put(record, kArpOctaves, voice.arp_octaves);
  Put(record, kLfoRestart, voice.lfo_restart);
  Put(record, kLfoKeyTracking, voice.lfo_key_tracking);
  Put(record, kPortamento, voice.portamento);
  Put(record, kRelease, voice.release);
  Put(record, kStereo, voice.stereo);
  Put(record, kEnvelopeKeyTracking, voice.envelope_key_tracking);
  Put(record, kVolumeLfo, voice.volume_lfo);
  Put(record, kPanLfo, voice.pan_lfo);
}

void SetOscillator(float* record, int oscillator, const Oscillator& osc) {
  if (oscillator != 1 && oscillator != 2) return;
  const OscillatorIndex& at = oscillator == 1 ? kOscillator1 : kOscillator2;
  Put(record, at.wave, osc.wave);
  Put(record, at.octave, osc.octave);
  Put(record, at.semitone, osc.semitone);
  Put(record, at.volume, osc.volume);
  Put(record, at.sync, osc.sync);
  Put(record, at.fm_amount, osc.fm_amount);
  Put(record, at.fine, osc.fine);
  Put(record, at.fm_source, osc.fm_source != 0.0f ? osc.fm_source : FmFrom(3 - oscillator));
  Put(record, at.pwm_amount, osc.pwm_amount);
  Put(record, at.pwm_speed, osc.pwm_speed);
  Put(record, at.amp_envelope, osc.amp_envelope);
  Put(record, at.pitch_envelope, osc.pitch_envelope);
  Put(record, at.envelope_pitch_range, osc.envelope_pitch_range);
  Put(record, at.fm_envelope, osc.fm_envelope);
  Put(record, at.volume_lfo, osc.volume_lfo);
  Put(record, at.pitch_lfo, osc.pitch_lfo);
  Put(record, at.lfo_pitch_range, osc.lfo_pitch_range);
}

void SetFilter(float* record, const FilterSection& filter) {
  Put(record, kFilterType, filter.type);
  Put(record, kFilterQ, filter.q);
  Put(record, kFilterFrequency, filter.frequency);
  Put(record, kFilterEnvelopeAmount, filter.envelope_amount);
  Put(record, kFilterVolume, filter.volume);
  Put(record, kFilterDistortion, filter.distortion);
  Put(record, kFilterKeyTracking, filter.key_tracking);
  Put(record, kFilterEnvelope, filter.envelope);
  Put(record, kFilterLfo, filter.lfo);
}

void SetLfo(float* record, int lfo, const LfoSection& section) {
  if (lfo < 1 || lfo > 5) return;
  const int k = lfo - 1;
  Put(record, kLfoWave + k, section.wave);
  Put(record, kLfoPeriod + k, section.period);
  Put(record, kLfoAmplitude + k, section.amplitude);
  Put(record, kLfoDepthEnvelope + k, section.depth_envelope);
  Put(record, kLfoSpeedEnvelope + k, section.speed_envelope);
  Put(record, kLfoHold + k, section.hold);
}

void SetEnvelope(float* record, int envelope, float length, std::initializer_list<Point> points,
                 Loop loop) {
  const int slot = envelope - 1;
  const int count = static_cast<int>(points.size());
  if (slot < 0 || slot >= kEnvelopeSlots || count < 2 || count > kEnvelopePoints) return;
  const int last = count - 1;
  if (loop.start < 0) loop = {last, last};

  Put(record, kEnvelopeLength + slot, length);
  Put(record, kLastPoint + slot, PointIndex(last));
  Put(record, kLoopStart + slot, PointIndex(loop.start));
  Put(record, kLoopEnd + slot, PointIndex(loop.end));

  const int base = kEnvelopePoints * slot;
  int j = 0;
  for (const Point& point : points) {
    Put(record, kPointTime + base + j, point.time);
    Put(record, kPointLevel + base + j, point.level);
    Put(record, kPointCurve + base + j, point.curve);
    ++j;
  }
  for (; j < kEnvelopePoints; ++j) {
    Put(record, kPointTime + base + j, 1.0f);
    Put(record, kPointLevel + base + j, 1.0f);
    Put(record, kPointCurve + base + j, 0.5f);
  }
}

void SetDecay(float* record, int envelope, float length, float curve, Loop loop) {
  SetEnvelope(record, envelope, length, {{0.0f, 1.0f, curve}, {1.0f, 0.0f}}, loop);
}

void SetRise(float* record, int envelope, float length, float curve, Loop loop) {
  SetEnvelope(record, envelope, length, {{0.0f, 0.0f, curve}, {1.0f, 1.0f}}, loop);
}

void SetBase(float* record) {
  for (int envelope = 1; envelope <= kEnvelopeSlots; ++envelope) {
    SetDecay(record, envelope, 0.0f);
  }
  for (int lfo = 1; lfo <= 5; ++lfo) SetLfo(record, lfo, {});
  Put(record, kLfoShown, Lfo(1));
  Put(record, kEnvelopeShown, static_cast<float>(0.1 / 20.99));  // the editor opens on Env1
  for (int index : kSpareEnvelopeSelectors) Put(record, index, kNoEnv);
  for (int index : kSpareLfoSelectors) Put(record, index, kNoLfo);
  for (int index : kSpareWaveSlots) Put(record, index, static_cast<float>(8.5 / 49.99));
}

}  // namespace vellicor::factory_patch
