// PlatformWindow: shows a Form in a window of the platform and brings its input, timers, popup
// menus and file dialogs back to an EventHandler.
//
// Backends:
//   X11 (Linux): a child of the X11 window id the host passes to effEditOpen, on a display
//     connection of its own. Events are pumped by Idle() (call it from effEditIdle) and by a
//     fallback thread the window runs while open, so the editor stays responsive in a host
//     that idles slowly or not at all.
//   Win32 (Windows): a WS_CHILD window of the host's HWND; Windows delivers its messages and
//     timers on the thread that opened it.
//   Headless (gui/headless.h): no window at all, for tests and screenshots.
//
// Threads: every callback (EventHandler, menu and dialog callbacks) runs with the window's lock
// held, one at a time, on whichever thread pumps: the host's (Idle) or the fallback thread.
// Code that touches the form or the editor from elsewhere (opening, the host's idle, anything
// but the audio thread) takes Lock() first. Callbacks must not call Close().
//
// Typical use by an editor (which is the EventHandler and owns form and window):
//   Form form(635, 512);                      // build the component tree
//   auto window = PlatformWindow::Create(PlatformWindow::Backend::kNative, form, editor);
//   window->Open(parent);                     // effEditOpen
//   window->SetTimer(1, 500); window->SetTimer(2, 200);
//   { auto lock = window->Lock(); /* touch the editor */ } window->Update();
//   window->Idle();                           // effEditIdle
//   window->Close();                          // effEditClose, before form and editor go
// and in OnMouse: window->Popup(menu, window->ScreenPoint(event.component, event.pos)).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gui/form.h"
#include "gui/menu.h"
#include "gui/menu_session.h"
#include "gui/timer.h"

namespace vellicor::gui {

class EventHandler {
 public:
  virtual ~EventHandler() = default;
  virtual void OnMouse(const MouseEvent& event) { (void)event; }
  virtual void OnTimer(int id) { (void)id; }
};

struct FileDialogOptions {
  std::string title;
  std::string filter_name;  // e.g. "Envelope files"
  std::string pattern;      // e.g. "*.env"; empty: all files
  std::string file_name;    // the name the dialog starts with, e.g. "*.mmp"
};
// The chosen path, or nothing when the dialog was cancelled or none could be shown.
using FileDialogDone = std::function<void(std::optional<std::string> path)>;

class PlatformWindow {
 public:
  enum class Backend {
    kNative,    // X11 on Linux, Win32 on Windows
    kHeadless,  // gui/headless.h
  };
  // The form and the handler must outlive the window.
  static std::unique_ptr<PlatformWindow> Create(Backend backend, Form& form, EventHandler& handler);

  virtual ~PlatformWindow();
  PlatformWindow(const PlatformWindow&) = delete;
  PlatformWindow& operator=(const PlatformWindow&) = delete;

  Form& form() const { return form_; }

  // Creates the window, the size of the form's frame (its pixels at the form's scale), at
  // (0, 0) of `parent` and shows it. `parent` is the
  // host's window: an X11 window id cast to a pointer, or an HWND; nullptr makes a top-level
  // window of its own. False when no window could be made (no display, a parent that does not
  // exist); the window then stays closed.
  virtual bool Open(void* parent) = 0;
  // Destroys the window: the menu closes without callbacks, timers stop, a file dialog in
  // progress is dropped. Safe to call when closed. Never call it (nor destroy the window) from
  // a callback: it is ignored there.
  virtual void Close() = 0;
  virtual bool is_open() const = 0;
  // Shows (and raises) or hides the window.
  virtual void SetVisible(bool visible) = 0;
  // The form's scale changed (Form::SetScale): the open menu closes, the window takes the
  // frame's new size and everything is painted again.
  void FitToForm();

  // The host's idle call: handles waiting input, due timers and finished dialogs, then paints
  // what changed. Returns at once when another thread is pumping or when called again from
  // inside a callback (a host answering a callback with another idle call).
  virtual void Idle() = 0;
  // Paints what is waiting to be painted, now.
  void Update();

  std::unique_lock<std::recursive_mutex> Lock() const {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }

  // Generic interval timers: OnTimer(id) every interval_ms (bounded to 10 ms .. 1 hour).
  void SetTimer(int id, int interval_ms);
  void KillTimer(int id);

