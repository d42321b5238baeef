// Control table lookups and the mouse maths of sliders, dials and toggles.
#include "editor/control_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <tuple>

namespace vellicor::editor::logic {
namespace {

constexpr float kAngleTolerance = 1e-5f;  // the dial constants are a hair off pi/2 and 2 pi

// A press's whole result as one line: action, drag mode, whether it sends, value, start value.
std::string Describe(const PressResult& p) {
  const char* const actions[] = {"nothing", "toggle", "midi-menu", "reset", "drag"};
  const char* const modes[] = {"none", "coarse", "fine"};
  char text[80];
  std::snprintf(text, sizeof text, "%s %s%s %g %g", actions[static_cast<int>(p.action)],
                modes[static_cast<int>(p.mode) + 1], p.send ? " send" : "", p.value, p.start_value);
  return text;
}

// Every kind of control under every button and modifier that means something to it.
TEST(Press, KindsButtonsAndModifiers) {
  using K = ControlKind;
  using B = MouseButton;
  // Kind, button, Shift, Ctrl, swapped dials, x (y = 30), the value before, the result.
  for (const auto& [kind, button, shift, ctrl, swap, x, value, result] : {
           std::tuple{K::kSlider, B::kLeft, 0, 0, 0, 30, 0.9f, "drag coarse send 0.25 0.25"},
           // Shift: the knob stays where it was; Ctrl means nothing on a slider.
           {K::kSlider, B::kLeft, 1, 0, 0, 70, 0.4f, "drag fine 0 0.4"},
           {K::kSlider, B::kLeft, 0, 1, 0, 30, 0.9f, "drag coarse send 0.25 0.25"},
           // Both dial modes start by jumping to the pointer's angle (1 in the lower-right fifth).
           {K::kDial, B::kLeft, 0, 0, 0, 30, 0.5f, "drag coarse send 1 1"},
           {K::kDial, B::kLeft, 1, 0, 0, 30, 0.5f, "drag fine send 1 1"},
           {K::kDial, B::kLeft, 0, 0, 1, 30, 0.5f, "drag fine send 1 1"},
           {K::kDial, B::kLeft, 1, 0, 1, 30, 0.5f, "drag coarse send 1 1"},
           {K::kDial, B::kLeft, 0, 1, 0, 16, 0.5f, "reset none 0 0"},
           {K::kDial, B::kRight, 0, 1, 0, 16, 0.5f, "midi-menu none 0 0"},
           {K::kSlider, B::kRight, 0, 0, 0, 16, 0.5f, "midi-menu none 0 0"},
           {K::kDial, B::kMiddle, 0, 0, 0, 16, 0.5f, "nothing none 0 0"},
           {K::kSlider, B::kMiddle, 0, 0, 0, 16, 0.5f, "nothing none 0 0"},
           // Every button flips a toggle: on from 0.499 up.
           {K::kToggle, B::kLeft, 0, 0, 0, 16, 0.499f, "toggle none send 0 0"},
           {K::kToggle, B::kMiddle, 0, 0, 0, 16, 0.4989f, "toggle none send 0.9 0"},
           {K::kToggle, B::kRight, 0, 0, 0, 16, 0.9f, "toggle none send 0 0"},
           {K::kToggle, B::kRight, 0, 0, 0, 16, 0.0f, "toggle none send 0.9 0"},
       }) {
    EXPECT_EQ(Describe(ControlPress(kind, button, shift, ctrl, swap, x, 30, value)), result)
        << static_cast<int>(kind) << " " << x << " " << value;
  }
}

TEST(PressValue, SliderWithinTheTrackDialClockwiseFromBelowByALibraryExactAngle) {
  const std::tuple<int, float, int> cases[] = {{-20, 0.0f, 5}, {0, 0.0f, 5},   {10, 0.0f, 5},
                                               {50, 0.5f, 45}, {90, 1.0f, 85}, {99, 1.0f, 85},
                                               {300, 1.0f, 85}};
  for (const auto& [x, value, knob] : cases) {
    EXPECT_EQ(SliderPointerValue(x), value) << x;
    EXPECT_EQ(KnobX(SliderPointerValue(x)), knob) << x;
  }

  // Dials: below, left, above, right, and the centre, which reads angle 0.
  const std::tuple<int, int, float> angles[] = {
      {16, 30, 0.0f}, {0, 16, 0.3125f}, {16, 0, 0.625f}, {30, 16, 0.9375f}, {16, 16, 0.9375f}};
  for (const auto& [x, y, value] : angles) {
    EXPECT_NEAR(DialPressValue(x, y), value, kAngleTolerance) << x << "," << y;
  }
  // The whole lower-right fifth of the turn (288 to 360 degrees from below) gives 1.
  for (int x = 17; x <= 30; ++x) {
    for (int y = 17; y <= 30; ++y) {
      // Angle from straight below towards the right.
      const double degrees = std::atan2(x - 16.0, y - 16.0) * 180.0 / 3.14159265358979;
      if (degrees < 71.9) {
        EXPECT_EQ(DialPressValue(x, y), 1.0f) << x << "," << y;
      } else if (degrees > 72.1) {
        EXPECT_LT(DialPressValue(x, y), 1.0f) << x << "," << y;
      }
    }
  }
  // The angle beneath: the library's over the whole dial area.
  for (int y = -40; y <= 40; ++y) {
    for (int x = -40; x <= 40; ++x) {
      if (x == 0 && y == 0) continue;
      EXPECT_NEAR(Atan2(y, x), std::atan2(y, x), 1e-15) << x << "," << y;
    }
  }
  EXPECT_EQ(Atan2(0.0, 0.0), 0.0);
}

// Moves during a drag: kind, mode, the value at the press, the value before the move, the
// pointer, and the value the move gives (every rule here moves it by 0.001 or more).
TEST(Drag, EachKindInEachMode) {
  using K = ControlKind;
  using M = DragMode;
  const std::tuple<K, M, float, float, int, int, float> cases[] = {
      {K::kSlider, M::kCoarse, 0.25f, 0.25f, 70, 40, 0.75f},  // follows the pointer
      // Fine: each pixel from x = 10 is worth 0.001, within 0..1.
      {K::kSlider, M::kFine, 0.4f, 0.0f, 60, 0, 0.45f},
      {K::kSlider, M::kFine, 0.4f, 0.0f, 0, 0, 0.39f},
      {K::kSlider, M::kFine, 0.4f, 0.0f, 10, 0, 0.4f},
      {K::kSlider, M::kFine, 0.99f, 0.0f, 60, 0, 1.0f},
      {K::kSlider, M::kFine, 0.005f, 0.0f, 0, 0, 0.0f},
      // Coarse dials sweep round (15, 15); (25, 20) lies in the dead fifth, which reads 0, and a
      // jump of more than 0.5 is refused.
      {K::kDial, M::kCoarse, 0.0f, 0.95f, 25, 20, 0.95f},
      {K::kDial, M::kCoarse, 0.0f, 0.1f, 25, 20, 0.0f},
      {K::kDial, M::kCoarse, 0.0f, 0.5f, 0, 15, 0.3125f},
      {K::kDial, M::kCoarse, 0.0f, 0.5f, 15, 0, 0.625f},
      {K::kDial, M::kCoarse, 0.0f, 0.7f, 29, 15, 0.9375f},
      {K::kDial, M::kCoarse, 0.0f, 0.9f, 5, 25, 0.9f},  // lower left reads about 0.16
      {K::kDial, M::kCoarse, 0.0f, 0.3f, 5, 25, 0.15625f},
      // Fine dials: 1/300 per row above y = 15, added to the value at the press, within 0..1.
      {K::kDial, M::kFine, 0.5f, 0.7f, 0, -15, 0.6f},
      {K::kDial, M::kFine, 0.5f, 0.7f, 0, 45, 0.4f},
      {K::kDial, M::kFine, 0.5f, 0.7f, 0, 400, 0.0f},
      {K::kDial, M::kFine, 0.9f, 0.7f, 0, -100, 1.0f},
  };
  for (const auto& [kind, mode, start, before, x, y, value] : cases) {
    EXPECT_NEAR(DragValue(kind, mode, start, before, x, y), value, kAngleTolerance)
        << (kind == K::kDial ? "dial " : "slider ") << static_cast<int>(mode) << " " << x << ","
        << y;
  }
}

// The LFO panel's sliders of the LFO shown, and the envelope panel's, redraw even unchanged
// (their value may be another LFO's or envelope's); the knob places are checked by the editor's
// pictures (editor_harness.h draws them independently).
TEST(Tables, NamesAndIndicesLeadToOneControlEachAndSomeAlwaysRedraw) {
  const std::tuple<int, int, bool> cases[] = {
      {177, 2, true}, {207, 2, true}, {176, 2, false}, {260, 0, true}, {1, 0, false}};
  for (const auto& [index, lfo, always] : cases) {
    EXPECT_EQ(SliderAlwaysDrawn(index, lfo), always) << index;
  }

  ASSERT_NE(FindControl("HVOLUME"), nullptr);
  EXPECT_EQ(FindControl("hvolume")->base, 1);
  EXPECT_EQ(FindControl("Image1"), nullptr);
  for (int lfo = 0; lfo < 5; ++lfo) {
    for (int env = 0; env < 8; ++env) {
      std::set<int> seen;
      for (const ControlSpec& control : ControlTable()) {
        const int index = control.Index(lfo, env);
        EXPECT_TRUE(seen.insert(index).second) << control.image;
        EXPECT_EQ(ControlAtIndex(index, lfo, env), &control);
      }
    }
  }
  EXPECT_EQ(FindControl("HSPEED")->Index(3, 0), 178);
  EXPECT_EQ(FindControl("HLEN")->Index(3, 6), 256);
  ASSERT_NE(FindSelector("MNENVSUS"), nullptr);
  EXPECT_EQ(FindSelector("MNENVSUS")->Index(0, 5), 235);
  EXPECT_EQ(SelectorFrame(10.99f, 0.8f), 8);  // past the end of ILfoNo: drawn blank
  EXPECT_EQ(LfoNumberOf(1.0f), 4);
  EXPECT_EQ(LfoNumberOf(2.5f / 10.99f), 2);
  EXPECT_EQ(EnvNumberOf(2.1f / 20.99f), 2);
  EXPECT_EQ(EnvNumberOf(1.0f), 7);
}

}  // namespace
}  // namespace vellicor::editor::logic
