// The editor under the mouse, end to end: the built library loaded as a host loads it, in a real
// window, the window system's own pointer (xdotool on X11, SendInput on Windows and wine) drags,
// opens a menu and picks from it, and the host hears each change as automation. What each gesture
// does (envelope points, MIDI learn, the evolver) is checked on the headless editor (tests/editor);
// that a real window shows the form's very pixels and keeps a menu on the screen, on the native
// backend (tests/gui), and the pixels again through the screenshot command (host_level_test).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gui/host_window.h"
#include "host/plugin_loader.h"
#include "tests/host/built_library.h"
#include "tests/skip_without_display.h"
#include "vst/vellicor_requests.h"

#if defined(_WIN32)
#include <windows.h>
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

// An item of the open menu, in client pixels; nothing when no menu is open.
std::optional<gui::Rect> OpenMenuItem(Plugin& plugin, const char* item) {
  rq::MenuRecord record{};
  record.size = sizeof record;
  record.item = item;
  if (Request(plugin, rq::kOpenMenu, &record) != 1) return std::nullopt;
  return gui::Rect::XYWH(record.item_left, record.item_top, record.item_width, record.item_height);
}

#if !defined(_WIN32)
void Xdotool(const std::string& command) {
  const std::string line = "xdotool " + command;
  EXPECT_EQ(std::system(line.c_str()), 0) << line;
}
#endif

// Moves the window system's pointer to a point of the host window's client area.
void MovePointer(void* host, gui::Point p) {
#if defined(_WIN32)
  POINT screen{p.x, p.y};
  ClientToScreen(static_cast<HWND>(host), &screen);
  const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
  INPUT input{};
  input.type = INPUT_MOUSE;
  // Absolute positions run over 0..65535 across the screen; round to the pixel's middle.
  input.mi.dx = static_cast<LONG>((screen.x * 65536LL + 32768) / w);
  input.mi.dy = static_cast<LONG>((screen.y * 65536LL + 32768) / h);
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
#else
  Xdotool("mousemove --sync --window " + std::to_string(reinterpret_cast<uintptr_t>(host)) + " " +
          std::to_string(p.x) + " " + std::to_string(p.y));
#endif
}

void PressLeftButton(bool down) {
#if defined(_WIN32)
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof input);
#else
  Xdotool(down ? "mousedown 1" : "mouseup 1");
#endif
}

// The one real-pointer path: a slider dragged and a menu picked in the host's window.
TEST(EditorUnderTheRealPointer, DragsAndPicks) {
  auto host = gui::HostWindow::Create(665, 518, "real pointer");
  VELLICOR_SKIP_UNLESS(host, "no display");
#if !defined(_WIN32)
  VELLICOR_SKIP_UNLESS(std::system("xdotool version > /dev/null 2>&1") == 0, "no xdotool");
#endif
  auto plugin = LoadBuilt();
  ASSERT_TRUE(plugin);
  ASSERT_EQ(plugin->Dispatch(vst::effEditOpen, 0, 0, host->native_handle()), 1);
  // What a host does while time passes: its window's events and the editor's idle calls.
  auto settle = [&](int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      host->Pump();
      plugin->Dispatch(vst::effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } while (std::chrono::steady_clock::now() < end);
  };
  auto point_at = [&](gui::Point client) {
    MovePointer(host->native_handle(), client);
    settle(60);
  };
  auto press = [&](bool down) {
    PressLeftButton(down);
    settle(60);
  };
  settle(600);

  const gui::Rect volume = Component(*plugin, "Hvolume");
  const size_t before = plugin->Requests(vst::audioMasterAutomate).size();
  for (int x = 10; x <= 60; x += 10) {
    point_at({volume.left + x, volume.top + 6});
    if (x == 10) press(true);
  }
  press(false);
  std::vector<HostRequest> automation = plugin->Requests(vst::audioMasterAutomate);
  ASSERT_GE(automation.size(), before + 2);
  for (size_t i = before; i < automation.size(); ++i) EXPECT_EQ(automation[i].index, 1);
  EXPECT_FLOAT_EQ(automation[before].opt, 0.0f);
  EXPECT_FLOAT_EQ(automation.back().opt, 0.625f);
  EXPECT_FLOAT_EQ(plugin->GetParameter(1), 0.625f);

  // The filter menu opened with a click, and an item picked where the menu shows it.
  const gui::Rect filter = Component(*plugin, "MnFilter1");
  point_at({filter.left + filter.width() / 2, filter.top + filter.height() / 2});
  press(true);
  press(false);
  const std::optional<gui::Rect> item = OpenMenuItem(*plugin, "Fi10");
  ASSERT_TRUE(item && !item->empty());
  point_at({item->left + 10, item->top + item->height() / 2});
  press(true);
  press(false);
  EXPECT_FALSE(OpenMenuItem(*plugin, nullptr));
  automation = plugin->Requests(vst::audioMasterAutomate);
  EXPECT_EQ(automation.back().index, 120);
  EXPECT_FLOAT_EQ(automation.back().opt, static_cast<float>(10 / 12.99 + 0.05));
  // The pointer left off the editor, where it cannot light up a later test's menus.
  MovePointer(host->native_handle(), {700, 600});
  plugin->Close();
}

}  // namespace
}  // namespace vellicor::host
