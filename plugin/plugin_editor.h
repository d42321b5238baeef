// The editor bridge: the object the host's editor opcodes reach. It creates the editor window
// as a child of the host's window, destroys it again, and carries values across: the patch
// values and the controller map into the window, edits back as automated parameters.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/engine.h"
#include "engine/relaxed.h"
#include "plugin/aeffeditor.h"
#include "vst/vellicor_requests.h"
#include "vst/vst2.h"

namespace vellicor {

class APlugin;
class AudioEffect;

// The editor's copies of the plug-in's values. They live in the bridge, which lives as long as
// the plug-in: `update` may write them from the audio thread while the host closes the window
// on its own thread, so they must never be freed with the window.
struct EditorValues {
  Relaxed<float> ValueMirror[kPatchSize + 1];
  Relaxed<int> CcMap[kControllerMapSize];
};

// What the bridge needs of an editor window.
class EditorWindow {
 public:
  virtual ~EditorWindow() = default;
  virtual int ClientWidth() const = 0;
  virtual int ClientHeight() const = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  // Paints whatever region is waiting to be painted (and handles pending window events).
  virtual void PaintPending() = 0;
  // The 200 ms refresh: redraws the controls whose value changed.
  virtual void Timer2Timer() = 0;
  // The plug-in that receives the window's edits (setParameterAutomated only); set once the
  // window's value copy holds the plug-in's values.
  virtual void SetPlugin(AudioEffect* plugin) { (void)plugin; }
  // One of our own requests (vst/vellicor_requests.h); 0 when not served.
  virtual intptr_t VendorRequest(int32_t kind, void* record) {
    (void)kind;
    (void)record;
    return 0;
  }
};

// Creates the window as a child of the host's window (an HWND on Windows, an X11 window id on
// Linux, null for an off-screen editor). Returns null when no window can be made.
using EditorWindowFactory = std::unique_ptr<EditorWindow> (*)(void* parent, APlugin* plugin,
                                                              EditorValues* values);

class APluginEditor : public AEffEditor {
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
