// The selection menus through the real form in a headless window: which selector opens which
// menu, what each item writes where, what the host hears, the Shift rules, cancelling and the
// menus' look.
#include <cmath>
#include <string>

#include "editor/control_math.h"
#include "editor/menu_tables.h"
#include "gui/menu.h"
#include "tests/editor/editor_harness.h"

namespace vellicor::testing {
namespace {

class MenuTest : public OpenEditorTest {
 protected:
  void Press(std::string_view image, unsigned modifiers = 0,
             gui::MouseButton button = gui::MouseButton::kLeft) {
    Click(CentreOf(image), modifiers, button);
  }
  const gui::PopupMenu* OpenMenu() { return Headless().open_menu(); }
};

namespace logic = editor::logic;

// Every selector of the opener table (whose targets the logic tests pin): its menu, one item
// (a different one each time), where the choice lands, what the host hears and how it shows.
TEST_F(MenuTest, EachSelectorWritesItsChoiceWhereItBelongsOnce) {
  editor->PrintLabels("before", "menus");
  int turn = 0;
  for (const logic::MenuOpener& opener : logic::MenuOpeners()) {
    SCOPED_TRACE(std::string(opener.image));
    const logic::MenuSpec& menu = logic::Menu(opener.menu);
    const logic::SelectorSpec* selector = logic::FindSelector(opener.image);
    ASSERT_NE(selector, nullptr);
    const int k = turn++ % static_cast<int>(menu.items.size());
    const int index = opener.Target(editor->LfoNumber);
    Press(opener.image);
    const gui::PopupMenu* open = OpenMenu();
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(open->items.size(), menu.items.size());
    const int before = g_automation.count;
    ASSERT_TRUE(Headless().ChooseMenuItem(menu.items[static_cast<size_t>(k)].name));
    const float expected = logic::ItemValue(menu, k);
    EXPECT_EQ(g_automation.count, before + 1);
    EXPECT_EQ(g_automation.index, index);
    EXPECT_FLOAT_EQ(g_automation.value, expected);
    EXPECT_FLOAT_EQ(Value(index), expected);
    EXPECT_FLOAT_EQ(editor->Mirror(index), expected);
    EXPECT_EQ(ImageNamed(opener.image).bitmap(),
              ExpectedSelector(selector->image_list, selector->k, expected));
  }
  EXPECT_GE(turn, 21);
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
