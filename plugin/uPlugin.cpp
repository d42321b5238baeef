#include "plugin/uPlugin.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "engine/random.h"
#include "patch/factory_bank.h"

namespace vellicor {

const char kEffectName[] = "VellicorV2.0";
const char kVendorName[] = "Quorrel";

namespace {

// Copies text into a host buffer of at least 64 bytes, cut to 63 characters.
void CopyHostString(char* destination, const char* text) {
  if (!destination) return;
  std::snprintf(destination, kProgramNameSize, "%s", text ? text : "");
}

// More events than this in one block is not something any host sends; such a count is
// treated as corrupt and the list is not read at all.
constexpr int32_t kMaxEventsPerBlock = 1 << 16;

struct NamedParameter {
  int32_t index;
  const char* name;
};

constexpr NamedParameter kParameterNames[] = {
    {1, "Main volume"},
    {2, "Tempo"},
    {4, "Pitch bend"},
    {5, "Arp Length"},
    {6, "Arp Gate"},
    {11, "Portmento"},
    {12, "Release"},
    {13, "Stereo"},
    {41, "Osc 1 tune"},
    {42, "Osc 1 volume"},
    {44, "Osc 1 FM amount"},
    {45, "Osc 1 fine tune"},
    {47, "Osc 1 PWM amount"},
    {48, "Osc 1 PWM speed"},
    {51, "Osc 1 envelope pitch range"},
    {55, "Osc 1 LFO pitch range"},
    {61, "Osc 2 tune"},
    {62, "Osc 2 volume"},
    {63, "Osc 2 sync amount"},
    {64, "Osc 2 FM amount"},
    {65, "Osc 2 fine tune"},
    {67, "Osc 2 PWM amount"},
    {68, "Osc 2 PWM speed"},
    {72, "Osc 2 envelope pitch range"},
    {76, "Osc 2 LFO pitch range"},
    {120, "Filter 1 type"},
    {121, "Filter 1 Q"},
    {122, "Filter 1 frequency"},
    {123, "Filter 1 envelope"},
    {124, "Filter 1 volume"},
    {125, "Filter 1 distortion"},
    {129, "Filter 1 tracking"},
};

}  // namespace

const char* ParameterName(int32_t index) {
  for (const NamedParameter& entry : kParameterNames) {
    if (entry.index == index) return entry.name;
  }
  return "";
}

APluginProgram::APluginProgram() {
  for (auto& value : fvar) value = 0.0f;
  SetName("Init");
}

void APluginProgram::SetName(const char* text) {
  std::snprintf(name, sizeof name, "%s", text ? text : "");
}

APlugin::APlugin(vst::HostCallback host, EditorWindowFactory editor_factory)
    : AudioEffectX(host, kNumPrograms, kNumHostParameters),
      programs_(new APluginProgram[kNumPrograms]),
      engine_(this) {
  if (editor_factory) setEditor(std::make_unique<APluginEditor>(this, editor_factory));
  random::Seed(random::MillisecondsSinceMidnightUtc());
  hasVu(false);
  setNumInputs(2);
  setNumOutputs(2);
  canMono(true);
  canProcessReplacing(true);
  isSynth(true);
  setUniqueID(vst::FourCC('V', 'l', 'c', '1'));
  for (int i = 0; i < kNumPrograms; ++i) {
    char name[kProgramNameSize];
    std::snprintf(name, sizeof name, "Default %d", i + 1);
    programs_[i].SetName(name);
  }
  engine_.SetDefaults();
  engine_.BuildWaveTables();
  engine_.InitControllerMap();
  for (int i = 0; i < kNumPrograms; ++i) {
    for (auto& value : programs_[i].fvar) value = 0.0f;
  }
  LoadFactoryBank();
  setProgram(0);
}

void APlugin::LoadFactoryBank() {
  for (int p = 0; p < kNumPrograms; ++p) {
    float values[kPatchSize] = {};
    factory_bank::Fill(p, values);
    for (int i = 0; i < kPatchSize; ++i) programs_[p].fvar[i] = values[i];
    const char* name = factory_bank::Name(p);
    if (name && name[0]) programs_[p].SetName(name);
    // Each program becomes current once while the bank loads; the last is left to the
    // constructor, which selects program 0.
    if (p < kNumPrograms - 1) setProgram(p);
  }
}

APlugin::~APlugin() {
  // The editor goes first (it may still hold a window on our values), then the programs.
  DestroyEditor();
  programs_.reset();
}

void APlugin::setParameter(int32_t index, float value) {
  // Indices outside the record address nothing: ignored rather than clamped into range.
  if (index < 0 || index >= kPatchSize) return;
  if (!(value >= 0.0f)) value = 0.0f;  // also catches NaN
  if (value > 1.0f) value = 1.0f;
  engine_.SetPatch(index, value);
  programs_[curProgram].fvar[index] = value;
  engine_.OnParameterChanged(index);
  if (AEffEditor* editor = getEditor()) editor->updateParameter(index);
}

float APlugin::getParameter(int32_t index) {
  if (index < 0 || index >= kNumHostParameters) return 0.0f;
  return engine_.Patch(index);
}

void APlugin::Render(float** outputs, int32_t frames, bool accumulate) {
  if (!outputs || !outputs[0] || !outputs[1]) return;
  FollowHostTempo();
  engine_.Render(outputs[0], outputs[1], frames, accumulate);
}

void APlugin::process(float**, float** outputs, int32_t frames) {
  Render(outputs, frames, true);
}

void APlugin::processReplacing(float**, float** outputs, int32_t frames) {
  Render(outputs, frames, false);
}

void APlugin::setProgram(int32_t program) {
  engine_.SetSampleRate(updateSampleRate());
  if (program < 0 || program >= kNumPrograms) return;
  curProgram = program;
  float values[kPatchSize];
  for (int i = 0; i < kPatchSize; ++i) values[i] = programs_[program].fvar[i];
  ReplayValues(values);
  setParameter(1598, 0.5f);  // evolver level
  setParameter(1597, 0.5f);  // evolver amount
  engine_.ResetForProgramChange();
  if (!editorClosed()) {
    engine_.RebuildEnvelopeTables();
    if (AEffEditor* editor = getEditor()) editor->update();
  }
}

void APlugin::ReplayValues(const float* values) {
  for (int i = 0; i < kPatchSize; ++i) {
    if (i != kControllerRequestIndex) {
      setParameter(i, values[i]);
      continue;
    }
    // The controller map belongs to the plug-in, not to a program. A program keeps the last
    // learn or assign request the editor sent while it was current; carried out again here it
    // would bind or unbind a controller behind the user's back (an assign even with the slot of
    // the program before, replayed after it). The value is kept; the request rests, as after a
    // learn has completed.
    const float value = values[i] >= 0.0f ? (values[i] > 1.0f ? 1.0f : values[i]) : 0.0f;
    programs_[curProgram].fvar[i] = value;
    engine_.SetPatch(i, 0.0f);
    if (AEffEditor* editor = getEditor()) editor->updateParameter(i);
  }
}

void APlugin::setProgramName(const char* name) {
  if (!name) return;
  programs_[curProgram].SetName(name);
  if (!editorClosed()) {
    if (AEffEditor* editor = getEditor()) editor->update();
  }
}

void APlugin::getProgramName(char* name) {
  CopyHostString(name, programs_[curProgram].name);
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
  engine_.Suspend();
}

void APlugin::resume() {
  wantEvents(1);
}

intptr_t APlugin::processEvents(vst::VstEvents* events) {
  if (!events) return 1;
  const int32_t count = events->numEvents;
  if (count <= 0 || count > kMaxEventsPerBlock) return 1;
  // The record declares two pointers but carries numEvents of them: read them through a
  // pointer, not as the declared array (indexing that past 1 is undefined).
  vst::VstEvent* const* list = events->events;
  for (int32_t i = 0; i < count; ++i) {
    const vst::VstEvent* event = list[i];
    if (!event || event->type != vst::kVstMidiType) continue;
    // Only the fixed 32-byte record is read; byteSize is never trusted for reading.
    const auto* midi = reinterpret_cast<const vst::VstMidiEvent*>(event);
    engine_.HandleMidi(static_cast<uint8_t>(midi->midiData[0]),
                       static_cast<uint8_t>(midi->midiData[1]),
                       static_cast<uint8_t>(midi->midiData[2]));
  }
  return 1;
}

bool APlugin::getProgramNameIndexed(int32_t, int32_t index, char* text) {
  if (index < 0 || index >= kNumPrograms) return false;
  CopyHostString(text, programs_[index].name);
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

void APlugin::SetParameterFromEngine(int index, float value) {
  setParameter(index, value);
}

void APlugin::RefreshEditor() {
  if (AEffEditor* editor = getEditor()) editor->update();
}

void APlugin::FollowHostTempo() {
  if (!engine_.host_tempo()) return;
  getTimeInfo(0);
  engine_.SetHostTempo(static_cast<double>(tempoAt(0)) / 10000.0);
}

}  // namespace vellicor
