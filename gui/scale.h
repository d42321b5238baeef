// The editor's scale: how many screen pixels one pixel of the form takes, from 1 to 3 in quarter
// steps. The form keeps its own coordinates at every scale; only what reaches the screen (and
// what comes from it) is scaled.
#pragma once

#include <array>

namespace vellicor::gui {

class Scale {
 public:
  static constexpr int kMinQuarters = 4;   // 100 %
  static constexpr int kMaxQuarters = 12;  // 300 %

  constexpr Scale() = default;
  // The nearest quarter step to `factor`, limited to 1..3; 1 for a factor that is not a number.
  static constexpr Scale FromFactor(double factor) {
    if (!(factor > 0.0)) return Scale();
    const double quarters = factor * 4.0 + 0.5;
    if (quarters >= kMaxQuarters) return Scale(kMaxQuarters);
    if (quarters < kMinQuarters) return Scale(kMinQuarters);
    return Scale(static_cast<int>(quarters));
  }
  static constexpr Scale FromPercent(int percent) { return FromFactor(percent / 100.0); }

  constexpr int quarters() const { return quarters_; }
  constexpr double factor() const { return quarters_ / 4.0; }
  constexpr int percent() const { return quarters_ * 25; }
  constexpr bool unit() const { return quarters_ == kMinQuarters; }

  // A form coordinate on the screen: its pixel edge, rounded down, so that neighbouring
  // rectangles of the form meet on the screen without a gap or an overlap.
  constexpr int ToScreen(int form) const { return FloorDiv(form * quarters_, 4); }
  // The form pixel a screen pixel lies in.
  constexpr int ToForm(int screen) const { return FloorDiv(screen * 4, quarters_); }
  // A form length on the screen, rounded up: the screen pixels that show it whole (635 form
  // pixels take 953 at 150 %).
  constexpr int ScreenSize(int form) const { return -FloorDiv(-form * quarters_, 4); }
  // The first screen pixel whose left edge lies in form pixel `form`, so that ToForm takes it
  // back there: where a point of the form is pressed on the screen.
  constexpr int ScreenPixelIn(int form) const { return ScreenSize(form); }
  // The width of a one-pixel line of the form on the screen: the factor rounded to whole pixels
  // (halves up).
  constexpr int PenWidth() const { return (quarters_ + 2) / 4; }

  friend constexpr bool operator==(Scale, Scale) = default;

 private:
  constexpr explicit Scale(int quarters) : quarters_(quarters) {}
  static constexpr int FloorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

  int quarters_ = kMinQuarters;
};

// The system's own factor for user interfaces: GDK_SCALE, or the X server's Xft.dpi over 96, on
// Linux; the monitor's DPI over 96 on Windows. 1 when the system says nothing.
double SystemScaleFactor();

// The sizes the editor offers its user, in percent.
inline constexpr std::array<int, 7> kScaleChoices = {100, 125, 150, 175, 200, 250, 300};

}  // namespace vellicor::gui
