// MIDI learn, the controller menu and the evolver panel, through the real form in a headless
// window and the plug-in behind it.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <tuple>
#include <utility>

#include "engine/random.h"
#include "gui/menu.h"
#include "gui/text_file.h"
#include "patch/controller_map.h"
#include "tests/editor/editor_harness.h"
#include "tests/midi_events.h"

namespace vellicor::testing {
namespace {

class MidiEvolverTest : public OpenEditorTest {
 protected:
  void SetUp() override {
    OpenEditorTest::SetUp();
    Dispatch(vst::effEditIdle);  // the bridge copies the controller map
  }
  void TearDown() override { std::remove(path.c_str()); }
  void MidiMenu(std::string_view control, std::string_view item) {
    Click(CentreOf(control), 0, gui::MouseButton::kRight);
    ASSERT_TRUE(Headless().ChooseMenuItem(item)) << control << " " << item;
  }
  // A Ctrl + right press on the background, an item, and the answer to its file dialog.
  void ControllerMenu(std::string_view item, std::optional<std::string> answer = std::nullopt) {
    Headless().SetFileDialogAnswer(std::move(answer));
    Click({3, 3}, gui::kCtrl, gui::MouseButton::kRight);
    ASSERT_TRUE(Headless().ChooseMenuItem(item)) << item;
    Headless().AdvanceTime(0);
  }
  void Controller(int number, int value) {
    MidiEvents().Add(0xB0, number, value).PlayOn(effect);
    Dispatch(vst::effEditIdle);
  }
  int Map(int i) { return plugin->engine().ControllerMap(i); }

