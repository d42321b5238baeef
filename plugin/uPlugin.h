// APlugin: the synthesizer as the host sees it. Sixteen programs of 1,600 values, 1,599
// parameters, and the engine that turns the current program into sound.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/engine.h"
#include "engine/relaxed.h"
#include "plugin/audioeffect.h"
#include "plugin/plugin_editor.h"

namespace vellicor {

constexpr int kNumPrograms = 16;
constexpr int kNumHostParameters = 1599;  // index 1599 is replayed but never offered to hosts
constexpr int kProgramNameSize = 64;      // at most 63 characters and the terminator

extern const char kEffectName[];  // "VellicorV2.0"
extern const char kVendorName[];  // "Quorrel"

class APluginProgram {
 public:
  APluginProgram();

  Relaxed<float> fvar[kPatchSize];
  char name[kProgramNameSize];

  void SetName(const char* text);  // cut to 63 characters
};

// The name a host sees for a parameter index; "" for indices without one.
const char* ParameterName(int32_t index);

// The editor window the plug-in shows by default (null while there is none to show).
EditorWindowFactory DefaultEditorWindowFactory();

class APlugin : public AudioEffectX, private EngineHost {
 public:
  // Tests may pass their own window factory; null attaches no editor at all.
  explicit APlugin(vst::HostCallback host,
                   EditorWindowFactory editor_factory = DefaultEditorWindowFactory());
  ~APlugin() override;

  void setParameter(int32_t index, float value) override;
  float getParameter(int32_t index) override;
  void process(float** inputs, float** outputs, int32_t frames) override;
  void processReplacing(float** inputs, float** outputs, int32_t frames) override;
  void setProgram(int32_t program) override;
  // Replays a whole record into the current program through setParameter, in index order, as
  // program selection does (other formats restore their state with it). A controller-map
  // request the record holds is stored but not carried out: the map is not part of a sound.
  void ReplayValues(const float* values);
  void setProgramName(const char* name) override;
  void getProgramName(char* name) override;
  void getParameterLabel(int32_t index, char* label) override;
  void getParameterDisplay(int32_t index, char* text) override;
  void getParameterName(int32_t index, char* text) override;
  float getVu() override;
  void suspend() override;
  void resume() override;
  intptr_t processEvents(vst::VstEvents* events) override;
  bool getProgramNameIndexed(int32_t category, int32_t index, char* text) override;
  bool getOutputProperties(int32_t index, vst::VstPinProperties* properties) override;
  bool getEffectName(char* name) override;
  bool getVendorString(char* text) override;
  bool getProductString(char* text) override;
  int32_t getVendorVersion() override;
  intptr_t canDo(const char* text) override;
  // Our own requests (index 'Vlc1'): the command-line host and the tests drive an editor
  // without a window through them. Everything else answers 0.
  intptr_t vendorSpecific(int32_t index, intptr_t value, void* ptr, float opt) override;

  Engine& engine() { return engine_; }
  APluginEditor* editor() { return static_cast<APluginEditor*>(getEditor()); }
  const APluginProgram& program(int index) const { return programs_[index]; }
  APluginProgram& program(int index) { return programs_[index]; }

  // Set while the editor window is destroyed, cleared when it opens; while set, program
  // changes leave the editor alone.
  bool editorClosed() const { return editor_closed_; }
  void setEditorClosed(bool closed) { editor_closed_ = closed; }

 private:
  // EngineHost
  void SetParameterFromEngine(int index, float value) override;
  void RefreshEditor() override;

  void Render(float** outputs, int32_t frames, bool accumulate);
  // "Auto" programs play at the host's tempo: asked for at the start of every block.
  void FollowHostTempo();
  void LoadFactoryBank();

  std::unique_ptr<APluginProgram[]> programs_;
  Relaxed<bool> editor_closed_{false};
  Relaxed<float> vu_{0.0f};
  Engine engine_;
};

}  // namespace vellicor
