#include "gui/bitmap.h"

#include <algorithm>
#include <cstdlib>

namespace vellicor::gui {

namespace {

int BoundSide(int side) {
  return std::clamp(side, 0, kMaxBitmapSide);
}

constexpr int kMaxCoordinate = 32768;

int BoundCoordinate(int v) {
  return std::clamp(v, -kMaxCoordinate, kMaxCoordinate);
}

}  // namespace

Bitmap::Bitmap(int width, int height, Color fill) {
  Reset(width, height, fill);
}

void Bitmap::Reset(int width, int height, Color fill) {
  width_ = BoundSide(width);
  height_ = BoundSide(height);
  if (width_ == 0 || height_ == 0) width_ = height_ = 0;
  pixels_.assign(static_cast<size_t>(width_) * height_, fill & 0xFFFFFF);
}

Color Bitmap::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return kBlack;
  return Row(y)[x];
}

void Bitmap::SetPixel(int x, int y, Color color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Row(y)[x] = color & 0xFFFFFF;
}

void Bitmap::FillRect(const Rect& rect, Color color) {
  const Rect r = rect.Intersect(bounds());
  for (int y = r.top; y < r.bottom; ++y) std::fill(Row(y) + r.left, Row(y) + r.right, color);
}

void Bitmap::Line(int x0, int y0, int x1, int y1, Color color) {
  x0 = BoundCoordinate(x0);
  y0 = BoundCoordinate(y0);
  x1 = BoundCoordinate(x1);
  y1 = BoundCoordinate(y1);
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  while (x0 != x1 || y0 != y1) {
    SetPixel(x0, y0, color);
    const int e2 = 2 * error;
    if (e2 >= dy) {
      error += dy;
      x0 += sx;
    }
    if (e2 <= dx) {
      error += dx;
      y0 += sy;
    }
  }
}

void Bitmap::Copy(const Bitmap& source, const Rect& from, int x, int y, std::optional<Color> key) {
  // Clip the source rectangle to the source, then the destination to this bitmap, moving
  // both together so that pixel (from.left, from.top) still lands on (x, y). In 64 bits:
  // far-off rectangles must not overflow on the way.
  const Rect src = from.Intersect(source.bounds());
  if (src.empty()) return;
  const long long dst_x = static_cast<long long>(x) + src.left - from.left;
  const long long dst_y = static_cast<long long>(y) + src.top - from.top;
  const long long left = std::max<long long>(dst_x, 0);
  const long long top = std::max<long long>(dst_y, 0);
  const long long right = std::min<long long>(dst_x + src.width(), width_);
  const long long bottom = std::min<long long>(dst_y + src.height(), height_);
  if (left >= right || top >= bottom) return;
  const int w = static_cast<int>(right - left);
  const int h = static_cast<int>(bottom - top);
  const int sx = static_cast<int>(src.left + (left - dst_x));
  const int sy = static_cast<int>(src.top + (top - dst_y));
  const int dx = static_cast<int>(left);
  const int dy = static_cast<int>(top);
  if (&source == this) {
    // Overlapping copy within one bitmap: go through a copy of the source rows.
    Bitmap copy(w, h);
    copy.Copy(source, Rect::XYWH(sx, sy, w, h), 0, 0);
    Copy(copy, copy.bounds(), dx, dy, key);
    return;
  }
  for (int row = 0; row < h; ++row) {
    const Color* in = source.Row(sy + row) + sx;
    Color* out = Row(dy + row) + dx;
    if (!key) {
      std::copy(in, in + w, out);
    } else {
      for (int i = 0; i < w; ++i) {
        if (in[i] != *key) out[i] = in[i];
      }
    }
  }
}

void Bitmap::Draw(const Bitmap& source, int x, int y, bool transparent) {
  std::optional<Color> key;
  if (transparent) key = source.TransparentColor();
  Copy(source, source.bounds(), x, y, key);
}

}  // namespace vellicor::gui
