// Every format of the plug-in through the host's own loaders: the same program and MIDI give the
// same samples in each, and an edit in the CLAP editor reaches the host as one gesture.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "gui/host_window.h"
#include "host/plugin_under_test.h"
#include "tests/host/built_library.h"
#include "tests/odd_frame_score.h"
#include "tests/skip_without_display.h"
#include "tests/slider_drag.h"
#include "vst/vellicor_requests.h"

namespace vellicor::host {
namespace {

std::unique_ptr<Instance> NewInstance(const std::string& path) {
  std::string error;
  const std::unique_ptr<PluginFile> file = OpenPluginFile(path, &error);
  EXPECT_TRUE(file) << path << ": " << error;
  if (!file) return nullptr;
  std::unique_ptr<Instance> instance = file->NewInstance(&error);
  EXPECT_TRUE(instance) << path << ": " << error;
  return instance;
}

// The odd-frame score through the file in 512-frame blocks. Output: left and right interleaved.
std::vector<float> Play(const std::string& path, const testing::ScoreProgram& program) {
  std::vector<float> out;
  auto instance = NewInstance(path);
  if (!instance) return out;
  for (const auto& [index, value] : testing::ScoreSettings(program)) {
    instance->SetParameter(index, value);
  }
  std::string error;
  constexpr int kBlock = 512;
  EXPECT_TRUE(instance->Activate(testing::kScoreRate, kBlock, &error)) << error;
  std::vector<float> left(kBlock), right(kBlock);
  float* outputs[2] = {left.data(), right.data()};
  testing::PlayScore(kBlock, [&](int frames, const std::vector<testing::ScoreEvent>& score) {
    std::vector<MidiMessage> events;
    for (const auto& e : score) events.push_back({{e.bytes[0], e.bytes[1], e.bytes[2]}, e.frame});
    EXPECT_TRUE(instance->Process(events, nullptr, outputs, frames));
    for (int i = 0; i < frames; ++i) {
      out.push_back(left[static_cast<size_t>(i)]);
      out.push_back(right[static_cast<size_t>(i)]);
    }
  });
  return out;
}

TEST(Formats, EveryFormatRendersTheVst2Samples) {
  std::vector<std::string> others = {VELLICOR_CLAP};
#if defined(VELLICOR_LV2_BUNDLE)
  others.push_back(VELLICOR_LV2_BUNDLE);
#endif
  // Program 0 as it is, and played as an arpeggio at the host's tempo.
  for (const testing::ScoreProgram program : {testing::ScoreProgram{0, false}, {0, true}}) {
    const std::vector<float> vst2 = Play(VELLICOR_LIBRARY, program);
    ASSERT_EQ(vst2.size(), 2u * testing::kScoreFrames);
    for (const std::string& path : others) {
      const std::vector<float> samples = Play(path, program);
      ASSERT_EQ(samples.size(), vst2.size()) << path;
      EXPECT_EQ(std::memcmp(samples.data(), vst2.data(), vst2.size() * sizeof(float)), 0)
          << path << (program.arpeggio ? ", arpeggio" : "") << ": the samples differ";
    }
  }
}

// Where a component of the editor lies, from a headless editor of the VST 2 library (every format
// shows the same form).
gui::Rect ComponentBounds(const char* name) {
  auto plugin = LoadBuilt();
  if (!plugin || plugin->Dispatch(vst::effEditOpen) != 1) return {};
  requests::ComponentRecord record{sizeof record, name, 0, 0, 0, 0, 0};
  plugin->Dispatch(vst::effVendorSpecific, kVendorRequestId, requests::kComponentRect, &record);
  plugin->Dispatch(vst::effEditClose);
  return gui::Rect::XYWH(record.left, record.top, record.width, record.height);
}

// The editor embedded in a host's window (X11, or Win32 under Windows and wine) and idled by
// the host's timer: a slider dragged in it reaches the host as a gesture begin, the values and
// a gesture end, through the flushes the plug-in asks for.
TEST(Formats, AnEditInTheClapEditorReachesTheHostAsOneGesture) {
  auto window = gui::HostWindow::Create(635, 512, "clap host");
  VELLICOR_SKIP_UNLESS(window, "no display");
  const gui::Rect slider = ComponentBounds("Hvolume");  // main volume, parameter 1
  ASSERT_FALSE(slider.empty());
  auto instance = NewInstance(VELLICOR_CLAP);
  ASSERT_TRUE(instance);
  int width = 0, height = 0;
  std::string error;
  ASSERT_TRUE(instance->OpenEditor(window->native_handle(), &width, &height, &error)) << error;
  EXPECT_EQ(width, 635);
  EXPECT_EQ(height, 512);
  auto loop = testing::HostLoop(*window, [&instance] { instance->IdleEditor(); });
  loop(300);
  instance->TakeReports();
  testing::DragSlider(*window, slider, loop);
  const std::vector<ParameterReport> reports = instance->TakeReports();
  instance->CloseEditor();

  ASSERT_GE(reports.size(), 4u);
  EXPECT_EQ(reports.front(), (ParameterReport{ParameterReport::kBegin, 1, 0.0}));
  EXPECT_EQ(reports.back(), (ParameterReport{ParameterReport::kEnd, 1, 0.0}));
  for (size_t i = 1; i + 1 < reports.size(); ++i) {
    EXPECT_EQ(reports[i].kind, ParameterReport::kValue) << i;
    EXPECT_EQ(reports[i].index, 1) << i;
  }
  EXPECT_GT(reports[reports.size() - 2].value, reports[1].value);
  EXPECT_DOUBLE_EQ(instance->GetParameter(1), reports[reports.size() - 2].value);
}

}  // namespace
}  // namespace vellicor::host
