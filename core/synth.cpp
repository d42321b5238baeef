#include "core/synth.h"

#include <cstdio>

#include "engine/random.h"
#include "patch/factory_bank.h"

namespace vellicor {

const char kEffectName[] = "VellicorV2.0";
const char kVendorName[] = "Quorrel";

namespace {

float Clamped(float value) {
  if (!(value >= 0.0f)) return 0.0f;  // NaN too
  return value > 1.0f ? 1.0f : value;
}

}  // namespace

void Program::SetName(const char* text) {
  std::snprintf(name, sizeof name, "%s", text ? text : "");
}

Synth::Synth() : programs_(new Program[kNumPrograms]), engine_(this) {
  random::Seed(random::MillisecondsSinceMidnightUtc());
  for (int p = 0; p < kNumPrograms; ++p) {
    char name[kProgramNameSize];
    std::snprintf(name, sizeof name, "Default %d", p + 1);
    programs_[p].SetName(name);
  }
  engine_.SetDefaults();
  engine_.BuildWaveTables();
  engine_.InitControllerMap();
  LoadFactoryBank();
  SelectProgram(0);
}

Synth::~Synth() = default;

void Synth::LoadFactoryBank() {
  for (int p = 0; p < kNumPrograms; ++p) {
    float values[param::kPatchSize] = {};
    factory_bank::Fill(p, values);
    for (int i = 0; i < param::kPatchSize; ++i) programs_[p].values[i] = values[i];
    const char* name = factory_bank::Name(p);
    if (name && name[0]) programs_[p].SetName(name);
    // Each program becomes current once while the bank loads; the last is left to the
    // constructor, which selects program 0.
    if (p < kNumPrograms - 1) SelectProgram(p);
  }
}

void Synth::SetParameter(int index, float value) {
  // Indices outside the record address nothing: ignored rather than clamped into range.
  if (index < 0 || index >= param::kPatchSize) return;
  value = Clamped(value);
  engine_.SetPatch(index, value);
  programs_[current_].values[index] = value;
  engine_.OnParameterChanged(index);
  if (listener_) listener_->ValueChanged(index);
}

float Synth::Value(int index) const {
  if (index < 0 || index >= param::kPatchSize) return 0.0f;
  return engine_.Patch(index);
}

void Synth::SelectProgram(int program) {
  if (program < 0 || program >= kNumPrograms) return;
  current_ = program;
  float values[param::kPatchSize];
  for (int i = 0; i < param::kPatchSize; ++i) values[i] = programs_[program].values[i];
  ReplayValues(values);
  SetParameter(param::kEvolverLevel, 0.5f);
  SetParameter(param::kEvolverAmount, 0.5f);
  engine_.ResetForProgramChange();
  if (!editor_closed_) {
    engine_.RebuildEnvelopeTables();
    if (listener_) listener_->SoundChanged();
  }
}

void Synth::ReplayValues(const float* values) {
  for (int i = 0; i < param::kPatchSize; ++i) {
    if (i != param::kLearnCommand) {
      SetParameter(i, values[i]);
      continue;
    }
    // The controller map belongs to the instrument, not to a program. A program keeps the last
    // learn or assign request the editor sent while it was current; carried out again here it
    // would bind or unbind a controller behind the user's back (an assign even with the slot
    // of the program before, replayed after it). The value is kept; the request rests, as
    // after a learn has completed.
    programs_[current_].values[i] = Clamped(values[i]);
    engine_.SetPatch(i, 0.0f);
    if (listener_) listener_->ValueChanged(i);
  }
}

void Synth::SetProgramName(const char* name) {
  if (!name) return;
  programs_[current_].SetName(name);
  if (!editor_closed_ && listener_) listener_->SoundChanged();
}

void Synth::RenameProgram(int program, const char* name) {
  if (program < 0 || program >= kNumPrograms || !name) return;
  programs_[program].SetName(name);
}

bool Synth::SetSampleRate(double rate) {
  if (!(rate >= 1000.0 && rate <= 1000000.0)) return false;
  engine_.SetSampleRate(static_cast<float>(rate));
  return true;
}

bool Synth::Restart(double rate) {
  if (!SetSampleRate(rate)) return false;
  PrepareToRun();
  for (int i = 0; i < param::kPatchSize; ++i) {
    // The requests are commands the editor gave once, not settings: they stay at rest.
    if (param::EncodingOf(i) != param::Encoding::kRequest) engine_.OnParameterChanged(i);
  }
  engine_.ResetForProgramChange();
  engine_.RebuildEnvelopeTables();
  return true;
}

void Synth::Midi(const uint8_t* bytes, int size) {
  // Channel messages only: system messages (sysex, clock) mean nothing to the engine.
  if (!bytes || size <= 0 || bytes[0] < 0x80 || bytes[0] >= 0xF0) return;
  engine_.HandleMidi(bytes[0], size > 1 ? bytes[1] : 0, size > 2 ? bytes[2] : 0);
}

void Synth::Render(float* left, float* right, int32_t frames, bool accumulate) {
  engine_.Render(left, right, frames, accumulate);
}

void Synth::Process(float* left, float* right, int32_t frames, bool accumulate,
                    std::span<const MidiEvent> events) {
  if (frames < 0) frames = 0;
  int32_t done = 0;
  for (const MidiEvent& event : events) {
    const int32_t at = event.frame < done ? done : (event.frame > frames ? frames : event.frame);
    if (at > done) Render(left + done, right + done, at - done, accumulate);
    done = at;
    Midi(event.bytes, 3);
  }
  if (frames > done || frames == 0) Render(left + done, right + done, frames - done, accumulate);
}

std::vector<uint8_t> Synth::SaveState() const {
  auto snapshot = std::make_unique<state::Snapshot>();
  const int current = current_;
  snapshot->program = current;
  for (int p = 0; p < kNumPrograms; ++p) {
    std::snprintf(snapshot->names[p], state::kNameBytes, "%s", programs_[p].name);
  }
  for (int i = 0; i < param::kPatchSize; ++i) snapshot->values[i] = programs_[current].values[i];
  for (int i = 0; i < param::kControllerMapSize; ++i) {
    snapshot->controllers[i] = static_cast<uint8_t>(engine_.ControllerMap(i));
  }
  return state::Encode(*snapshot);
}

bool Synth::LoadState(std::span<const uint8_t> bytes) {
  const std::optional<state::Snapshot> snapshot = state::Decode(bytes);
  if (!snapshot) return false;
  for (int p = 0; p < kNumPrograms; ++p) programs_[p].SetName(snapshot->names[p]);
  SelectProgram(snapshot->program);
  ReplayValues(snapshot->values);
  for (int i = 0; i < param::kControllerMapSize; ++i) {
    engine_.SetControllerMap(i, snapshot->controllers[i]);
  }
  if (listener_) listener_->SoundChanged();
  return true;
}

void Synth::SetParameterFromEngine(int index, float value) {
  SetParameter(index, value);
}

void Synth::RefreshEditor() {
  if (listener_) listener_->SoundChanged();
}

}  // namespace vellicor
