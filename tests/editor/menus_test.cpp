// The selection menus through the real form in a headless window: which selector opens which
// menu, what each item writes where, what the host hears, the Shift rules, cancelling and the
// menus' look.
#include <cmath>
#include <string>

#include "gui/menu.h"
#include "tests/editor/editor_harness.h"

namespace vellicor::testing {
namespace {

class MenuTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    editor = Open();
    ASSERT_NE(editor, nullptr);
  }
  void Press(std::string_view image, unsigned modifiers = 0,
             gui::MouseButton button = gui::MouseButton::kLeft) {
    Headless().MouseDown(CentreOf(image), button, modifiers);
    Headless().MouseUp(CentreOf(image), button, modifiers);
  }
  const gui::PopupMenu* OpenMenu() { return Headless().open_menu(); }
  // Opens the selector's menu and chooses an item by name.
  void Choose(std::string_view image, std::string_view item) {
    Press(image);
    ASSERT_NE(OpenMenu(), nullptr) << image;
    ASSERT_TRUE(Headless().ChooseMenuItem(item)) << image << " " << item;
    EXPECT_EQ(OpenMenu(), nullptr);
  }
  float Value(int index) { return plugin->getParameter(index); }

  TPluginEditorWindow* editor = nullptr;
};

struct Choice {
  const char* selector;
  int items;
  const char* item;
  int index;
  double value;  // as the item encodes its choice
  const char* list;
  float k;  // the scale that reads the choice back
  int frame;
};

// One line per selector: its menu's size, one item, where it lands and how it reads back.
const Choice kChoices[] = {
    {"Mntype1", 14, "W02", 39, 2 / 49.99 + 0.001, "Iosc", 49.99f, 2},
    {"MnType2", 14, "W13", 59, 13 / 49.99 + 0.001, "Iosc", 49.99f, 13},
    {"MnFmType1", 2, "F01", 46, 1 / 49.99 + 0.001, "Ifm", 49.99f, 1},
    {"MnFMType2", 2, "F00", 66, 0 / 49.99 + 0.001, "Ifm", 49.99f, 0},
    {"MnFilter1", 12, "Fi05", 120, 5 / 12.99 + 0.05, "Ifilter", 12.99f, 5},
    {"MnVolLfo", 6, "SLFNONE", 19, 5.5 / 10.99, "ILfoNo", 10.99f, 5},
    {"MnPanLfo", 6, "SLF1", 20, 1.5 / 10.99, "ILfoNo", 10.99f, 1},
    {"MnFilter1LFO", 6, "SLF4", 132, 4.5 / 10.99, "ILfoNo", 10.99f, 4},
    {"MnVolLfo1", 6, "SLF0", 53, 0.5 / 10.99, "ILfoNo", 10.99f, 0},
    {"MnVolLfo2", 6, "SLF2", 74, 2.5 / 10.99, "ILfoNo", 10.99f, 2},
    {"MnPitLfo1", 6, "SLF3", 54, 3.5 / 10.99, "ILfoNo", 10.99f, 3},
    {"MnPitLfo2", 6, "SLFNONE", 75, 5.5 / 10.99, "ILfoNo", 10.99f, 5},
    {"MnPShift", 16, "Bend12", 4, 12.5 / 15.99, "IBend", 15.99f, 12},
    {"MnPrange1", 16, "Bend00", 51, 0.5 / 15.99, "IBend", 15.99f, 0},
    {"MnPrange2", 16, "Bend15", 72, 15.5 / 15.99, "IBend", 15.99f, 15},
    {"MnPlfo1", 16, "Bend13", 55, 13.5 / 15.99, "IBend", 15.99f, 13},
    {"MnPLfo2", 16, "Bend01", 76, 1.5 / 15.99, "IBend", 15.99f, 1},
    {"MnMode", 4, "Mode3", 0, 2.5 / 3.99, "Imode", 3.99f, 2},
    {"MnArpmode", 4, "Amode2", 7, 1.5 / 3.99, "IArpMode", 3.99f, 1},
    {"MnArpOct", 4, "Aoct4", 8, 3.5 / 3.99, "IarpOct", 3.99f, 3},
    {"MnLfoNo", 5, "LF3", 169, 3.5 / 10.99, "ILfoNo", 10.99f, 3},
};

