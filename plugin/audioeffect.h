// The thin VST 2 layer: AudioEffect answers opcodes 0..24 and owns the effect record,
// AudioEffectX answers 25..68. Everything synth-specific lives in APlugin and the engine.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/relaxed.h"
#include "plugin/aeffeditor.h"
#include "vst/vst2.h"

namespace vellicor {

class AudioEffect {
 public:
  AudioEffect(vst::HostCallback host, int32_t num_programs, int32_t num_params);
  virtual ~AudioEffect();

  AudioEffect(const AudioEffect&) = delete;
  AudioEffect& operator=(const AudioEffect&) = delete;

  vst::AEffect* getAeffect() { return &cEffect; }

  virtual void setSampleRate(float sample_rate);
  virtual void setBlockSize(int32_t block_size) { blockSize = block_size; }
  virtual void setParameter(int32_t index, float value) {
    (void)index;
    (void)value;
  }
  virtual float getParameter(int32_t index) {
    (void)index;
    return 0;
  }
  virtual void setParameterAutomated(int32_t index, float value);
  virtual void process(float** inputs, float** outputs, int32_t frames) = 0;
  virtual void processReplacing(float** inputs, float** outputs, int32_t frames) = 0;
  virtual intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  virtual void open() {}
  virtual void close() {}
  virtual int32_t getProgram() { return curProgram; }
  virtual void setProgram(int32_t program) { curProgram = program; }
  virtual void setProgramName(const char* name) { (void)name; }
  virtual void getProgramName(char* name);
  virtual void getParameterLabel(int32_t index, char* label);
  virtual void getParameterDisplay(int32_t index, char* text);
  virtual void getParameterName(int32_t index, char* text);
  virtual float getVu() { return 0; }
  virtual intptr_t getChunk(void** data, bool is_preset) {
    (void)data;
    (void)is_preset;
    return 0;
  }
  virtual intptr_t setChunk(void* data, intptr_t size, bool is_preset) {
    (void)data;
    (void)size;
    (void)is_preset;
    return 0;
  }
  virtual void suspend() {}
  virtual void resume() {}
  virtual void setUniqueID(int32_t id) { cEffect.uniqueID = id; }
  virtual void setNumInputs(int32_t inputs) { cEffect.numInputs = inputs; }
  virtual void setNumOutputs(int32_t outputs) { cEffect.numOutputs = outputs; }
  virtual void hasVu(bool state) { SetFlag(vst::effFlagsHasVu, state); }
  virtual void hasClip(bool state) { SetFlag(vst::effFlagsHasClip, state); }
  virtual void canMono(bool state) { SetFlag(vst::effFlagsCanMono, state); }
  virtual void canProcessReplacing(bool state) { SetFlag(vst::effFlagsCanReplacing, state); }
  virtual void programsAreChunks(bool state) { SetFlag(vst::effFlagsProgramChunks, state); }
  virtual int32_t getMasterVersion();

  // The attached editor; attaching sets effFlagsHasEditor, detaching clears it.
  void setEditor(std::unique_ptr<AEffEditor> editor);
  AEffEditor* getEditor() { return editor_.get(); }

  float getSampleRate() const { return sampleRate; }
  int32_t getBlockSize() const { return blockSize; }

 protected:
  // Sends one request to the host; 0 when there is no host callback.
  intptr_t CallHost(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f);
  void SetFlag(int32_t flag, bool state);
  void DestroyEditor() { setEditor(nullptr); }

  vst::AEffect cEffect{};
  float sampleRate = 44100.0f;
  int32_t numPrograms;
  int32_t numParams;
  // Written by effSetProgram on the host's thread, read on the audio thread when a learnt
  // controller calls setParameter.
  Relaxed<int32_t> curProgram{0};
  int32_t blockSize = 1024;
  vst::HostCallback audioMaster;

 private:
  std::unique_ptr<AEffEditor> editor_;
};

class AudioEffectX : public AudioEffect {
 public:
  using AudioEffect::AudioEffect;

  intptr_t dispatcher(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt) override;

  virtual vst::VstTimeInfo* getTimeInfo(int32_t filter);
  virtual intptr_t tempoAt(int32_t position);
  virtual intptr_t processEvents(vst::VstEvents* events) {
    (void)events;
    return 0;
  }
  virtual bool canParameterBeAutomated(int32_t index) {
    (void)index;
    return true;
  }
  virtual bool getProgramNameIndexed(int32_t category, int32_t index, char* text) {
    (void)category;
    (void)index;
    (void)text;
    return false;
  }
  virtual float updateSampleRate();
  virtual bool getOutputProperties(int32_t index, vst::VstPinProperties* properties) {
    (void)index;
    (void)properties;
    return false;
  }
  virtual void isSynth(bool state) { SetFlag(vst::effFlagsIsSynth, state); }
  virtual void noTail(bool state) { SetFlag(vst::effFlagsNoSoundInStop, state); }
  virtual bool getEffectName(char* name) {
    (void)name;
    return false;
  }
  virtual bool getVendorString(char* text) {
    (void)text;
    return false;
  }
  virtual bool getProductString(char* text) {
    (void)text;
    return false;
  }
  virtual int32_t getVendorVersion() { return 0; }
  virtual intptr_t canDo(const char* text) {
    (void)text;
    return 0;
  }
  virtual void wantEvents(int32_t filter);
  virtual intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) {
    (void)index;
    (void)value;
    (void)ptr;
    (void)opt;
    return 0;
  }
};

}  // namespace vellicor
