#include "plugin/audioeffect.h"

#include <cmath>
#include <cstring>

namespace vellicor {
namespace {

AudioEffect* ObjectOf(vst::AEffect* effect) {
  return effect ? static_cast<AudioEffect*>(effect->object) : nullptr;
}

intptr_t VST_CALL DispatcherEntry(vst::AEffect* effect, int32_t opcode, int32_t index,
                                  intptr_t value, void* ptr, float opt) {
  AudioEffect* plugin = ObjectOf(effect);
  if (!plugin) return 0;
  if (opcode == vst::effClose) {
    plugin->dispatcher(opcode, index, value, ptr, opt);
    delete plugin;  // the record lived inside the object: the host must not use it again
    return 1;
  }
  return plugin->dispatcher(opcode, index, value, ptr, opt);
}

// process accumulates and processReplacing overwrites: they must stay two distinct
// functions, since hosts take equal pointers for a broken plug-in.
void VST_CALL ProcessEntry(vst::AEffect* effect, float** inputs, float** outputs, int32_t frames) {
  if (AudioEffect* plugin = ObjectOf(effect)) plugin->process(inputs, outputs, frames);
}

void VST_CALL ProcessReplacingEntry(vst::AEffect* effect, float** inputs, float** outputs,
                                    int32_t frames) {
  if (AudioEffect* plugin = ObjectOf(effect)) plugin->processReplacing(inputs, outputs, frames);
}

void VST_CALL SetParameterEntry(vst::AEffect* effect, int32_t index, float value) {
  if (AudioEffect* plugin = ObjectOf(effect)) plugin->setParameter(index, value);
}

float VST_CALL GetParameterEntry(vst::AEffect* effect, int32_t index) {
  AudioEffect* plugin = ObjectOf(effect);
  return plugin ? plugin->getParameter(index) : 0.0f;
}

}  // namespace

AudioEffect::AudioEffect(vst::HostCallback host, int32_t num_programs, int32_t num_params)
    : numPrograms(num_programs), numParams(num_params), audioMaster(host) {
  cEffect.magic = vst::kEffectMagic;
  cEffect.dispatcher = DispatcherEntry;
  cEffect.process = ProcessEntry;
  cEffect.setParameter = SetParameterEntry;
  cEffect.getParameter = GetParameterEntry;
  cEffect.numPrograms = num_programs;
  cEffect.numParams = num_params;
  cEffect.numInputs = 1;
  cEffect.numOutputs = 2;
  cEffect.ioRatio = 1.0f;
  cEffect.object = this;
  cEffect.uniqueID = vst::FourCC('N', 'o', 'E', 'f');
  cEffect.version = 1;
  cEffect.processReplacing = ProcessReplacingEntry;
}

AudioEffect::~AudioEffect() {
  DestroyEditor();
}

void AudioEffect::setSampleRate(float sample_rate) {
  // Hosts have been seen to send 0 or garbage here; such a rate would divide by zero later.
  if (std::isfinite(sample_rate) && sample_rate >= 1000.0f && sample_rate <= 1000000.0f) {
    sampleRate = sample_rate;
  }
}

void AudioEffect::setParameterAutomated(int32_t index, float value) {
  setParameter(index, value);
  CallHost(vst::audioMasterAutomate, index, 0, nullptr, value);
}

void AudioEffect::getProgramName(char* name) {
  if (name) name[0] = 0;
}

void AudioEffect::getParameterLabel(int32_t, char* label) {
  if (label) label[0] = 0;
}

void AudioEffect::getParameterDisplay(int32_t, char* text) {
  if (text) text[0] = 0;
}

void AudioEffect::getParameterName(int32_t, char* text) {
  if (text) text[0] = 0;
}

int32_t AudioEffect::getMasterVersion() {
  const intptr_t version = CallHost(vst::audioMasterVersion);
  return version ? static_cast<int32_t>(version) : 1;
}

void AudioEffect::setEditor(std::unique_ptr<AEffEditor> editor) {
  editor_ = std::move(editor);
  SetFlag(vst::effFlagsHasEditor, editor_ != nullptr);
}

intptr_t AudioEffect::CallHost(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                               float opt) {
  if (!audioMaster) return 0;
  return audioMaster(&cEffect, opcode, index, value, ptr, opt);
}

void AudioEffect::SetFlag(int32_t flag, bool state) {
  if (state) {
    cEffect.flags |= flag;
  } else {
    cEffect.flags &= ~flag;
  }
}

intptr_t AudioEffect::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                 float opt) {
  AEffEditor* editor = editor_.get();
  switch (opcode) {
    case vst::effOpen:
      open();
      return 0;
    case vst::effClose:
      close();
      return 0;
    case vst::effSetProgram:
      if (value < numPrograms) setProgram(static_cast<int32_t>(value));
      return 0;
    case vst::effGetProgram:
      return getProgram();
    case vst::effSetProgramName:
      setProgramName(static_cast<const char*>(ptr));
      return 0;
    case vst::effGetProgramName:
      getProgramName(static_cast<char*>(ptr));
      return 0;
    case vst::effGetParamLabel:
      getParameterLabel(index, static_cast<char*>(ptr));
      return 0;
    case vst::effGetParamDisplay:
      getParameterDisplay(index, static_cast<char*>(ptr));
      return 0;
    case vst::effGetParamName:
      getParameterName(index, static_cast<char*>(ptr));
      return 0;
    case vst::effGetVu:
      return static_cast<intptr_t>(std::lround(getVu() * 32767.0f));
    case vst::effSetSampleRate:
      setSampleRate(opt);
      return 0;
    case vst::effSetBlockSize:
      setBlockSize(static_cast<int32_t>(value));
      return 0;
    case vst::effMainsChanged:
      if (value == 0) {
        suspend();
      } else {
        resume();
      }
      return 0;
    case vst::effEditGetRect:
      return editor ? editor->getRect(ptr) : 0;
    case vst::effEditOpen:
      return editor ? editor->open(ptr) : 0;
    case vst::effEditClose:
      if (editor) editor->close();
      return 0;
    case vst::effEditIdle:
      if (editor) editor->idle();
      return 0;
    case vst::effIdentify:
      return vst::FourCC('N', 'v', 'E', 'f');
    case vst::effGetChunk:
      return getChunk(static_cast<void**>(ptr), index != 0);
    case vst::effSetChunk:
      return setChunk(ptr, value, index != 0);
    default:
      return 0;
  }
}

