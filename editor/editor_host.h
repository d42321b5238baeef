// What the editor window needs of whatever shows it, and what that in turn may ask of the
// window. Every host side (the VST 2 bridge, the LV2 UI, the standalone application) implements
// EditorHost and opens the editor through one EditorSession (editor/editor_session.h), so the
// editor knows none of their formats.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "engine/relaxed.h"
#include "gui/form.h"
#include "gui/geometry.h"
#include "gui/scale.h"
#include "parameters/parameter_table.h"

namespace vellicor {

// The editor's copies of the sound's values and of the controller map. They live with the
// session, which outlives the window: a value may arrive from the audio thread while the window
// closes on another thread, so they must never be freed with it.
struct EditorValues {
  Relaxed<float> ValueMirror[param::kPatchSize + 1];
  Relaxed<int> CcMap[param::kControllerMapSize];
};

// The one small interface between the editor and its host: values and the controller map in,
// edits out.
class EditorHost {
 public:
  // Values in: the sound's value at `index` (0..1599) and the controller bound to it
  // (param::kNoController for none). Read when the window opens, when the host side says a value
  // changed, and (the map) at every idle call.
  virtual float Value(int index) const = 0;
  virtual int Controller(int index) const = 0;
  // An edit made in the editor: the host side stores and derives it and records it as
  // automation. The editor has already written the value into its ValueMirror.
  virtual void setParameterAutomated(int32_t index, float value) = 0;
  // A gesture on `index`: every edit of it comes between BeginEdit and EndEdit (a drag from
  // press to release, a click or a menu choice as one step), so that a host can record the
  // gesture as one automation pass and undo it as one step. Host sides without gestures
  // ignore them.
  virtual void BeginEdit(int32_t index) { (void)index; }
  virtual void EndEdit(int32_t index) { (void)index; }
  // The open editor's size changed (the user chose another): the host side makes room for
  // `width` x `height` screen pixels. False when it cannot.
  virtual bool RequestResize(int width, int height) {
    (void)width;
    (void)height;
    return false;
  }

 protected:
  ~EditorHost() = default;
};

// How the command-line host and the tests drive an editor and read what it shows. Every
// operation answers false when it cannot serve the request (a native window takes its mouse
// and its time from the window system, not from here).
class EditorTestPort {
 public:
  enum class MouseAction { kDown, kMove, kUp, kClick };

  // The composed frame: its size always, its pixels (0x00RRGGBB, rows from the top) when they
  // fit into `pixels`; false when they do not.
  virtual bool CaptureFrame(int* width, int* height, std::span<uint32_t> pixels) = 0;
  // One mouse event at a point of the window's client area (a press or release needs a button;
  // `modifiers` are gui::kShift, kCtrl, kAlt).
  virtual bool InjectMouse(MouseAction action, gui::Point at, gui::MouseButton button,
                           unsigned modifiers) = 0;
  // Moves the editor's clock on, firing its timers (0 .. one hour).
  virtual bool AdvanceClock(int milliseconds) = 0;
  // Chooses an item of the open popup menu by name (any case).
  virtual bool ChooseMenuItem(std::string_view name) = 0;
  // Where a component lies in the form's own pixels (the client pixels at 100 %; the mouse
  // presses form point x at client pixel gui::Scale::ScreenPixelIn(x)), and whether it shows
  // (it and every panel above).
  virtual bool ComponentBounds(std::string_view name, gui::Rect* bounds, bool* showing) = 0;

  // The open popup menu: where it lies (client pixels; it may reach past the window's edges)
  // and on the screen, where one of its items lies (empty when it has no such item), and
  // whether its pixels were copied.
  struct OpenMenu {
    gui::Rect bounds;
    gui::Point screen;
    gui::Rect item;
    bool pixels_copied = false;
  };
  // False when no menu is open. `item` may be empty; the pixels are copied when they fit.
  virtual bool OpenMenuInfo(std::string_view item, OpenMenu* menu, std::span<uint32_t> pixels) = 0;

 protected:
  ~EditorTestPort() = default;
};

// What an editor window asks of the session that shows it about its size.
class EditorSizing {
 public:
  // The user chose `scale` in the editor's menu.
  virtual void ChooseScale(gui::Scale scale) = 0;
  // The scale in use, which the menu marks as chosen.
  virtual gui::Scale scale() const = 0;

 protected:
  ~EditorSizing() = default;
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
  // The native window (an X11 window id or an HWND); null without one.
  virtual void* NativeHandle() { return nullptr; }
  // The test port, when the window has one.
  virtual EditorTestPort* TestPort() { return nullptr; }
  // Draws the form at `scale` from now on; ClientWidth and ClientHeight follow.
  virtual void SetScale(gui::Scale scale) { (void)scale; }
  // Where the window tells of the user's choice of size; set before the window shows.
  virtual void SetSizing(EditorSizing* sizing) { (void)sizing; }
};

}  // namespace vellicor
