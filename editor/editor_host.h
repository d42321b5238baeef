// What the editor window needs of whatever shows it, and what that in turn may ask of the
// window. The VST 2 bridge, the LV2 UI and the standalone application each implement
// EditorHost and drive an EditorWindow, so the editor knows none of their formats.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "engine/relaxed.h"

namespace vellicor {

// Values in: the editor's copies of the sound's values and of the controller map. They live
// with the host side, which outlives the window: an update may write them from the audio
// thread while the window closes on another thread, so they must never be freed with it.
struct EditorValues {
  Relaxed<float> ValueMirror[kPatchSize + 1];
  Relaxed<int> CcMap[kControllerMapSize];
};

// Edits out, and the little else the editor asks of its host.
class EditorHost {
 public:
  // An edit made in the editor: the host side stores and derives it and records it as
  // automation. The editor has already written the value into its ValueMirror.
  virtual void setParameterAutomated(int32_t index, float value) = 0;
  // The name of program `index` (0..15); empty for any other index.
  virtual std::string ProgramName(int index) const = 0;

 protected:
  ~EditorHost() = default;
};

// What a host side needs of an editor window.
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
  // Where the window's edits go; set once the window's value copy holds the host's values.
  virtual void SetPlugin(EditorHost* plugin) { (void)plugin; }
  // One of our own requests (vst/vellicor_requests.h); 0 when not served.
  virtual intptr_t VendorRequest(int32_t kind, void* record) {
    (void)kind;
    (void)record;
    return 0;
  }
};

}  // namespace vellicor
