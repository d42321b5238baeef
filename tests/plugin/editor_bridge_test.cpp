// The editor bridge between host, plug-in and a fake window that records what it is asked.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "plugin/uPlugin.h"
#include "tests/settings_folder.h"

namespace vellicor {
namespace {

// What the bridge asked of its windows, in order.
std::string g_calls;
void* g_last_parent = nullptr;
float g_value_1_at_creation = -1.0f;
bool g_refuse_windows = false;

EditorSizing* g_sizing = nullptr;
std::vector<std::pair<int, int>> g_size_requests;

class FakeWindow : public EditorWindow {
 public:
  explicit FakeWindow(EditorValues* values) {
    g_calls += "create ";
    g_value_1_at_creation = values->ValueMirror[1];
  }
  ~FakeWindow() override {
    g_calls += "destroy ";
    g_sizing = nullptr;
  }
  int ClientWidth() const override { return scale_.ToScreen(635); }
  int ClientHeight() const override { return scale_.ToScreen(512); }
  void SetScale(gui::Scale scale) override { scale_ = scale; }
  void SetSizing(EditorSizing* sizing) override { g_sizing = sizing; }
  void Show() override { g_calls += "show "; }
  void Hide() override { g_calls += "hide "; }
  void PaintPending() override {}
  void Timer2Timer() override { g_calls += "timer2 "; }

