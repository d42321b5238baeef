// HostWindow: a top-level window standing in for a host's editor frame. The command-line
// host's screenshot command, the standalone application and the window tests open the editor
// inside it, as a host would. It keeps the size it is given: the window manager is told it
// cannot be resized (X11: minimum = maximum size; Win32: a frame without a sizing border), and
// it is named for task bars (X11: WM_CLASS "vellicor", "Vellicor" and the title as _NET_WM_NAME
// in UTF-8).
#pragma once

#include <memory>
#include <string>

#include "gui/bitmap.h"
#include "gui/form.h"

namespace vellicor::gui {

class HostWindow {
 public:
  // A shown top-level window with a client area of the given size, on its own display
  // connection (X11) or on the calling thread (Win32); nullptr when there is no display.
  static std::unique_ptr<HostWindow> Create(int width, int height, const std::string& title);
  virtual ~HostWindow() = default;

  // The parent handle to give the editor (effEditOpen): X11 window id or HWND.
  virtual void* native_handle() const = 0;
  // Handles waiting window-system events. On Windows this runs the calling thread's message
  // loop once, which is what paints and times an editor opened on that thread.
  virtual void Pump() = 0;
  // Whether the user asked the window manager to close the window (seen by Pump).
  virtual bool close_requested() const { return false; }
  // Gives the client area another size (the editor inside changed its own), bounded to
  // 1..kMaxBitmapSide, and keeps the window at it.
  virtual void SetClientSize(int width, int height) = 0;
  virtual Size ClientSize() const = 0;
  // The client area as it is on the screen, the editor's window included.
  virtual Bitmap Capture() = 0;
  // The screen's pixels over a rectangle given in client coordinates, whatever window shows
  // there (a popup menu of the editor reaching past the window included); what lies off the
  // screen is black.
  virtual Bitmap CaptureArea(const Rect& client_area) = 0;
  // Sends a mouse event to the innermost window at a client point, as the window system
  // delivers one (X11: XSendEvent; Win32: the window's mouse message).
  virtual bool SendMouse(MouseAction action, Point client, MouseButton button,
                         unsigned modifiers) = 0;
};

}  // namespace vellicor::gui
