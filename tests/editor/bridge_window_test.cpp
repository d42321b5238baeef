// The bridge with the real (headless) editor window. Automation from another thread during
// opens and closes is the race stress run's, under ThreadSanitizer.
#include <cstring>
#include <vector>

#include "tests/editor/editor_harness.h"
#include "vst/vellicor_requests.h"

namespace vellicor::testing {
namespace {

// An edit reaches the plug-in, the mirror and (once) the host: checked per control in
// controls_test and menus_test. Indices outside the record reach neither the mirror's
// neighbours nor the host.
TEST_F(OpenEditorTest, EditsOutsideTheRecordAreDropped) {
  auto lock = editor->Lock();
  editor->setfvar(-1, 0.5f);
  editor->setfvar(100000, 0.5f);
  EXPECT_EQ(g_automation.count, 0);
}

TEST_F(OpenEditorTest, RequestsDriveTheHeadlessEditorAndRefuseWhatTheyCannotRead) {
  auto request = [&](int32_t kind, void* record) { return Request(kind, record); };
  // Where the About area is, by name (any case).
  requests::ComponentRecord about{sizeof about, "image11", 0, 0, 0, 0, 0};
  ASSERT_EQ(request(requests::kComponentRect, &about), 1);
  EXPECT_EQ(gui::Rect::XYWH(about.left, about.top, about.width, about.height),
            editor->form().Find("Image11")->FormBounds());
  EXPECT_EQ(about.visible, 1);
  requests::ComponentRecord panel{sizeof panel, "Pabout", 0, 0, 0, 0, 1};
  ASSERT_EQ(request(requests::kComponentRect, &panel), 1);
  EXPECT_EQ(panel.visible, 0);

  // A click through the request opens the About panel.
  requests::MouseRecord click{sizeof click, requests::kClick, 500, 490, requests::kLeft, 0};
  EXPECT_EQ(request(requests::kMouse, &click), 1);
  ASSERT_EQ(request(requests::kComponentRect, &panel), 1);
  EXPECT_EQ(panel.visible, 1);

  // The clock fires the refresh.
  plugin->setParameter(42, 0.0f);
  plugin->setParameter(42, 0.5f);
  const int painted = editor->controls_painted();
  plugin->setParameter(42, 0.25f);
  requests::ClockRecord clock{sizeof clock, 200};
  EXPECT_EQ(request(requests::kAdvanceClock, &clock), 1);
  EXPECT_EQ(editor->controls_painted(), painted + 1);

  // The frame: sizes always, pixels only into a buffer that holds them.
  std::vector<uint32_t> pixels(635 * 512);
  requests::CaptureRecord capture{sizeof capture, 0, 0, 100, pixels.data()};
  EXPECT_EQ(request(requests::kCaptureFrame, &capture), 0);
  EXPECT_EQ(capture.width, 635);
  EXPECT_EQ(capture.height, 512);
  capture.capacity = static_cast<int32_t>(pixels.size());
  ASSERT_EQ(request(requests::kCaptureFrame, &capture), 1);
  const gui::Bitmap& frame = Headless().Frame();
  EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), frame.pixels().begin()));

  // Malformed or unknown requests change nothing and answer 0.
  requests::CaptureRecord short_record = capture;
  short_record.size = 8;
  requests::MouseRecord bad_button{sizeof bad_button, requests::kDown, 1, 1, 7, 0};
  requests::MouseRecord bad_action{sizeof bad_action, 9, 1, 1, requests::kLeft, 0};
  requests::ClockRecord backwards{sizeof backwards, -5};
  requests::ComponentRecord nameless{sizeof nameless, nullptr, 0, 0, 0, 0, 0};
  requests::ComponentRecord unknown{sizeof unknown, "NoSuchImage", 0, 0, 0, 0, 0};
  std::vector<char> endless(1000, 'A');  // no terminator within any name's length
  requests::MenuItemRecord runaway{sizeof runaway, endless.data()};
  requests::MenuItemRecord no_menu{sizeof no_menu, "W00"};
  const std::pair<int32_t, void*> refused[] = {{requests::kCaptureFrame, nullptr},
                                               {99, &capture},
                                               {-1, &capture},
                                               {requests::kCaptureFrame, &short_record},
                                               {requests::kMouse, &bad_button},
                                               {requests::kMouse, &bad_action},
                                               {requests::kAdvanceClock, &backwards},
                                               {requests::kComponentRect, &nameless},
                                               {requests::kComponentRect, &unknown},
                                               {requests::kChooseMenuItem, &runaway},
                                               {requests::kChooseMenuItem, &no_menu}};
  for (const auto& [kind, record] : refused) EXPECT_EQ(request(kind, record), 0) << kind;
  EXPECT_EQ(effect->dispatcher(effect, vst::effVendorSpecific, 0, requests::kCaptureFrame, &capture,
                               0.0f),
            0);
  // With the editor closed nothing is left to ask.
  Dispatch(vst::effEditClose);
  EXPECT_EQ(request(requests::kComponentRect, &about), 0);
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
