#include "gui/bitmap.h"

#include <algorithm>
#include <cstdlib>

namespace vellicor::gui {

namespace {

int BoundSide(int side) {
  return std::clamp(side, 0, kMaxBitmapSide);
}

constexpr int kMaxCoordinate = 32768;
constexpr long long kMaxEdge = 1 << 28;

int BoundCoordinate(int v) {
  return std::clamp(v, -kMaxCoordinate, kMaxCoordinate);
}

long long FloorDiv(long long a, long long b) {
  return a >= 0 ? a / b : -((-a + b - 1) / b);
}

// The pixel edge of a form coordinate at `quarters`: rounded up, so that pixel p shows form
// pixel floor(p * 4 / quarters).
long long EdgeOf(long long form, int quarters) {
  return -FloorDiv(-form * quarters, 4);
}

}  // namespace

Bitmap::Bitmap(int width, int height, Color fill) {
  Reset(width, height, fill);
}

Bitmap::Bitmap(int width, int height, Color fill, Scale scale) {
  Reset(width, height, fill, scale);
}

void Bitmap::Reset(int width, int height, Color fill) {
  Reset(width, height, fill, scale_);
}

void Bitmap::Reset(int width, int height, Color fill, Scale scale) {
  scale_ = scale;
  factor_ = static_cast<float>(scale.quarters()) / 4.0f;
  width_ = BoundSide(width);
  height_ = BoundSide(height);
  if (width_ == 0 || height_ == 0) width_ = height_ = 0;
  pixel_width_ = BoundSide(scale.ScreenSize(width_));
  pixel_height_ = BoundSide(scale.ScreenSize(height_));
  pixels_.assign(static_cast<size_t>(pixel_width_) * pixel_height_, fill & 0xFFFFFF);
}

Color Bitmap::ScreenPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= pixel_width_ || y >= pixel_height_) return kBlack;
  return Row(y)[x];
}

void Bitmap::SetScreenPixel(int x, int y, Color color) {
  if (x < 0 || y < 0 || x >= pixel_width_ || y >= pixel_height_) return;
  Row(y)[x] = color & 0xFFFFFF;
}

int Bitmap::ScreenEdge(int form) const {
  return static_cast<int>(std::clamp(EdgeOf(form, scale_.quarters()), -kMaxEdge, kMaxEdge));
}

Rect Bitmap::ScreenRect(const Rect& form) const {
  return {ScreenEdge(form.left), ScreenEdge(form.top), ScreenEdge(form.right),
          ScreenEdge(form.bottom)};
}

int Bitmap::PenAt(int form) const {
  // The dot's top-left corner nearest to where a dot centred on the form pixel would start:
  // floor((form + 0.5) * factor - pen / 2 + 0.5), in quarters.
  const long long q = scale_.quarters();
  const long long at = FloorDiv((2LL * form + 1) * q - 4LL * pen() + 4, 8);
  return static_cast<int>(std::clamp(at, -kMaxEdge, kMaxEdge));
}

Color Bitmap::Pixel(int x, int y) const {
  return ScreenPixel(PenAt(x), PenAt(y));
}

void Bitmap::SetPixel(int x, int y, Color color) {
  Stamp(PenAt(x), PenAt(y), color);
}

Color Bitmap::CornerColor(const Rect& form) const {
  return ScreenPixel(ScreenEdge(form.left), ScreenEdge(form.bottom) - 1);
}

void Bitmap::FillRect(const Rect& rect, Color color) {
  const Rect r = ScreenRect(rect).Intersect(pixel_bounds());
  for (int y = r.top; y < r.bottom; ++y) std::fill(Row(y) + r.left, Row(y) + r.right, color);
}

void Bitmap::Stamp(int x, int y, Color color) {
  const int size = pen();
  if (size == 1) {
    SetScreenPixel(x, y, color);
    return;
  }
  const Rect r = Rect::XYWH(x, y, size, size).Intersect(pixel_bounds());
  for (int row = r.top; row < r.bottom; ++row) {
    std::fill(Row(row) + r.left, Row(row) + r.right, color & 0xFFFFFF);
  }
}

