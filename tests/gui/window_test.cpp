// The native backend (X11 or Win32) in a real window, compared with the headless frame. Needs a
// display (run under xvfb-run); skipped without one.
#include "gui/window.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>

#include "gui/host_window.h"
#include "tests/skip_without_display.h"
#ifdef _WIN32
#include <windows.h>
#else
#include <X11/Xlib.h>  // after gtest: Xlib defines macros (None, Bool) that gtest uses as names
#include <X11/Xutil.h>
#endif

namespace vellicor::gui {
namespace {

struct SafeRecorder : EventHandler {
  std::mutex mutex;
  std::vector<MouseEvent> mouse;
  std::atomic<int> ticks{0};

  void OnMouse(const MouseEvent& e) override {
    std::lock_guard<std::mutex> lock(mutex);
    mouse.push_back(e);
  }
  void OnTimer(int) override { ++ticks; }
  std::vector<MouseEvent> events() {
    std::lock_guard<std::mutex> lock(mutex);
    return mouse;
  }
  void clear() {
    std::lock_guard<std::mutex> lock(mutex);
    mouse.clear();
  }
};

// Something of everything the editor draws: opaque and keyed images, a panel, text; painted
// at the form's scale.
void PaintForm(Form& form) {
  Bitmap& b = form.FindImage("Image1")->Edit();
  for (int y = 0; y < b.pixel_height(); ++y) {
    for (int x = 0; x < b.pixel_width(); ++x) b.Row(y)[x] = Rgb(x & 255, y & 255, (x ^ y) & 255);
  }
  Font font;
  font.bold = true;
  b.Text(20, 20, "Vellicor :: 50%", font);
  Bitmap& slider = form.FindImage("Hvolume")->Edit();
  slider.Fill(kGrey);
  slider.FillRect({10, 2, 19, 11}, 0x2040C0);
  Bitmap& dial = form.FindImage("DLPwm1")->Edit();
  dial.Fill(kGrey);
  dial.FillRect({8, 8, 23, 23}, 0xE0E0E0);
}

void BuildForm(Form& form) {
  form.AddImage("Image1", Rect::XYWH(0, -1, 637, 513));
  Panel& panel = form.AddPanel("Panel7", Rect::XYWH(324, 240, 100, 70));
  form.AddImage("Hvolume", Rect::XYWH(0, 0, 100, 13), &panel).SetTransparent(true);
  form.AddImage("DLPwm1", Rect::XYWH(132, 108, 31, 31)).SetTransparent(true);
  PaintForm(form);
}

struct NativeWindow : ::testing::Test {
  // One host window for the suite: making and destroying top-level windows is slow under
  // wine without a window manager.
  static std::unique_ptr<HostWindow> shared_host;
  HostWindow* host = nullptr;
  Form form{635, 512};
  SafeRecorder recorder;
  std::unique_ptr<PlatformWindow> window;

  static void SetUpTestSuite() { shared_host = HostWindow::Create(700, 560, "gui_tests"); }
  static void TearDownTestSuite() { shared_host.reset(); }