 private:
  gui::Scale scale_;
};

std::unique_ptr<EditorWindow> MakeFakeWindow(void* parent, EditorValues* values) {
  if (g_refuse_windows) return nullptr;
  g_last_parent = parent;
  return std::make_unique<FakeWindow>(values);
}

intptr_t VST_CALL Host(vst::AEffect*, int32_t opcode, int32_t index, intptr_t value, void*, float) {
  if (opcode == vst::audioMasterSizeWindow) {
    g_size_requests.emplace_back(index, static_cast<int>(value));
    return 1;
  }
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

class BridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_calls.clear();
    g_refuse_windows = false;
    plugin = new APlugin(Host, MakeFakeWindow);
    effect = plugin->getAeffect();
  }
  void TearDown() override {
    if (plugin) effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
  }
  intptr_t Dispatch(int32_t opcode, intptr_t value = 0, void* ptr = nullptr) {
    return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
  }
  // The editor's rectangle as the host reads it: top, left, bottom, right.
  std::array<int16_t, 4> Rect() {
    vst::ERect* rect = nullptr;
    EXPECT_EQ(Dispatch(vst::effEditGetRect, 0, &rect), 1);
    if (!rect) return {-1, -1, -1, -1};
    return {rect->top, rect->left, rect->bottom, rect->right};
  }
  float Mirror(int index) { return plugin->editor()->values().ValueMirror[index]; }
  APlugin* plugin = nullptr;
  vst::AEffect* effect = nullptr;
};

TEST_F(BridgeTest, FlagRectAndARefusedWindowAsTheHostSeesThem) {
  EXPECT_EQ(effect->flags, 281);
  EXPECT_EQ(APlugin(Host, nullptr).getAeffect()->flags, 280);  // no editor, no flag
  EXPECT_EQ(Rect(), (std::array<int16_t, 4>{0, 0, 518, 665}));
  EXPECT_EQ(Dispatch(vst::effEditOpen, 0, reinterpret_cast<void*>(0x42)), 1);
  EXPECT_EQ(g_last_parent, reinterpret_cast<void*>(0x42));
  EXPECT_EQ(Rect(), (std::array<int16_t, 4>{0, 0, 512, 635}));
  EXPECT_EQ(Dispatch(vst::effEditGetRect, 0, nullptr), 0);

  Dispatch(vst::effEditClose);
  g_refuse_windows = true;
  EXPECT_EQ(Dispatch(vst::effEditOpen), 0);
  EXPECT_EQ(plugin->editor()->openCount(), 0);
  EXPECT_EQ(Rect(), (std::array<int16_t, 4>{0, 0, 518, 665}));
}

// The form starts from zeros and the values arrive right after; a closed editor's copy is left
// alone, and reopening shows the program changed meanwhile.
TEST_F(BridgeTest, OpenFillsTheMirrorAfterTheFormStartsFromZerosAndOnlyThen) {
  effect->setParameter(effect, 1, 0.625f);
  Dispatch(vst::effEditOpen);
  EXPECT_EQ(g_value_1_at_creation, 0.0f);
  EXPECT_EQ(Mirror(1), 0.625f);
  EXPECT_EQ(g_calls, "create show timer2 ");
  EXPECT_FALSE(plugin->synth().editor_closed());
  Dispatch(vst::effEditClose);
  plugin->synth().program(4).values[1] = 0.3f;
  Dispatch(vst::effSetProgram, 4);
  EXPECT_EQ(Mirror(1), 0.625f);
  Dispatch(vst::effEditOpen);
  EXPECT_EQ(Mirror(1), 0.3f);
}

TEST_F(BridgeTest, OpenCountsAndOnlyTheLastCloseDestroys) {
  Dispatch(vst::effEditClose);  // without an open: only the flag
  EXPECT_TRUE(plugin->synth().editor_closed());
  EXPECT_EQ(g_calls, "");
  Dispatch(vst::effEditOpen);
  Dispatch(vst::effEditOpen);
  Dispatch(vst::effEditClose);
  EXPECT_EQ(g_calls, "create show timer2 show timer2 hide ");
  EXPECT_FALSE(plugin->synth().editor_closed());
  Dispatch(vst::effEditClose);
  EXPECT_EQ(g_calls, "create show timer2 show timer2 hide hide destroy ");
  EXPECT_EQ(plugin->editor()->window(), nullptr);
  EXPECT_TRUE(plugin->synth().editor_closed());
  Dispatch(vst::effEditClose);  // never below zero
  EXPECT_EQ(plugin->editor()->openCount(), 0);
  g_calls.clear();
  Dispatch(vst::effEditOpen);
  EXPECT_EQ(plugin->editor()->openCount(), 1);
  // The host closes the plug-in with its editor open: the window goes with it.
  effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
  plugin = nullptr;
  EXPECT_EQ(g_calls, "create show timer2 destroy ");
}

// A size the user chooses while the editor is open: the host is asked for the room and reads
// the new rectangle; the choice is the user's, so a plug-in made later opens at it and reads
// the scaled rectangle before it opens.
TEST_F(BridgeTest, AChosenSizeAsksTheHostForRoomAndStaysTheUsers) {
  testing::SettingsFolder settings("vellicor-bridge-settings");
  g_size_requests.clear();
  Dispatch(vst::effEditOpen);
  ASSERT_NE(g_sizing, nullptr);
  const gui::Scale scale = gui::Scale::FromPercent(150);
  g_sizing->ChooseScale(scale);
  const std::pair<int, int> size{scale.ToScreen(635), scale.ToScreen(512)};
  EXPECT_EQ(g_size_requests, (std::vector{size}));
  EXPECT_EQ(Rect(), (std::array<int16_t, 4>{0, 0, static_cast<int16_t>(size.second),
                                            static_cast<int16_t>(size.first)}));
  APlugin later(Host, MakeFakeWindow);
  vst::ERect* rect = nullptr;
  later.getAeffect()->dispatcher(later.getAeffect(), vst::effEditGetRect, 0, 0, &rect, 0.0f);
  ASSERT_NE(rect, nullptr);
  EXPECT_EQ(std::pair(rect->right, rect->bottom),
            std::pair(static_cast<int16_t>(scale.ToScreen(665)),
                      static_cast<int16_t>(scale.ToScreen(518))));
}

TEST_F(BridgeTest, IdleCopiesTheControllerMap) {
  Dispatch(vst::effEditIdle);  // no window: nothing happens
  Dispatch(vst::effEditOpen);
  Dispatch(vst::effEditIdle);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(plugin->editor()->values().CcMap[i], plugin->engine().ControllerMap(i)) << i;
  }
}

}  // namespace
}  // namespace vellicor
