// A plug-in with its real editor, opened without a window the way a host without a parent
// window opens it, and helpers to read what the form shows.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string_view>

#include "editor/uEditor.h"
#include "engine/tables.h"
#include "plugin/uPlugin.h"
#include "vst/vellicor_requests.h"

namespace vellicor::testing {

// What the plug-in reported to the host as automation.
struct Automation {
  int count = 0;
  int32_t index = -1;
  float value = 0.0f;
};
inline Automation g_automation;

inline intptr_t VST_CALL QuietHost(vst::AEffect*, int32_t opcode, int32_t index, intptr_t, void*,
                                   float opt) {
  if (opcode == vst::audioMasterAutomate) {
    ++g_automation.count;
    g_automation.index = index;
    g_automation.value = opt;
  }
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_automation = {};
    plugin = std::make_unique<APlugin>(QuietHost);
    effect = plugin->getAeffect();
  }

  intptr_t Dispatch(int32_t opcode, intptr_t value = 0, void* ptr = nullptr) {
    return effect->dispatcher(effect, opcode, 0, value, ptr, 0.0f);
  }
  // One of our own requests (vst/vellicor_requests.h).
  intptr_t Request(int32_t kind, void* record) {
    return effect->dispatcher(effect, vst::effVendorSpecific, kVendorRequestId, kind, record, 0.0f);
  }
  // Opens the editor without a parent window: the headless form.
  TPluginEditorWindow* Open() {
    EXPECT_EQ(Dispatch(vst::effEditOpen), 1);
    return Editor();
  }
  TPluginEditorWindow* Editor() {
    return dynamic_cast<TPluginEditorWindow*>(plugin->editor()->window());
  }
  gui::HeadlessWindow& Headless() { return *Editor()->headless(); }
  gui::Image& ImageNamed(std::string_view name) {
    gui::Image* image = Editor()->form().FindImage(name);
    EXPECT_NE(image, nullptr) << name;
    return *image;
  }
  // A point of a component, in the form's pixels: from one in its own pixels, or its centre.
  gui::Point At(std::string_view name, int x, int y) {
    const gui::Rect r = Editor()->form().Find(name)->FormBounds();
    return {r.left + x, r.top + y};
  }
  gui::Point CentreOf(std::string_view name) {
    const gui::Rect r = Editor()->form().Find(name)->FormBounds();
    return {r.left + r.width() / 2, r.top + r.height() / 2};
  }
  void Click(gui::Point at, unsigned modifiers = 0,
             gui::MouseButton button = gui::MouseButton::kLeft) {
    Headless().MouseDown(at, button, modifiers);
    Headless().MouseUp(at, button, modifiers);
  }
  // Clicks a selector (or any component) at its centre and, given an item, chooses it from the
  // menu that opened.
  void Choose(std::string_view image, std::string_view item, unsigned modifiers = 0) {
    Click(CentreOf(image), modifiers);
    if (!item.empty()) {
      ASSERT_TRUE(Headless().ChooseMenuItem(item)) << image << " " << item;
      EXPECT_EQ(Headless().open_menu(), nullptr);
    }
  }
  void Tick(int ms = 200) { Headless().AdvanceTime(ms); }
  float Value(int index) { return plugin->getParameter(index); }

  // What each kind of control must show for a value, composed independently of the form's
  // drawing code from the same image lists.
  gui::Bitmap ExpectedSlider(float v) {
    gui::Bitmap b(100, 13, gui::kGrey);
    Editor()->ImageListNamed("HBar")->Draw(b, 0, 0, 0);
    Editor()->ImageListNamed("IsliderPos")->Draw(b, IntPart(80.0f * v + 5.0f), 2, 0);
    return b;
  }
  gui::Bitmap ExpectedDial(float v) {
    gui::Bitmap b(31, 31, gui::kGrey);
    Editor()->ImageListNamed("Idials")->Draw(b, 0, 0, IntPart(28.99f * v));
    return b;
  }
  gui::Bitmap ExpectedSelector(std::string_view list, float k, float v) {
    gui::Bitmap b(40, 13, gui::kWhite);
    Editor()->ImageListNamed(list)->Draw(b, 0, 0, IntPart(k * v));
    return b;
  }

  std::unique_ptr<APlugin> plugin;
  vst::AEffect* effect = nullptr;
};

// The same with the editor open from the start.
class OpenEditorTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    editor = Open();
    ASSERT_NE(editor, nullptr);
  }
  TPluginEditorWindow* editor = nullptr;
};

}  // namespace vellicor::testing
