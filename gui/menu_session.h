// One open popup menu: layout, highlight, mouse and keyboard rules and drawing, shared by the
// backends (which only move the surface to the screen and feed input in).
#pragma once

#include <string>
#include <vector>

#include "gui/menu.h"

namespace vellicor::gui {

enum class MenuKey { kEscape, kUp, kDown, kEnter };

class MenuSession {
 public:
  // kOpenSubmenu: the chosen item holds a submenu, which replaces this menu (Submenu()).
  enum class Result { kNone, kRedraw, kChoose, kCancel, kOpenSubmenu };

  // Lays the menu out with its top-left corner at `at`, moved as little as needed to lie
  // fully inside `screen`, and draws it at `scale`: items are measured and drawn in the menu's
  // own (form) pixels, its surface and everything on the screen are in screen pixels.
  MenuSession(PopupMenu menu, Point at, const Rect& screen, Scale scale = {});

  const PopupMenu& menu() const { return menu_; }
  int item_count() const { return static_cast<int>(rects_.size()); }
  const std::string& name(int index) const { return names_[index]; }
  const Rect& screen_rect() const { return screen_rect_; }
  // Item `index` on the screen; empty for an index out of range.
  Rect item_screen_rect(int index) const;
  const Bitmap& surface() const { return surface_; }
  int highlighted() const { return highlighted_; }
  // The item a kChoose result refers to.
  int chosen() const { return chosen_; }

  // Input in screen coordinates.
  Result Press(Point screen);
  Result Release(Point screen);
  Result Move(Point screen);
  Result Key(MenuKey key);
  // Chooses an item directly (headless tests): kChoose, or kNone for a disabled or missing one.
  Result Choose(int index);

  // Index of the item at a screen point, or -1.
  int ItemAt(Point screen) const;

  // After kOpenSubmenu: the chosen item's submenu with this menu's drawing and callbacks,
  // and where it opens (beside the item).
  PopupMenu Submenu() const;
  Point SubmenuCorner() const;
  // The item (not a submenu holder) named `upper_name` in one of the items' submenus: the index
  // of the item holding it, or -1.
  int SubmenuHolding(const std::string& upper_name) const;

 private:
  void Render();
  bool Selectable(int index) const;
  Result Highlight(int index);

  PopupMenu menu_;
  std::vector<std::string> names_;
  std::vector<Rect> rects_;  // on the surface, in its form pixels
  Rect screen_rect_;
  Bitmap surface_;
  Point opened_at_;
  int highlighted_ = -1;
  int chosen_ = -1;
  bool armed_ = false;  // a release may choose
};

}  // namespace vellicor::gui