TEST_F(MenuTest, EachSelectorWritesItsChoiceWhereItBelongsOnce) {
  editor->PrintLabels("before", "menus");
  for (const Choice& c : kChoices) {
    SCOPED_TRACE(c.selector);
    Press(c.selector);
    const gui::PopupMenu* menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(static_cast<int>(menu->items.size()), c.items);
    const int before = g_automation.count;
    ASSERT_TRUE(Headless().ChooseMenuItem(c.item));
    const float expected = static_cast<float>(c.value);
    EXPECT_EQ(g_automation.count, before + 1);
    EXPECT_EQ(g_automation.index, c.index);
    EXPECT_FLOAT_EQ(g_automation.value, expected);
    EXPECT_FLOAT_EQ(Value(c.index), expected);
    EXPECT_FLOAT_EQ(editor->Mirror(c.index), expected);
    EXPECT_EQ(IntPart(c.k * Value(c.index)), c.frame);
    EXPECT_EQ(ImageNamed(c.selector).bitmap(), ExpectedSelector(c.list, c.k, expected));
  }
  // Selectors print no read-out.
  EXPECT_EQ(editor->ReadOutText(), "before :: menus");
}

TEST_F(MenuTest, TheLfoTypeMenuWritesTheWaveOfTheLfoShown) {
  for (int lfo = 0; lfo < 5; ++lfo) {
    SCOPED_TRACE(lfo);
    plugin->setParameter(180 + lfo, 0.2f * static_cast<float>(lfo));
    Choose("MnLfoNo", lfo == 0 ? "Lf0" : "LF" + std::to_string(lfo));
    EXPECT_EQ(editor->LfoNumber, lfo);
    EXPECT_FLOAT_EQ(Value(169), static_cast<float>((lfo + 0.5) / 10.99));
    // The panel shows the new LFO at once, without waiting for the refresh.
    EXPECT_EQ(ImageNamed("HAmp").bitmap(), ExpectedSlider(0.2f * static_cast<float>(lfo)));
    const int wave = 3 + 2 * lfo;
    const std::string item = (wave < 10 ? "W0" : "W") + std::to_string(wave);
    Choose("MnLfoType", item);
    const float written = static_cast<float>(wave / 49.99 + 0.001);
    EXPECT_EQ(g_automation.index, 170 + lfo);
    EXPECT_FLOAT_EQ(Value(170 + lfo), written);
    EXPECT_EQ(ImageNamed("MnLfoType").bitmap(), ExpectedSelector("Iosc", 49.99f, written));
  }
  // The other LFOs kept their waves.
  for (int lfo = 0; lfo < 5; ++lfo) {
    EXPECT_EQ(IntPart(49.99f * Value(170 + lfo)), 3 + 2 * lfo);
  }
}

// Which openers ignore Shift is checked in menu_tables_test; here, that the editor obeys it.
TEST_F(MenuTest, ShiftOpensNoWaveFilterOrRangeMenuAndEveryButtonOpensTheRest) {
  Press("MnFilter1", gui::kShift);
  EXPECT_EQ(OpenMenu(), nullptr);
  EXPECT_EQ(editor->FilterTarget, -1);  // and leaves the filter target unset
  Press("MnArpOct", gui::kShift);
  ASSERT_NE(OpenMenu(), nullptr);
  Headless().Key(gui::MenuKey::kEscape);
  for (const gui::MouseButton button : {gui::MouseButton::kRight, gui::MouseButton::kMiddle}) {
    Press("MnFilter1", 0, button);
    ASSERT_NE(OpenMenu(), nullptr);
    EXPECT_EQ(OpenMenu()->items.size(), 12u);
    Headless().Key(gui::MenuKey::kEscape);
  }
}

TEST_F(MenuTest, ClosingAMenuWithoutAChoiceWritesNothing) {
  const float mode = Value(0);
  const int before = g_automation.count;
  Press("MnMode");
  ASSERT_NE(OpenMenu(), nullptr);
  Headless().Key(gui::MenuKey::kEscape);
  EXPECT_EQ(OpenMenu(), nullptr);
  Press("MnArpOct");
  ASSERT_NE(OpenMenu(), nullptr);
  Headless().Click({5, 500});  // outside the menu
  EXPECT_EQ(OpenMenu(), nullptr);
  EXPECT_EQ(g_automation.count, before);
  EXPECT_FLOAT_EQ(Value(0), mode);
}

