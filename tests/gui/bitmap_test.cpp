// Canvas operations, image lists, text and PNG output.
#include "gui/bitmap.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "gui/image_list.h"
#include "gui/png.h"

namespace vellicor::gui {
namespace {

// A bitmap whose every pixel differs, so a misplaced copy shows.
Bitmap Numbered(int w, int h) {
  Bitmap b(w, h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) b.SetPixel(x, y, static_cast<Color>(0x100000 + y * 1000 + x));
  }
  return b;
}

int CountColor(const Bitmap& b, Color c) {
  int n = 0;
  for (Color p : b.pixels()) n += p == c;
  return n;
}

// The smallest rectangle holding every pixel that is not `background`.
Rect Inked(const Bitmap& b, Color background) {
  Rect inked;
  for (int y = 0; y < b.height(); ++y) {
    for (int x = 0; x < b.width(); ++x) {
      if (b.Pixel(x, y) != background) inked = inked.Union(Rect::XYWH(x, y, 1, 1));
    }
  }
  return inked;
}

TEST(Bitmap, FillRectAndLineLeaveOutTheirEndAndClip) {
  Bitmap b(10, 10, kWhite);
  b.FillRect({2, 3, 5, 7}, kBlack);
  EXPECT_EQ(CountColor(b, kBlack), 3 * 4);
  EXPECT_EQ(Inked(b, kWhite), (Rect{2, 3, 5, 7}));
  b.FillRect({-100, -100, 100, 2}, kGrey);
  EXPECT_EQ(CountColor(b, kGrey), 20);
  EXPECT_EQ(Bitmap(-5, 7).width(), 0);
  EXPECT_EQ(Bitmap(1 << 20, 1).width(), kMaxBitmapSide);

  b.Fill(kWhite);
  b.Line(1, 1, 6, 1, kBlack);
  EXPECT_EQ(Inked(b, kWhite), (Rect{1, 1, 6, 2}));
  b.Fill(kWhite);
  b.Line(8, 8, 2, 5, kBlack);  // backwards and sloped: one pixel per column
  EXPECT_EQ(CountColor(b, kBlack), 6);
  EXPECT_EQ(Inked(b, kWhite), (Rect{3, 5, 9, 9}));
  b.Line(-2000000000, 5, 2000000000, 5, kGrey);  // bounded, clipped, quick
  EXPECT_EQ(CountColor(b, kGrey), 10);
}

TEST(Bitmap, TransparentCopyKeysTheBottomLeftPixel) {
  // The key is the bottom-left pixel's colour, wherever else it occurs; the top-left pixel
  // (grey here) is an ordinary colour.
  Bitmap sprite(4, 3, 0x00FF00);
  sprite.SetPixel(0, 2, 0xFF00FF);
  sprite.SetPixel(2, 0, 0xFF00FF);
  sprite.SetPixel(0, 0, kGrey);
  Bitmap canvas(6, 5, kWhite);
  canvas.Draw(sprite, 1, 1, /*transparent=*/true);
  EXPECT_EQ(canvas.Pixel(1, 3), kWhite);  // the key pixel itself
  EXPECT_EQ(canvas.Pixel(3, 1), kWhite);  // another pixel of the key colour
  EXPECT_EQ(canvas.Pixel(1, 1), kGrey);
  EXPECT_EQ(canvas.Pixel(2, 2), 0x00FF00);
  EXPECT_EQ(CountColor(canvas, 0x00FF00), 12 - 3);

  Bitmap opaque(6, 5, kWhite);
  opaque.Draw(sprite, 1, 1, /*transparent=*/false);
  EXPECT_EQ(opaque.Pixel(1, 3), 0xFF00FF);
}

TEST(Bitmap, CopyIsClippedAtEveryEdge) {
  // Against a pixel-by-pixel reference for offsets around and far beyond both bitmaps; under
  // AddressSanitizer any write outside the pixels fails the run.
  const Bitmap source = Numbered(7, 5);
  const Rect froms[] = {{0, 0, 7, 5}, {2, 1, 6, 4}, {-3, -2, 9, 8}, {5, 4, 20, 20}};
  for (const Rect& from : froms) {
    for (int x = -10; x <= 14; x += 3) {
      for (int y = -8; y <= 12; y += 2) {
        Bitmap actual(6, 4, kWhite);
        actual.Copy(source, from, x, y);
        Bitmap expected(6, 4, kWhite);
        for (int sy = from.top; sy < from.bottom; ++sy) {
          for (int sx = from.left; sx < from.right; ++sx) {
            if (!source.bounds().Contains({sx, sy})) continue;
            expected.SetPixel(x + sx - from.left, y + sy - from.top, source.Pixel(sx, sy));
          }
        }
        ASSERT_EQ(actual, expected)
            << "from " << from.left << "," << from.top << " at " << x << "," << y;
      }
    }
  }
  Bitmap b(4, 4, kWhite);
  const int far = 0x7FFFFFF0;
  b.Copy(source, source.bounds(), far, -far);
  b.Copy(source, {-far, -far, far, far}, far, far);
  EXPECT_EQ(CountColor(b, kWhite), 16);
  b.Copy(source, {-far, -far, far, far}, -far, -far);
  EXPECT_EQ(b.Pixel(0, 0), source.Pixel(0, 0));
  Bitmap c(4, 4, kWhite);
  c.Copy(source, {-2, -1, far, far}, 0, 0);
  EXPECT_EQ(c.Pixel(2, 1), source.Pixel(0, 0));
  EXPECT_EQ(c.Pixel(1, 1), kWhite);
  // Within one bitmap, overlapping.
  Bitmap row = Numbered(8, 1);
  const Bitmap before = row;
  row.Copy(row, {0, 0, 6, 1}, 2, 0);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(row.Pixel(x + 2, 0), before.Pixel(x, 0));
}

TEST(ImageList, DrawsFramesByIndexAndNothingPastTheEnd) {
  // Three 4x2 frames side by side, each its own colour with a keyed bottom-left pixel.
  Bitmap strip(13, 2, kBlack);  // one spare column: not a frame
  const Color colours[] = {0xFF0000, 0x00FF00, 0x0000FF};
  for (int i = 0; i < 3; ++i) {
    strip.FillRect(Rect::XYWH(i * 4, 0, 4, 2), colours[i]);
    strip.SetPixel(i * 4, 1, 0x123456);
  }
  ImageList list(4, 2, strip);
  ASSERT_EQ(list.count(), 3);

  Bitmap target(4, 2, kWhite);
  list.Draw(target, 0, 0, 1);
  EXPECT_EQ(target.Pixel(3, 0), 0x00FF00);
  EXPECT_EQ(target.Pixel(0, 1), kWhite);  // the frame's bottom-left pixel is keyed out

  for (int index : {3, 4, 100, -1}) {
    Bitmap untouched(4, 2, kWhite);
    list.Draw(untouched, 0, 0, index);
    EXPECT_EQ(CountColor(untouched, kWhite), 8) << index;
    EXPECT_TRUE(list.Frame(index).empty());
  }
  list.set_transparent(false);
  list.Draw(target, 0, 0, 2);
  EXPECT_EQ(target.Pixel(0, 1), 0x123456);
  EXPECT_EQ(ImageList(40, 13, Bitmap(39, 13)).count(), 0);
}

TEST(Text, PixelSizesFacesAndTheSamePixelsEveryTime) {
  // Arial 10 is 13 pixels at 96 pixels per inch; sizes below zero are pixels; all are bounded.
  const int far = std::numeric_limits<int>::max();
  const std::pair<int, int> sizes[] = {{10, 13}, {-19, 19}, {0, 1}, {-far - 1, 400}, {far, 400}};
  for (const auto& [size, pixels] : sizes) {
    Font sized;
    sized.size = size;
    EXPECT_EQ(sized.PixelSize(), pixels) << size;
  }
  Font font;
  Bitmap a(200, 20, kWhite), b(200, 20, kWhite);
  a.Text(2, 2, "Volume  cc7  :: 2dB", font);
  b.Text(2, 2, "Volume  cc7  :: 2dB", font);
  EXPECT_EQ(a, b);
  EXPECT_GT(200 * 20 - CountColor(a, kWhite), 100);
  // Bold is wider, faces differ, an unknown face falls back to the default.
  Font bold, display, unknown;
  bold.bold = true;
  display.name = "Cooper Black";
  unknown.name = "No Such Face";
  const std::string text = "Vellicor V2.0";
  EXPECT_GT(TextWidth(bold, text), TextWidth(font, text));
  EXPECT_EQ(TextWidth(unknown, text), TextWidth(font, text));
  EXPECT_EQ(TextWidth(font, ""), 0);
  Bitmap r(150, 20), d(150, 20);
  r.Text(0, 0, text, font);
  d.Text(0, 0, text, display);
  EXPECT_NE(r, d);
  // Extreme positions are bounded and draw nothing; text past the right edge is cut, not wrapped.
  Bitmap off(20, 20, kWhite);
  off.Text(far, -far, std::string(10000, 'W'), font, kBlack);
  off.Text(-far, 0, "W", font);
  EXPECT_EQ(CountColor(off, kWhite), 400);
  off.Text(15, 0, "Wide text", font);
  EXPECT_EQ(Inked(off, kWhite).left, 15);
}

// Text lies inside its measured box; a background, when given, fills exactly that box, under the
// same glyph pixels.
TEST(Text, StaysInsideItsMeasuredBoxWhichABackgroundFills) {
  const Color green = 0x00FF00;  // no blend of blue ink on white or on green gives it
  for (bool bold : {false, true}) {
    Font font;
    font.bold = bold;
    font.color = 0x0000FF;
    const std::string text = "Filter 1: Freq :: 15.4KHz";
    Bitmap clear(300, 40, green), opaque(300, 40, green);
    const int width = clear.Text(10, 5, text, font);
    EXPECT_EQ(width, TextWidth(font, text));
    opaque.Text(10, 5, text, font, kWhite);
    const Rect box = Rect::XYWH(10, 5, width, TextHeight(font));
    const Rect inked = Inked(clear, green);
    EXPECT_EQ(inked.Intersect(box), inked) << "bold " << bold;
    EXPECT_GT(inked.width(), width * 9 / 10);
    const int area = box.width() * box.height(), all = 300 * 40;
    EXPECT_EQ(Inked(opaque, green), box);
    EXPECT_EQ(CountColor(opaque, green), all - area);  // every pixel of the box
    EXPECT_EQ(area - CountColor(opaque, kWhite), all - CountColor(clear, green));
  }
}

// At 125 % a form pixel takes one or two screen pixels, so two bitmaps' grids may lie
// differently: a bitmap drawn in pieces is the bitmap drawn whole, and a frame of a strip fills
// its place without a column of its neighbour.
TEST(ScaledBitmap, PiecesFitTogetherAndFramesKeepToThemselves) {
  const Scale k125 = Scale::FromPercent(125);
  Bitmap source(21, 9, kWhite, k125);
  for (int y = 0; y < source.pixel_height(); ++y) {
    for (int x = 0; x < source.pixel_width(); ++x) source.Row(y)[x] = Rgb(x, y, 7);
  }
  Bitmap whole(40, 20, kBlack, k125), pieces(40, 20, kBlack, k125);
  whole.DrawClipped(source, 3, 5, whole.bounds());
  for (const Rect& piece : {Rect{0, 0, 11, 20}, Rect{11, 0, 40, 9}, Rect{11, 9, 40, 20}}) {
    pieces.DrawClipped(source, 3, 5, piece);
  }
  EXPECT_EQ(pieces, whole);

  Bitmap strip(3 * 7, 5, kWhite, k125);
  for (int frame = 0; frame < 3; ++frame) {
    strip.FillRect(Rect::XYWH(frame * 7, 0, 7, 5), Rgb(frame + 1, 0, 0));
  }
  ImageList list(7, 5, strip);
  list.set_transparent(false);
  for (int x = 0; x < 4; ++x) {
    Bitmap target(12, 5, kWhite, k125);
    list.Draw(target, x, 0, 1);
    const Rect frame = target.ScreenRect({x, 0, x + 7, 5});
    EXPECT_EQ(CountColor(target, Rgb(2, 0, 0)), frame.width() * frame.height()) << x;
  }
}

TEST(Png, EncodesTheBitmapsSize) {
  const std::vector<uint8_t> png = EncodePng(Numbered(635, 512));
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(std::string(png.begin(), png.begin() + 8), "\x89PNG\r\n\x1a\n");
  // IHDR: width and height, big-endian, at bytes 16 and 20.
  EXPECT_EQ((png[18] << 8) | png[19], 635);
  EXPECT_EQ((png[22] << 8) | png[23], 512);
  EXPECT_TRUE(EncodePng(Bitmap()).empty());
}

}  // namespace
}  // namespace vellicor::gui
