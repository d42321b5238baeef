#include "plugin/uPlugin.h"

#include <cstdio>
#include <cstring>

#include "vst/vellicor_requests.h"

namespace vellicor {

namespace {

// Copies text into a host buffer of at least 64 bytes, cut to 63 characters.
void CopyHostString(char* destination, const char* text) {
  if (!destination) return;
  std::snprintf(destination, kProgramNameSize, "%s", text ? text : "");
}

// More events than this in one list is treated as a corrupt count: the list is not read.
constexpr int32_t kMaxEventsPerList = 1 << 16;

// The names VST 2 hosts see, from the parameter table (built once).
struct Vst2Names {
  param::Text names[kNumHostParameters];
  Vst2Names() {
    for (int i = 0; i < kNumHostParameters; ++i) names[i] = param::Vst2Name(i);
  }
};

}  // namespace

const char* ParameterName(int32_t index) {
  static const Vst2Names table;
  if (index < 0 || index >= kNumHostParameters) return "";
  return table.names[index].c_str();
}

APlugin::APlugin(vst::HostCallback host, EditorWindowFactory editor_factory)
    : AudioEffectX(host, kNumPrograms, kNumHostParameters) {
  if (editor_factory) {
    auto editor = std::make_unique<APluginEditor>(this, editor_factory);
    synth_.SetListener(editor.get());
    setEditor(std::move(editor));
  }
  hasVu(false);
  setNumInputs(2);
  setNumOutputs(2);
  canMono(true);
  canProcessReplacing(true);
  isSynth(true);
  setUniqueID(vst::FourCC('V', 'l', 'c', '1'));
}

APlugin::~APlugin() {
  // The editor goes first: it may still hold a window on the synth's values.
  synth_.SetListener(nullptr);
  DestroyEditor();
}

void APlugin::setParameter(int32_t index, float value) {
  synth_.SetParameter(index, value);
}

float APlugin::getParameter(int32_t index) {
  if (index < 0 || index >= kNumHostParameters) return 0.0f;
  return synth_.Value(index);
}

void APlugin::FollowHostTempo() {
  if (!synth_.FollowsHostTempo()) return;
  getTimeInfo(0);
  synth_.SetHostTempo(static_cast<double>(tempoAt(0)) / 10000.0);
}

void APlugin::Render(float** outputs, int32_t frames, bool accumulate) {
  if (!outputs || !outputs[0] || !outputs[1]) return;
  FollowHostTempo();
  synth_.Process(outputs[0], outputs[1], frames, accumulate,
                 {pending_, static_cast<size_t>(pending_count_)});
  pending_count_ = 0;
}

void APlugin::process(float**, float** outputs, int32_t frames) {
  Render(outputs, frames, true);
}

void APlugin::processReplacing(float**, float** outputs, int32_t frames) {
  Render(outputs, frames, false);
}

void APlugin::setProgram(int32_t program) {
  synth_.SetSampleRate(updateSampleRate());
  synth_.SelectProgram(program);
}

void APlugin::setProgramName(const char* name) {
  synth_.SetProgramName(name);
}

void APlugin::getProgramName(char* name) {
  CopyHostString(name, synth_.program(synth_.current_program()).name);
}

void APlugin::getParameterLabel(int32_t, char* label) {
  if (label) label[0] = 0;
}

void APlugin::getParameterDisplay(int32_t, char*) {
  // No value text: read-outs live in the editor. The host's buffer stays as it was.
}

void APlugin::getParameterName(int32_t index, char* text) {
  CopyHostString(text, ParameterName(index));
}

float APlugin::getVu() {
  const float value = vu_;
  vu_ = 0.0f;
  return value;
}

void APlugin::suspend() {
  // Events kept for a block that will not come still act (a note-off must not be lost).
  FlushEvents();
  synth_.Suspend();
}

void APlugin::resume() {
  synth_.PrepareToRun();
  wantEvents(1);
}

void APlugin::FlushEvents() {
  for (int32_t i = 0; i < pending_count_; ++i) synth_.Midi(pending_[i].bytes, 3);
  pending_count_ = 0;
}

intptr_t APlugin::processEvents(vst::VstEvents* events) {
  if (!events) return 1;
  const int32_t count = events->numEvents;
  if (count <= 0 || count > kMaxEventsPerList) return 1;
  // The record declares two pointers but carries numEvents of them: read them through a
  // pointer, not as the declared array (indexing that past 1 is undefined).
  vst::VstEvent* const* list = events->events;
  for (int32_t i = 0; i < count; ++i) {
    const vst::VstEvent* event = list[i];
    if (!event || event->type != vst::kVstMidiType) continue;
    // Only the fixed 32-byte record is read; byteSize is never trusted for reading.
    const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
    if (pending_count_ == kMaxPendingEvents) FlushEvents();
    MidiEvent& kept = pending_[pending_count_++];
    kept.frame = midi->deltaFrames;
    for (int b = 0; b < 3; ++b) kept.bytes[b] = static_cast<uint8_t>(midi->midiData[b]);
  }
  return 1;
}

bool APlugin::getProgramNameIndexed(int32_t, int32_t index, char* text) {
  if (index < 0 || index >= kNumPrograms) return false;
  CopyHostString(text, synth_.program(index).name);
  return text != nullptr;
}

bool APlugin::getOutputProperties(int32_t index, vst::VstPinProperties* properties) {
  if (index < 0 || index > 1 || !properties) return false;
  std::snprintf(properties->label, sizeof properties->label, "%s %d", kEffectName, index + 1);
  properties->flags = vst::kVstPinIsActive | vst::kVstPinIsStereo;
  return true;
}

bool APlugin::getEffectName(char* name) {
  CopyHostString(name, kEffectName);
  return true;
}

bool APlugin::getVendorString(char* text) {
  CopyHostString(text, kVendorName);
  return true;
}

bool APlugin::getProductString(char* text) {
  CopyHostString(text, kEffectName);
  return true;
}

int32_t APlugin::getVendorVersion() {
  return 1;
}

intptr_t APlugin::canDo(const char* text) {
  if (!text) return -1;
  if (std::strcmp(text, "receiveVstEvents") == 0 || std::strcmp(text, "receiveVstMidiEvent") == 0) {
    return 1;
  }
  return -1;
}

intptr_t APlugin::vendorSpecific(int32_t index, intptr_t value, void* ptr, float) {
  if (index != kVendorRequestId || !editor()) return 0;
  return editor()->VendorRequest(value, ptr);
}

}  // namespace vellicor
