// Fonts: TrueType faces compiled into the library, rasterised the same way on every target, so
// a screenshot taken on Linux and one taken on Windows hold the same pixels.
//
// Faces: "Arial" (and the other common sans-serif names, and any name not known) is Liberation
// Sans, regular or bold; "Cooper Black", the form's display face, is DejaVu Serif Bold, which
// is always bold.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vellicor::gui {

// 0x00RRGGBB. Alpha is not used.
using Color = uint32_t;

constexpr Color Rgb(int r, int g, int b) {
  return static_cast<Color>(((r & 255) << 16) | ((g & 255) << 8) | (b & 255));
}
// A colour written the Windows way, 0x00BBGGRR (the hexadecimal colours of the design are):
// FromBgr(0x99CCCC) is red CC, green CC, blue 99.
constexpr Color FromBgr(uint32_t bgr) {
  return Rgb(static_cast<int>(bgr & 255), static_cast<int>((bgr >> 8) & 255),
             static_cast<int>((bgr >> 16) & 255));
}
constexpr int RedOf(Color c) {
  return static_cast<int>((c >> 16) & 255);
}
constexpr int GreenOf(Color c) {
  return static_cast<int>((c >> 8) & 255);
}
constexpr int BlueOf(Color c) {
  return static_cast<int>(c & 255);
}

constexpr Color kBlack = 0x000000;
constexpr Color kWhite = 0xFFFFFF;
constexpr Color kGrey = 0x808080;    // the buffers' fill colour
constexpr Color kSilver = 0xC0C0C0;  // highlighted menu text

struct Font {
  std::string name = "Arial";
  // Points at 96 pixels per inch (10 points are 13 pixels to the em). A negative value is the
  // character height in pixels instead, as a form's font height of -19 means 19 pixels.
  int size = 10;
  bool bold = false;
  Color color = kBlack;

  // The em size in pixels this font is drawn at, bounded to 1..400.
  int PixelSize() const;
};

// Width in pixels of the text as drawn at (0, 0): the sum of the glyphs' whole-pixel advances.
// Text is UTF-8; bytes that are not UTF-8 count as Latin-1. At most kMaxTextLength characters
// are measured or drawn.
int TextWidth(const Font& font, std::string_view text);
// Height of a line (ascent + descent): the height of the box that an opaque background fills.
int TextHeight(const Font& font);
// Distance from the top of the line box to the baseline.
int TextAscent(const Font& font);

constexpr int kMaxTextLength = 4096;

}  // namespace vellicor::gui
