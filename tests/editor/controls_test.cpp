// Dials, sliders and toggles under the mouse, through the real form in a headless window.
#include <string>

#include "tests/editor/editor_harness.h"

namespace vellicor::testing {
namespace {

class ControlMouseTest : public OpenEditorTest {
 protected:
  void Press(std::string_view name, int x, int y, unsigned modifiers = 0,
             gui::MouseButton button = gui::MouseButton::kLeft) {
    Headless().MouseDown(At(name, x, y), button, modifiers);
  }
  void Move(std::string_view name, int x, int y) { Headless().MouseMove(At(name, x, y)); }
  void Release(std::string_view name, int x, int y,
               gui::MouseButton button = gui::MouseButton::kLeft) {
    Headless().MouseUp(At(name, x, y), button);
  }
  void Click(std::string_view name, int x, int y, unsigned modifiers = 0,
             gui::MouseButton button = gui::MouseButton::kLeft) {
    EditorTest::Click(At(name, x, y), modifiers, button);
  }
  // Sets a value as the host would and lets the 200 ms refresh show it.
  void HostSets(int index, float value) {
    plugin->setParameter(index, value);
    Tick();
  }
};

// The pointer maths are checked in control_math_test; here, that a press reaches the value, the
// host (once), the editor's copy and the control's picture, for a slider, a dial and a toggle.
TEST_F(ControlMouseTest, APressWritesTheValueOnceAndTheControlShowsIt) {
  struct Case {
    const char* control;
    int index, x, y;
    float value;
  };
  for (const Case c : {Case{"Hvolume", 1, 3, 6, 0.0f}, Case{"Hvolume", 1, 99, 6, 1.0f},
                       Case{"Hvolume", 1, 30, 6, 0.25f}, Case{"DLPwm1", 47, 16, 2, 0.625f},
                       Case{"DLPwm1", 47, 28, 28, 1.0f}, Case{"mNrING1", 77, 20, 6, 0.9f},
                       Case{"mNrING1", 77, 20, 6, 0.0f}}) {
    SCOPED_TRACE(std::string(c.control) + " " + std::to_string(c.x) + "," + std::to_string(c.y));
    const int before = g_automation.count;
    Click(c.control, c.x, c.y);  // the release sends nothing more
    EXPECT_EQ(g_automation.count, before + 1);
    EXPECT_EQ(g_automation.index, c.index);
    EXPECT_NEAR(g_automation.value, c.value, 1e-5);
    EXPECT_NEAR(Value(c.index), c.value, 1e-5);
    EXPECT_EQ(editor->Mirror(c.index), Value(c.index));
    const float v = Value(c.index);
    EXPECT_EQ(ImageNamed(c.control).bitmap(), c.index == 1 ? ExpectedSlider(v)
                                              : c.index == 47
                                                  ? ExpectedDial(v)
                                                  : ExpectedSelector("IOnOff", 1.99f, v));
  }
  EXPECT_FALSE(editor->Dragging);
  // Every button flips a toggle (its threshold is control_math_test's).
  Click("mNrING1", 20, 6, 0, gui::MouseButton::kRight);
  Click("mNrING1", 20, 6, 0, gui::MouseButton::kMiddle);
  EXPECT_FLOAT_EQ(Value(77), 0.0f);

  // The evolver's sliders lie outside the 200 ms refresh: the next release draws them.
  plugin->setParameter(1597, 0.7f);
  Tick(1000);
  EXPECT_NE(ImageNamed("HEAmount").bitmap(), ExpectedSlider(0.7f));
  Click("Hvolume", 50, 6);
  EXPECT_EQ(ImageNamed("HEAmount").bitmap(), ExpectedSlider(0.7f));
}

TEST_F(ControlMouseTest, SliderAndDialDragsInEachModeAndSwapDialsExchangesTheDialModes) {
  Press("Hrel", 20, 6);
  EXPECT_TRUE(editor->Dragging);
  Move("Hrel", 70, 6);
  EXPECT_FLOAT_EQ(Value(12), 0.75f);
  Move("Hrel", 200, -40);  // far past the end, and off the control
  EXPECT_FLOAT_EQ(Value(12), 1.0f);
  Release("Hrel", 200, -40);
  EXPECT_FALSE(editor->Dragging);
  EXPECT_EQ(editor->DragKind, -1);

  // Shift: the knob stays at the press; every pixel from x = 10 is worth 0.001 of the value
  // the control had at the press.
  HostSets(1, 0.5f);
  const int before = g_automation.count;
  Press("Hvolume", 70, 6, gui::kShift);
  EXPECT_EQ(g_automation.count, before);
  EXPECT_EQ(ImageNamed("Hvolume").bitmap(), ExpectedSlider(0.5f));
  Move("Hvolume", 60, 6);
  EXPECT_FLOAT_EQ(Value(1), 0.55f);
  EXPECT_EQ(g_automation.count, before + 1);
  Move("Hvolume", -2000, 6);
  Release("Hvolume", -2000, 6);
  EXPECT_EQ(ImageNamed("Hvolume").bitmap(), ExpectedSlider(0.0f));

  // From the right (0.9375) into the dead fifth: a jump to 0, refused; round the top it sweeps.
  Press("DlFdist1", 30, 16);
  Move("DlFdist1", 27, 27);
  EXPECT_NEAR(Value(125), 0.9375f, 1e-5);
  Move("DlFdist1", 15, 2);
  EXPECT_NEAR(Value(125), 0.625f, 1e-5);
  Release("DlFdist1", 15, 2);
  EXPECT_EQ(ImageNamed("DlFdist1").bitmap(), ExpectedDial(Value(125)));

  // Shift + left: the press still jumps to the angle; then each row above y = 15 adds 1/300.
  Press("HStereo", 16, 30, gui::kShift);
  Move("HStereo", 40, -15);
  EXPECT_NEAR(Value(13), 0.1f, 1e-6);
  Release("HStereo", 40, -15);
  EditorTest::Click({3, 3}, gui::kCtrl, gui::MouseButton::kRight);  // the controller menu
  ASSERT_TRUE(Headless().ChooseMenuItem("CCSwap"));                 // swaps the dial modes
  Press("HStereo", 16, 2);  // plain left is now fine (the whole swap is control_math_test's)
  Move("HStereo", 16, 45);
  EXPECT_NEAR(Value(13), 0.525f, 1e-5);
  Release("HStereo", 16, 45);
}

TEST_F(ControlMouseTest, PressesBesidesAPlainLeftAndPressesDuringADrag) {
  HostSets(124, 0.3f);  // filter volume, default 0.8
  HostSets(42, 0.3f);
  const int before = g_automation.count;
  Press("DlFVol1", 5, 5, gui::kCtrl);
  EXPECT_FALSE(editor->Dragging);
  EXPECT_EQ(g_automation.count, before + 1);
  EXPECT_FLOAT_EQ(Value(124), 0.8f);
  EXPECT_EQ(ImageNamed("DlFVol1").bitmap(), ExpectedDial(0.8f));
  Move("DlFVol1", 30, 30);  // no drag: nothing follows
  Release("DlFVol1", 30, 30);
  EXPECT_EQ(g_automation.count, before + 1);

  Press("Hvol1", 70, 4, 0, gui::MouseButton::kRight);
  EXPECT_EQ(editor->MidiTarget, 42);
  EXPECT_EQ(editor->PressPoint, (gui::Point{70, 4}));
  EXPECT_EQ(editor->PressedImage, &ImageNamed("Hvol1"));
  EXPECT_FALSE(editor->Dragging);
  Move("Hvol1", 10, 4);
  Release("Hvol1", 10, 4, gui::MouseButton::kRight);
  // The press opened the MIDI menu, which a press elsewhere would only close.
  ASSERT_NE(Headless().open_menu(), nullptr);
  Headless().Key(gui::MenuKey::kEscape);
  // The middle button does nothing on a dial or slider.
  Click("Hvol1", 90, 4, 0, gui::MouseButton::kMiddle);
  EXPECT_EQ(g_automation.count, before + 1);
  EXPECT_FLOAT_EQ(Value(42), 0.3f);

  // While a drag runs, other presses are ignored, moves anywhere drive it, and a lost release
  // ends it.
  HostSets(12, 0.2f);
  Press("Hvolume", 30, 6);
  // A second button while the drag runs: not a MIDI menu, not a new drag.
  Press("Hvolume", 30, 6, 0, gui::MouseButton::kRight);
  EXPECT_EQ(Headless().open_menu(), nullptr);
  // Over the release slider below, the volume slider still follows in its own pixels.
  const gui::Point over_release = At("Hrel", 50, 6);
  Headless().MouseMove(over_release);
  const gui::Point local = editor->form().Find("Hvolume")->FromForm(over_release);
  EXPECT_FLOAT_EQ(Value(1), editor::logic::SliderPointerValue(local.x));
  Headless().MouseUp(over_release);
  EXPECT_FALSE(editor->Dragging);
  EXPECT_FLOAT_EQ(Value(12), 0.2f);
  Headless().MouseUp(over_release, gui::MouseButton::kRight);

  // Another window took the mouse mid-drag: no release will come, and the next move ends it.
  Press("Hvolume", 50, 6);
  ASSERT_TRUE(editor->Dragging);
  {
    auto lock = editor->Lock();
    editor->form().ReleaseCapture();
  }
  Move("Hvolume", 90, 6);
  EXPECT_FALSE(editor->Dragging);
  EXPECT_FLOAT_EQ(Value(1), 0.5f);
}

TEST_F(ControlMouseTest, HoverAndDragWriteTheReadOutWithTheControllerSuffix) {
  Dispatch(vst::effEditIdle);  // the bridge copies the controller map (volume: cc7)
  HostSets(1, 0.8f);
  const int before = g_automation.count;
  Move("Hvolume", 40, 6);
  EXPECT_EQ(editor->ReadOutText(), "Volume  cc7  :: 2dB");
  EXPECT_EQ(g_automation.count, before);  // hovering changes nothing
  EXPECT_FLOAT_EQ(Value(1), 0.8f);

  // A dragged control labels every change.
  Press("HArpGate", 50, 6);
  EXPECT_EQ(editor->ReadOutText(), "Arp Gate cc18  :: 50%");
  Move("HArpGate", 18, 6);
  EXPECT_EQ(editor->ReadOutText(), "Arp Gate cc18  :: 10%");
  Release("HArpGate", 18, 6);

  // The map the read-out reads is the bridge's copy: a controller taken away shows no suffix.
  {
    auto lock = editor->Lock();
    plugin->editor()->values().CcMap[1] = 255;
  }
  Move("Hvolume", 40, 6);
  EXPECT_EQ(editor->ReadOutText(), "Volume  :: 2dB");
  // The envelope and LFO sliders read the envelope and LFO shown.
  HostSets(219, 0.1f / 20.99f);
  HostSets(250, 0.3f);
  Move("HLen", 40, 6);
  EXPECT_EQ(editor->ReadOutText(), "Envelope: Length :: 1 qb");
  HostSets(169, 2.5f / 10.99f);
  HostSets(182, 0.5f);
  Move("HAmp", 40, 6);
  EXPECT_EQ(editor->ReadOutText(), "LFO: Amp  cc52  :: 50%");
  // Toggles print nothing (selectors: menus_test).
  Move("mNrING1", 20, 6);
  EXPECT_EQ(editor->ReadOutText(), "LFO: Amp  cc52  :: 50%");
}

}  // namespace
}  // namespace vellicor::testing
