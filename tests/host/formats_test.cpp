// Every format of the plug-in through the host's own loaders: the same program and MIDI give the
// same samples in each, and an edit in the CLAP or VST 3 editor reaches the host as one gesture.
// VST 3 carries no MIDI but notes and selects programs through a parameter: its bends,
// controllers and programs must sound as VST 2's do.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "gui/host_window.h"
#include "host/plugin_under_test.h"
#include "tests/host/built_library.h"
#include "tests/odd_frame_score.h"
#include "tests/settings_folder.h"
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

// The score (frames from the start, in order) through the file for `total` frames in blocks of
// `block`, on the program (selected unless it is 0) with the score's settings. Output: left and
// right interleaved.
std::vector<float> Render(const std::string& path, const testing::ScoreProgram& program,
                          const std::vector<testing::ScoreEvent>& score, int total, int block) {
  std::vector<float> out;
  auto instance = NewInstance(path);
  if (!instance) return out;
  if (program.program != 0) {
    EXPECT_TRUE(instance->SelectProgram(program.program)) << path;
  }
  for (const auto& [index, value] : testing::ScoreSettings(program)) {
    instance->SetParameter(index, value);
  }
  std::string error;
  EXPECT_TRUE(instance->Activate(testing::kScoreRate, block, &error)) << error;
  std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
  float* outputs[2] = {left.data(), right.data()};
  size_t next = 0;
  for (int start = 0; start < total; start += block) {
    const int frames = std::min(block, total - start);
    std::vector<MidiMessage> events;
    for (; next < score.size() && score[next].frame < start + frames; ++next) {
      const testing::ScoreEvent& e = score[next];
      events.push_back({{e.bytes[0], e.bytes[1], e.bytes[2]}, e.frame - start});
    }
    EXPECT_TRUE(instance->Process(events, nullptr, outputs, frames));
    for (int i = 0; i < frames; ++i) {
      out.push_back(left[static_cast<size_t>(i)]);
      out.push_back(right[static_cast<size_t>(i)]);
    }
  }
  return out;
}

// The odd-frame score in 512-frame blocks.
std::vector<float> Play(const std::string& path, const testing::ScoreProgram& program) {
  const std::vector<testing::ScoreEvent> score(std::begin(testing::kOddFrameScore),
                                               std::end(testing::kOddFrameScore));
  return Render(path, program, score, testing::kScoreFrames, 512);
}

bool Same(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST(Formats, EveryFormatRendersTheVst2Samples) {
  std::vector<std::string> others = {VELLICOR_CLAP, VELLICOR_VST3_BUNDLE};
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

// A VST 3 host passes bends and controllers as changes of the parameters the controller's MIDI
// mapping names, at their offsets: they move the sound exactly as the same MIDI does in VST 2.
TEST(Formats, Vst3BendsAndControllersSoundAsVst2Midi) {
  const std::vector<testing::ScoreEvent> held = {{0, {0x90, 57, 100}}, {30001, {0x80, 57, 0}}};
  const std::vector<testing::ScoreEvent> moved = {
      {0, {0x90, 57, 100}},   {2001, {0xE0, 0x7F, 0x7F}},  {7003, {0xE0, 0x00, 0x10}},
      {12007, {0xB0, 7, 30}}, {17011, {0xE0, 0x00, 0x40}}, {19013, {0xB0, 1, 127}},
      {30001, {0x80, 57, 0}}};
  constexpr int kFrames = 36000, kBlock = 100;
  const std::vector<float> vst2 = Render(VELLICOR_LIBRARY, {0, false}, moved, kFrames, kBlock);
  ASSERT_EQ(vst2.size(), 2u * kFrames);
  ASSERT_FALSE(Same(vst2, Render(VELLICOR_LIBRARY, {0, false}, held, kFrames, kBlock)))
      << "the bends and controllers change nothing in VST 2";
  EXPECT_TRUE(Same(Render(VELLICOR_VST3_BUNDLE, {0, false}, moved, kFrames, kBlock), vst2))
      << "VST 3's bends and controllers sound otherwise";
}

// The program list names VST 2's sixteen programs, and the program-change parameter selects
// one: its sound is VST 2's for that program.
TEST(Formats, Vst3ProgramsAreTheVst2Programs) {
  std::string error;
  const auto vst3 = OpenPluginFile(VELLICOR_VST3_BUNDLE, &error);
  ASSERT_TRUE(vst3) << error;
  const auto vst2 = OpenPluginFile(VELLICOR_LIBRARY, &error);
  ASSERT_TRUE(vst2) << error;
  const std::vector<std::string> names = vst3->Programs();
  EXPECT_EQ(names.size(), 16u);
  EXPECT_EQ(names, vst2->Programs());
  for (const testing::ScoreProgram program : {testing::ScoreProgram{9, false}, {12, false}}) {
    EXPECT_TRUE(Same(Play(VELLICOR_VST3_BUNDLE, program), Play(VELLICOR_LIBRARY, program)))
        << "program " << program.program << " sounds otherwise";
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
// the host: a slider dragged in it reaches the host as a gesture begin, the values and a gesture
// end (CLAP: through the flushes the plug-in asks for; VST 3: through the component handler).
TEST(Formats, AnEditInTheEditorReachesTheHostAsOneGesture) {
  const gui::Rect slider = ComponentBounds("Hvolume");  // main volume, parameter 1
  ASSERT_FALSE(slider.empty());
  for (const char* path : {VELLICOR_CLAP, VELLICOR_VST3_BUNDLE}) {
    SCOPED_TRACE(path);
    auto window = gui::HostWindow::Create(635, 512, "host");
    VELLICOR_SKIP_UNLESS(window, "no display");
    auto instance = NewInstance(path);
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
    EXPECT_TRUE(instance->Complaints().empty()) << instance->Complaints().front();
  }
}

// A host's scale for user interfaces reaches the editor in every format that has one: at 2 the
// editor opens at twice its size.
TEST(Formats, EveryEditorOpensAtTheHostsScale) {
  testing::SettingsFolder settings;  // no choice of the user's to win over the host's
  std::vector<std::string> paths = {VELLICOR_CLAP, VELLICOR_VST3_BUNDLE};
#if defined(VELLICOR_LV2_BUNDLE)
  paths.push_back(VELLICOR_LV2_BUNDLE);
#endif
  for (const std::string& path : paths) {
    SCOPED_TRACE(path);
    auto window = gui::HostWindow::Create(1270, 1024, "host");
    VELLICOR_SKIP_UNLESS(window, "no display");
    auto instance = NewInstance(path);
    ASSERT_TRUE(instance);
    instance->editor_scale = 2.0;
    int width = 0, height = 0;
    std::string error;
    ASSERT_TRUE(instance->OpenEditor(window->native_handle(), &width, &height, &error)) << error;
    EXPECT_EQ(std::pair(width, height), std::pair(1270, 1024));
    instance->CloseEditor();
  }
}

}  // namespace
}  // namespace vellicor::host
