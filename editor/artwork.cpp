#include "editor/artwork.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "editor/control_math.h"
#include "editor/layout.h"

namespace vellicor::editor::artwork {

using gui::Bitmap;
using gui::Color;
using gui::Font;
using gui::Rect;

namespace {

constexpr float kPi = 3.14159265f;

// The transparent colour of control frames; used nowhere else in a frame.
constexpr Color kKey = 0xFF00FF;

// The panel's palette: a dark anodised face, lighter section plates, amber titles.
constexpr Color kFaceBase = 0x2E3238;
constexpr Color kPlate = 0x424951;
constexpr Color kPlateLight = 0x5A626C;
constexpr Color kPlateDark = 0x23272C;
constexpr Color kTitle = 0xF0B44A;
constexpr Color kCaption = 0xD3D8DE;
constexpr Color kTick = 0x98A1AB;
constexpr Color kLabelTop = 0x6D87A3;
constexpr Color kLabelBottom = 0x4A6280;
constexpr Color kLabelText = 0xF6F8FA;
constexpr Color kLcd = 0xBFCDB0;
constexpr Color kLcdEdge = 0x66735C;

Color Mix(Color a, Color b, float t) {
  t = std::clamp(t, 0.0f, 1.0f);
  auto channel = [t](int x, int y) {
    return static_cast<int>(std::lround(static_cast<float>(x) + (y - x) * t));
  };
  return gui::Rgb(channel(gui::RedOf(a), gui::RedOf(b)), channel(gui::GreenOf(a), gui::GreenOf(b)),
                  channel(gui::BlueOf(a), gui::BlueOf(b)));
}

Color Shade(Color c, float f) {
  auto channel = [f](int x) { return std::clamp(static_cast<int>(std::lround(x * f)), 0, 255); };
  return gui::Rgb(channel(gui::RedOf(c)), channel(gui::GreenOf(c)), channel(gui::BlueOf(c)));
}

// Dial and slider buffers are cleared to this grey and keyed by it afterwards: a picture
// pixel of exactly this colour would turn into a hole.
Color NotGrey(Color c) {
  return c == gui::kGrey ? 0x818181 : c;
}

// An antialiased edge drawn at the screen's resolution: `inside` is the coverage the design
// gives a pixel of the form (rising from 0 to 1 across one form pixel), narrowed to one pixel of
// the screen about the same edge. At factor 1 it is `inside` itself.
float Ramp(float inside, float factor) {
  return inside * factor - (factor - 1.0f) * 0.5f;
}

// Coverage (0..1) of a rounded rectangle at a point of the form (a pixel's centre).
float RoundRectCoverage(float px, float py, const Rect& r, float radius, float factor) {
  const float cx = std::clamp(px, r.left + radius, r.right - radius);
  const float cy = std::clamp(py, r.top + radius, r.bottom - radius);
  const float d = std::hypot(px - cx, py - cy);
  if (radius <= 0.0f) {
    return px >= r.left && px < r.right && py >= r.top && py < r.bottom ? 1.0f : 0.0f;
  }
  return std::clamp(Ramp(radius - d + 0.5f, factor), 0.0f, 1.0f);
}

// Fills a rounded rectangle of the form; its antialiased rim blends with `under` (the colour the
// shape will finally lie on) or, without one, with what the bitmap holds. `fill(x, y)` gives the
// colour inside at a pixel.
template <typename Fill>
void RoundRectWith(Bitmap& b, const Rect& r, float radius, const Fill& fill,
                   std::optional<Color> under = std::nullopt) {
  const Rect outer = b.ScreenRect(r);
  const Rect area = outer.Intersect(b.pixel_bounds());
  const int corner = static_cast<int>(std::ceil(radius)) + 1;
  const Rect straight =
      b.ScreenRect({r.left + corner, r.top + corner, r.right - corner, r.bottom - corner});
  for (int y = area.top; y < area.bottom; ++y) {
    Color* row = b.Row(y);
    const bool middle_row = y >= straight.top && y < straight.bottom;
    for (int x = area.left; x < area.right; ++x) {
      if (middle_row || (x >= straight.left && x < straight.right)) {
        // Away from the corners only the outermost pixels can be partly covered.
        if (x != outer.left && x != outer.right - 1 && y != outer.top && y != outer.bottom - 1) {
          row[x] = fill(x, y);
          continue;
        }
      }
      const float cover = RoundRectCoverage(b.FormOf(x), b.FormOf(y), r, radius, b.factor());
      if (cover <= 0.0f) continue;
      Color c = fill(x, y);
      if (cover < 1.0f) c = Mix(under ? *under : row[x], c, cover);
      row[x] = c;
    }
  }
}

void RoundRect(Bitmap& b, const Rect& r, float radius, Color color,
               std::optional<Color> under = std::nullopt) {
  RoundRectWith(
      b, r, radius, [color](int, int) { return color; }, under);
}

// A vertical gradient from `top` at row r.top to `bottom` at the last row of the form, one
// colour a pixel row.
struct Gradient {
  Gradient(const Bitmap& b, const Rect& r, Color top, Color bottom) : first(b.ScreenEdge(r.top)) {
    const int h = std::max(r.height() - 1, 1);
    const int rows_count = std::max(b.ScreenEdge(r.bottom) - first, 1);
    for (int y = 0; y < rows_count; ++y) {
      const float row = b.FormOf(first + y) - 0.5f - static_cast<float>(r.top);
      rows.push_back(Mix(top, bottom, row / static_cast<float>(h)));
    }
  }
  Color operator()(int, int y) const {
    const int i = std::clamp(y - first, 0, static_cast<int>(rows.size()) - 1);
    return rows[static_cast<size_t>(i)];
  }
  int first;
  std::vector<Color> rows;
};

// A raised plate: light upper-left rim, dark lower-right rim, a vertical gradient inside.
void Plate(Bitmap& b, const Rect& r, float radius, Color top, Color bottom, Color light, Color dark,
           std::optional<Color> under = std::nullopt) {
  RoundRect(b, r, radius, dark, under);
  RoundRect(b, {r.left, r.top, r.right - 1, r.bottom - 1}, radius, light, under);
  const Rect inner{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  RoundRectWith(b, inner, std::max(radius - 1.0f, 0.0f), Gradient(b, inner, top, bottom), under);
}

Font Sans(int size, bool bold, Color color) {
  Font f;
  f.name = "Arial";
  f.size = size;
  f.bold = bold;
  f.color = color;
  return f;
}

// The font made smaller until the text fits the width (never below 5 points).
Font Fit(Font f, std::string_view text, int width) {
  while (f.size > 5 && gui::TextWidth(f, text) > width) --f.size;
  return f;
}

void TextIn(Bitmap& b, const Rect& box, std::string_view text, const Font& f) {
  const int x = box.left + (box.width() - gui::TextWidth(f, text)) / 2;
  const int y = box.top + (box.height() - gui::TextHeight(f)) / 2;
  b.Text(x, y, text, f);
}

// --- The face ---------------------------------------------------------------------------------

struct Section {
  const char* title;
  Rect rect;  // form coordinates
};

constexpr Section kSections[] = {
    {"OSCILLATOR 1", {4, 3, 210, 193}}, {"OSCILLATOR 2", {232, 3, 440, 193}},
    {"FILTER", {462, 3, 631, 193}},     {"LFO", {4, 199, 210, 316}},
    {"MIXER", {232, 199, 440, 316}},    {"VOICE / ARP", {462, 199, 631, 316}},
    {"ENVELOPE", {4, 318, 631, 477}},
};

enum class Place {
  kAbove,        // left-aligned over a slider's track
  kAboveCentre,  // centred over a dial or selector
  kRight,        // after a selector, centred on its height
  kLeft,         // before a control, right-aligned to it
};

struct Caption {
  const char* component;
  const char* text;
  Place place;
};

constexpr Caption kCaptions[] = {
    // Oscillator 1.
    {"Mntype1", "Wave", Place::kRight},
    {"MnFmType1", "FM Src", Place::kRight},
    {"mNrING1", "Ring", Place::kRight},
    {"MnEnvVol1", "Vol Env", Place::kRight},
    {"MnEnvFm1", "FM Env", Place::kRight},
    {"MnEnvPitch1", "Pitch Env", Place::kRight},
    {"MnPrange1", "Env Range", Place::kRight},
    {"MnVolLfo1", "Vol LFO", Place::kRight},
    {"MnPitLfo1", "Pitch LFO", Place::kRight},
    {"MnPlfo1", "LFO Range", Place::kRight},
    {"Hvol1", "Volume", Place::kAbove},
    {"HOct1", "Octave", Place::kAbove},
    {"HSemi1", "Semi", Place::kAbove},
    {"DlFine1", "Fine", Place::kAboveCentre},
    {"DLPwm1", "PWM", Place::kAboveCentre},
    {"DlPwms1", "PWM Speed", Place::kAboveCentre},
    {"DlFm1", "FM", Place::kAboveCentre},
    // Oscillator 2.
    {"MnType2", "Wave", Place::kRight},
    {"MnFMType2", "FM Src", Place::kRight},
    {"MnEnvVol2", "Vol Env", Place::kRight},
    {"MnEnvFm2", "FM Env", Place::kRight},
    {"MnEnvPitch2", "Pitch Env", Place::kRight},
    {"MnPrange2", "Env Range", Place::kRight},
    {"MnVolLfo2", "Vol LFO", Place::kRight},
    {"MnPitLfo2", "Pitch LFO", Place::kRight},
    {"MnPLfo2", "LFO Range", Place::kRight},
    {"HVol2", "Volume", Place::kAbove},
    {"HOct2", "Octave", Place::kAbove},
    {"HSemi2", "Semi", Place::kAbove},
    {"DlFine2", "Fine", Place::kAboveCentre},
    {"DlPWm2", "PWM", Place::kAboveCentre},
    {"DlPWms2", "PWM Speed", Place::kAboveCentre},
    {"DlFm2", "FM", Place::kAboveCentre},
    {"DlSync2", "Sync", Place::kAboveCentre},
    // Filter.
    {"MnFilter1", "Type", Place::kRight},
    {"MnFtracking1", "Track", Place::kRight},
    {"MnEnvFilter1", "Env", Place::kRight},
    {"MnFilter1LFO", "LFO", Place::kRight},
    {"DlFdist1", "Dist", Place::kAboveCentre},
    {"DlFRes1", "Q", Place::kAboveCentre},
    {"DlFVol1", "Volume", Place::kAboveCentre},
    {"HFHi1", "Freq", Place::kRight},
    {"HFenv1", "Env", Place::kLeft},
    // LFO.
    {"MnLfoNo", "LFO", Place::kRight},
    {"MnLfoType", "Wave", Place::kRight},
    {"MnELFOAMP", "Amp Env", Place::kRight},
    {"MnELFOFrq", "Rate Env", Place::kRight},
    {"MnLfoReset", "Restart", Place::kRight},
    {"HAmp", "Amount", Place::kAbove},
    {"HSpeed", "Period", Place::kAbove},
    {"Hsh", "S&H", Place::kAbove},
    // Mixer.
    {"MnAmpEnv", "Amp Env", Place::kRight},
    {"MnPanLfo", "Pan LFO", Place::kRight},
    {"MnVolLfo", "Vol LFO", Place::kRight},
    {"MnPShift", "Bend", Place::kRight},
    {"MnLtracking", "Key Track", Place::kRight},
    {"Hvolume", "Volume", Place::kAbove},
    {"Hrel", "Release", Place::kAbove},
    {"Htempo", "Tempo", Place::kAbove},
    // Voice and arpeggiator.
    {"MnMode", "Mode", Place::kAbove},
    {"MnArpmode", "Arp Order", Place::kAbove},
    {"MnArpOct", "Octaves", Place::kAbove},
    {"HPort", "Glide", Place::kAboveCentre},
    {"HStereo", "Spread", Place::kAboveCentre},
    {"HArpLen", "Arp Step", Place::kAbove},
    {"HArpGate", "Arp Gate", Place::kAbove},
    // Envelope row.
    {"HLen", "Length", Place::kAboveCentre},
    {"HControl", "Amount", Place::kAboveCentre},
    {"Ecomm", "Modifier", Place::kAboveCentre},
    {"MnSnapp", "Time Snap", Place::kAboveCentre},
    {"MnSnapt", "Level Snap", Place::kAboveCentre},
    {"MnEnvSus", "Loop", Place::kAboveCentre},
};

// Room for a caption right of a selector: up to the next control.
constexpr int kRightCaptionWidth = 36;

class FacePainter {
 public:
  explicit FacePainter(gui::Scale scale)
      : b_(kFormWidth + 2 * kFaceLeft + 2, kFormHeight + kFaceTop + 4, kFaceBase, scale) {}

  Bitmap Paint() {
    for (const Section& s : kSections) PaintSection(s);
    EnvelopeWell();
    for (const Caption& c : kCaptions) CaptionFor(c);
    DialScales();
    Logo();
    return std::move(b_);
  }

 private:
  Rect At(const Rect& form) const { return form.Offset(kFaceLeft, kFaceTop); }

  void PaintSection(const Section& s) {
    const Rect r = At(s.rect);
    Plate(b_, r, 6.0f, Mix(kPlate, kPlateLight, 0.25f), kPlate, kPlateLight, kPlateDark);
    // The title is etched into the plate's top edge, with a rule running on to the right.
    const Font f = Sans(7, true, kTitle);
    const int x = r.left + 7;
    const int y = r.top + 2;
    const int w = b_.Text(x, y, s.title, f);
    const int rule_y = y + gui::TextAscent(f) - 3;
    const int rule_end = std::min(r.right - 8, RuleEnd(s));
    if (rule_end > x + w + 6)
      b_.Line(x + w + 5, rule_y, rule_end, rule_y, Mix(kPlate, kTitle, 0.45f));
  }

  // The title rule stops short of the first control caption on the title's row.
  static int RuleEnd(const Section& s) {
    int end = s.rect.right;
    for (const Caption& c : kCaptions) {
      const auto r = FormRect(c.component);
      if (!r || r->left < s.rect.left || r->left >= s.rect.right) continue;
      if (r->top - 14 <= s.rect.top + 12 && r->top >= s.rect.top) end = std::min(end, r->left - 4);
    }
    return end + kFaceLeft;
  }

  // The sunken window the envelope view is set into.
  void EnvelopeWell() {
    const auto view = FormRect("EnvI");
    if (!view) return;
    const Rect r = At(*view);
    RoundRect(b_, {r.left - 3, r.top - 3, r.right + 3, r.bottom + 3}, 3.0f, kPlateDark);
    RoundRect(b_, {r.left - 2, r.top - 2, r.right + 3, r.bottom + 3}, 3.0f, kPlateLight);
    RoundRect(b_, {r.left - 2, r.top - 2, r.right + 2, r.bottom + 2}, 2.0f, 0x15181B);
  }

  void CaptionFor(const Caption& c) {
    const auto form = FormRect(c.component);
    if (!form) return;
    const Rect r = At(*form);
    Font f = Sans(7, false, kCaption);
    const int h = gui::TextHeight(f);
    switch (c.place) {
      case Place::kAbove:
        f = Fit(f, c.text, r.width());
        b_.Text(r.left + 3, r.top - h, c.text, f);
        break;
      case Place::kAboveCentre: {
        f = Fit(f, c.text, 48);
        const int w = gui::TextWidth(f, c.text);
        b_.Text(r.left + (r.width() - w) / 2, r.top - h, c.text, f);
        break;
      }
      case Place::kRight:
        f = Fit(f, c.text, kRightCaptionWidth);
        b_.Text(r.right + 3, r.top + (r.height() - h) / 2, c.text, f);
        break;
      case Place::kLeft: {
        const int w = gui::TextWidth(f, c.text);
        b_.Text(r.left - 4 - w, r.top + (r.height() - h) / 2, c.text, f);
        break;
      }
    }
  }

  // Dots round every dial where its value runs from 0 (straight below) clockwise to 1.
  void DialScales() {
    for (const logic::ControlSpec& c : logic::ControlTable()) {
      if (c.kind != logic::ControlKind::kDial) continue;
      const auto form = FormRect(c.image);
      if (!form) continue;
      const Rect r = At(*form);
      const float cx = r.left + kDialSize / 2.0f;
      const float cy = r.top + kDialSize / 2.0f;
      for (int step = 0; step <= 10; ++step) {
        const float a = kPi / 2 + 1.6f * kPi * step / 10.0f;
        const int x = static_cast<int>(std::floor(cx + 14.6f * std::cos(a)));
        const int y = static_cast<int>(std::floor(cy + 14.6f * std::sin(a)));
        b_.SetPixel(x, y, step == 0 || step == 10 ? kTitle : kTick);
      }
    }
  }

  // The product's name where a click opens the About panel.
  void Logo() {
    const auto area = FormRect("Image11");
    if (!area) return;
    const Rect r = At(*area);
    Font display;
    display.name = "Cooper Black";
    display.size = -17;
    display.color = 0xE9E1CC;
    const int w = b_.Text(r.left + 4, r.top - 1, "Vellicor", display);
    Font version = Sans(8, true, kTitle);
    b_.Text(r.left + 4 + w + 6, r.top + 5, "V2.0", version);
  }

  Bitmap b_;
};

}  // namespace

// --- Public pictures ----------------------------------------------------------------------------

Face MakeFace(gui::Scale scale) {
  Face face;
  face.full = FacePainter(scale).Paint();
  // The background image lies at form row -1.
  face.background = Bitmap(636, 514, gui::kWhite, scale);
  face.background.Copy(face.full, Rect::XYWH(kFaceLeft, kFaceTop - 1, 636, 514), 0, 0);
  return face;
}

Color FaceColor() {
  return kFaceBase;
}

Bitmap Face::PanelImage(std::string_view image) const {
  const ComponentSpec* component = FindComponent(image);
  const auto form = FormRect(image);
  if (component == nullptr || !form) return {};
  Bitmap b(component->width, component->height, kFaceBase, full.scale());
  b.Copy(
      full,
      Rect::XYWH(form->left + kFaceLeft, form->top + kFaceTop, component->width, component->height),
      0, 0);
  return b;
}

Bitmap DialStrip(gui::Scale scale) {
  Bitmap strip(kDialSize * kDialFrames, kDialSize, kKey, scale);
  const float c = kDialSize / 2.0f;
  const float radius = 13.0f;
  const float f = strip.factor();
  // Light from the upper left, slightly in front.
  const float lx = -0.45f, ly = -0.6f, lz = 0.66f;
  for (int frame = 0; frame < kDialFrames; ++frame) {
    const int used = std::min(frame, kDialUsedFrames - 1);
    const float a = kPi / 2 + 1.6f * kPi * used / (kDialUsedFrames - 1);
    const float mx = c + 8.2f * std::cos(a);
    const float my = c + 8.2f * std::sin(a);
    const int left = frame * kDialSize;
    const Rect pixels = strip.ScreenRect(Rect::XYWH(left, 0, kDialSize, kDialSize));
    for (int y = pixels.top; y < pixels.bottom; ++y) {
      // The frame's own coordinates of the pixel's centre.
      const float fy = strip.FormOf(y);
      for (int x = pixels.left; x < pixels.right; ++x) {
        const float fx = strip.FormOf(x) - static_cast<float>(left);
        const float px = fx - c;
        const float py = fy - c;
        const float d = std::hypot(px, py);
        const float cover = std::clamp(Ramp(radius + 0.5f - d, f), 0.0f, 1.0f);
        if (cover <= 0.0f) continue;
        const float nx = std::clamp(px / radius, -1.0f, 1.0f);
        const float ny = std::clamp(py / radius, -1.0f, 1.0f);
        const float nz = std::sqrt(std::max(0.0f, 1.0f - nx * nx - ny * ny));
        const float diffuse = std::max(0.0f, nx * lx + ny * ly + nz * lz);
        const float hz = nz * 0.5f + 0.5f;
        const float glint =
            std::pow(std::max(0.0f, (nx * lx + ny * ly + nz * (lz + 1)) / 2 * hz), 18.0f);
        float shade = 0.42f + 0.62f * diffuse;
        // A darker rim gives the ball its edge.
        if (d > radius - 1.3f) shade *= 0.72f;
        Color col = Shade(0xA8ADB3, shade);
        col = Mix(col, 0xFFFFFF, glint * 0.55f);
        // The marker: a small dimple, lit from below because it is hollow.
        const float md = std::hypot(fx - mx, fy - my);
        if (md < 2.9f) {
          const float dimple = std::clamp(Ramp(2.9f - md, f), 0.0f, 1.0f);
          const float inner = 0.32f + 0.25f * std::max(0.0f, ((fy - my) * 0.6f) / 2.9f);
          col = Mix(col, Shade(0x3C4046, inner / 0.32f), dimple);
        }
        if (cover < 1.0f) col = Mix(kPlate, col, cover);
        strip.Row(y)[x] = NotGrey(col);
      }
    }
  }
  return strip;
}

Bitmap SliderTrack(gui::Scale scale) {
  Bitmap b(kTrackWidth, kTrackHeight, kKey, scale);
  // The groove runs under the knob's centre, from value 0 to value 1 (x = 9.5 .. 89.5).
  RoundRect(b, {6, 5, 94, 9}, 2.0f, 0x16191C, kPlate);
  RoundRect(b, {7, 6, 93, 8}, 1.0f, 0x0B0C0E, kPlate);
  b.Line(7, 8, 93, 8, 0x5C646E);
  for (int i = 0; i <= 10; ++i) {
    const int x = 9 + 8 * i;
    const Color tick = i == 0 || i == 10 || i == 5 ? 0xB8C0C8 : 0x7D8690;
    b.SetPixel(x, 1, NotGrey(tick));
    b.SetPixel(x, 2, NotGrey(tick));
    b.SetPixel(x, 11, NotGrey(tick));
  }
  return b;
}

Bitmap SliderKnob(gui::Scale scale) {
  Bitmap b(kKnobSize, kKnobSize, kKey, scale);
  const float c = kKnobSize / 2.0f;
  for (int y = 0; y < b.pixel_height(); ++y) {
    for (int x = 0; x < b.pixel_width(); ++x) {
      const float px = b.FormOf(x) - c;
      const float py = b.FormOf(y) - c;
      const float d = std::hypot(px, py);
      const float cover = std::clamp(Ramp(4.4f - d, b.factor()), 0.0f, 1.0f);
      if (cover <= 0.0f) continue;
      const float light = std::clamp(0.75f - 0.12f * (px + py), 0.3f, 1.0f);
      Color col = Shade(0xE2E6EA, light);
      if (d > 3.3f) col = Shade(col, 0.65f);
      if (cover < 1.0f) col = Mix(0x16191C, col, cover);
      b.Row(y)[x] = NotGrey(col);
    }
  }
  return b;
}

Bitmap PrintOutBar(gui::Scale scale) {
  Bitmap b(kPrintOutWidth, kPrintOutHeight, kKey, scale);
  RoundRect(b, b.bounds(), 4.0f, kLcdEdge, kFaceBase);
  const Rect glass{1, 1, kPrintOutWidth - 1, kPrintOutHeight - 1};
  RoundRectWith(b, glass, 3.0f, Gradient(b, glass, 0xCAD7BC, kLcd));
  // A faint inner shadow along the top, as behind glass.
  b.Line(3, 1, kPrintOutWidth - 3, 1, 0x9AA68E);
  return b;
}

Bitmap OnOffStrip(gui::Scale scale) {
  Bitmap b(2 * kLabelWidth, kLabelHeight, kKey, scale);
  Plate(b, Rect::XYWH(0, 0, kLabelWidth, kLabelHeight), 3.0f, 0x1E2226, 0x2A2F35, 0x15181B,
        0x58606A, kPlate);
  Plate(b, Rect::XYWH(kLabelWidth, 0, kLabelWidth, kLabelHeight), 3.0f, 0xF3F5EE, 0xD2DBD0,
        0xFAFBF8, 0x7E8A7A, kPlate);
  return b;
}

Bitmap LabelStrip(std::span<const std::string_view> texts, gui::Scale scale) {
  const int n = std::max<int>(static_cast<int>(texts.size()), 1);
  Bitmap b(kLabelWidth * n, kLabelHeight, kKey, scale);
  for (int i = 0; i < static_cast<int>(texts.size()); ++i) {
    const Rect r = Rect::XYWH(i * kLabelWidth, 0, kLabelWidth, kLabelHeight);
    Plate(b, r, 3.0f, kLabelTop, kLabelBottom, 0x90A6BE, 0x33465C, kPlate);
    const Font f = Fit(Sans(7, true, kLabelText), texts[i], kLabelWidth - 4);
    TextIn(b, {r.left, r.top, r.right, r.bottom - 1}, texts[i], f);
  }
  return b;
}

Bitmap PointBox(gui::Scale scale) {
  Bitmap b(60, 14, kKey, scale);
  RoundRect(b, b.bounds(), 3.0f, 0x9C9270, 0xE6ECE4);
  RoundRect(b, {1, 1, 59, 13}, 2.0f, 0xFFF6CC);
  return b;
}

Bitmap LoopMarks(gui::Scale scale) {
  Bitmap b(28, 14, kKey, scale);
  const Color violet = gui::FromBgr(0x990044);
  // Two flags on rows 2..11, each a triangle widening from 2 pixels to 6 and back: start points
  // right from its pole at x = 1, end points left from its pole at x = 26. A pixel belongs to a
  // flag when its centre lies within the triangle's width on its row.
  for (int y = 0; y < b.pixel_height(); ++y) {
    const float v = b.FormOf(y) - 2.0f;
    if (v < 0.0f || v >= 10.0f) continue;
    const float half = std::min(v - 0.5f, 9.5f - v);
    for (int x = 0; x < b.pixel_width(); ++x) {
      const float u = b.FormOf(x);
      const bool start = u >= 1.0f && u - 1.0f < half + 2.0f;
      const bool end = u < 27.0f && 27.0f - u < half + 2.0f;
      if (start || end) b.Row(y)[x] = violet;
    }
  }
  return b;
}

Bitmap EvolButton(gui::Scale scale) {
  Bitmap b(101, 31, kKey, scale);
  Plate(b, {1, 1, 100, 30}, 5.0f, 0x69737F, 0x4A525C, 0x8A949F, 0x1C1F23, kFaceBase);
  const Rect face{4, 4, 97, 27};
  RoundRectWith(b, face, 3.0f, Gradient(b, face, 0x57616C, 0x444B54));
  TextIn(b, {4, 4, 97, 27}, "EVOLVER", Sans(9, true, kTitle));
  return b;
}

Bitmap EnvelopeBackground(gui::Scale scale) {
  Bitmap b(610, 110, 0xE9EEE6, scale);
  // The drawing area is 5..605 by 5..105: a grid of sixteenths in time, quarters in level.
  for (int i = 0; i <= 16; ++i) {
    const int x = 5 + 600 * i / 16;
    b.Line(x, 5, x, 106, i % 4 == 0 ? 0xB9C4B6 : 0xD5DDD2);
  }
  for (int j = 0; j <= 4; ++j) {
    const int y = 5 + 100 * j / 4;
    b.Line(5, y, 606, y, j % 2 == 0 ? 0xB9C4B6 : 0xD5DDD2);
  }
  return b;
}

Bitmap AboutBitmap(std::string_view maker, gui::Scale scale) {
  Bitmap b(200, 200, kFaceBase, scale);
  Plate(b, {0, 0, 200, 200}, 0.0f, 0x4A525C, 0x2C3036, 0x6A737E, 0x15181B);
  RoundRect(b, {8, 8, 192, 192}, 6.0f, 0x1D2024);
  const Rect inner{9, 9, 191, 191};
  RoundRectWith(b, inner, 5.0f, Gradient(b, inner, 0x3A4048, 0x262A2F));
  Font display;
  display.name = "Cooper Black";
  display.size = -30;
  display.color = 0xE9E1CC;
  TextIn(b, {0, 22, 200, 62}, "Vellicor", display);
  TextIn(b, {0, 62, 200, 80}, "V2.0", Sans(10, true, kTitle));
  // A cycle of a pulse-width-modulated wave as the emblem, sampled at every pixel column.
  const auto wave_y = [&b](int column) {
    const float t = (b.FormOf(column) - 0.5f - 40.0f) / 120.0f;
    const float s = std::sin(2 * kPi * t) + 0.35f * std::sin(6 * kPi * t);
    return b.PenAt(112) - static_cast<int>(std::lround(14 * s * b.factor()));
  };
  const int first = b.PenAt(40);
  int px = first, py = wave_y(first);
  for (int x = first; x <= b.PenAt(160); ++x) {
    const int y = wave_y(x);
    b.PixelLine(px, py, x, y, kTitle);
    px = x;
    py = y;
  }
  TextIn(b, {0, 136, 200, 152}, "Six-voice polyphonic synthesizer", Sans(7, false, kCaption));
  TextIn(b, {0, 152, 200, 170}, maker, Sans(9, true, kCaption));
  TextIn(b, {0, 174, 200, 188}, "click to close", Sans(6, false, kTick));
  return b;
}

Bitmap EvolverBitmap(gui::Scale scale) {
  Bitmap b(284, 347, kFaceBase, scale);
  Plate(b, {0, 0, 284, 347}, 0.0f, 0x4A525C, 0x30353B, 0x6A737E, 0x15181B);
  TextIn(b, {0, 18, 284, 40}, "EVOLVER", Sans(12, true, kTitle));
  // The well behind the nine slots.
  RoundRect(b, {54, 46, 235, 231}, 5.0f, 0x1D2024);
  const Font f = Sans(7, false, kCaption);
  b.Text(31, 268 - gui::TextHeight(f), "Level", f);
  b.Text(155, 268 - gui::TextHeight(f), "Amount", f);
  return b;
}

Bitmap EvolverSlot(int slot, gui::Scale scale) {
  Bitmap b(53, 53, 0x1D2024, scale);
  const bool centre = slot == 4;
  Plate(b, {1, 1, 52, 52}, 4.0f, centre ? 0x7A6A48 : 0x5A646F, centre ? 0x5A4C30 : 0x3E454D,
        centre ? 0xB09A60 : 0x7D8792, 0x15181B);
  TextIn(b, {1, 1, 52, 52}, std::to_string(slot + 1), Sans(14, true, centre ? kTitle : kCaption));
  return b;
}

Bitmap EvolverButton(std::string_view caption, gui::Scale scale) {
  Bitmap b(69, 25, 0x30353B, scale);
  Plate(b, {0, 0, 69, 25}, 4.0f, 0x69737F, 0x4A525C, 0x8A949F, 0x1C1F23);
  TextIn(b, {0, 0, 69, 24}, caption, Sans(8, true, kLabelText));
  return b;
}

// --- Label texts ----------------------------------------------------------------------------

namespace {

// Time snap (frames 0..3), then level snap (frames 4..7).
constexpr std::string_view kSnap[] = {"OFF", "QBEAT",  "1/2 QB", "1/4 QB",
                                      "OFF", "7 SEMI", "1 OCT",  "4 OCT"};
constexpr std::string_view kModifier[] = {"NONE",   "SLOPE",  "AMP", "FLIP",
                                          "SMOOTH", "SQUASH", "MOVE"};

}  // namespace

const std::span<const std::string_view> kSnapLabels = kSnap;
const std::span<const std::string_view> kModifierLabels = kModifier;

}  // namespace vellicor::editor::artwork
