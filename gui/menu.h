// Popup menus with owner-drawn items. A PlatformWindow shows one at a screen point in a surface
// of its own (so it may reach past the editor's edge), kept fully on the screen.
//
// Menus are not modal: Popup returns at once, and the choice arrives later through on_choose,
// from the event pump, after the menu has closed. Escape or a press outside the menu cancels
// it (on_cancel). The mouse picks an item by a press and release on it, or by releasing the
// button that opened the menu on it after moving there; Up, Down and Return work too.
//
// An item may hold a submenu: choosing it shows the submenu beside it in the menu's place,
// with the same drawing and callbacks, and choosing there reports the submenu's item.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "gui/bitmap.h"

namespace vellicor::gui {

struct MenuItem {
  std::string name;     // identifies the item; callbacks get it upper-cased
  std::string caption;  // what the item is sized by (and what the default drawing shows)
  bool checked = false;
  bool enabled = true;  // a disabled item is drawn but cannot be chosen
  int width = 0;        // 0: measured from the caption in the menu font
  int height = 0;       // 0: the menu's item height
  // Non-empty: choosing this item opens these items instead of reporting it.
  std::vector<MenuItem> submenu = {};
};

// One item to draw: fill `rect` of `surface` in the item's look.
struct MenuItemDraw {
  Bitmap& surface;  // the whole menu
  Rect rect;        // this item on it
  const MenuItem& item;
  const std::string& name;  // the item's name, upper-cased
  int index;
  bool highlighted;  // under the mouse or chosen by the keyboard
  Font font;         // the menu's font ("Arial" at the menu size); change name or colour freely
};

struct PopupMenu {
  std::vector<MenuItem> items;  // at most kMaxMenuItems are shown
  // Owner drawing of each item; without it the caption is drawn on plain colours.
  std::function<void(const MenuItemDraw&)> draw;
  std::function<void(const std::string& name, int index)> on_choose;
  std::function<void()> on_cancel;
};

// The menu metrics of this platform layer, the same on every target.
constexpr int kMaxMenuItems = 256;
constexpr int kMenuBorder = 3;    // frame around the items
constexpr int kMenuFontSize = 9;  // points
Font MenuFont();
// The size an item takes: its own width and height, or what the caption needs.
Size MeasureMenuItem(const MenuItem& item);
// The mark of an item that opens a submenu: a small triangle at the right of `rect`.
void DrawSubmenuMark(Bitmap& surface, const Rect& rect, Color color);

}  // namespace vellicor::gui