  // Shows `menu` with its top-left corner at a screen point (kept on the screen). A menu
  // already open is cancelled first. Opened while a mouse button is held, the menu takes the
  // mouse: the pressed component gets no kUp for that press. Nothing happens while the window
  // is closed.
  void Popup(PopupMenu menu, Point screen);
  // Cancels the open menu (on_cancel runs).
  void CancelMenu();
  bool menu_open() const;
  // The open menu on the screen, its items and its pixels; empty or null when none is open.
  Rect menu_rect() const;
  int menu_item_count() const;
  // The item named `name` (ignoring case): its index, or -1.
  int menu_item_index(std::string_view name) const;
  Rect menu_item_rect(int index) const;
  const Bitmap* menu_surface() const;

  // The window's client pixels are the frame's: the form's coordinates times its scale.
  virtual Point ClientToScreen(Point client) const = 0;
  // A point of a component (nullptr: of the form) in screen coordinates.
  Point ScreenPoint(const Component* component, Point local) const;
  // The screen the window is on, in screen coordinates.
  virtual Rect ScreenBounds() const = 0;

  // File dialogs. `done` runs later from the event pump, never inside this call. One dialog
  // at a time: a request while one is showing is answered with nothing.
  void OpenFileDialog(const FileDialogOptions& options, FileDialogDone done);
  void SaveFileDialog(const FileDialogOptions& options, FileDialogDone done);

  // The window's pixels as they are on the screen (X11: XGetImage of the window; Win32:
  // BitBlt from the screen); empty when the window is not open or cannot be read.
  virtual Bitmap CaptureScreen() = 0;
  // X11 window id (as an integer in the pointer) or HWND; nullptr when closed or headless.
  virtual void* native_handle() const = 0;

 protected:
  PlatformWindow(Form& form, EventHandler& handler);

  // --- Backend hooks (called with the lock held) ---
  // Monotonic milliseconds for the timers.
  virtual int64_t NowMs() const;
  // Timers were set or killed (Win32 mirrors them as Windows timers).
  virtual void TimersChanged() {}
  // After Update has presented what changed: make it reach the screen now.
  virtual void Repaint() {}
  // The frame's size changed: the window takes it.
  virtual void Resize() {}
  // Show, repaint or remove the surface of menu_ (its screen_rect() and surface()).
  virtual void ShowMenuSurface() = 0;
  virtual void RedrawMenuSurface() = 0;
  virtual void HideMenuSurface() = 0;
  // Starts a dialog; the backend reports the answer with FinishFileDialog.
  virtual void StartFileDialog(bool save, const FileDialogOptions& options) = 0;
  // Rectangles of the frame that changed (in the form's coordinates; the frame's ScreenRect
  // gives their pixels): put them on the screen.
  virtual void Present(const std::vector<Rect>& rects) = 0;

  // --- Shared machinery for backends (call with the lock held) ---
  // Mouse input in client pixels, which the form hears in its own coordinates; goes to the
  // open menu if there is one.
  void DeliverMouse(MouseAction action, Point client, MouseButton button, unsigned modifiers);
  // Mouse input on the menu's surface, in screen coordinates.
  void MenuMouse(MouseAction action, Point screen);
  void MenuKeyPressed(MenuKey key);
  void FireDueTimers();
  // Timer `id` ticked (a platform timer): OnTimer if it still runs.
  void FireTimer(int id);
  void FinishFileDialog(std::optional<std::string> path);
  // Runs the callbacks of finished dialogs.
  void DeliverDialogs();
  // Composes what changed and presents it.
  void Flush();
  // Closing: removes the menu without callbacks, stops timers, drops dialogs.
  void DropAll();
  // Runs editor code: marks the dispatch (re-entry guard) and keeps exceptions inside.
  template <typename F>
  void Dispatch(F&& f);
  void ApplyMenuResult(MenuSession::Result result);
  bool pumping_blocked() const { return dispatching_; }

  Form& form_;
  EventHandler& handler_;
  mutable std::recursive_mutex mutex_;
  TimerSet timers_;
  std::unique_ptr<MenuSession> menu_;

 private:
  void StartDialog(bool save, const FileDialogOptions& options, FileDialogDone done);

  bool dispatching_ = false;
  FileDialogDone dialog_done_;  // the dialog showing, if any
  std::vector<std::pair<FileDialogDone, std::optional<std::string>>> finished_dialogs_;
};

}  // namespace vellicor::gui