  const std::string path = ::testing::TempDir() + "vellicor_map_test.mmp";
};

TEST_F(MidiEvolverTest, LearnBindsTheLastArmedControlResetUnbindsAndTheMenuNamesTheBinding) {
  MidiMenu("HFHi1", "Midi2");
  MidiMenu("Hvol1", "Midi2");  // moves the armed slot before any controller arrives
  Controller(74, 127);
  EXPECT_EQ(Map(42), 74);
  EXPECT_EQ(Map(122), 40);
  EXPECT_FLOAT_EQ(plugin->getParameter(42), 1.0f);
  Headless().MouseMove(CentreOf("Hvol1"));
  EXPECT_EQ(editor->ReadOutText(), "Osc 1: Volume  cc74  :: 10dB");
  MidiMenu("Hvol1", "Midi3");
  Dispatch(vst::effEditIdle);
  EXPECT_EQ(Map(42), 255);
  Headless().MouseMove(CentreOf("Hvol2"));
  Headless().MouseMove(CentreOf("Hvol1"));
  EXPECT_EQ(editor->ReadOutText(), "Osc 1: Volume  :: 10dB");

  // Main volume on 7; an envelope length, unbound; the evolver level, which no slot reaches.
  for (const auto& [control, text, learnable] :
       {std::tuple{"Hvolume", "Current midi - cc7", true},
        std::tuple{"HLen", "No current Midi cc", true},
        std::tuple{"HeLevel", "No current Midi cc", false}}) {
    if (!learnable) Click(CentreOf("Evol"));
    Click(CentreOf(control), 0, gui::MouseButton::kRight);
    const gui::PopupMenu* menu = Headless().open_menu();
    ASSERT_TRUE(menu && menu->items.size() == 4);
    EXPECT_EQ(menu->items[1].enabled, learnable);
    gui::Bitmap drawn(200, 20), expected(200, 20);
    const std::string name = "MIDI1";
    menu->draw({drawn, {0, 0, 200, 20}, menu->items[0], name, 0, false, gui::MenuFont()});
    TPluginEditorWindow::DrawMenuItem(
        {expected, {0, 0, 200, 20}, menu->items[0], name, 0, false, gui::MenuFont()}, text);
    EXPECT_TRUE(drawn == expected) << control;
    Headless().Key(gui::MenuKey::kEscape);
  }
}

TEST_F(MidiEvolverTest, TheControllerMenuResetsSavesLoadsMakesANewSoundSwapsAndSilences) {
  MidiMenu("HFHi1", "Midi2");
  Controller(74, 127);
  const int before = g_automation.count;
  ControllerMenu("CCreset");
  EXPECT_EQ(g_automation.count - before, 3 * 256);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(Map(i), DefaultController(i)) << i;
  ControllerMenu("CCSave", path);
  const std::string saved = gui::ReadWholeFile(path, 1 << 16).value_or("");
  EXPECT_EQ(saved, controller_map::Format(controller_map::FactoryEntries()));
  MidiMenu("HFHi1", "Midi3");
  ControllerMenu("CCLoad", path);
  EXPECT_EQ(Map(122), 40);

  // A short file, none, or a cancelled dialog: nothing is sent.
  const int after_load = g_automation.count;
  std::ofstream(path, std::ios::binary) << saved.substr(0, 25 * 255);
  for (const auto& answer : {std::optional(path), std::optional(path + ".none"),
                             std::optional<std::string>("*.mmp"), std::optional<std::string>()}) {
    ControllerMenu("CCLoad", answer);
  }
  EXPECT_EQ(g_automation.count, after_load);

  // 0.8 reads as no LFO (frame 8 of 6) and as "None" on every envelope selector.
  ControllerMenu("CCNew");
  for (int i : {19, 20, 132, 190, 199, 49, 77, 131, 1})
    EXPECT_FLOAT_EQ(plugin->getParameter(i), 0.8f);
  EXPECT_FLOAT_EQ(plugin->getParameter(2), 0.5f);
  for (int e = 0; e < 16; ++e) {
    const float expected[][2] = {
        {310, 1.5f / 39.99f}, {290, 1.5f / 39.99f}, {270, 0}, {351, 1}, {710, 1}, {711, 0},
        {1111, 0.5f}};
    for (const auto& [index, value] : expected) {
      EXPECT_FLOAT_EQ(plugin->getParameter(static_cast<int>(index) + (index < 350 ? 1 : 20) * e),
                      value);
    }
  }
  ControllerMenu("CCSwap");  // what a swap does: controls_test's dial drags
  ControllerMenu("CCSwap");
  EXPECT_EQ(editor->SwapDials, 0);
  ControllerMenu("ccnoteoff");
  EXPECT_TRUE(g_automation.index == 18 && g_automation.value == 1.0f);

  // The alias-free switch is marked as the sound has it and turns it over.
  for (float turned : {1.0f, 0.0f}) {
    Click({3, 3}, gui::kCtrl, gui::MouseButton::kRight);
    const gui::PopupMenu* menu = Headless().open_menu();
    ASSERT_NE(menu, nullptr);
    const auto item = std::find_if(menu->items.begin(), menu->items.end(),
                                   [](const gui::MenuItem& i) { return i.name == "AliasFree"; });
    ASSERT_NE(item, menu->items.end());
    EXPECT_EQ(item->checked, turned == 0.0f);
    ASSERT_TRUE(Headless().ChooseMenuItem("AliasFree"));
    Headless().AdvanceTime(0);
    EXPECT_TRUE(g_automation.index == param::kAliasFree && g_automation.value == turned);
    EXPECT_EQ(plugin->getParameter(param::kAliasFree), turned);
  }
}

TEST_F(MidiEvolverTest, TheEvolverBreedsLoadsASlotBreedsAgainFromItAndCloses) {
  // The program's last MIDI request is an assign (122 <- 40); the breed copies it.
  for (auto [index, value] : {std::pair{16, 122 / 255.0f}, {17, 40 / 255.0f}, {15, 0.5f}}) {
    plugin->setParameter(index, value);
  }
  Click(CentreOf("Evol"));
  EXPECT_TRUE(editor->form().Find("Pevol")->Showing());
  const evolver::Slots bred = editor->EvolverSlot;
  for (int i = 0; i < 710; ++i) EXPECT_EQ(bred[4][i], editor->Mirror(i)) << i;
  MidiMenu("HFHi1", "Midi2");
  Controller(74, 127);
  const int before = g_automation.count;
  Click(CentreOf("ev3"));
  EXPECT_EQ(g_automation.count - before, 1591);
  for (int i = 19; i <= 1590; ++i) EXPECT_EQ(plugin->getParameter(i), bred[2][i]) << i;
  EXPECT_EQ(editor->ReadOutText(), "Selected Preset : :: 3");
  EXPECT_EQ(Map(122), 74);  // loading a sound replays no old MIDI request
  Click(CentreOf("Image10"));
  for (const evolver::Slot& slot : editor->EvolverSlot) EXPECT_EQ(slot[6], bred[2][6]);
  Headless().MouseDown(CentreOf("EvolClose"));
  EXPECT_FALSE(editor->form().Find("Pevol")->Showing());
}

}  // namespace
}  // namespace vellicor::testing
