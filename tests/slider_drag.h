// A slider dragged in a host's window as a user drags it, for the tests of every format's
// embedded editor.
#pragma once

#include <chrono>
#include <thread>

#include "gui/host_window.h"

namespace vellicor::testing {

// The host's loop for `ms` milliseconds: its window's events, then the plug-in's idle call,
// every 10 ms.
template <typename IdlePlugin>
auto HostLoop(gui::HostWindow& window, IdlePlugin idle_plugin) {
  return [&window, idle_plugin](int ms) {
    for (int t = 0; t < ms; t += 10) {
      window.Pump();
      idle_plugin();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
}

// Pressed a quarter along the slider, moved in eight steps to three quarters, released, with
// the host's loop running before the press, between the steps and after the release.
template <typename Loop>
void DragSlider(gui::HostWindow& window, const gui::Rect& slider, Loop loop) {
  auto along = [&slider](int step) {
    return gui::Point{slider.left + slider.width() * (8 + 4 * step) / 32, slider.top + 6};
  };
  loop(300);
  window.SendMouse(gui::MouseAction::kMove, along(0), gui::MouseButton::kNone, 0);
  window.SendMouse(gui::MouseAction::kDown, along(0), gui::MouseButton::kLeft, 0);
  for (int step = 1; step <= 8; ++step) {
    loop(30);
    window.SendMouse(gui::MouseAction::kMove, along(step), gui::MouseButton::kLeft, 0);
  }
  window.SendMouse(gui::MouseAction::kUp, along(8), gui::MouseButton::kLeft, 0);
  loop(200);
}

}  // namespace vellicor::testing
