// Bitmap: 32-bit pixels and the canvas operations the editor paints with.
//
// A bitmap has a scale: its canvas operations take the form's coordinates (its width() and
// height() are the form's pixels) and paint its pixels at the screen's resolution, pixel_width()
// x pixel_height(). Form coordinate x lies on the pixel edge ScreenEdge(x), the form's length
// rounded up, so that pixel p shows form pixel Scale::ToForm(p), as the mouse maps it back, and
// neighbouring rectangles meet without a gap or an overlap. Fills are exact to those edges; lines
// and dots are as wide as the scale's pen; text is rasterised at the scaled size where the form
// lays it out at its own metrics. At scale 1 pixels and form pixels are one.
//
// Every operation clips to the bitmap: coordinates may lie anywhere, nothing is written outside
// the pixels. Rectangles exclude their right and bottom edges, as on Windows.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "gui/font.h"
#include "gui/geometry.h"
#include "gui/scale.h"

namespace vellicor::gui {

// Largest width or height of a bitmap, in pixels; larger requests are cut to it.
constexpr int kMaxBitmapSide = 4096;

class Bitmap {
 public:
  Bitmap() = default;
  // Sizes are bounded to 0..kMaxBitmapSide pixels.
  Bitmap(int width, int height, Color fill = kWhite);
  Bitmap(int width, int height, Color fill, Scale scale);

  // --- In the form's coordinates ---
  int width() const { return width_; }
  int height() const { return height_; }
  bool empty() const { return width_ == 0 || height_ == 0; }
  Rect bounds() const { return {0, 0, width_, height_}; }
  Scale scale() const { return scale_; }

  // --- In pixels ---
  int pixel_width() const { return pixel_width_; }
  int pixel_height() const { return pixel_height_; }
  Rect pixel_bounds() const { return {0, 0, pixel_width_, pixel_height_}; }
  // Pixels row by row from the top, pixel_width() per row.
  const std::vector<Color>& pixels() const { return pixels_; }
  Color* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * pixel_width_; }
  const Color* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * pixel_width_; }
  // The pixel at (x, y); black outside the bitmap.
  Color ScreenPixel(int x, int y) const;
  void SetScreenPixel(int x, int y, Color color);

  // --- From the form to the pixels, for pictures drawn pixel by pixel ---
  // The pixel edge of a form coordinate (bounded to +-2^28).
  int ScreenEdge(int form) const;
  // The pixels a rectangle of the form covers (not clipped).
  Rect ScreenRect(const Rect& form) const;
  // The form coordinate of a pixel's centre: (p + 0.5) / factor, which is p + 0.5 at scale 1.
  float FormOf(int pixel) const { return (static_cast<float>(pixel) + 0.5f) / factor_; }
  float factor() const { return factor_; }
  // The width of a one-pixel line of the form, in pixels.
  int pen() const { return scale_.PenWidth(); }
  // The top-left pixel of the pen dot that stands for form pixel `form`: centred on it.
  int PenAt(int form) const;

  // Changes the size; the contents become `fill`. Without a scale the bitmap keeps its own.
  void Reset(int width, int height, Color fill = kWhite);
  void Reset(int width, int height, Color fill, Scale scale);

  // The form pixel at (x, y): the pixel under its pen dot; black outside the bitmap.
  Color Pixel(int x, int y) const;
  // A dot of the pen's width on form pixel (x, y).
  void SetPixel(int x, int y, Color color);

  // The colour keyed as transparent when this bitmap is drawn transparently: its bottom-left
  // pixel (black for an empty bitmap).
  Color TransparentColor() const { return ScreenPixel(0, pixel_height_ - 1); }
  // The bottom-left pixel of a rectangle of the form (a frame of a strip).
  Color CornerColor(const Rect& form) const;

  void Fill(Color color) { FillRect(bounds(), color); }
  void FillRect(const Rect& rect, Color color);

  // A one-pixel line of the form from (x0, y0) towards (x1, y1), the end point itself not drawn
  // (as a Windows pen's MoveTo/LineTo), drawn with the pen at the screen's resolution.
  // Coordinates are bounded to +-32768.
  void Line(int x0, int y0, int x1, int y1, Color color);
  // The same in pixels: the pen's top-left corner from (x0, y0) towards (x1, y1), the end not
  // drawn; for curves sampled at the screen's resolution.
  void PixelLine(int x0, int y0, int x1, int y1, Color color);
  // One pen dot with its top-left corner at pixel (x, y).
  void Stamp(int x, int y, Color color);

  // Copies `from` (a rectangle of `source`) to (x, y) of this bitmap. With a key colour, source
  // pixels of that colour are skipped so that what lies below shows through. Only the pixels of
  // `from` are read: where the two bitmaps' pixel grids lie differently on the form (fractional
  // scales), its last row or column is repeated rather than a neighbour's read.
  void Copy(const Bitmap& source, const Rect& from, int x, int y,
            std::optional<Color> key = std::nullopt);
  // The whole of `source` at (x, y); transparently keyed by its bottom-left pixel when asked.
  void Draw(const Bitmap& source, int x, int y, bool transparent = false);
  // The whole of `source` at (x, y), only where it falls inside `clip` (this bitmap's form
  // coordinates). Pieces drawn through different clips fit together pixel for pixel.
  void DrawClipped(const Bitmap& source, int x, int y, const Rect& clip,
                   std::optional<Color> key = std::nullopt);

  // Draws text with its line box's top-left corner at (x, y): glyphs antialiased in the font's
  // colour, over a filled box of the background colour when one is given, over what is there
  // when none is (a clear brush). Laid out at the font's own metrics in the form's pixels and
  // rasterised at the scaled size. Returns the width drawn (TextWidth). Nothing is cut except
  // by the bitmap's edges.
  int Text(int x, int y, std::string_view text, const Font& font,
           std::optional<Color> background = std::nullopt);

  friend bool operator==(const Bitmap&, const Bitmap&) = default;

 private:
  // Copies the pixels of form rectangle `part` of `source` (clipped to it already), whose
  // origin lies at form point (origin_x, origin_y) of this bitmap, reading only pixels inside
  // `readable`.
  void Blit(const Bitmap& source, const Rect& part, long long origin_x, long long origin_y,
            const Rect& readable, std::optional<Color> key);
  void PenRun(int x0, int y0, int x1, int y1, Color color, long long positions);

  int width_ = 0;
  int height_ = 0;
  Scale scale_;
  float factor_ = 1.0f;
  int pixel_width_ = 0;
  int pixel_height_ = 0;
  std::vector<Color> pixels_;
};

}  // namespace vellicor::gui
