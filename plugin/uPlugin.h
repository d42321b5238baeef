// APlugin: the VST 2 face of the synth core. It answers the host's opcodes with the core's
// programs, parameters and sound, collects each block's MIDI events and has the core apply
// them at their frames while it renders, and owns the editor bridge.
#pragma once

#include <cstdint>
#include <memory>

#include "core/synth.h"
#include "editor/editor_session.h"
#include "plugin/audioeffect.h"
#include "plugin/plugin_editor.h"

namespace vellicor {

// The name a host sees for a parameter index; "" for indices without one.
const char* ParameterName(int32_t index);

class APlugin : public AudioEffectX {
 public:
  // Tests may pass their own window factory; null attaches no editor at all.
  explicit APlugin(vst::HostCallback host, EditorWindowFactory editor_factory = CreateEditorWindow);
  ~APlugin() override;

  void setParameter(int32_t index, float value) override;
  float getParameter(int32_t index) override;
  void process(float** inputs, float** outputs, int32_t frames) override;
  void processReplacing(float** inputs, float** outputs, int32_t frames) override;
  int32_t getProgram() override { return synth_.current_program(); }
  void setProgram(int32_t program) override;
  void setProgramName(const char* name) override;
  void getProgramName(char* name) override;
  void getParameterLabel(int32_t index, char* label) override;
  void getParameterDisplay(int32_t index, char* text) override;
  void getParameterName(int32_t index, char* text) override;
  float getVu() override;
  void suspend() override;
  void resume() override;
  // Keeps the block's MIDI events until the block is rendered, where each acts at its frame.
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

  // Asks the host to make its editor frame `width` x `height` (the editor's size changed while
  // open); true when the host did.
  bool sizeWindow(int width, int height) {
    return CallHost(vst::audioMasterSizeWindow, width, height) != 0;
  }

  Synth& synth() { return synth_; }
  Engine& engine() { return synth_.engine(); }
  APluginEditor* editor() { return static_cast<APluginEditor*>(getEditor()); }
  const Program& program(int index) const { return synth_.program(index); }

 private:
  void Render(float** outputs, int32_t frames, bool accumulate);
  // "Auto" programs play at the host's tempo: asked for at the start of every block.
  void FollowHostTempo();
  // Hands every kept event to the core at once (when the list is full, or the host stops).
  void FlushEvents();

  // More events than this in one block is not something any host sends; the kept ones then act
  // at once, as they would have at the start of the block, and the list starts again.
  static constexpr int kMaxPendingEvents = 4096;

  Synth synth_;
  Relaxed<float> vu_{0.0f};
  MidiEvent pending_[kMaxPendingEvents];
  int32_t pending_count_ = 0;
};

}  // namespace vellicor
