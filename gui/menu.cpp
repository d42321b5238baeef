#include "gui/menu.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "gui/menu_session.h"

namespace vellicor::gui {

namespace {

constexpr Color kMenuBackground = 0xF0F0F0;
constexpr Color kMenuFrame = 0x808080;
constexpr Color kDefaultHighlight = 0x316AC5;
constexpr Color kDisabledText = 0x8D8D8D;
constexpr int kTextInset = 18;  // room for a check mark left of the caption
constexpr int kMaxItemWidth = 2048;
constexpr int kMaxItemHeight = 256;
constexpr int kArmDistance = 4;
constexpr int kMaxScreen = 1 << 20;  // screen coordinates are bounded to this  // pixels the
                                     // opening press must travel to choose on release

std::string Upper(const std::string& s) {
  std::string u = s;
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

void DefaultDraw(const MenuItemDraw& d) {
  const bool lit = d.highlighted && d.item.enabled;
  d.surface.FillRect(d.rect, lit ? kDefaultHighlight : kMenuBackground);
  Font font = d.font;
  font.color = !d.item.enabled ? kDisabledText : lit ? kWhite : kBlack;
  const int y = d.rect.top + (d.rect.height() - TextHeight(font)) / 2;
  if (d.item.checked) {
    d.surface.FillRect(Rect::XYWH(d.rect.left + 6, d.rect.top + d.rect.height() / 2 - 2, 5, 5),
                       font.color);
  }
  d.surface.Text(d.rect.left + kTextInset, y, d.item.caption, font);
  if (!d.item.submenu.empty()) DrawSubmenuMark(d.surface, d.rect, font.color);
}

}  // namespace

Font MenuFont() {
  Font font;
  font.name = "Arial";
  font.size = kMenuFontSize;
  return font;
}

void DrawSubmenuMark(Bitmap& surface, const Rect& rect, Color color) {
  // A triangle pointing right, 4 pixels wide and 7 high, centred on the item's height: the
  // pixels whose centre lies at most 4 - u from its middle row, u across from its left side.
  const int x = rect.right - 9;
  const int y = rect.top + rect.height() / 2;
  const Rect area = surface.ScreenRect({x, y - 3, x + 4, y + 4}).Intersect(surface.pixel_bounds());
  for (int py = area.top; py < area.bottom; ++py) {
    const float v = surface.FormOf(py) - static_cast<float>(y) - 0.5f;
    for (int px = area.left; px < area.right; ++px) {
      const float u = surface.FormOf(px) - static_cast<float>(x);
      if (std::abs(v) <= 4.0f - u) surface.Row(py)[px] = color;
    }
  }
}

Size MeasureMenuItem(const MenuItem& item) {
  const Font font = MenuFont();
  const int width = item.width > 0 ? item.width : TextWidth(font, item.caption) + 2 * kTextInset;
  const int height = item.height > 0 ? item.height : TextHeight(font) + 5;
  return {std::clamp(width, 1, kMaxItemWidth), std::clamp(height, 1, kMaxItemHeight)};
}

MenuSession::MenuSession(PopupMenu menu, Point at, const Rect& screen, Scale scale)
    : menu_(std::move(menu)),
      opened_at_{std::clamp(at.x, -kMaxScreen, kMaxScreen),
                 std::clamp(at.y, -kMaxScreen, kMaxScreen)} {
  at = opened_at_;
  const int count = std::min<int>(static_cast<int>(menu_.items.size()), kMaxMenuItems);
  int width = 1;
  int y = kMenuBorder;
  for (int i = 0; i < count; ++i) {
    const Size size = MeasureMenuItem(menu_.items[i]);
    if (y + size.height > kMaxBitmapSide - kMenuBorder) break;
    width = std::max(width, size.width);
    rects_.push_back(Rect::XYWH(kMenuBorder, y, 0, size.height));
    names_.push_back(Upper(menu_.items[i].name));
    y += size.height;
  }
  for (Rect& r : rects_) r.right = kMenuBorder + width;
  const Size total{width + 2 * kMenuBorder, y + kMenuBorder};
  surface_.Reset(total.width, total.height, kMenuBackground, scale);

  // Keep the whole menu on the screen: move it left or up as far as needed, but never past
  // the screen's left or top edge.
  Rect r = Rect::XYWH(at.x, at.y, surface_.pixel_width(), surface_.pixel_height());
  if (r.right > screen.right) r = r.Offset(screen.right - r.right, 0);
  if (r.bottom > screen.bottom) r = r.Offset(0, screen.bottom - r.bottom);
  if (r.left < screen.left) r = r.Offset(screen.left - r.left, 0);
  if (r.top < screen.top) r = r.Offset(0, screen.top - r.top);
  screen_rect_ = r;
  Render();
}

bool MenuSession::Selectable(int index) const {
  return index >= 0 && index < item_count() && menu_.items[index].enabled;
}

Rect MenuSession::item_screen_rect(int index) const {
  if (index < 0 || index >= item_count()) return {};
  return surface_.ScreenRect(rects_[index]).Offset(screen_rect_.left, screen_rect_.top);
}

int MenuSession::ItemAt(Point screen) const {
  if (!screen_rect_.Contains(screen)) return -1;
  const Scale scale = surface_.scale();
  const Point local{scale.ToForm(screen.x - screen_rect_.left),
                    scale.ToForm(screen.y - screen_rect_.top)};
  for (int i = 0; i < item_count(); ++i) {
    if (rects_[i].Contains(local)) return i;
  }
  return -1;
}

MenuSession::Result MenuSession::Highlight(int index) {
  if (index == highlighted_) return Result::kNone;
  highlighted_ = index;
  Render();
  return Result::kRedraw;
}

MenuSession::Result MenuSession::Press(Point screen) {
  if (!screen_rect_.Contains(screen)) return Result::kCancel;
  armed_ = true;
  return Highlight(ItemAt(screen));
}

MenuSession::Result MenuSession::Release(Point screen) {
  const int index = ItemAt(screen);
  if (armed_ && Selectable(index)) return Choose(index);
  return Result::kNone;
}

MenuSession::Result MenuSession::Move(Point screen) {
  if (std::abs(screen.x - opened_at_.x) + std::abs(screen.y - opened_at_.y) >= kArmDistance) {
    armed_ = true;
  }
  return Highlight(ItemAt(screen));
}

MenuSession::Result MenuSession::Key(MenuKey key) {
  switch (key) {
    case MenuKey::kEscape:
      return Result::kCancel;
    case MenuKey::kEnter:
      return Selectable(highlighted_) ? Choose(highlighted_) : Result::kNone;
    case MenuKey::kUp:
    case MenuKey::kDown: {
      const int n = item_count();
      if (n == 0) return Result::kNone;
      const int step = key == MenuKey::kDown ? 1 : n - 1;
      int index = highlighted_ < 0 ? (key == MenuKey::kDown ? n - 1 : 0) : highlighted_;
      for (int tries = 0; tries < n; ++tries) {
        index = (index + step) % n;
        if (Selectable(index)) return Highlight(index);
      }
      return Result::kNone;
    }
  }
  return Result::kNone;
}

MenuSession::Result MenuSession::Choose(int index) {
  if (!Selectable(index)) return Result::kNone;
  chosen_ = index;
  return menu_.items[index].submenu.empty() ? Result::kChoose : Result::kOpenSubmenu;
}

PopupMenu MenuSession::Submenu() const {
  PopupMenu sub;
  if (chosen_ >= 0 && chosen_ < item_count()) sub.items = menu_.items[chosen_].submenu;
  sub.draw = menu_.draw;
  sub.on_choose = menu_.on_choose;
  sub.on_cancel = menu_.on_cancel;
  return sub;
}

Point MenuSession::SubmenuCorner() const {
  const Rect item = item_screen_rect(chosen_);
  const int border = surface_.ScreenEdge(kMenuBorder);
  return item.empty() ? Point{screen_rect_.right, screen_rect_.top}
                      : Point{item.right + border, item.top - border};
}

int MenuSession::SubmenuHolding(const std::string& upper_name) const {
  for (int i = 0; i < item_count(); ++i) {
    for (const MenuItem& sub : menu_.items[i].submenu) {
      if (Upper(sub.name) == upper_name) return i;
    }
  }
  return -1;
}

void MenuSession::Render() {
  surface_.Fill(kMenuBackground);
  const Rect b = surface_.bounds();
  surface_.FillRect({b.left, b.top, b.right, b.top + 1}, kMenuFrame);
  surface_.FillRect({b.left, b.bottom - 1, b.right, b.bottom}, kMenuFrame);
  surface_.FillRect({b.left, b.top, b.left + 1, b.bottom}, kMenuFrame);
  surface_.FillRect({b.right - 1, b.top, b.right, b.bottom}, kMenuFrame);
  for (int i = 0; i < item_count(); ++i) {
    const MenuItemDraw d{surface_, rects_[i],         menu_.items[i], names_[i],
                         i,        i == highlighted_, MenuFont()};
    // Drawing is the editor's code; a failure there leaves the item blank rather than
    // unwinding through the platform's event loop.
    try {
      if (menu_.draw) {
        menu_.draw(d);
      } else {
        DefaultDraw(d);
      }
    } catch (...) {
    }
  }
}

}  // namespace vellicor::gui
