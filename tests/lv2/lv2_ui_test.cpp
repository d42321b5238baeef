// The LV2 UI as a host embeds it: a child of the host's X11 window, idled through its idle
// interface. A drag on a control reaches the host as a change of that control's port, and the
// UI asks the plug-in for its controller map.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/atom.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "editor/uEditor.h"
#include "gui/host_window.h"
#include "lv2/parameter_ports.h"

namespace vellicor {
namespace {

struct Write {
  uint32_t port;
  uint32_t format;
  float value;
};

struct FakeHost {
  std::vector<std::string> uris;
  std::vector<Write> writes;
  LV2_URID Map(const char* uri) {
    for (size_t i = 0; i < uris.size(); ++i) {
      if (uris[i] == uri) return static_cast<LV2_URID>(i + 1);
    }
    uris.emplace_back(uri);
    return static_cast<LV2_URID>(uris.size());
  }
};

// Where a component lies in the form, from a headless editor.
gui::Rect ComponentBounds(const char* name) {
  EditorValues values;
  auto editor = TPluginEditorWindow::Create(nullptr, &values);
  auto lock = editor->Lock();
  const gui::Component* component = editor->form().Find(name);
  return component ? component->FormBounds() : gui::Rect{};
}

TEST(Lv2Ui, EditsReachTheHostAsPortChanges) {
  if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no display";
  const gui::Rect slider = ComponentBounds("Hvolume");  // main volume, parameter 1
  ASSERT_FALSE(slider.empty());

  void* library = dlopen(VELLICOR_LV2_BUNDLE "/vellicor_ui.so", RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto entry = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"));
  ASSERT_NE(entry, nullptr);
  const LV2UI_Descriptor* descriptor = entry(0);
  ASSERT_NE(descriptor, nullptr);
  EXPECT_STREQ(descriptor->URI, lv2::kUiUri);
  const auto* idle =
      static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
  ASSERT_NE(idle, nullptr);

  auto window = gui::HostWindow::Create(635, 512, "lv2 host");
  ASSERT_TRUE(window);
  FakeHost host;
  LV2_URID_Map map = {&host, [](LV2_URID_Map_Handle h, const char* uri) {
                        return static_cast<FakeHost*>(h)->Map(uri);
                      }};
  const LV2_Feature map_feature = {LV2_URID__map, &map};
  const LV2_Feature parent_feature = {LV2_UI__parent, window->native_handle()};
  const LV2_Feature* features[] = {&map_feature, &parent_feature, nullptr};
  auto write = [](LV2UI_Controller controller, uint32_t port, uint32_t size, uint32_t format,
                  const void* buffer) {
    float value = 0.0f;
    if (format == 0 && size == sizeof value) value = *static_cast<const float*>(buffer);
    static_cast<FakeHost*>(controller)->writes.push_back({port, format, value});
  };
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle ui = descriptor->instantiate(descriptor, lv2::kPluginUri, VELLICOR_LV2_BUNDLE, write,
                                            &host, &widget, features);
  ASSERT_NE(ui, nullptr);
  EXPECT_NE(widget, nullptr);
  const float start = 0.2f;
  descriptor->port_event(ui, 1, sizeof start, 0, &start);

  auto settle = [&](int ms) {
    for (int t = 0; t < ms; t += 10) {
      window->Pump();
      idle->idle(ui);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  };
  settle(300);
  const int y = (slider.top + slider.bottom) / 2;
  const gui::Point from{slider.left + slider.width() / 4, y};
  const gui::Point to{slider.left + slider.width() * 3 / 4, y};
  window->SendMouse(gui::MouseAction::kMove, from, gui::MouseButton::kNone, 0);
  window->SendMouse(gui::MouseAction::kDown, from, gui::MouseButton::kLeft, 0);
  settle(100);
  for (int step = 1; step <= 8; ++step) {
    window->SendMouse(gui::MouseAction::kMove, {from.x + (to.x - from.x) * step / 8, y},
                      gui::MouseButton::kLeft, 0);
    settle(30);
  }
  window->SendMouse(gui::MouseAction::kUp, to, gui::MouseButton::kLeft, 0);
  settle(200);
  descriptor->cleanup(ui);
  dlclose(library);

  const LV2_URID transfer = host.Map(LV2_ATOM__eventTransfer);
  bool asked_for_map = false;
  float last_volume = start;
  for (const Write& w : host.writes) {
    if (w.port == lv2::kMidiInPort && w.format == transfer) asked_for_map = true;
    if (w.port == 1 && w.format == 0) last_volume = w.value;
    EXPECT_TRUE(w.port == 1 || w.port == lv2::kMidiInPort) << "port " << w.port;
  }
  EXPECT_TRUE(asked_for_map);
  EXPECT_GT(last_volume, start + 0.1f) << host.writes.size() << " writes";
}

}  // namespace
}  // namespace vellicor