void Bitmap::PenRun(int x0, int y0, int x1, int y1, Color color, long long positions) {
  const int dx = std::abs(x1 - x0);
  const int dy = -std::abs(y1 - y0);
  const int sx = x0 < x1 ? 1 : -1;
  const int sy = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  for (long long n = 0; n < positions && (x0 != x1 || y0 != y1); ++n) {
    Stamp(x0, y0, color);
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

void Bitmap::Line(int x0, int y0, int x1, int y1, Color color) {
  x0 = BoundCoordinate(x0);
  y0 = BoundCoordinate(y0);
  x1 = BoundCoordinate(x1);
  y1 = BoundCoordinate(y1);
  if (x0 == x1 && y0 == y1) return;
  const int px0 = PenAt(x0), py0 = PenAt(y0), px1 = PenAt(x1), py1 = PenAt(y1);
  // The pen covers the line's length in the form, n * factor pixels, and no more: it stops
  // pen - 1 pixels short of the end, with at least one dot.
  const long long major = std::max(std::abs(px1 - px0), std::abs(py1 - py0));
  PenRun(px0, py0, px1, py1, color, std::max<long long>(1, major - pen() + 1));
}

void Bitmap::PixelLine(int x0, int y0, int x1, int y1, Color color) {
  const int bound = 4 * kMaxCoordinate;
  PenRun(std::clamp(x0, -bound, bound), std::clamp(y0, -bound, bound),
         std::clamp(x1, -bound, bound), std::clamp(y1, -bound, bound), color, 8LL * bound);
}

void Bitmap::Blit(const Bitmap& source, const Rect& part, long long origin_x, long long origin_y,
                  const Rect& readable, std::optional<Color> key) {
  if (part.empty() || readable.empty()) return;
  const int q = scale_.quarters();
  const int source_q = source.scale_.quarters();
  // The pixels of this bitmap the part covers, clipped to it.
  const long long left = std::max<long long>(EdgeOf(origin_x + part.left, q), 0);
  const long long top = std::max<long long>(EdgeOf(origin_y + part.top, q), 0);
  const long long right = std::min<long long>(EdgeOf(origin_x + part.right, q), pixel_width_);
  const long long bottom = std::min<long long>(EdgeOf(origin_y + part.bottom, q), pixel_height_);
  if (left >= right || top >= bottom) return;
  const int w = static_cast<int>(right - left);
  const int h = static_cast<int>(bottom - top);
  if (&source == this) {
    // Overlapping copy within one bitmap: read from a copy.
    const Bitmap copy = source;
    Blit(copy, part, origin_x, origin_y, readable, key);
    return;
  }
  // Which source pixel each pixel shows. At one scale the two grids are apart by a whole
  // offset: where the source's origin lands, the same for every piece, so that pieces copied
  // separately fit together. Otherwise each pixel's centre is looked up in the source.
  if (source_q != q) {
    std::vector<int> columns(static_cast<size_t>(w));
    auto lookup = [&](long long origin, long long pixel, int lo, int hi) {
      // floor(((pixel + 0.5) * 4 / q - origin) * source_q / 4)
      const long long at = FloorDiv(((2 * pixel + 1) * 4 - 2 * origin * q) * source_q, 8LL * q);
      return static_cast<int>(std::clamp<long long>(at, lo, hi - 1));
    };
    for (int i = 0; i < w; ++i) {
      columns[static_cast<size_t>(i)] = lookup(origin_x, left + i, readable.left, readable.right);
    }
    for (int row = 0; row < h; ++row) {
      const Color* in = source.Row(lookup(origin_y, top + row, readable.top, readable.bottom));
      Color* out = Row(static_cast<int>(top) + row) + left;
      for (int i = 0; i < w; ++i) {
        const Color c = in[columns[static_cast<size_t>(i)]];
        if (!key || c != *key) out[i] = c;
      }
    }
    return;
  }
  const long long offset_x = EdgeOf(origin_x, q);
  const long long offset_y = EdgeOf(origin_y, q);
  // The pixels that read their own column; those before and after repeat the readable edge.
  const long long inner_left = std::clamp<long long>(readable.left + offset_x, left, right);
  const long long inner_right = std::clamp<long long>(readable.right + offset_x, left, right);
  for (int row = 0; row < h; ++row) {
    const long long source_row =
        std::clamp<long long>(top + row - offset_y, readable.top, readable.bottom - 1);
    const Color* in = source.Row(static_cast<int>(source_row));
    Color* out = Row(static_cast<int>(top) + row);
    auto put = [&](long long pixel, Color c) {
      if (!key || c != *key) out[pixel] = c;
    };
    for (long long p = left; p < inner_left; ++p) put(p, in[readable.left]);
    if (!key && inner_left < inner_right) {
      std::copy(in + (inner_left - offset_x), in + (inner_right - offset_x), out + inner_left);
    } else {
      for (long long p = inner_left; p < inner_right; ++p) put(p, in[p - offset_x]);
    }
    for (long long p = std::max(inner_right, left); p < right; ++p) put(p, in[readable.right - 1]);
  }
}

void Bitmap::Copy(const Bitmap& source, const Rect& from, int x, int y, std::optional<Color> key) {
  // In 64 bits: far-off rectangles must not overflow on the way.
  const Rect part = from.Intersect(source.bounds());
  if (part.empty()) return;
  const Rect readable = source.ScreenRect(part).Intersect(source.pixel_bounds());
  Blit(source, part, static_cast<long long>(x) - from.left, static_cast<long long>(y) - from.top,
       readable, key);
}

void Bitmap::Draw(const Bitmap& source, int x, int y, bool transparent) {
  std::optional<Color> key;
  if (transparent) key = source.TransparentColor();
  Copy(source, source.bounds(), x, y, key);
}

void Bitmap::DrawClipped(const Bitmap& source, int x, int y, const Rect& clip,
                         std::optional<Color> key) {
  const Rect part = clip.Offset(-x, -y).Intersect(source.bounds());
  if (part.empty()) return;
  Blit(source, part, x, y, source.pixel_bounds(), key);
}

}  // namespace vellicor::gui
