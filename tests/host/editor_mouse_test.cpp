// The editor's controls and menus under the mouse, end to end: the built library loaded as a
// host loads it, in a real window, the window system's own pointer (xdotool on X11, SendInput
// on Windows and wine) drags, opens and picks; the host hears each change as automation, and
// the window shows the same pixels as the headless editor given the same input. What each
// gesture does is checked on the headless editor (tests/editor).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gui/host_window.h"
#include "host/plugin_loader.h"
#include "host/screenshot.h"
#include "tests/host/built_library.h"
#include "vst/vellicor_requests.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#endif

namespace vellicor::host {
namespace {

namespace rq = vellicor::requests;

intptr_t Request(Plugin& plugin, int32_t kind, void* record) {
  return plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, kind, record);
}

// A component's rectangle in the editor's client pixels.
gui::Rect Component(Plugin& plugin, const char* name) {
  rq::ComponentRecord record{sizeof record, name, 0, 0, 0, 0, 0};
  EXPECT_EQ(Request(plugin, rq::kComponentRect, &record), 1) << name;
  return gui::Rect::XYWH(record.left, record.top, record.width, record.height);
}

gui::Point Inside(const gui::Rect& r, int x, int y) {
  return {r.left + x, r.top + y};
}

gui::Point Centre(const gui::Rect& r) {
  return {r.left + r.width() / 2, r.top + r.height() / 2};
}

// The open menu (client pixels) and one item of it; nothing when no menu is open.
struct MenuInfo {
  gui::Rect menu;
  gui::Point screen;  // the menu's top-left corner on the screen
  gui::Rect item;
};
std::optional<MenuInfo> OpenMenu(Plugin& plugin, const char* item = nullptr) {
  rq::MenuRecord record{};
  record.size = sizeof record;
  record.item = item;
  if (Request(plugin, rq::kOpenMenu, &record) != 1) return std::nullopt;
  return MenuInfo{
      gui::Rect::XYWH(record.left, record.top, record.width, record.height),
      {record.screen_left, record.screen_top},
      gui::Rect::XYWH(record.item_left, record.item_top, record.item_width, record.item_height)};
}

std::vector<HostRequest> Automation(Plugin& plugin) {
  return plugin.Requests(vst::audioMasterAutomate);
}

// Mouse input for a headless editor, in its client pixels.
bool Mouse(Plugin& plugin, int32_t action, gui::Point at, int32_t button = rq::kLeft,
           int32_t modifiers = 0) {
  rq::MouseRecord record{sizeof record, action, at.x, at.y, button, modifiers};
  return Request(plugin, rq::kMouse, &record) == 1;
}

bool Choose(Plugin& plugin, const char* item) {
  rq::MenuItemRecord record{sizeof record, item};
  return Request(plugin, rq::kChooseMenuItem, &record) == 1;
}

void HeadlessSettle(Plugin& plugin, int ms) {
  rq::ClockRecord clock{sizeof clock, ms};
  Request(plugin, rq::kAdvanceClock, &clock);
  plugin.Dispatch(vst::effEditIdle);
}

gui::Bitmap HeadlessFrame(Plugin& plugin) {
  rq::CaptureRecord record{};
  record.size = sizeof record;
  std::vector<uint32_t> pixels(635 * 512);
  record.capacity = static_cast<int32_t>(pixels.size());
  record.pixels = pixels.data();
  EXPECT_EQ(Request(plugin, rq::kCaptureFrame, &record), 1);
  gui::Bitmap frame(635, 512);
  for (int y = 0; y < 512; ++y) std::copy_n(pixels.data() + y * 635, 635, frame.Row(y));
  return frame;
}

// Envelope 1 as three points at level 0 (0.5 s long at 120 bpm), the only envelope the main
// amplitude follows, on a plain sine: the note is silent until the envelope is drawn.
void SilentFirstEnvelope(Plugin& plugin) {
  const std::pair<int, float> values[] = {
      {219, 0.1f / 20.99f}, {3, 0.5f / 10.99f}, {49, 8.5f / 10.99f}, {70, 8.5f / 10.99f},
      {131, 8.5f / 10.99f}, {250, 0.5f},        {350, 0.0f},         {351, 0.5f},
      {352, 1.0f},          {710, 0.0f},        {711, 0.0f},         {712, 0.0f},
      {1110, 0.5f},         {1111, 0.5f},       {310, 2 / 39.99f},   {270, 2 / 39.99f},
      {290, 2 / 39.99f},    {39, 0.001f},       {62, 0.0f}};
  for (const auto& [index, value] : values) plugin.SetParameter(index, value);
}

TEST(EditorMouseThroughTheLibrary, ScreenshotsShowAMenuLeftOpen) {
  auto plugin = LoadBuilt();
  ASSERT_TRUE(plugin);
  ScreenshotOptions closed;
  closed.headless = true;
  gui::Bitmap without_menu, with_menu, long_menu;
  std::string error;
  ASSERT_TRUE(CaptureEditor(*plugin, closed, &without_menu, &error)) << error;
  ScreenshotOptions open = closed;
  ScreenshotInput input;
  input.kind = ScreenshotInput::Kind::kMenuOpen;
  input.name = "MnFilter1";
  open.inputs.push_back(input);
  ASSERT_TRUE(CaptureEditor(*plugin, open, &with_menu, &error)) << error;
  ASSERT_EQ(with_menu.width(), 635);
  ASSERT_EQ(with_menu.height(), 512);
  // The menu lies below and right of the press at the selector's centre, in khaki.
  const gui::Point corner = Centre(gui::Rect::XYWH(468, 24, 40, 13));
  EXPECT_EQ(with_menu.Pixel(corner.x + 90, corner.y + 8), 0xCCCC99u);
  EXPECT_NE(without_menu.Pixel(corner.x + 90, corner.y + 8), 0xCCCC99u);
  EXPECT_EQ(with_menu.Pixel(corner.x - 3, corner.y), without_menu.Pixel(corner.x - 3, corner.y));

  // Sixteen ranges reach past the editor's bottom: the picture grows to hold them.
  open.inputs[0].name = "MnPShift";
  ASSERT_TRUE(CaptureEditor(*plugin, open, &long_menu, &error)) << error;
  EXPECT_EQ(long_menu.width(), 635);
  EXPECT_GT(long_menu.height(), 512);
  const gui::Point below{Centre(gui::Rect::XYWH(240, 276, 40, 13)).x + 20, long_menu.height() - 8};
  EXPECT_EQ(long_menu.Pixel(below.x, below.y), 0xCCCC99u);

  open.inputs.push_back(input);  // nothing may follow an open menu
  EXPECT_FALSE(CaptureEditor(*plugin, open, &long_menu, &error));
  std::vector<std::string> args = {"lib",    "--out",   "x.png",  "--menu-open",
                                   "MnMode", "--press", "Hvolume"};
  ScreenshotOptions parsed;
  EXPECT_FALSE(ParseScreenshotArgs(args, &parsed, &error));
  plugin->Close();
}

// --- In a real window, with the window system's pointer ---------------------------------------

// The pointer of the window system, in screen pixels.
class RealPointer {
 public:
  static bool Available() {
#if defined(_WIN32)
    return true;
#else
    return std::system("xdotool version > /dev/null 2>&1") == 0;
#endif
  }
  void MoveTo(gui::Point p) {
#if defined(_WIN32)
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT input{};
    input.type = INPUT_MOUSE;
    // Absolute positions run over 0..65535 across the screen; round to the pixel's middle.
    input.mi.dx = static_cast<LONG>((p.x * 65536LL + 32768) / w);
    input.mi.dy = static_cast<LONG>((p.y * 65536LL + 32768) / h);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof input);
#else
    Run("mousemove --sync " + std::to_string(p.x) + " " + std::to_string(p.y));
#endif
  }
  void Down(bool right = false) {
    Button(true, right);
  }
  void Up(bool right = false) {
    Button(false, right);
  }
  void RightClick() {
#if defined(_WIN32)
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_MOUSE;
    input[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
    input[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
    SendInput(2, input, sizeof input[0]);
#else
    Run("click 3");
#endif
  }

 private:
  void Button(bool down, bool right) {
#if defined(_WIN32)
    INPUT input{};
    input.type = INPUT_MOUSE;
    if (right) {
      input.mi.dwFlags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
    } else {
      input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    }
    SendInput(1, &input, sizeof input);
#else
    Run(std::string(down ? "mousedown " : "mouseup ") + (right ? "3" : "1"));
#endif
  }
#if !defined(_WIN32)
  static void Run(const std::string& command) {
    const std::string line = "xdotool " + command;
    EXPECT_EQ(std::system(line.c_str()), 0) << line;
  }
#endif
};

gui::Rect ScreenSize() {
#if defined(_WIN32)
  return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
#else
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return {};
  const int screen = DefaultScreen(display);
  const gui::Rect size{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
  XCloseDisplay(display);
  return size;
#endif
}

// Where the host window's client area lies on the screen.
gui::Point ClientOrigin(void* handle) {
#if defined(_WIN32)
  POINT p{0, 0};
  ClientToScreen(static_cast<HWND>(handle), &p);
  return {p.x, p.y};
#else
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return {};
  int x = 0, y = 0;
  ::Window child = 0;
  XTranslateCoordinates(display, static_cast< ::Window>(reinterpret_cast<uintptr_t>(handle)),
                        DefaultRootWindow(display), 0, 0, &x, &y, &child);
  XCloseDisplay(display);
  return {x, y};
#endif
}

// Moves the host window so that its client area starts at a screen point.
void MoveClientTo(void* handle, gui::Point at) {
#if defined(_WIN32)
  HWND hwnd = static_cast<HWND>(handle);
  const gui::Point now = ClientOrigin(handle);
  RECT outer;
  GetWindowRect(hwnd, &outer);
  SetWindowPos(hwnd, nullptr, outer.left + at.x - now.x, outer.top + at.y - now.y, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
#else
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return;
  XMoveWindow(display, static_cast< ::Window>(reinterpret_cast<uintptr_t>(handle)), at.x, at.y);
  XSync(display, False);
  XCloseDisplay(display);
#endif
}

class EditorUnderTheRealPointer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveDisplay()) GTEST_SKIP() << "no display";
    if (!RealPointer::Available()) GTEST_SKIP() << "xdotool is not installed";
    host_ = gui::HostWindow::Create(665, 518, "real pointer");
    if (!host_) GTEST_SKIP() << "no window can be opened";
    plugin_ = LoadBuilt();
    ASSERT_TRUE(plugin_);
    ASSERT_EQ(plugin_->Dispatch(vst::effEditOpen, 0, 0, host_->native_handle()), 1);
    Settle(600);
  }
  void TearDown() override {
    if (plugin_) plugin_->Close();
    plugin_.reset();
    host_.reset();
  }
  // What a host does while time passes: its window's events and the editor's idle calls.
  void Settle(int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      host_->Pump();
      plugin_->Dispatch(vst::effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
  }
  // A point of the editor (client pixels) on the screen.
  gui::Point OnScreen(gui::Point client) {
    const gui::Point origin = ClientOrigin(host_->native_handle());
    return {origin.x + client.x, origin.y + client.y};
  }
  void PointAt(gui::Point client) {
    pointer_.MoveTo(OnScreen(client));
    Settle(60);
  }
  void Press(bool right = false) {
    pointer_.Down(right);
    Settle(60);
  }
  void Release(bool right = false) {
    pointer_.Up(right);
    Settle(60);
  }
  // Opens the menu of a selector with a click and picks an item where the menu shows it.
  void PickFromMenu(const char* selector, const char* item) {
    PointAt(Centre(Component(*plugin_, selector)));
    Press();
    Release();
    const std::optional<MenuInfo> menu = OpenMenu(*plugin_, item);
    ASSERT_TRUE(menu) << selector;
    ASSERT_FALSE(menu->item.empty()) << item;
    PointAt({menu->item.left + 10, menu->item.top + menu->item.height() / 2});
    Press();
    Release();
    EXPECT_FALSE(OpenMenu(*plugin_)) << item;
  }
  gui::Bitmap EditorPixels() {
    Settle(400);
    const gui::Bitmap all = host_->Capture();
    gui::Bitmap editor(635, 512);
    editor.Copy(all, {0, 0, 635, 512}, 0, 0);
    return editor;
  }

  std::unique_ptr<gui::HostWindow> host_;
  std::unique_ptr<Plugin> plugin_;
  RealPointer pointer_;
};

TEST_F(EditorUnderTheRealPointer, DragsASliderAndPicksAMenuItemLikeTheHeadlessEditor) {
  const gui::Rect volume = Component(*plugin_, "Hvolume");
  const size_t before = Automation(*plugin_).size();
  PointAt(Inside(volume, 10, 6));
  Press();
  for (int x = 20; x <= 60; x += 10) PointAt(Inside(volume, x, 6));
  Release();
  std::vector<HostRequest> automation = Automation(*plugin_);
  ASSERT_GE(automation.size(), before + 2);
  for (size_t i = before; i < automation.size(); ++i) EXPECT_EQ(automation[i].index, 1);
  EXPECT_FLOAT_EQ(automation[before].opt, 0.0f);
  EXPECT_FLOAT_EQ(automation.back().opt, 0.625f);
  EXPECT_FLOAT_EQ(plugin_->GetParameter(1), 0.625f);

  PickFromMenu("MnFilter1", "Fi10");
  automation = Automation(*plugin_);
  EXPECT_EQ(automation.back().index, 120);
  EXPECT_FLOAT_EQ(automation.back().opt, static_cast<float>(10 / 12.99 + 0.05));
  // Rest on the filter frequency: its read-out now names the tuning.
  const gui::Rect frequency = Component(*plugin_, "HFHi1");
  PointAt(Centre(frequency));
  const gui::Bitmap real = EditorPixels();

  // The same input, injected into a headless editor of the same program.
  auto twin = LoadBuilt();
  ASSERT_TRUE(twin);
  ASSERT_EQ(twin->Dispatch(vst::effEditOpen, 0, 0, nullptr), 1);
  HeadlessSettle(*twin, 600);
  ASSERT_TRUE(Mouse(*twin, rq::kMove, Inside(volume, 10, 6), rq::kNoButton));
  ASSERT_TRUE(Mouse(*twin, rq::kDown, Inside(volume, 10, 6)));
  ASSERT_TRUE(Mouse(*twin, rq::kMove, Inside(volume, 60, 6), rq::kNoButton));
  ASSERT_TRUE(Mouse(*twin, rq::kUp, Inside(volume, 60, 6)));
  ASSERT_TRUE(Mouse(*twin, rq::kClick, Centre(Component(*twin, "MnFilter1"))));
  ASSERT_TRUE(Choose(*twin, "Fi10"));
  ASSERT_TRUE(Mouse(*twin, rq::kMove, Centre(frequency), rq::kNoButton));
  HeadlessSettle(*twin, 600);
  const gui::Bitmap expected = HeadlessFrame(*twin);
  twin->Close();

  EXPECT_TRUE(real == expected);
  if (real != expected) {
    int differing = 0;
    for (int y = 0; y < 512; ++y) {
      for (int x = 0; x < 635; ++x) differing += real.Pixel(x, y) != expected.Pixel(x, y);
    }
    ADD_FAILURE() << differing << " pixels differ";
  }
}

TEST_F(EditorUnderTheRealPointer, APointDrawnWithTheMouseReachesTheHostAndTheNextNote) {
  SilentFirstEnvelope(*plugin_);
  Settle(600);
  // Point 2 of three, at time 0.5 and level 0, dragged up to time 0.25 and level 1.
  const gui::Rect view = Component(*plugin_, "EnvI");
  PointAt(Inside(view, 305, 105));
  Press();
  for (int step = 1; step <= 5; ++step) PointAt(Inside(view, 305 - 30 * step, 105 - 20 * step));
  Release();
  // The last commit's time and level of point 2, as the host heard them.
  const std::vector<HostRequest> automation = Automation(*plugin_);
  ASSERT_GE(automation.size(), 63u);
  EXPECT_EQ(automation[automation.size() - 63 + 3].index, 351);
  EXPECT_FLOAT_EQ(automation[automation.size() - 63 + 3].opt, 0.25f);
  EXPECT_EQ(automation[automation.size() - 63 + 4].index, 711);
  EXPECT_FLOAT_EQ(automation[automation.size() - 63 + 4].opt, 1.0f);

  // A note now rises to full level at an eighth of a second and falls silent by half a second.
  plugin_->Dispatch(vst::effMainsChanged, 0, 1);
  plugin_->SendMidi({MidiMessage{{0x90, 60, 100}, 0}});
  std::vector<float> left(44100 * 7 / 10), right(left.size());
  for (size_t at = 0; at < left.size(); at += 512) {
    const int32_t frames = static_cast<int32_t>(std::min<size_t>(512, left.size() - at));
    plugin_->Render(left.data() + at, right.data() + at, frames);
  }
  auto rms = [&](double from, double to) {
    double sum = 0;
    const size_t a = static_cast<size_t>(from * 44100), b = static_cast<size_t>(to * 44100);
    for (size_t i = a; i < b; ++i) sum += static_cast<double>(left[i]) * left[i];
    return std::sqrt(sum / static_cast<double>(b - a));
  };
  const double peak = rms(0.11, 0.14);
  EXPECT_GT(peak, 0.01);
  EXPECT_GT(peak, 4 * rms(0.0, 0.02));
  EXPECT_GT(peak, 2.5 * rms(0.4, 0.45));
  EXPECT_LT(rms(0.55, 0.7), peak / 100);

  // The right button's command menu, and a preset from its submenu, by the pointer.
  PointAt(Inside(view, 400, 50));
  pointer_.RightClick();
  Settle(60);
  for (const char* item : {"EPresets", "ESineP"}) {
    const std::optional<MenuInfo> menu = OpenMenu(*plugin_, item);
    ASSERT_TRUE(menu && !menu->item.empty()) << item;
    PointAt({menu->item.left + 10, menu->item.top + menu->item.height() / 2});
    Press();
    Release();
  }
  EXPECT_FALSE(OpenMenu(*plugin_));
  EXPECT_FLOAT_EQ(plugin_->GetParameter(310), 16 / 39.99f);
}

TEST_F(EditorUnderTheRealPointer, AMenuAtTheScreensEdgeIsWhollyShownAndUsable) {
  // The editor in the screen's bottom-right corner; the sixteen pitch ranges open low on it.
  const gui::Rect screen = ScreenSize();
  ASSERT_FALSE(screen.empty());
  MoveClientTo(host_->native_handle(), {screen.right - 635, screen.bottom - 512});
  Settle(300);
  ASSERT_EQ(OnScreen({635, 512}), (gui::Point{screen.right, screen.bottom}));
  PointAt(Centre(Component(*plugin_, "MnPShift")));
  Press();
  Release();
  const std::optional<MenuInfo> menu = OpenMenu(*plugin_, "Bend15");
  ASSERT_TRUE(menu);
  const gui::Rect on_screen =
      gui::Rect::XYWH(menu->screen.x, menu->screen.y, menu->menu.width(), menu->menu.height());
  EXPECT_EQ(on_screen.Intersect(screen), on_screen);
  // What the screen shows there is the menu: its last item is readable and takes the click.
  const gui::Rect whole = menu->menu;
  const gui::Bitmap shown = host_->CaptureArea(whole);
  EXPECT_EQ(shown.Pixel(whole.width() - 5, whole.height() - 5), 0xCCCC99u);
  PointAt({menu->item.left + 10, menu->item.top + menu->item.height() / 2});
  Press();
  Release();
  EXPECT_FALSE(OpenMenu(*plugin_));
  const std::vector<HostRequest> automation = Automation(*plugin_);
  ASSERT_FALSE(automation.empty());
  EXPECT_EQ(automation.back().index, 4);
  EXPECT_FLOAT_EQ(automation.back().opt, static_cast<float>(15.5 / 15.99));
}

TEST_F(EditorUnderTheRealPointer, LearnsAControllerFromTheMidiMenuAndLoadsAnEvolverSlot) {
  // A right press on the filter frequency, "Midi learn", and a controller then moves it.
  PointAt(Centre(Component(*plugin_, "HFHi1")));
  Press(true);
  Release(true);
  const std::optional<MenuInfo> menu = OpenMenu(*plugin_, "Midi2");
  ASSERT_TRUE(menu);
  ASSERT_FALSE(menu->item.empty());
  PointAt({menu->item.left + 10, menu->item.top + menu->item.height() / 2});
  Press();
  Release();
  EXPECT_FALSE(OpenMenu(*plugin_));
  for (uint8_t value : {127, 0}) {
    plugin_->SendMidi({MidiMessage{{0xB0, 74, value}, 0}});
    EXPECT_FLOAT_EQ(plugin_->GetParameter(122), value / 127.0f);
  }

  // The evolver: a slot's click reaches the host as the whole sound, index by index.
  PointAt(Centre(Component(*plugin_, "Evol")));
  Press();
  Release();
  const size_t before = Automation(*plugin_).size();
  PointAt(Centre(Component(*plugin_, "ev5")));
  Press();
  Release();
  const std::vector<HostRequest> automation = Automation(*plugin_);
  ASSERT_EQ(automation.size() - before, 1591u);
  EXPECT_EQ(automation[before].index, 0);
  EXPECT_EQ(automation.back().index, 1590);
}

TEST_F(EditorUnderTheRealPointer, AnOpenMenuPictureMatchesTheHeadlessOne) {
  ScreenshotOptions options;
  ScreenshotInput input;
  input.kind = ScreenshotInput::Kind::kMenuOpen;
  input.name = "MnFilter1";
  options.inputs.push_back(input);
  gui::Bitmap in_window, headless;
  std::string error;
  // The fixture's editor stays out of the way: these open their own.
  plugin_->Dispatch(vst::effEditClose);
  host_.reset();
  auto plugin = LoadBuilt();
  ASSERT_TRUE(plugin);
  ASSERT_TRUE(CaptureEditor(*plugin, options, &in_window, &error)) << error;
  options.headless = true;
  ASSERT_TRUE(CaptureEditor(*plugin, options, &headless, &error)) << error;
  plugin->Close();
  EXPECT_TRUE(in_window == headless);
}

}  // namespace
}  // namespace vellicor::host
