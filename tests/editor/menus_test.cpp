// The selection menus through the real form in a headless window.
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

// Which openers ignore Shift is checked in menu_tables_test; here, that the editor obeys it,
// that every button opens the rest, and that a menu closed without a choice writes nothing.
TEST_F(MenuTest, ShiftOpensNoWaveFilterOrRangeMenuAndAClosedMenuWritesNothing) {
  const float mode = Value(0);
  const int before = g_automation.count;
  Press("MnFilter1", gui::kShift);
  EXPECT_EQ(OpenMenu(), nullptr);
  EXPECT_EQ(editor->FilterTarget, -1);  // and leaves the filter target unset
  Press("MnArpOct", gui::kShift);
  ASSERT_NE(OpenMenu(), nullptr);
  Headless().Click({5, 500});  // outside the menu
  EXPECT_EQ(OpenMenu(), nullptr);
  for (const gui::MouseButton button : {gui::MouseButton::kRight, gui::MouseButton::kMiddle}) {
    Press("MnFilter1", 0, button);
    ASSERT_NE(OpenMenu(), nullptr);
    EXPECT_EQ(OpenMenu()->items.size(), 12u);
    Headless().Key(gui::MenuKey::kEscape);
  }
  Press("MnMode");
  Headless().Key(gui::MenuKey::kEscape);
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

TEST_F(MenuTest, MenusAreOwnerDrawnAndAsWideAsTheirLongestDesignCaption) {
  const auto width_for = [](std::string caption) {
    gui::MenuItem item;
    item.caption = std::move(caption);
    return gui::MeasureMenuItem(item).width + 2 * gui::kMenuBorder;
  };
  // Item k of the open menu must show its text (not its caption) in Arial on its colour.
  const auto expect_item = [&](int k, const char* text, gui::Color background, gui::Color ink) {
    const gui::Rect menu = Headless().menu_rect(), item = Headless().menu_item_rect(k);
    gui::Bitmap shown(item.width(), item.height()),
        expected(item.width(), item.height(), background);
    shown.Copy(*Headless().menu_surface(), item.Offset(-menu.left, -menu.top), 0, 0);
    gui::Font font = gui::MenuFont();
    font.name = "Arial";
    font.color = ink;
    expected.Text(0, 0, text, font);
    EXPECT_EQ(shown, expected) << text;
  };
  const gui::Color khaki = 0xCCCC99, violet = 0x440099, silver = 0xC0C0C0;  // red, green, blue
  Press("MnMode");
  ASSERT_NE(OpenMenu(), nullptr);
  EXPECT_EQ(Headless().menu_rect().width(), width_for("Arpegator"));
  // Black on khaki; under the pointer, silver on violet.
  const gui::Rect second = Headless().menu_item_rect(1);
  Headless().MouseMove({second.left + 5, second.top + 3});
  expect_item(0, " Poly", khaki, gui::kBlack);
  expect_item(1, " Mono", violet, silver);
  Headless().Key(gui::MenuKey::kEscape);

  // The filter menu is sized by its caption of 27 blanks, wider than any filter name.
  Press("MnFilter1");
  EXPECT_EQ(Headless().menu_rect().width(), width_for(std::string(27, ' ')));
  Headless().Key(gui::MenuKey::kEscape);
}

}  // namespace
}  // namespace vellicor::testing