// --- AudioEffectX ---------------------------------------------------------------------------

vst::VstTimeInfo* AudioEffectX::getTimeInfo(int32_t filter) {
  return reinterpret_cast<vst::VstTimeInfo*>(CallHost(vst::audioMasterGetTime, 0, filter));
}

intptr_t AudioEffectX::tempoAt(int32_t position) {
  return CallHost(vst::audioMasterTempoAt, 0, position);
}

float AudioEffectX::updateSampleRate() {
  // The request only lets the host call effSetSampleRate; its answer is not used.
  CallHost(vst::audioMasterGetSampleRate);
  return sampleRate;
}

void AudioEffectX::wantEvents(int32_t filter) {
  CallHost(vst::audioMasterWantMidi, 0, filter);
}

intptr_t AudioEffectX::dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt) {
  AEffEditor* editor = getEditor();
  switch (opcode) {
    case vst::effProcessEvents:
      processEvents(static_cast<vst::VstEvents*>(ptr));
      return 1;
    case vst::effCanBeAutomated:
      return canParameterBeAutomated(index) ? 1 : 0;
    case vst::effString2Parameter:
      return 0;
    case vst::effGetNumProgramCategories:
      return 1;
    case vst::effGetProgramNameIndexed:
      return getProgramNameIndexed(static_cast<int32_t>(value), index, static_cast<char*>(ptr)) ? 1
                                                                                                : 0;
    case vst::effConnectInput:
    case vst::effConnectOutput:
      return 1;
    case vst::effGetOutputProperties:
      return getOutputProperties(index, static_cast<vst::VstPinProperties*>(ptr)) ? 1 : 0;
    case vst::effGetPlugCategory:
      return (cEffect.flags & vst::effFlagsIsSynth) ? vst::kPlugCategSynth : 0;
    case vst::effSetBlockSizeAndSampleRate:
      setBlockSize(static_cast<int32_t>(value));
      setSampleRate(opt);
      return 1;
    case vst::effGetEffectName:
      return getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case vst::effGetVendorString:
      return getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case vst::effGetProductString:
      return getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case vst::effGetVendorVersion:
      return getVendorVersion();
    case vst::effVendorSpecific:
      return vendorSpecific(index, value, ptr, opt);
    case vst::effCanDo:
      return canDo(static_cast<const char*>(ptr));
    case vst::effKeysRequired:
      return 1;
    case vst::effGetVstVersion:
      return 2200;
    case vst::effEditKeyDown:
    case vst::effEditKeyUp: {
      if (!editor) return 0;
      const VstKeyCode key{index, static_cast<uint8_t>(value),
                           static_cast<uint8_t>(std::lround(opt))};
      return opcode == vst::effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
    }
    case vst::effSetEditKnobMode:
      if (editor) editor->setKnobMode(static_cast<int32_t>(value));
      return 0;
    case vst::effGetCurrentMidiProgram:
      return -1;
    default:
      if (opcode >= vst::effProcessEvents && opcode <= vst::effEndSetProgram) return 0;
      return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
  }
}

}  // namespace vellicor
