// The editor bridge: the object the host's editor opcodes reach. It creates the editor window
// as a child of the host's window, destroys it again, and carries values across: the patch
// values and the controller map into the window, edits back as automated parameters.
#pragma once

#include <cstdint>
#include <memory>

#include "editor/editor_host.h"
#include "engine/engine.h"
#include "engine/relaxed.h"
#include "plugin/aeffeditor.h"
#include "vst/vellicor_requests.h"
#include "vst/vst2.h"

namespace vellicor {

class APlugin;

// Creates the window as a child of the host's window (an HWND on Windows, an X11 window id on
// Linux, null for an off-screen editor). Returns null when no window can be made.
using EditorWindowFactory = std::unique_ptr<EditorWindow> (*)(void* parent, APlugin* plugin,
                                                              EditorValues* values);

// The bridge is the editor's host: edits go to the plug-in as automated parameters.
class APluginEditor : public AEffEditor, public EditorHost {
 public:
  APluginEditor(APlugin* plugin, EditorWindowFactory factory);
  ~APluginEditor() override;

  intptr_t getRect(void* rect_pointer) override;
  intptr_t open(void* parent) override;
  void close() override;
  void idle() override;
  void update() override;
  void updateParameter(int32_t index) override;

  // EditorHost
  void setParameterAutomated(int32_t index, float value) override;
  std::string ProgramName(int index) const override;

  // A request of ours through effVendorSpecific (value = request kind, ptr = its record, see
  // vst/vellicor_requests.h); 0 when not understood or when no editor is open.
  intptr_t VendorRequest(intptr_t request, void* record);

  int openCount() const { return open_count_; }
  EditorWindow* window() { return window_.get(); }
  EditorValues& values() { return values_; }

 private:
  void DestroyWindow();

  APlugin* plugin_;
  EditorWindowFactory factory_;
  vst::ERect rect_{0, 0, 518, 665};
  int32_t open_count_ = 0;
  std::unique_ptr<EditorWindow> window_;
  Relaxed<bool> window_exists_{false};
  void* parent_ = nullptr;
  EditorValues values_;
};

}  // namespace vellicor
