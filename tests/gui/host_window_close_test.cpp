// The window manager's close button on a host window (the standalone application's window) is a
// request the program sees, not a cut connection that ends the process.
#if !defined(_WIN32)
#include <gtest/gtest.h>

// After gtest: Xlib defines macros (None, Bool) that gtest uses as names.
#include <X11/Xlib.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <thread>

#include "gui/host_window.h"

namespace vellicor::gui {
namespace {

TEST(HostWindowClose, TheCloseButtonIsARequest) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  auto host = HostWindow::Create(100, 80, "close");
  ASSERT_TRUE(host);
  host->Pump();
  EXPECT_FALSE(host->close_requested());
  // What a window manager sends when its close button is pressed.
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const auto window = static_cast<::Window>(reinterpret_cast<uintptr_t>(host->native_handle()));
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = window;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  XSendEvent(display, window, False, NoEventMask, &event);
  XCloseDisplay(display);
  for (int i = 0; i < 200 && !host->close_requested(); ++i) {
    host->Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(host->close_requested());
}

}  // namespace
}  // namespace vellicor::gui
#endif
