// MIDI learn, the controller menu with its files and the new-sound reset, and the evolver
// panel, through the real form in a headless window and the plug-in behind it.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/random.h"
#include "gui/menu.h"
#include "tests/editor/editor_harness.h"

namespace vellicor::testing {
namespace {

class MidiEvolverTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    editor = Open();
    ASSERT_NE(editor, nullptr);
    path = ::testing::TempDir() + "vellicor_map_test.mmp";
  }
  void TearDown() override {
    std::remove(path.c_str());
    EditorTest::TearDown();
  }
  void Click(std::string_view name, gui::MouseButton button = gui::MouseButton::kLeft,
             unsigned modifiers = 0) {
    Headless().MouseDown(CentreOf(name), button, modifiers);
    Headless().MouseUp(CentreOf(name), button, modifiers);
  }
  // The MIDI menu of a dial or slider, and one of its items.
  void MidiMenu(std::string_view control, std::string_view item) {
    Click(control, gui::MouseButton::kRight);
    ASSERT_TRUE(Headless().ChooseMenuItem(item)) << control << " " << item;
  }
  // The controller menu, from a Ctrl + right press on the background; dialogs answered.
  void ControllerMenu(std::string_view item, std::optional<std::string> answer = std::nullopt) {
    Headless().SetFileDialogAnswer(std::move(answer));
    Headless().MouseDown({3, 3}, gui::MouseButton::kRight, gui::kCtrl);
    Headless().MouseUp({3, 3}, gui::MouseButton::kRight, gui::kCtrl);
    ASSERT_TRUE(Headless().ChooseMenuItem(item)) << item;
    Headless().AdvanceTime(0);
  }
  void Controller(int number, int value) {
    vst::VstMidiEvent event{};
    event.type = vst::kVstMidiType;
    event.byteSize = sizeof event;
    event.midiData[0] = static_cast<char>(0xB0);
    event.midiData[1] = static_cast<char>(number);
    event.midiData[2] = static_cast<char>(value);
    vst::VstEvents list{1, 0, {reinterpret_cast<vst::VstEvent*>(&event), nullptr}};
    Dispatch(vst::effProcessEvents, 0, &list);
    Dispatch(vst::effEditIdle);
  }
  int Map(int i) { return plugin->engine().ControllerMap(i); }
  std::string File() {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  TPluginEditorWindow* editor = nullptr;
  std::string path;
};

TEST_F(MidiEvolverTest, TheMidiMenuNamesTheBoundControllerOrNone) {
  struct Case {
    const char* control;
    const char* first_item;
    bool learnable;
  };
  Dispatch(vst::effEditIdle);  // the bridge copies the controller map
  // Main volume on 7; an envelope length, unbound; the evolver level, which no slot can reach.
  for (const Case& c :
       {Case{"Hvolume", "Current midi - cc7", true}, Case{"HLen", "No current Midi cc", true},
        Case{"HeLevel", "No current Midi cc", false}}) {
    if (std::string_view(c.control) == "HeLevel") Click("Evol");
    Click(c.control, gui::MouseButton::kRight);
    const gui::PopupMenu* menu = Headless().open_menu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(menu->items.size(), 4u);
    EXPECT_EQ(menu->items[1].enabled, c.learnable);
    gui::Bitmap drawn(200, 20), expected(200, 20);
    const std::string name = "MIDI1";
    const gui::Rect rect{0, 0, 200, 20};
    menu->draw({drawn, rect, menu->items[0], name, 0, false, gui::MenuFont()});
    TPluginEditorWindow::DrawMenuItem(
        {expected, rect, menu->items[0], name, 0, false, gui::MenuFont()}, c.first_item);
    EXPECT_TRUE(drawn == expected) << c.control;
    Headless().Key(gui::MenuKey::kEscape);
  }
}

TEST_F(MidiEvolverTest, LearnBindsTheNextControllerToTheLastArmedControlAndResetUnbindsIt) {
  MidiMenu("HFHi1", "Midi2");
  EXPECT_EQ(g_automation.index, 15);
  MidiMenu("Hvol1", "Midi2");  // moves the armed slot before any controller arrives
  Controller(74, 127);
  EXPECT_EQ(Map(42), 74);
  EXPECT_EQ(Map(122), 40);
  EXPECT_FLOAT_EQ(plugin->getParameter(42), 1.0f);
  Controller(74, 0);
  EXPECT_FLOAT_EQ(plugin->getParameter(42), 0.0f);
  Headless().MouseMove(CentreOf("Hvol1"));
  EXPECT_EQ(editor->ReadOutText(), "Osc 1: Volume  cc74  :: -30dB");
  MidiMenu("Hvol1", "Midi3");
  Dispatch(vst::effEditIdle);
  EXPECT_EQ(Map(42), 255);
  Headless().MouseMove(CentreOf("Hvol2"));
  Headless().MouseMove(CentreOf("Hvol1"));
  EXPECT_EQ(editor->ReadOutText(), "Osc 1: Volume  :: -30dB");
}

TEST_F(MidiEvolverTest, MidiResetRestoresTheFactoryMapAndSaveLoadRoundTrips) {
  MidiMenu("HFHi1", "Midi2");
  Controller(74, 127);
  const int before = g_automation.count;
  ControllerMenu("CCreset");
  EXPECT_EQ(g_automation.count - before, 3 * 256);
  for (int i = 0; i < 300; ++i) EXPECT_EQ(Map(i), DefaultController(i)) << i;
  ControllerMenu("CCSave", path);
  EXPECT_EQ(File().substr(0, 50), " 1.00000000000000E+0000\r\n 2.74509803921569E-0002\r\n");

  // Every controller and none, saved, overwritten by the factory map and loaded again.
  auto arranged = [](int i) { return i < 128 ? (i * 37) % 128 : 255; };
  for (int i = 0; i < 256; ++i) {
    plugin->setParameter(16, i / 255.0f);
    plugin->setParameter(17, arranged(i) / 255.0f);
    plugin->setParameter(15, 0.5f);
  }
  Dispatch(vst::effEditIdle);
  ControllerMenu("CCSave", path);
  ControllerMenu("CCreset");
  ControllerMenu("CCLoad", path);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(Map(i), arranged(i)) << i;
}

TEST_F(MidiEvolverTest, AMapFileThatCannotBeReadChangesNothing) {
  ControllerMenu("CCSave", path);
  const std::string good = File();
  std::string broken = good;
  broken.replace(25 * 9, 5, "x.1E+");
  const int before = g_automation.count;
  for (const std::string& text : {good.substr(0, 25 * 255), broken, std::string()}) {
    std::ofstream(path, std::ios::binary) << text;
    ControllerMenu("CCLoad", path);
  }
  ControllerMenu("CCLoad", path + ".missing");
  ControllerMenu("CCLoad", "*.mmp");
  ControllerMenu("CCLoad");  // cancelled
  EXPECT_EQ(g_automation.count, before);
  EXPECT_EQ(Map(1), 7);
}

TEST_F(MidiEvolverTest, ResetMakesANewSoundAndTheOtherItemsSwapAndSilence) {
  ControllerMenu("CCNew");
  for (int i : {19, 20, 132, 190, 194, 195, 199, 49, 77, 120, 131}) {
    EXPECT_FLOAT_EQ(plugin->getParameter(i), 0.8f) << i;
  }
  EXPECT_FLOAT_EQ(plugin->getParameter(1), 0.8f);
  EXPECT_FLOAT_EQ(plugin->getParameter(2), 0.5f);
  EXPECT_FLOAT_EQ(plugin->getParameter(3), 0.0f);
  for (int e = 0; e < 16; ++e) {
    EXPECT_FLOAT_EQ(plugin->getParameter(310 + e), 1.5f / 39.99f);
    EXPECT_FLOAT_EQ(plugin->getParameter(290 + e), 1.5f / 39.99f);
    EXPECT_FLOAT_EQ(plugin->getParameter(270 + e), 0.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(351 + 20 * e), 1.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(710 + 20 * e), 1.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(711 + 20 * e), 0.0f);
    EXPECT_FLOAT_EQ(plugin->getParameter(1111 + 20 * e), 0.5f);
  }
  Tick();
  EXPECT_TRUE(ImageNamed("MnEnvVol1").bitmap() == ExpectedSelector("Ienv", 10.99f, 0.8f));
  EXPECT_TRUE(ImageNamed("MnVolLfo").bitmap() == gui::Bitmap(40, 13, gui::kWhite));

  ControllerMenu("CCSwap");
  EXPECT_EQ(editor->SwapDials, 1);
  ControllerMenu("CCSwap");
  EXPECT_EQ(editor->SwapDials, 0);
  ControllerMenu("ccnoteoff");
  EXPECT_EQ(g_automation.index, 18);
  EXPECT_FLOAT_EQ(g_automation.value, 1.0f);
}

TEST_F(MidiEvolverTest, TheEvolverBreedsLoadsASlotBreedsAgainAndCloses) {
  random::Seed(1234);
  Click("Evol");
  EXPECT_TRUE(editor->form().Find("Pevol")->Showing());
  const evolver::Slots first = editor->EvolverSlot;
  // Opening again with the same seed breeds the same slots.
  random::Seed(1234);
  Click("Evol");
  EXPECT_EQ(editor->EvolverSlot, first);
  for (int i = 0; i < 710; ++i) EXPECT_EQ(first[4][i], editor->Mirror(i)) << i;

  const int before = g_automation.count;
  Click("ev3");
  EXPECT_EQ(g_automation.count - before, 1591);
  EXPECT_EQ(g_automation.index, 1590);
  for (int i = 19; i <= 1590; ++i) EXPECT_EQ(plugin->getParameter(i), first[2][i]) << i;
  EXPECT_EQ(editor->ReadOutText(), "Selected Preset : :: 3");

  Click("Image10");
  EXPECT_EQ(g_automation.count - before, 1591);
  for (const evolver::Slot& slot : editor->EvolverSlot) {
    for (int i = 0; i < 9; ++i) EXPECT_EQ(slot[i], first[2][i]);
  }
  Headless().MouseDown(CentreOf("EvolClose"));
  Headless().MouseUp(CentreOf("EvolClose"));
  EXPECT_FALSE(editor->form().Find("Pevol")->Showing());
}

TEST_F(MidiEvolverTest, LoadingASlotKeepsABindingLearntAfterTheBreed) {
  // The program's last request is an assign (122 <- 40); the breed copies it into the slots.
  plugin->setParameter(16, 122 / 255.0f);
  plugin->setParameter(17, 40 / 255.0f);
  plugin->setParameter(15, 0.5f);
  Click("Evol");
  MidiMenu("HFHi1", "Midi2");
  Controller(74, 127);
  Click("ev1");
  EXPECT_EQ(Map(122), 74);
}

}  // namespace
}  // namespace vellicor::testing
