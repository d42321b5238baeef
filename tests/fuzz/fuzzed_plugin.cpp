#include "tests/fuzz/fuzzed_plugin.h"

#include <bit>
#include <cmath>

#include "plugin/uPlugin.h"
#include "tests/midi_events.h"

namespace vellicor::fuzz {
namespace {

// The host's fields hold these; the plug-in must never write them.
void* const kUser = reinterpret_cast<void*>(static_cast<uintptr_t>(0x5EC0DE));
constexpr intptr_t kResvd1 = 0x11111;
constexpr intptr_t kResvd2 = 0x22222;

constexpr int32_t kGuardFrames = 16;
constexpr float kGarbage = 1.0e30f;

HostAnswers g_answers;
vst::VstTimeInfo g_time_info;

intptr_t VST_CALL HostCallback(vst::AEffect*, int32_t opcode, int32_t index, intptr_t, void*,
                               float opt) {
  if (opcode == vst::audioMasterAutomate) {
    Check(index >= 0 && index < kPatchSize, "automated index out of range", index);
    Check(opt >= 0.0f && opt <= 1.0f, "automated value outside 0..1");
  }
  if (opcode == vst::audioMasterGetTime && g_answers.has_time_info) {
    g_time_info = {.sampleRate = 44100.0,
                   .tempo = static_cast<double>(g_answers.tempo_times_10000) / 10000.0,
                   .flags = vst::kVstTempoValid};
    return reinterpret_cast<intptr_t>(&g_time_info);
  }
  if (opcode == vst::audioMasterTempoAt) return g_answers.tempo_times_10000;
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

}  // namespace

float FuzzedValue(FuzzedDataProvider& data) {
  switch (data.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      return std::bit_cast<float>(data.ConsumeIntegral<uint32_t>());
    case 1:
      return data.ConsumeBool() ? 0.0f : 1.0f;
    default:
      return data.ConsumeProbability<float>();
  }
}

FuzzedPlugin::FuzzedPlugin(bool editor_open)
    : left_(4096 + kGuardFrames), right_(4096 + kGuardFrames) {
  effect_ = (new APlugin(HostCallback))->getAeffect();
  effect_->user = kUser;
  effect_->resvd1 = kResvd1;
  effect_->resvd2 = kResvd2;
  Dispatch(vst::effOpen, 0, 0, nullptr, 0.0f);
  StartInput();
  Dispatch(vst::effMainsChanged, 0, 1, nullptr, 0.0f);
  if (editor_open) Check(Dispatch(vst::effEditOpen, 0, 0, nullptr, 0.0f) == 1, "editor open");
}

FuzzedPlugin& FuzzedPlugin::Instance(bool editor_open) {
  // Never closed: the process's end takes them.
  static FuzzedPlugin* with_editor = new FuzzedPlugin(true);
  static FuzzedPlugin* without_editor = new FuzzedPlugin(false);
  return editor_open ? *with_editor : *without_editor;
}

void FuzzedPlugin::StartInput() {
  g_answers = HostAnswers();
  testing::MidiEvents().Add(0xB0, 126, 0).PlayOn(effect_);  // all notes off
  Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  Dispatch(vst::effSetBlockSize, 0, 512, nullptr, 0.0f);
}

HostAnswers& FuzzedPlugin::host() {
  return g_answers;
}

void FuzzedPlugin::CheckRecord() {
  Check(effect_->user == kUser && effect_->resvd1 == kResvd1 && effect_->resvd2 == kResvd2 &&
            effect_->magic == vst::kEffectMagic,
        "the record's user, resvd1, resvd2 or magic was written");
}

intptr_t FuzzedPlugin::Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                float opt) {
  const intptr_t answer = effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
  CheckRecord();
  return answer;
}

void FuzzedPlugin::SetParameter(int32_t index, float value) {
  effect_->setParameter(effect_, index, value);
  CheckRecord();
}

float FuzzedPlugin::GetParameter(int32_t index) {
  const float value = effect_->getParameter(effect_, index);
  Check(value >= 0.0f && value <= 1.0f, "getParameter outside 0..1", index);
  CheckRecord();
  return value;
}

void FuzzedPlugin::Render(int32_t frames, bool replacing) {
  if (frames < 0 || frames > 4096) frames = 4096;
  const float fill = replacing ? kGarbage : 0.0f;
  std::fill(left_.begin(), left_.end(), fill);
  std::fill(right_.begin(), right_.end(), fill);
  float* outputs[2] = {left_.data(), right_.data()};
  float input[1] = {0.0f};
  float* inputs[1] = {input};
  (replacing ? effect_->processReplacing : effect_->process)(effect_, inputs, outputs, frames);
  for (int32_t i = 0; i < frames; ++i) {
    Check(std::isfinite(left_[i]) && std::fabs(left_[i]) <= 1.0f, "left sample", i);
    Check(std::isfinite(right_[i]) && std::fabs(right_[i]) <= 1.0f, "right sample", i);
  }
  for (int32_t i = frames; i < frames + kGuardFrames; ++i) {
    Check(left_[i] == fill && right_[i] == fill, "written past the block", i);
  }
  CheckRecord();
}

FuzzedEvents::FuzzedEvents(FuzzedDataProvider& data, int max_events) {
  const int count = data.ConsumeIntegralInRange<int>(0, max_events);
  events_.resize(static_cast<size_t>(count));
  std::vector<int> kinds;
  for (vst::VstMidiEvent& event : events_) {
    event = {};
    const int kind = kinds.emplace_back(data.ConsumeIntegralInRange<int>(0, 15));
    event.type = kind == 0   ? vst::kVstSysExType
                 : kind == 1 ? data.ConsumeIntegral<int32_t>()
                             : vst::kVstMidiType;
    event.byteSize = kind == 2 ? data.ConsumeIntegral<int32_t>() : int32_t{sizeof event};
    event.deltaFrames =
        kind == 3 ? data.ConsumeIntegral<int32_t>() : data.ConsumeIntegralInRange<int32_t>(0, 511);
    // Note on/off, controllers and bends are what matters; the rest of the bytes are anything.
    static constexpr uint8_t kStatus[] = {0x90, 0x80, 0xB0, 0xE0, 0x90, 0xB0};
    const uint8_t status = data.ConsumeBool() ? kStatus[data.ConsumeIntegralInRange(0, 5)]
                                              : data.ConsumeIntegral<uint8_t>();
    event.midiData[0] = static_cast<char>(status | data.ConsumeIntegralInRange(0, 15));
    event.midiData[1] = static_cast<char>(data.ConsumeIntegral<uint8_t>());
    event.midiData[2] = static_cast<char>(data.ConsumeIntegral<uint8_t>());
  }
  // Header (count, reserved) and the pointer array, laid out as a host does.
  const size_t header = offsetof(vst::VstEvents, events);
  storage_.assign((header + sizeof(void*) * (events_.size() + 2)) / sizeof(uint64_t) + 1, 0);
  auto* list = reinterpret_cast<vst::VstEvents*>(storage_.data());
  list->numEvents = count;
  const int corrupt = data.ConsumeIntegralInRange<int>(0, 31);
  if (corrupt == 0) list->numEvents = -data.ConsumeIntegralInRange<int32_t>(1, INT32_MAX);
  if (corrupt == 1) list->numEvents = data.ConsumeIntegralInRange<int32_t>(1 << 17, INT32_MAX);
  vst::VstEvent** slots = list->events;  // really numEvents entries
  for (size_t i = 0; i < events_.size(); ++i) {
    slots[i] = kinds[i] == 4 ? nullptr : reinterpret_cast<vst::VstEvent*>(&events_[i]);
  }
}

}  // namespace vellicor::fuzz