  void SetUp() override {
    host = shared_host.get();
    VELLICOR_SKIP_UNLESS(host, "no display");
    BuildForm(form);
    window = PlatformWindow::Create(PlatformWindow::Backend::kNative, form, recorder);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (window) window->Close();
  }
  // Runs the host's event loop (on Windows the editor's messages run in it), and the editor's
  // idle calls when asked, until `done` or `ms` have passed.
  template <typename Done>
  bool WaitFor(Done done, bool idle = false, int ms = 3000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      host->Pump();
      if (idle) window->Idle();
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return done();
  }
  // Opens the editor in the host's window and lets it settle: a window that appears under the
  // pointer (left there by an earlier test) is sent a move of its own, which is not ours.
  void OpenSettled() {
    ASSERT_TRUE(window->Open(host->native_handle()));
    window->Update();
    WaitFor([] { return false; }, false, 100);
    recorder.clear();
  }
};

std::unique_ptr<HostWindow> NativeWindow::shared_host;

TEST_F(NativeWindow, ChangesHiddenAndShownRepaintAndTimersTickWithoutIdle) {
  ASSERT_TRUE(window->Open(host->native_handle()));
  window->Update();
  EXPECT_TRUE(WaitFor([&] { return window->CaptureScreen() == form.frame(); }));
  // A change reaches the screen, with the editor at the host's client origin.
  form.FindImage("Image1")->Edit().FillRect({0, 0, 40, 30}, 0x123456);
  window->Update();
  const Bitmap changed = form.frame();
  EXPECT_TRUE(WaitFor([&] {
    return host->Capture().Pixel(10, 10) == 0x123456 && window->CaptureScreen() == changed;
  }));

  // Hidden and shown again, with nothing in the form changed: only the window system's repaint
  // request brings the picture back.
  window->SetVisible(false);
  EXPECT_TRUE(WaitFor([&] { return host->Capture().Pixel(300, 300) == kWhite; }));
  window->SetVisible(true);
  EXPECT_TRUE(WaitFor([&] { return window->CaptureScreen() == changed; }));

  // Timers tick from the window system's own events, without idle calls.
  window->SetTimer(2, 20);
  EXPECT_TRUE(WaitFor([&] { return recorder.ticks >= 3; }));
  window->KillTimer(2);
}

#ifdef _WIN32
// Under wine, a window that a host embeds through XEmbed is sent exposed regions one row and
// one column short: any region the window system sends brings the whole client area back.
TEST_F(NativeWindow, ARegionTheSystemSendsRepaintsTheWholeClientArea) {
  ASSERT_TRUE(window->Open(host->native_handle()));
  window->Update();
  const Bitmap expected = form.frame();
  ASSERT_TRUE(WaitFor([&] { return window->CaptureScreen() == expected; }));
  HWND editor = GetWindow(static_cast<HWND>(host->native_handle()), GW_CHILD);
  ASSERT_NE(editor, nullptr);
  HDC dc = GetDC(editor);  // stale pixels everywhere, and a short region to repaint
  const RECT all{0, 0, 635, 512};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  ReleaseDC(editor, dc);
  const RECT part{100, 100, 300, 200};
  InvalidateRect(editor, &part, FALSE);
  EXPECT_TRUE(WaitFor([&] { return window->CaptureScreen() == expected; }));
}
#endif

TEST_F(NativeWindow, DeliversClicksWithTheComponentsNameAndKeys) {
  OpenSettled();
  host->SendMouse(MouseAction::kDown, {324 + 12, 240 + 5}, MouseButton::kLeft, kShift);
  host->SendMouse(MouseAction::kMove, {140, 110}, MouseButton::kNone, 0);  // over the dial
  host->SendMouse(MouseAction::kUp, {324 + 40, 240 + 6}, MouseButton::kLeft, kCtrl);
  host->SendMouse(MouseAction::kDown, {140, 110}, MouseButton::kRight, kAlt);
  // The fallback pump alone delivers them: no idle calls here.
  ASSERT_TRUE(WaitFor([&] { return recorder.events().size() >= 5; }));
  const std::vector<MouseEvent> events = recorder.events();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].action, MouseAction::kDown);
  EXPECT_EQ(events[0].name, "HVOLUME");
  EXPECT_EQ(events[0].pos, (Point{12, 5}));
  EXPECT_TRUE(events[0].shift());
  EXPECT_EQ(events[1].action, MouseAction::kMove);
  EXPECT_EQ(events[1].name, "HVOLUME");  // captured while pressed
  EXPECT_EQ(events[1].pos, (Point{140 - 324, 110 - 240}));
  EXPECT_EQ(events[2].action, MouseAction::kClick);
  EXPECT_EQ(events[3].action, MouseAction::kUp);
  EXPECT_TRUE(events[3].ctrl());
  EXPECT_EQ(events[4].name, "DLPWM1");
  EXPECT_EQ(events[4].button, MouseButton::kRight);
  EXPECT_TRUE(events[4].alt());
}

