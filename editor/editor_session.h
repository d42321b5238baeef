// EditorSession: the one piece every host side opens the editor through. It keeps the editor's
// copy of the values and of the controller map (which outlive any window), builds the window as
// a child of the host's window, fills it from the host side, and carries later changes in.
//
// Threads: ValueChanged and AllValuesChanged may come from any thread (a learnt controller
// changes a value on the audio thread); they only copy values. Everything else belongs to the
// host's user-interface thread.
#pragma once

#include <memory>
#include <optional>

#include "editor/editor_host.h"

namespace vellicor {

// Makes the window as a child of `parent` (an X11 window id or an HWND; null for a window of
// no window system, as tests and screenshots use), reading `values`. Null when none can be made.
using EditorWindowFactory = std::unique_ptr<EditorWindow> (*)(void* parent, EditorValues* values);

// The editor form (editor/uEditor.cpp).
std::unique_ptr<EditorWindow> CreateEditorWindow(void* parent, EditorValues* values);

class EditorSession final : private EditorSizing {
 public:
  // `host` outlives the session.
  explicit EditorSession(EditorHost& host, EditorWindowFactory factory = CreateEditorWindow);
  ~EditorSession();
  EditorSession(const EditorSession&) = delete;
  EditorSession& operator=(const EditorSession&) = delete;

  // Makes the window if there is none, its copy filled from the host side, then shows and
  // refreshes it. False (and no window) when none can be made.
  bool Open(void* parent);
  void Hide();
  // Destroys the window; the copies stay.
  void Close();
  bool is_open() const { return window_ != nullptr; }

  // The host side's value at `index`, or all of them, changed: copied in while a window shows
  // them (any thread).
  void ValueChanged(int index);
  void AllValuesChanged();
  // The host's idle call: the controller map into the copy, then whatever waits to be painted.
  void Idle();

  // The editor's size. The scale in use is the user's own choice (kept in the settings file),
  // else the factor the host gives, else the system's, else 1.
  // The host's factor (LV2's ui:scaleFactor, CLAP's set_scale, VST 3's content scale); 0 or
  // less for none. The open window follows it unless the user chose a size.
  void SetHostScale(double factor);
  // A scale that wins over every other source for as long as the session lasts: the command-line
  // host's --scale, whose screenshots and measurements must not depend on what the user chose.
  void ForceScale(gui::Scale scale);
  gui::Scale scale() const override;
  // A size of the form in screen pixels at the scale in use.
  int ToScreen(int form) const { return scale().ToScreen(form); }

  // The window's size in screen pixels at the scale in use (open or not).
  int width() const;
  int height() const;
  EditorWindow* window() { return window_.get(); }
  EditorTestPort* test_port() { return window_ ? window_->TestPort() : nullptr; }
  EditorValues& values() { return values_; }

 private:
  void CopyControllerMap();
  // EditorSizing: the user's choice from the editor's menu is kept, shown and told to the host.
  void ChooseScale(gui::Scale scale) override;
  void ApplyScale();

  EditorHost& host_;
  EditorWindowFactory factory_;
  EditorValues values_;
  Relaxed<bool> window_exists_{false};
  std::optional<gui::Scale> forced_scale_;
  std::optional<gui::Scale> user_scale_;
  double host_factor_ = 0.0;
  mutable double system_factor_ = 0.0;
  // Last: the window reads values_ until it is gone.
  std::unique_ptr<EditorWindow> window_;
};

}  // namespace vellicor
