// Bitmap: 32-bit pixels and the canvas operations the editor paints with.
//
// Every operation clips to the bitmap: coordinates may lie anywhere, nothing is written outside
// the pixels. Rectangles exclude their right and bottom edges, as on Windows.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "gui/font.h"
#include "gui/geometry.h"

namespace vellicor::gui {

// Largest width or height of a bitmap; larger requests are cut to it.
constexpr int kMaxBitmapSide = 4096;

class Bitmap {
 public:
  Bitmap() = default;
  // Sizes are bounded to 0..kMaxBitmapSide.
  Bitmap(int width, int height, Color fill = kWhite);

  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  Rect bounds() const { return {0, 0, width_, height_}; }

  // Pixels row by row from the top, width() per row.
  const std::vector<Color>& pixels() const { return pixels_; }
  Color* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const Color* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }

  // Changes the size; the contents become `fill`.
  void Reset(int width, int height, Color fill = kWhite);

  // The pixel at (x, y); black outside the bitmap.
  Color Pixel(int x, int y) const;
  void SetPixel(int x, int y, Color color);

  // The colour keyed as transparent when this bitmap is drawn transparently: its bottom-left
  // pixel (black for an empty bitmap).
  Color TransparentColor() const { return Pixel(0, height_ - 1); }

  void Fill(Color color) { FillRect(bounds(), color); }
  void FillRect(const Rect& rect, Color color);

  // A one-pixel line from (x0, y0) towards (x1, y1), the end point itself not drawn (as a
  // Windows pen's MoveTo/LineTo). Coordinates are bounded to +-32768.
  void Line(int x0, int y0, int x1, int y1, Color color);

  // Copies `from` (a rectangle of `source`) to (x, y) of this bitmap. With a key colour, source
  // pixels of that colour are skipped so that what lies below shows through.
  void Copy(const Bitmap& source, const Rect& from, int x, int y,
            std::optional<Color> key = std::nullopt);
  // The whole of `source` at (x, y); transparently keyed by its bottom-left pixel when asked.
  void Draw(const Bitmap& source, int x, int y, bool transparent = false);

  // Draws text with its line box's top-left corner at (x, y): glyphs antialiased in the font's
  // colour, over a filled box of the background colour when one is given, over what is there
  // when none is (a clear brush). Returns the width drawn (TextWidth). Nothing is cut except
  // by the bitmap's edges.
  int Text(int x, int y, std::string_view text, const Font& font,
           std::optional<Color> background = std::nullopt);

  friend bool operator==(const Bitmap&, const Bitmap&) = default;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<Color> pixels_;
};

}  // namespace vellicor::gui
