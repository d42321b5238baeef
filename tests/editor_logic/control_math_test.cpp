// Control table lookups and the mouse maths of sliders, dials and toggles.
#include "editor/control_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace vellicor::editor::logic {
namespace {

constexpr float kAngleTolerance = 1e-5f;  // the dial constants are a hair off pi/2 and 2 pi

TEST(Slider, PressJumpsToThePointerWithinTheTrack) {
  for (int x : {-20, 0, 10}) {
    EXPECT_EQ(SliderPointerValue(x), 0.0f) << x;
    EXPECT_EQ(KnobX(SliderPointerValue(x)), 5);
  }
  for (int x : {90, 99, 300}) {
    EXPECT_EQ(SliderPointerValue(x), 1.0f) << x;
    EXPECT_EQ(KnobX(SliderPointerValue(x)), 85);
  }
  EXPECT_EQ(SliderPointerValue(50), 0.5f);
  const PressResult press =
      ControlPress(ControlKind::kSlider, MouseButton::kLeft, false, false, 0, 30, 6, 0.9f);
  EXPECT_EQ(press.action, PressAction::kStartDrag);
  EXPECT_EQ(press.mode, DragMode::kCoarse);
  EXPECT_TRUE(press.send);
  EXPECT_EQ(press.value, 0.25f);
  EXPECT_EQ(press.start_value, 0.25f);
  EXPECT_EQ(DragValue(ControlKind::kSlider, DragMode::kCoarse, 0.25f, 0.25f, 70, 40), 0.75f);
}

TEST(Slider, ShiftDragCountsPixelsFromTheTrackStart) {
  const PressResult press =
      ControlPress(ControlKind::kSlider, MouseButton::kLeft, true, false, 0, 70, 6, 0.4f);
  EXPECT_EQ(press.mode, DragMode::kFine);
  EXPECT_FALSE(press.send);  // the knob does not move on the press
  EXPECT_EQ(press.start_value, 0.4f);
  const auto fine = [](float start, int x) {
    return DragValue(ControlKind::kSlider, DragMode::kFine, start, 0.0f, x, 0);
  };
  EXPECT_FLOAT_EQ(fine(0.4f, 60), 0.45f);
  EXPECT_FLOAT_EQ(fine(0.4f, 0), 0.39f);
  EXPECT_FLOAT_EQ(fine(0.4f, 10), 0.4f);
  EXPECT_EQ(fine(0.99f, 60), 1.0f);
  EXPECT_EQ(fine(0.005f, 0), 0.0f);
}

TEST(Dial, PressAngleGrowsClockwiseFromBelow) {
  EXPECT_NEAR(DialPressValue(16, 30), 0.0f, kAngleTolerance);
  EXPECT_NEAR(DialPressValue(0, 16), 0.3125f, kAngleTolerance);
  EXPECT_NEAR(DialPressValue(16, 0), 0.625f, kAngleTolerance);
  EXPECT_NEAR(DialPressValue(30, 16), 0.9375f, kAngleTolerance);
  EXPECT_NEAR(DialPressValue(16, 16), 0.9375f, kAngleTolerance);  // the centre reads angle 0
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
}

TEST(Dial, CoarseSweepRefusesJumpsAcrossTheDeadFifth) {
  const auto sweep = [](float old, int x, int y) {
    return DragValue(ControlKind::kDial, DragMode::kCoarse, 0.0f, old, x, y);
  };
  // (25, 20) lies in the dead fifth round the drag centre (15, 15).
  EXPECT_EQ(sweep(0.95f, 25, 20), 0.95f);
  EXPECT_EQ(sweep(0.1f, 25, 20), 0.0f);
  EXPECT_NEAR(sweep(0.5f, 0, 15), 0.3125f, kAngleTolerance);
  EXPECT_NEAR(sweep(0.5f, 15, 0), 0.625f, kAngleTolerance);
  EXPECT_NEAR(sweep(0.7f, 29, 15), 0.9375f, kAngleTolerance);
  EXPECT_EQ(sweep(0.9f, 5, 25), 0.9f);  // lower left reads about 0.16: too far from 0.9
  EXPECT_NEAR(sweep(0.3f, 5, 25), 0.15625f, kAngleTolerance);
}

TEST(Dial, FineDragAndSwappedModes) {
  const auto fine = [](float start, int y) {
    return DragValue(ControlKind::kDial, DragMode::kFine, start, 0.7f, 0, y);
  };
  EXPECT_FLOAT_EQ(fine(0.5f, -15), 0.6f);
  EXPECT_FLOAT_EQ(fine(0.5f, 45), 0.4f);
  EXPECT_EQ(fine(0.5f, 400), 0.0f);
  EXPECT_EQ(fine(0.9f, -100), 1.0f);

  for (int swap : {0, 1}) {
    for (bool shift : {false, true}) {
      const DragMode expected = (swap == 1) != shift ? DragMode::kFine : DragMode::kCoarse;
      const PressResult press =
          ControlPress(ControlKind::kDial, MouseButton::kLeft, shift, false, swap, 16, 30, 0.5f);
      EXPECT_EQ(press.mode, expected) << swap << shift;
      // Both modes start by jumping to the pointer's angle.
      EXPECT_TRUE(press.send);
      EXPECT_EQ(press.start_value, press.value);
      EXPECT_NEAR(press.value, 0.0f, kAngleTolerance);
    }
  }
}

TEST(Press, ButtonsAndModifiers) {
  const auto press = [](ControlKind kind, MouseButton button, bool ctrl, float v) {
    return ControlPress(kind, button, false, ctrl, 0, 20, 5, v);
  };
  const PressResult reset = press(ControlKind::kDial, MouseButton::kLeft, true, 0.5f);
  EXPECT_EQ(reset.action, PressAction::kResetToDefault);
  EXPECT_EQ(reset.mode, DragMode::kNone);
  EXPECT_FALSE(reset.send);
  EXPECT_EQ(press(ControlKind::kSlider, MouseButton::kLeft, true, 0.5f).action,
            PressAction::kStartDrag);  // Ctrl means nothing on a slider
  for (ControlKind kind : {ControlKind::kDial, ControlKind::kSlider}) {
    EXPECT_EQ(press(kind, MouseButton::kRight, true, 0.5f).action, PressAction::kMidiMenu);
    EXPECT_FALSE(press(kind, MouseButton::kRight, false, 0.5f).send);
    EXPECT_EQ(press(kind, MouseButton::kMiddle, false, 0.5f).action, PressAction::kNothing);
  }
  for (MouseButton button : {MouseButton::kLeft, MouseButton::kMiddle, MouseButton::kRight}) {
    EXPECT_EQ(press(ControlKind::kToggle, button, false, 0.499f).value, 0.0f);
    EXPECT_EQ(press(ControlKind::kToggle, button, false, 0.4989f).value, 0.9f);
    EXPECT_TRUE(press(ControlKind::kToggle, button, false, 0.9f).send);
  }
}

// The LFO panel's sliders of the LFO shown, and the envelope panel's, redraw even unchanged
// (their value may be another LFO's or envelope's); the knob places are checked by the editor's
// pictures (editor_harness.h draws them independently).
TEST(Drawing, AlwaysDrawnSliders) {
  EXPECT_TRUE(SliderAlwaysDrawn(177, 2));
  EXPECT_TRUE(SliderAlwaysDrawn(207, 2));
  EXPECT_FALSE(SliderAlwaysDrawn(176, 2));
  EXPECT_TRUE(SliderAlwaysDrawn(260, 0));
  EXPECT_FALSE(SliderAlwaysDrawn(1, 0));
}

TEST(Tables, NamesAndIndicesLeadToOneControlEach) {
  ASSERT_NE(FindControl("HVOLUME"), nullptr);
  EXPECT_EQ(FindControl("hvolume")->base, 1);
  EXPECT_EQ(FindControl("DLPWMS2")->kind, ControlKind::kDial);
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
  const SelectorSpec* lfo_wave = FindSelector("MNLFOTYPE");
  ASSERT_NE(lfo_wave, nullptr);
  EXPECT_EQ(lfo_wave->Index(3, 0), 173);
  EXPECT_EQ(lfo_wave->image_list, "Iosc");
  EXPECT_EQ(FindSelector("MnEnvSus")->Index(0, 5), 235);
  EXPECT_EQ(SelectorFrame(10.99f, 0.8f), 8);  // past the end of ILfoNo: drawn blank
  EXPECT_EQ(LfoNumberOf(1.0f), 4);
  EXPECT_EQ(LfoNumberOf(2.5f / 10.99f), 2);
  EXPECT_EQ(EnvNumberOf(2.1f / 20.99f), 2);
  EXPECT_EQ(EnvNumberOf(1.0f), 7);
}

TEST(Atan2, MatchesTheLibraryOverTheDialArea) {
  for (int y = -40; y <= 40; ++y) {
    for (int x = -40; x <= 40; ++x) {
      if (x == 0 && y == 0) continue;
      EXPECT_NEAR(Atan2(y, x), std::atan2(y, x), 1e-15) << x << "," << y;
    }
  }
  EXPECT_EQ(Atan2(0.0, 0.0), 0.0);
}

}  // namespace
}  // namespace vellicor::editor::logic
