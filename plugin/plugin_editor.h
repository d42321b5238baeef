// The editor bridge: the object the host's editor opcodes reach. It opens the editor through
// an EditorSession as a child of the host's window and closes it again, carries the synth's
// values in, and sends edits back as automated parameters. It also decodes the command-line
// host's own requests (vst/vellicor_requests.h) into calls of the editor's test port.
#pragma once

#include <cstdint>

#include "core/synth.h"
#include "editor/editor_session.h"
#include "plugin/aeffeditor.h"
#include "vst/vst2.h"

namespace vellicor {

class APlugin;

class APluginEditor : public AEffEditor, private EditorHost, public SynthListener {
 public:
  APluginEditor(APlugin* plugin, EditorWindowFactory factory);
  ~APluginEditor() override;

  intptr_t getRect(void* rect_pointer) override;
  intptr_t open(void* parent) override;
  void close() override;
  void idle() override;
  void update() override;
  void updateParameter(int32_t index) override;

  // A request of ours through effVendorSpecific (value = request kind, ptr = its record, see
  // vst/vellicor_requests.h); 0 when not understood or when no editor is open.
  intptr_t VendorRequest(intptr_t request, void* record);

  int openCount() const { return open_count_; }
  EditorWindow* window() { return session_.window(); }
  EditorValues& values() { return session_.values(); }

 private:
  // EditorHost
  float Value(int index) const override;
  int Controller(int index) const override;
  void setParameterAutomated(int32_t index, float value) override;
  bool RequestResize(int width, int height) override;
  // SynthListener
  void ValueChanged(int index) override { updateParameter(index); }
  void SoundChanged() override { update(); }

  APlugin* plugin_;
  Synth& synth_;
  vst::ERect rect_{0, 0, 518, 665};
  int32_t open_count_ = 0;
  EditorSession session_;
};

}  // namespace vellicor
