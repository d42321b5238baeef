// The bridge with the real (headless) editor window. Automation from another thread during
// opens and closes is the race stress run's, under ThreadSanitizer.
#include <cstring>
#include <vector>

#include "tests/editor/editor_harness.h"
#include "vst/vellicor_requests.h"

namespace vellicor::testing {
namespace {

TEST_F(OpenEditorTest, RequestsDriveTheHeadlessEditorAndWhatCannotBeReadIsRefused) {
  using namespace requests;
  // Where the About area is, by name (any case).
  ComponentRecord about{sizeof about, "image11", 0, 0, 0, 0, 0};
  ASSERT_EQ(Request(kComponentRect, &about), 1);
  EXPECT_EQ(gui::Rect::XYWH(about.left, about.top, about.width, about.height),
            editor->form().Find("Image11")->FormBounds());
  EXPECT_EQ(about.visible, 1);
  ComponentRecord panel{sizeof panel, "Pabout", 0, 0, 0, 0, 1};
  ASSERT_EQ(Request(kComponentRect, &panel), 1);
  EXPECT_EQ(panel.visible, 0);

  // A click through the request opens the About panel.
  MouseRecord click{sizeof click, kClick, 500, 490, kLeft, 0};
  EXPECT_EQ(Request(kMouse, &click), 1);
  ASSERT_EQ(Request(kComponentRect, &panel), 1);
  EXPECT_EQ(panel.visible, 1);

  // The clock fires the refresh.
  const int painted = editor->controls_painted();
  plugin->setParameter(42, Value(42) < 0.5f ? 0.9f : 0.1f);
  ClockRecord clock{sizeof clock, 200};
  EXPECT_EQ(Request(kAdvanceClock, &clock), 1);
  EXPECT_EQ(editor->controls_painted(), painted + 1);

  // The frame: sizes always, pixels only into a buffer that holds them.
  std::vector<uint32_t> pixels(635 * 512);
  CaptureRecord capture{sizeof capture, 0, 0, 100, pixels.data()};
  EXPECT_EQ(Request(kCaptureFrame, &capture), 0);
  EXPECT_EQ(capture.width, 635);
  EXPECT_EQ(capture.height, 512);
  capture.capacity = static_cast<int32_t>(pixels.size());
  ASSERT_EQ(Request(kCaptureFrame, &capture), 1);
  const gui::Bitmap& frame = Headless().Frame();
  EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), frame.pixels().begin()));

  // Malformed or unknown requests change nothing and answer 0.
  CaptureRecord short_record = capture;
  short_record.size = 8;
  MouseRecord bad_button{sizeof bad_button, kDown, 1, 1, 7, 0};
  MouseRecord bad_action{sizeof bad_action, 9, 1, 1, kLeft, 0};
  ClockRecord backwards{sizeof backwards, -5};
  ComponentRecord nameless{sizeof nameless, nullptr, 0, 0, 0, 0, 0};
  ComponentRecord unknown{sizeof unknown, "NoSuchImage", 0, 0, 0, 0, 0};
  std::vector<char> endless(1000, 'A');  // no terminator within any name's length
  MenuItemRecord runaway{sizeof runaway, endless.data()};
  MenuItemRecord no_menu{sizeof no_menu, "W00"};
  for (int32_t kind : {99, -1}) EXPECT_EQ(Request(kind, &capture), 0) << kind;
  EXPECT_EQ(Request(kCaptureFrame, nullptr), 0);
  EXPECT_EQ(Request(kCaptureFrame, &short_record), 0);
  for (auto* mouse : {&bad_button, &bad_action}) EXPECT_EQ(Request(kMouse, mouse), 0);
  EXPECT_EQ(Request(kAdvanceClock, &backwards), 0);
  for (auto* component : {&nameless, &unknown}) EXPECT_EQ(Request(kComponentRect, component), 0);
  for (auto* item : {&runaway, &no_menu}) EXPECT_EQ(Request(kChooseMenuItem, item), 0);
  EXPECT_EQ(Dispatch(vst::effVendorSpecific, kCaptureFrame, &capture), 0);  // not our id
  // Edits outside the record reach neither the editor's copy's neighbours nor the host.
  {
    auto lock = editor->Lock();
    editor->setfvar(-1, 0.5f);
    editor->setfvar(100000, 0.5f);
  }
  EXPECT_EQ(g_automation.count, 0);
  // With the editor closed nothing is left to ask.
  Dispatch(vst::effEditClose);
  EXPECT_EQ(Request(kComponentRect, &about), 0);
}

// Every open builds the form, its artwork and a window, and every close frees them all: the
// sanitizer build reports any leak at exit, so a few rounds show a leak as well as many would.
TEST_F(EditorTest, OpensAndClosesLeaveNothingBehind) {
  for (int round = 0; round < 20; ++round) {
    ASSERT_NE(Open(), nullptr);
    effect->setParameter(effect, round, 0.5f);
    Tick(400);  // the refresh reads the values the window's life does not own
    Dispatch(vst::effEditIdle);
    Dispatch(vst::effEditClose);
  }
  // Closing the plug-in with the editor open tears everything down too.
  ASSERT_NE(Open(), nullptr);
  effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f);
  plugin.release();  // effClose deleted it
}

}  // namespace
}  // namespace vellicor::testing