// At a scale the window is the frame's size and shows its pixels, the mouse reaches the form in
// its own coordinates, and a change of scale while open resizes the window. The host window
// takes another size and keeps it: a window manager may not stretch it (X11: minimum = maximum
// size; Win32: no sizing border), and a task bar can name it (X11: class, UTF-8 title).
TEST_F(NativeWindow, AtAScaleTheWindowShowsTheFramesPixelsAndTheMouseLandsOnTheForm) {
  const Size before = host->ClientSize();
  const Scale k150 = Scale::FromPercent(150);
  form.SetScale(k150);
  PaintForm(form);
  host->SetClientSize(953, 768);
  OpenSettled();
  auto shown = [&] { return window->CaptureScreen().pixels() == form.frame().pixels(); };
  EXPECT_TRUE(WaitFor(shown));
  EXPECT_EQ(host->Capture().pixel_width(), 953);
  host->SendMouse(MouseAction::kDown, {k150.ScreenPixelIn(336), k150.ScreenPixelIn(245)},
                  MouseButton::kLeft, 0);
  host->SendMouse(MouseAction::kUp, {952, 767}, MouseButton::kLeft, 0);
  ASSERT_TRUE(WaitFor([&] { return recorder.events().size() >= 2; }));
  EXPECT_EQ(recorder.events()[0].name, "HVOLUME");
  EXPECT_EQ(recorder.events()[0].pos, (Point{12, 5}));
  EXPECT_EQ(recorder.events().back().pos, (Point{634 - 324, 511 - 240}));
  {
    auto lock = window->Lock();
    form.SetScale(Scale::FromPercent(125));
    PaintForm(form);
    window->FitToForm();
  }
  window->Update();
  EXPECT_TRUE(WaitFor(shown));
  EXPECT_EQ(window->CaptureScreen().pixel_width(), 794);
#if defined(_WIN32)
  const auto hwnd = static_cast<HWND>(host->native_handle());
  EXPECT_EQ(GetWindowLongPtrA(hwnd, GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(std::pair(client.right, client.bottom), std::pair(953L, 768L));
#else
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const auto id = static_cast<::Window>(reinterpret_cast<uintptr_t>(host->native_handle()));
  XSizeHints hints{};
  long supplied = 0;
  XGetWMNormalHints(display, id, &hints, &supplied);
  EXPECT_EQ(hints.flags & (PMinSize | PMaxSize), PMinSize | PMaxSize);
  EXPECT_EQ(std::pair(hints.min_width, hints.min_height), std::pair(953, 768));
  EXPECT_EQ(std::pair(hints.max_width, hints.max_height), std::pair(953, 768));
  XClassHint hint{};
  ASSERT_NE(XGetClassHint(display, id, &hint), 0);
  EXPECT_EQ(std::string(hint.res_name) + "/" + hint.res_class, "vellicor/Vellicor");
  XFree(hint.res_name);
  XFree(hint.res_class);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* title = nullptr;
  XGetWindowProperty(display, id, XInternAtom(display, "_NET_WM_NAME", False), 0, 64, False,
                     XInternAtom(display, "UTF8_STRING", False), &type, &format, &count, &after,
                     &title);
  EXPECT_EQ(title ? std::string(reinterpret_cast<char*>(title), count) : "", "gui_tests");
  if (title) XFree(title);
  XCloseDisplay(display);
#endif
  host->SetClientSize(before.width, before.height);
}

// Opened at the screen's bottom-right corner, a menu lies wholly on the screen, which shows it
// there (what lies off the screen captures black); a press outside it cancels it.
TEST_F(NativeWindow, AMenuAtTheScreensCornerShowsOnItAndAPressOutsideCancelsIt) {
  OpenSettled();
  std::atomic<int> cancelled{0};
  PopupMenu menu;
  menu.items = {{"W00", "Wavestring"}, {"W01", "Wave1"}};
  menu.on_cancel = [&] { ++cancelled; };
  const Rect screen = window->ScreenBounds();
  window->Popup(menu, {screen.right - 2, screen.bottom - 2});
  ASSERT_TRUE(window->menu_open());
  const Rect placed = window->menu_rect();
  EXPECT_EQ(placed.Intersect(screen), placed);
  const Point origin = window->ClientToScreen({0, 0});
  const Rect in_client = placed.Offset(-origin.x, -origin.y);
  EXPECT_TRUE(
      WaitFor([&] { return host->CaptureArea(in_client) == *window->menu_surface(); }, true));
  host->SendMouse(MouseAction::kDown, {20, 20}, MouseButton::kLeft, 0);
  host->SendMouse(MouseAction::kUp, {20, 20}, MouseButton::kLeft, 0);
  EXPECT_TRUE(WaitFor([&] { return cancelled == 1; }));
  EXPECT_FALSE(window->menu_open());
  EXPECT_TRUE(WaitFor([&] { return recorder.events().empty(); }, true, 100));
}

TEST_F(NativeWindow, OpensAndClosesTwoHundredTimesWithoutLeaking) {
  auto open_files = [] {  // none counted on Windows
#ifdef _WIN32
    return std::ptrdiff_t{0};
#else
    return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
#endif
  };
  // Warm up once so that one-time allocations of the libraries are not counted.
  ASSERT_TRUE(window->Open(host->native_handle()));
  window->Close();
  const int files = open_files();
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(window->Open(host->native_handle())) << i;
    window->SetTimer(1, 10);
    if (i % 50 == 0) {
      window->Update();
      window->Idle();
    }
    window->Close();
    EXPECT_FALSE(window->is_open());
  }
  EXPECT_EQ(open_files(), files);
  // Closed, the editor's window is gone from the host's.
  EXPECT_TRUE(WaitFor([&] { return host->Capture().Pixel(100, 100) == kWhite; }));
  EXPECT_FALSE(window->Open(reinterpret_cast<void*>(static_cast<uintptr_t>(0x7FFFFFF0))));
}

#if !defined(_WIN32)
// The window manager's close button on a host window (the standalone application's window) is a
// request the program sees, not a cut connection that ends the process.
TEST_F(NativeWindow, TheHostWindowsCloseButtonIsARequest) {
  EXPECT_FALSE(host->close_requested());
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  const auto id = static_cast<::Window>(reinterpret_cast<uintptr_t>(host->native_handle()));
  XEvent event{};  // what a window manager sends when its close button is pressed
  event.xclient.type = ClientMessage;
  event.xclient.window = id;
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  XSendEvent(display, id, False, NoEventMask, &event);
  XCloseDisplay(display);
  EXPECT_TRUE(WaitFor([&] { return host->close_requested(); }));
}
#endif

}  // namespace
}  // namespace vellicor::gui
