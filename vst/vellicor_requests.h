// Our own editor requests, for the command-line host and the tests. They travel through
// effVendorSpecific with index kVendorRequestId, the request kind in `value` and a pointer to
// its record in `ptr`. The plug-in answers 1 when it did what was asked and 0 otherwise: an
// unknown kind, a null or malformed record, no editor open, or a request the open editor
// cannot serve (a native window takes its input and time from the window system).
//
// Every record starts with its own size in bytes (set it to sizeof the record); a record
// whose size does not match is refused. Host and plug-in share one process, so the pointers
// in a record are plain addresses.
#pragma once

#include <cstdint>

#include "vst/vst2.h"

namespace vellicor {

constexpr int32_t kVendorRequestId = vst::FourCC('V', 'l', 'c', '1');

namespace requests {

enum Kind : int32_t {
  // CaptureRecord: the editor's composed frame (what its window shows).
  kCaptureFrame = 1,
  // MouseRecord: one mouse event at a point of the editor (headless editor only).
  kMouse = 2,
  // ClockRecord: moves the editor's clock on, firing its timers (headless editor only).
  kAdvanceClock = 3,
  // MenuItemRecord: chooses an item of the editor's open popup menu by name.
  kChooseMenuItem = 4,
  // ComponentRecord: where a component of the editor lies, by name.
  kComponentRect = 5,
  // MenuRecord: the editor's open popup menu: where it and one of its items lie, its pixels.
  kOpenMenu = 6,
  // ScaleRecord: the editor's size from now on, whatever the user, the host or the system say
  // (the command-line host's --scale). Also before the editor opens.
  kSetScale = 7,
};

// `width` and `height` are always filled in; the pixels (0x00RRGGBB, rows from the top) only
// when `capacity`, counted in pixels, holds width * height of them. Otherwise answers 0.
struct CaptureRecord {
  int32_t size;
  int32_t width;
  int32_t height;
  int32_t capacity;
  uint32_t* pixels;
};

enum MouseAction : int32_t { kDown = 0, kMove = 1, kUp = 2, kClick = 3 };
enum MouseButton : int32_t { kNoButton = 0, kLeft = 1, kRight = 2, kMiddle = 3 };
enum Modifier : int32_t { kShift = 1, kCtrl = 2, kAlt = 4 };

// (x, y) in the editor window's client pixels. kClick is a press and a release at one point.
struct MouseRecord {
  int32_t size;
  int32_t action;
  int32_t x;
  int32_t y;
  int32_t button;
  int32_t modifiers;
};

struct ClockRecord {
  int32_t size;
  int32_t milliseconds;  // 0 .. one hour
};

// The item's name as the editor knows it (case is ignored), a zero-terminated string.
struct MenuItemRecord {
  int32_t size;
  const char* name;
};

// In: `name` (case is ignored). Out: the component's rectangle in the editor form's own pixels
// (the window's client pixels at 100 %; at another scale a form point x is client pixel
// gui::Scale::ScreenPixelIn(x)), and whether it is showing (it and every panel holding it are
// visible).
struct ComponentRecord {
  int32_t size;
  const char* name;
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  int32_t visible;
};

// In: `item`, the name of one of the menu's items (case is ignored), or null. Out: the open
// menu's rectangle in the editor window's client pixels (it may reach past the window's edges)
// and its top-left corner on the screen; the item's rectangle in client pixels, all zero when
// the menu has no such item; the menu's pixels (0x00RRGGBB, rows from the top) only when
// `capacity`, counted in pixels, holds width * height of them. Answers 0 when no menu is open.
struct MenuRecord {
  int32_t size;
  const char* item;
  int32_t left;
  int32_t top;
  int32_t width;
  int32_t height;
  int32_t screen_left;
  int32_t screen_top;
  int32_t item_left;
  int32_t item_top;
  int32_t item_width;
  int32_t item_height;
  int32_t capacity;
  uint32_t* pixels;
};

// The size in percent: 100 to 300, in steps of 25 (others are taken to the nearest step).
struct ScaleRecord {
  int32_t size;
  int32_t percent;
};

}  // namespace requests
}  // namespace vellicor