TEST_F(MenuTest, TheChoiceGoesWhereTheMenuWasOpenedForAfterTheTargetIsReset) {
  Press("MnFilter1");
  ASSERT_NE(OpenMenu(), nullptr);
  EXPECT_EQ(editor->FilterTarget, 120);
  {
    // Where the window system delivers the selector's release before the item's click, the
    // release has reset the target by the time the choice arrives.
    auto lock = editor->Lock();
    editor->FilterTarget = -1;
    editor->LfoSelTarget = -1;
  }
  ASSERT_TRUE(Headless().ChooseMenuItem("Fi07"));
  EXPECT_EQ(g_automation.index, 120);
  EXPECT_FLOAT_EQ(Value(120), static_cast<float>(7 / 12.99 + 0.05));

  // A release handler that resets: a Shift press on a range selector opens nothing, and its
  // release clears the LFO-source and envelope-destination targets.
  Press("MnVolLfo2");
  Headless().Key(gui::MenuKey::kEscape);
  EXPECT_EQ(editor->LfoSelTarget, 74);
  Press("MnPrange2", gui::kShift);
  EXPECT_EQ(editor->LfoSelTarget, -1);
  EXPECT_EQ(editor->DestIndex, -1);
}

// Pixels of the menu's surface that are not the item's background colour.
int InkIn(const gui::Bitmap& surface, const gui::Rect& r, gui::Color background) {
  int ink = 0;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) ink += surface.Pixel(x, y) != background;
  }
  return ink;
}

TEST_F(MenuTest, MenusAreOwnerDrawnAndAsWideAsTheirLongestDesignCaption) {
  const gui::Color khaki = 0xCCCC99, violet = 0x440099;  // red, green, blue
  Press("MnMode");
  ASSERT_NE(OpenMenu(), nullptr);
  const gui::Rect menu = Headless().menu_rect();
  gui::MenuItem widest;
  widest.caption = "Arpegator";
  EXPECT_EQ(menu.width(), gui::MeasureMenuItem(widest).width + 2 * gui::kMenuBorder);
  // The items show their texts, not their captions, in black on khaki.
  const gui::Rect first = Headless().menu_item_rect(0).Offset(-menu.left, -menu.top);
  const gui::Rect second = Headless().menu_item_rect(1).Offset(-menu.left, -menu.top);
  gui::Bitmap expected(first.width(), first.height(), khaki);
  gui::Font font = gui::MenuFont();
  font.name = "Arial";
  font.color = gui::kBlack;
  expected.Text(0, 0, " Poly", font);
  gui::Bitmap shown(first.width(), first.height());
  shown.Copy(*Headless().menu_surface(), first, 0, 0);
  EXPECT_EQ(shown, expected);
  // Under the pointer an item turns violet with silver text.
  const gui::Rect on_screen = Headless().menu_item_rect(1);
  Headless().MouseMove({on_screen.left + 5, on_screen.top + 3});
  const gui::Bitmap& surface = *Headless().menu_surface();
  EXPECT_EQ(surface.Pixel(second.right - 2, second.top + 1), violet);
  EXPECT_EQ(surface.Pixel(first.right - 2, first.top + 1), khaki);
  EXPECT_GT(InkIn(surface, second, violet), 20);
  // Violet has no green; light grey text on it has plenty.
  int light = 0;
  for (int y = second.top; y < second.bottom; ++y) {
    for (int x = second.left; x < second.right; ++x)
      light += gui::GreenOf(surface.Pixel(x, y)) > 0x90;
  }
  EXPECT_GT(light, 20);
  Headless().Key(gui::MenuKey::kEscape);

  // The filter menu is sized by its caption of 27 blanks, wider than any filter name.
  Press("MnFilter1");
  gui::MenuItem blanks;
  blanks.caption = std::string(27, ' ');
  EXPECT_EQ(Headless().menu_rect().width(),
            gui::MeasureMenuItem(blanks).width + 2 * gui::kMenuBorder);
  Headless().Key(gui::MenuKey::kEscape);
}

}  // namespace
}  // namespace vellicor::testing
