#include "engine/arpeggiator.h"

#include <cmath>

#include "engine/random.h"
#include "engine/tables.h"
#include "parameters/parameter_table.h"

namespace vellicor {
namespace {

// At least one sample, so the clock's modulo is always defined; IntPart saturates at the top.
int32_t LengthInSamples(float samples) {
  const int n = IntPart(samples);
  return n < 1 ? 1 : n;
}

}  // namespace

ArpSettings::ArpSettings() {
  for (int index : {param::kArpLength, param::kArpGate, param::kArpOrder, param::kArpOctaves}) {
    Derive(index, 0.0f);
  }
}

bool ArpSettings::Derive(int index, float v) {
  switch (index) {
    case param::kArpLength:
      length = ReversedLengthOf(v);
      return true;
    case param::kArpGate:
      gate = v;
      return true;
    case param::kArpOrder:
      order = Choice(v, 3.99f, kArpRandom);
      return true;
    case param::kArpOctaves:
      octaves = Choice(v, 3.99f, 3) + 1;
      return true;
    default:
      return false;
  }
}

float TempoFromPatch(float value) {
  return static_cast<float>(IntPart(200.0f * value + 20.0f));
}

bool UsesHostTempo(float value) {
  return TempoFromPatch(value) < 25.0f;
}

float TempoFromHost(double bpm) {
  if (!(bpm >= 1.0)) return 1.0f;
  return bpm > 999.0 ? 999.0f : static_cast<float>(bpm);
}

void Arpeggiator::Init() {
  *this = Arpeggiator();
}

void Arpeggiator::Prepare(const ArpSettings& settings, float tempo, float sample_rate) {
  const float step = settings.length * 15.0f * sample_rate / (tempo + 0.01f) + 1.0f;
  step_length_ = LengthInSamples(step);
  const int gate = IntPart(static_cast<float>(step_length_) * settings.gate);
  gate_length_ = gate < 0 ? 0 : gate;
  order_ = settings.order;
  octaves_ = settings.octaves;
}

void Arpeggiator::NoteOn(int note) {
  if (count_ >= kMaxNotes) return;
  running_ = true;
  step_counter_ = -1;  // the first step falls on the next sample
  notes_[count_] = static_cast<float>(note);
  ++count_;
}

void Arpeggiator::NoteOff(int note, ArpVoices& voices) {
  const float key = static_cast<float>(note);
  int kept = 0;
  bool removed = false;
  for (int i = 0; i < count_; ++i) {
    if (notes_[i] == key) {
      removed = true;
      if (i < kVoices) voices.ArpReleaseVoice(i);
    } else {
      notes_[kept++] = notes_[i];
    }
  }
  if (!removed) return;  // a key that is not held changes nothing
  count_ = kept;
  index_ = 0;
  if (count_ > 0) {
    DeriveIndex();
  } else {
    running_ = false;
    voices.ArpStopped();
  }
}

void Arpeggiator::Stop(ArpVoices& voices) {
  count_ = 0;
  index_ = 0;
  running_ = false;
  voices.ArpStopped();
}

void Arpeggiator::DeriveIndex() {
  switch (order_) {
    case kArpUpDown:
      if (count_ != 1) {
        up_down_ %= 2 * count_ - 2;
        index_ = std::abs(count_ - up_down_ - 1);
      }
      break;
    case kArpRandom:
      index_ = IntPart(static_cast<float>(random::Next() * (count_ - 0.01)));
      break;
    default:
      index_ = 0;
      break;
  }
}

void Arpeggiator::AdvanceIndex() {
  switch (order_) {
    case kArpDown:
      index_ = (index_ + count_ - 1) % count_;
      break;
    case kArpUpDown:
      // Runs from the last entry down to the first and back, without repeating the ends.
      up_down_ = (up_down_ + 1) % (2 * count_ - 2);
      index_ = std::abs(count_ - up_down_ - 1);
      break;
    case kArpRandom:
      index_ = IntPart(static_cast<float>(random::Next() * (count_ - 0.01)));
      break;
    default:
      index_ = (index_ + 1) % count_;
      break;
  }
}

void Arpeggiator::Clock(ArpVoices& voices) {
  if (count_ <= 0) {
    running_ = false;
    return;
  }
  ++step_counter_;
  if (step_counter_ % step_length_ == 0) {
    step_counter_ = 0;
    if (count_ != 1) AdvanceIndex();
    if (index_ < 0 || index_ >= count_) index_ = 0;
    if (index_ == 0) octave_ = (octave_ + 1) % octaves_;
    const float key = notes_[index_];
    voices.ArpStep(12.0f * static_cast<float>(octave_) + key, static_cast<int>(key));
    gate_open_ = true;
  }
  if (gate_open_ && step_counter_ > gate_length_) {
    gate_open_ = false;
    voices.ArpGateEnd();
  }
}

}  // namespace vellicor
