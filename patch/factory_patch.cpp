#include "patch/factory_patch.h"

namespace vellicor::factory_patch {
namespace {

// Spare slots nothing reads (they have no name in the parameter table); every factory program
// carries these values in them.
constexpr int kSpareEnvelopeSelectors[] = {91, 93, 111, 113, 150};
constexpr int kSpareLfoSelectors[] = {94, 114};
constexpr int kSpareWaveSlots[] = {127, 128};

void Put(float* record, int index, float value) {
  if (index >= 0 && index < kBankEnd) record[index] = value;
}

}  // namespace

void SetVoice(float* record, const Voice& voice) {
  Put(record, param::kVoiceMode, voice.mode);
  Put(record, param::kMainVolume, voice.main_volume);
  Put(record, param::kTempo, voice.tempo);
  Put(record, param::kMainEnvelope, voice.main_envelope);
  Put(record, param::kBendRange, voice.bend_range);
  Put(record, param::kArpLength, voice.arp_length);
  Put(record, param::kArpGate, voice.arp_gate);
  Put(record, param::kArpOrder, voice.arp_order);
  Put(record, param::kArpOctaves, voice.arp_octaves);
  Put(record, param::kLfoRestart, voice.lfo_restart);
  Put(record, param::kLfoKeyTracking, voice.lfo_key_tracking);
  Put(record, param::kPortamento, voice.portamento);
  Put(record, param::kRelease, voice.release);
  Put(record, param::kStereo, voice.stereo);
  Put(record, param::kEnvelopeKeyTracking, voice.envelope_key_tracking);
  Put(record, param::kVolumeLfo, voice.volume_lfo);
  Put(record, param::kPanLfo, voice.pan_lfo);
}

void SetOscillator(float* record, int oscillator, const Oscillator& osc) {
  if (oscillator != 1 && oscillator != 2) return;
  const param::OscillatorIndices& at = param::kOscillator[oscillator - 1];
  Put(record, at.wave, osc.wave);
  Put(record, at.octave, osc.octave);
  Put(record, at.semitone, osc.semitone);
  Put(record, at.volume, osc.volume);
  if (oscillator == 2) Put(record, param::kOsc2Sync, osc.sync);
  Put(record, at.fm_amount, osc.fm_amount);
  Put(record, at.fine_tune, osc.fine);
  Put(record, at.fm_source, osc.fm_source != 0.0f ? osc.fm_source : FmFrom(3 - oscillator));
  Put(record, at.pwm_amount, osc.pwm_amount);
  Put(record, at.pwm_speed, osc.pwm_speed);
  Put(record, at.amp_envelope, osc.amp_envelope);
  Put(record, at.pitch_envelope, osc.pitch_envelope);
  Put(record, at.env_pitch_range, osc.envelope_pitch_range);
  Put(record, at.fm_envelope, osc.fm_envelope);
  Put(record, at.volume_lfo, osc.volume_lfo);
  Put(record, at.pitch_lfo, osc.pitch_lfo);
  Put(record, at.lfo_pitch_range, osc.lfo_pitch_range);
}

void SetFilter(float* record, const FilterSection& filter) {
  Put(record, param::kFilterType, filter.type);
  Put(record, param::kFilterQ, filter.q);
  Put(record, param::kFilterFrequency, filter.frequency);
  Put(record, param::kFilterEnvelopeAmount, filter.envelope_amount);
  Put(record, param::kFilterVolume, filter.volume);
  Put(record, param::kFilterDistortion, filter.distortion);
  Put(record, param::kFilterKeyTracking, filter.key_tracking);
  Put(record, param::kFilterEnvelope, filter.envelope);
  Put(record, param::kFilterLfo, filter.lfo);
}

void SetLfo(float* record, int lfo, const LfoSection& section) {
  if (lfo < 1 || lfo > param::kLfoCount) return;
  const int k = lfo - 1;
  Put(record, param::Lfo(param::kLfoWave, k), section.wave);
  Put(record, param::Lfo(param::kLfoPeriod, k), section.period);
  Put(record, param::Lfo(param::kLfoAmplitude, k), section.amplitude);
  Put(record, param::Lfo(param::kLfoDepthEnvelope, k), section.depth_envelope);
  Put(record, param::Lfo(param::kLfoSpeedEnvelope, k), section.speed_envelope);
  Put(record, param::Lfo(param::kLfoHold, k), section.hold);
}

void SetEnvelope(float* record, int envelope, float length, std::initializer_list<Point> points,
                 Loop loop) {
  const int slot = envelope - 1;
  const int count = static_cast<int>(points.size());
  if (slot < 0 || slot >= kEnvelopeSlots || count < 2 || count > kEnvelopePoints) return;
  const int last = count - 1;
  if (loop.start < 0) loop = {last, last};

  Put(record, param::Envelope(param::kEnvLength, slot), length);
  Put(record, param::Envelope(param::kEnvLastPoint, slot), PointIndex(last));
  Put(record, param::Envelope(param::kEnvLoopStart, slot), PointIndex(loop.start));
  Put(record, param::Envelope(param::kEnvLoopEnd, slot), PointIndex(loop.end));

  int j = 0;
  for (const Point& point : points) {
    Put(record, param::Point(param::kEnvTime, slot, j), point.time);
    Put(record, param::Point(param::kEnvLevel, slot, j), point.level);
    Put(record, param::Point(param::kEnvCurve, slot, j), point.curve);
    ++j;
  }
  for (; j < kEnvelopePoints; ++j) {
    Put(record, param::Point(param::kEnvTime, slot, j), 1.0f);
    Put(record, param::Point(param::kEnvLevel, slot, j), 1.0f);
    Put(record, param::Point(param::kEnvCurve, slot, j), 0.5f);
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
  for (int lfo = 1; lfo <= param::kLfoCount; ++lfo) SetLfo(record, lfo, {});
  Put(record, param::kLfoShown, Lfo(1));
  Put(record, param::kEnvelopeShown, static_cast<float>(0.1 / 20.99));  // the editor opens on Env1
  for (int index : kSpareEnvelopeSelectors) Put(record, index, kNoEnv);
  for (int index : kSpareLfoSelectors) Put(record, index, kNoLfo);
  for (int index : kSpareWaveSlots) Put(record, index, static_cast<float>(8.5 / 49.99));
}

}  // namespace vellicor::factory_patch
