#include "gui/font.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <vector>

#include "gui/bitmap.h"

#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>

namespace vellicor::gui {

// The TrueType files, compiled in by the build (embedded_fonts.cpp).
namespace embedded {
extern const unsigned char kSansRegular[];
extern const size_t kSansRegularSize;
extern const unsigned char kSansBold[];
extern const size_t kSansBoldSize;
extern const unsigned char kDisplay[];
extern const size_t kDisplaySize;
}  // namespace embedded

namespace {

enum FaceId { kSansRegularFace, kSansBoldFace, kDisplayFace, kFaceCount };

struct Face {
  stbtt_fontinfo info{};
  bool ok = false;
  int units_per_em = 2048;
  int ascent = 0;   // font units above the baseline of the line box (Windows' usWinAscent)
  int descent = 0;  // font units below it (usWinDescent)
};

uint16_t ReadU16(const unsigned char* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
uint32_t ReadU32(const unsigned char* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// The table `tag` of a TrueType file, or nullptr when it is missing or runs past the end.
const unsigned char* FindTable(const unsigned char* data, size_t size, const char* tag,
                               size_t min_length) {
  if (size < 12) return nullptr;
  const int count = ReadU16(data + 4);
  for (int i = 0; i < count; ++i) {
    const size_t entry = 12 + static_cast<size_t>(i) * 16;
    if (entry + 16 > size) return nullptr;
    if (std::equal(tag, tag + 4, data + entry)) {
      const size_t offset = ReadU32(data + entry + 8);
      const size_t length = ReadU32(data + entry + 12);
      if (offset > size || length > size - offset || length < min_length) return nullptr;
      return data + offset;
    }
  }
  return nullptr;
}

Face LoadFace(const unsigned char* data, size_t size) {
  Face face;
  if (stbtt_InitFont(&face.info, data, stbtt_GetFontOffsetForIndex(data, 0)) == 0) return face;
  if (const unsigned char* head = FindTable(data, size, "head", 54)) {
    face.units_per_em = std::max<int>(16, ReadU16(head + 18));
  }
  // Windows places text by the OS/2 table's Windows ascent and descent; the horizontal
  // header is the fallback.
  if (const unsigned char* os2 = FindTable(data, size, "OS/2", 78)) {
    face.ascent = ReadU16(os2 + 74);
    face.descent = ReadU16(os2 + 76);
  } else {
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&face.info, &ascent, &descent, &gap);
    face.ascent = ascent;
    face.descent = -descent;
  }
  face.ok = true;
  return face;
}

const Face& GetFace(FaceId id) {
  static const std::array<Face, kFaceCount> faces = {
      LoadFace(embedded::kSansRegular, embedded::kSansRegularSize),
      LoadFace(embedded::kSansBold, embedded::kSansBoldSize),
      LoadFace(embedded::kDisplay, embedded::kDisplaySize),
  };
  return faces[id];
}

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

const Face& FaceFor(const Font& font) {
  if (SameName(font.name, "Cooper Black") || SameName(font.name, "DejaVu Serif")) {
    return GetFace(kDisplayFace);
  }
  return GetFace(font.bold ? kSansBoldFace : kSansRegularFace);
}

// Placement of a font at one size: all in whole pixels so that measuring and drawing agree.
struct Metrics {
  const Face* face;
  float scale;
  int ascent;
  int descent;
};

Metrics MetricsFor(const Font& font) {
  const Face& face = FaceFor(font);
  const float scale = static_cast<float>(font.PixelSize()) / static_cast<float>(face.units_per_em);
  return {&face, scale, static_cast<int>(std::lround(face.ascent * scale)),
          static_cast<int>(std::lround(face.descent * scale))};
}

// Decodes UTF-8; a byte that does not start a well-formed sequence stands for itself
// (Latin-1). Calls f(codepoint) for at most kMaxTextLength characters.
template <typename F>
void ForEachCodepoint(std::string_view text, F&& f) {
  size_t i = 0;
  int count = 0;
  while (i < text.size() && count < kMaxTextLength) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    uint32_t cp = c;
    if (length > 1 && i + length <= text.size()) {
      cp = c & (0x7F >> length);
      for (int k = 1; k < length; ++k) {
        const unsigned char cc = static_cast<unsigned char>(text[i + k]);
        if ((cc & 0xC0) != 0x80) {
          length = 0;
          break;
        }
        cp = (cp << 6) | (cc & 0x3F);
      }
    } else if (length > 1) {
      length = 0;
    }
    if (length == 0) {
      cp = c;
      length = 1;
    }
    f(static_cast<int>(cp));
    i += static_cast<size_t>(length);
    ++count;
  }
}

int GlyphFor(const Face& face, int codepoint) {
  int glyph = stbtt_FindGlyphIndex(&face.info, codepoint);
  if (glyph == 0 && codepoint != '?') glyph = stbtt_FindGlyphIndex(&face.info, '?');
  return glyph;
}

int AdvanceOf(const Metrics& m, int glyph) {
  int advance = 0, bearing = 0;
  stbtt_GetGlyphHMetrics(&m.face->info, glyph, &advance, &bearing);
  return static_cast<int>(std::lround(advance * m.scale));
}

uint32_t Blend(Color under, Color over, int alpha) {
  const auto mix = [alpha](int a, int b) { return (b * alpha + a * (255 - alpha) + 127) / 255; };
  return Rgb(mix(RedOf(under), RedOf(over)), mix(GreenOf(under), GreenOf(over)),
             mix(BlueOf(under), BlueOf(over)));
}

}  // namespace

int Font::PixelSize() const {
  const int bounded = std::clamp(size, -1000, 1000);
  const int pixels = bounded < 0 ? -bounded : (bounded * 96 + 36) / 72;
  return std::clamp(pixels, 1, 400);
}

int TextWidth(const Font& font, std::string_view text) {
  const Metrics m = MetricsFor(font);
  if (!m.face->ok) return 0;
  int width = 0;
  ForEachCodepoint(text, [&](int cp) { width += AdvanceOf(m, GlyphFor(*m.face, cp)); });
  return width;
}

int TextHeight(const Font& font) {
  const Metrics m = MetricsFor(font);
  return m.ascent + m.descent;
}

int TextAscent(const Font& font) {
  return MetricsFor(font).ascent;
}

int Bitmap::Text(int x, int y, std::string_view text, const Font& font,
                 std::optional<Color> background) {
  const Metrics m = MetricsFor(font);
  if (!m.face->ok) return 0;
  // Far outside any bitmap nothing shows; bounded, the pen cannot overflow.
  x = std::clamp(x, -32768, 32768);
  y = std::clamp(y, -32768, 32768);
  const int width = TextWidth(font, text);
  if (background) FillRect(Rect::XYWH(x, y, width, m.ascent + m.descent), *background);
  const Color ink = font.color & 0xFFFFFF;
  // Laid out in the form's pixels at the font's own size (the pen and the baseline on whole
  // form pixels, as at 100 %); each glyph is rasterised at the scaled size, its baseline on a
  // pixel edge so that horizontal strokes stay sharp, its origin where the layout puts it to a
  // fraction of a pixel so that the spacing stays even.
  const float glyph_scale = m.scale * factor();
  const int baseline = ScreenEdge(y + m.ascent);
  std::vector<unsigned char> coverage;
  int pen = x;
  ForEachCodepoint(text, [&](int cp) {
    const int glyph = GlyphFor(*m.face, cp);
    const float origin = static_cast<float>(pen) * factor();
    const float whole = std::floor(origin);
    const float shift = origin - whole;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetGlyphBitmapBoxSubpixel(&m.face->info, glyph, glyph_scale, glyph_scale, shift, 0.0f,
                                    &x0, &y0, &x1, &y1);
    const int w = x1 - x0;
    const int h = y1 - y0;
    const Rect box = Rect::XYWH(static_cast<int>(whole) + x0, baseline + y0, w, h);
    if (w > 0 && h > 0 && !box.Intersect(pixel_bounds()).empty()) {
      coverage.assign(static_cast<size_t>(w) * h, 0);
      stbtt_MakeGlyphBitmapSubpixel(&m.face->info, coverage.data(), w, h, w, glyph_scale,
                                    glyph_scale, shift, 0.0f, glyph);
      const Rect visible = box.Intersect(pixel_bounds());
      for (int py = visible.top; py < visible.bottom; ++py) {
        const unsigned char* in = coverage.data() + static_cast<size_t>(py - box.top) * w;
        Color* out = Row(py);
        for (int px = visible.left; px < visible.right; ++px) {
          const int alpha = in[px - box.left];
          if (alpha == 255) {
            out[px] = ink;
          } else if (alpha > 0) {
            out[px] = Blend(out[px], ink, alpha);
          }
        }
      }
    }
    pen += AdvanceOf(m, glyph);
  });
  return width;
}

}  // namespace vellicor::gui
