// Points, sizes and rectangles in pixels, as the editor's canvas code uses them.
#pragma once

#include <algorithm>

namespace vellicor::gui {

struct Point {
  int x = 0;
  int y = 0;

  friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
  int width = 0;
  int height = 0;

  friend bool operator==(const Size&, const Size&) = default;
};

// A rectangle whose right and bottom edges lie just outside it, like a Windows RECT:
// (0, 0)-(31, 31) covers 31 x 31 pixels.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  static constexpr Rect XYWH(int x, int y, int width, int height) {
    return {x, y, x + width, y + height};
  }

  constexpr int width() const { return right - left; }
  constexpr int height() const { return bottom - top; }
  constexpr bool empty() const { return right <= left || bottom <= top; }
  constexpr bool Contains(Point p) const {
    return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
  }
  constexpr Rect Offset(int dx, int dy) const {
    return {left + dx, top + dy, right + dx, bottom + dy};
  }
  // The common part; empty (all zero) when the two do not overlap.
  constexpr Rect Intersect(const Rect& o) const {
    Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
           std::min(bottom, o.bottom)};
    return r.empty() ? Rect{} : r;
  }
  // The smallest rectangle holding both; an empty rectangle adds nothing.
  constexpr Rect Union(const Rect& o) const {
    if (empty()) return o;
    if (o.empty()) return *this;
    return {std::min(left, o.left), std::min(top, o.top), std::max(right, o.right),
            std::max(bottom, o.bottom)};
  }

  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace vellicor::gui
