// What a host sees of the built library, loaded by path through the command-line host's loader
// exactly as a host loads it; and its editor's pictures without a window, in a real window of the
// host (X11 under Linux, Win32 under Windows or wine; skipped without a display) and through the
// screenshot command.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#include <dlfcn.h>
#endif

#include "gui/host_window.h"
#include "gui/text_file.h"
#include "host/plugin_loader.h"
#include "host/render.h"
#include "host/screenshot.h"
#include "tests/host/built_library.h"
#include "tests/odd_frame_score.h"
#include "tests/skip_without_display.h"

namespace vellicor::host {
namespace {

#if !defined(_WIN32)
// An X server resets when its last client leaves and refuses connections while it does, so a
// test opening a window just after another closed its last one could find no display. One
// connection held for the whole run keeps the server from resetting; the previous test program
// may just have left, so the first one waits for the reset to end.
Display* OpenDisplayOnceTheServerIsUp() {
  Display* display = nullptr;
  const char* name = std::getenv("DISPLAY");
  for (int attempt = 0; name != nullptr && name[0] != 0 && attempt < 100; ++attempt) {
    if ((display = XOpenDisplay(nullptr)) != nullptr) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return display;
}
const std::unique_ptr<Display, int (*)(Display*)> kKeepDisplayOpen(OpenDisplayOnceTheServerIsUp(),
                                                                   XCloseDisplay);
#endif

// Each program looks different, headless rendering is deterministic, and (with a display) the
// editor in a window delivers a click through the window system (the About panel opens) and
// shows a menu left open, picturing what the headless editor shows given the same input.
TEST(EditorThroughTheLibrary, ProgramsClicksAndMenusHeadlessAndInAWindow) {
  auto plugin = LoadBuilt();
  ASSERT_TRUE(plugin);
  const bool window = gui::HostWindow::Create(64, 64, "probe") != nullptr;
  ASSERT_TRUE(window || !DisplayPromised()) << "no window in the test command";
  auto capture = [&](ScreenshotOptions options, int program, bool headless = true) {
    options.program = program;
    options.headless = headless;
    gui::Bitmap shot;
    std::string error;
    EXPECT_TRUE(CaptureEditor(*plugin, options, &shot, &error)) << error;
    return shot;
  };
  auto with = [](ScreenshotInput::Kind kind, const char* name) {
    ScreenshotOptions options;
    options.inputs.resize(1);
    options.inputs[0].kind = kind;
    options.inputs[0].name = name;
    return options;
  };
  const gui::Bitmap first = capture({}, 0);
  ASSERT_EQ(first.bounds(), gui::Rect::XYWH(0, 0, 635, 512));
  EXPECT_NE(first, capture({}, 7));
  EXPECT_EQ(first, capture({}, 0));
  const ScreenshotOptions about = with(ScreenshotInput::Kind::kPress, "Image11");
  EXPECT_FALSE(capture(about, 4) == capture({}, 4));
  if (window) {
    EXPECT_TRUE(capture(about, 4, false) == capture(about, 4));
  }

  // A menu left open lies below and right of the press at the selector's centre, in khaki.
  ScreenshotOptions menu = with(ScreenshotInput::Kind::kMenuOpen, "MnFilter1");
  const gui::Bitmap with_menu = capture(menu, 0);
  ASSERT_EQ(with_menu.bounds(), first.bounds());
  const gui::Point corner{488, 30};  // the filter selector's centre
  EXPECT_EQ(with_menu.Pixel(corner.x + 90, corner.y + 8), 0xCCCC99u);
  EXPECT_NE(first.Pixel(corner.x + 90, corner.y + 8), 0xCCCC99u);
  EXPECT_EQ(with_menu.Pixel(corner.x - 3, corner.y), first.Pixel(corner.x - 3, corner.y));
  if (window) {
    EXPECT_TRUE(capture(menu, 0, false) == with_menu);
  }
  // Sixteen ranges reach past the editor's bottom: the picture grows to hold them.
  menu.inputs[0].name = "MnPShift";
  const gui::Bitmap long_menu = capture(menu, 0);
  EXPECT_EQ(long_menu.width(), 635);
  EXPECT_GT(long_menu.height(), 512);
  EXPECT_EQ(long_menu.Pixel(280, long_menu.height() - 8), 0xCCCC99u);
  // Nothing may follow an open menu.
  menu.inputs.push_back(with(ScreenshotInput::Kind::kMenuOpen, "MnFilter1").inputs[0]);
  menu.headless = true;
  gui::Bitmap refused;
  std::string error;
  EXPECT_FALSE(CaptureEditor(*plugin, menu, &refused, &error));
  EXPECT_FALSE(ParseScreenshotArgs(
      {"lib", "--out", "x.png", "--menu-open", "MnMode", "--press", "Hvolume"}, &menu, &error));
  plugin->Close();
}

TEST(ScreenshotCommand, WritesAPngAndRefusesBadArguments) {
  const std::string out =
      (std::filesystem::temp_directory_path() / "vellicor-editor-test.png").string();
  std::filesystem::remove(out);
  ASSERT_EQ(RunScreenshot({VELLICOR_LIBRARY, "--out", out, "--headless", "--program", "2",
                           "--press", "Image11", "--drag", "Hvolume:10,6:60,6"}),
            0);
  EXPECT_EQ(gui::ReadWholeFile(out, 1 << 20).value_or("").substr(0, 8), "\x89PNG\r\n\x1a\n");
  std::filesystem::remove(out);

  EXPECT_EQ(RunScreenshot({VELLICOR_LIBRARY, "--headless"}), 2);  // no --out
  EXPECT_EQ(RunScreenshot({VELLICOR_LIBRARY, "--out", out, "--drag", "Hvolume:1,2"}), 2);
  EXPECT_EQ(RunScreenshot({VELLICOR_LIBRARY, "--out", out, "--menu", "MnMode"}), 2);
  EXPECT_NE(RunScreenshot({VELLICOR_LIBRARY, "--out", out, "--headless", "--press", "Nothing"}), 0);
  EXPECT_FALSE(std::filesystem::exists(out));

  ScreenshotOptions options;
  std::string error;
  ASSERT_TRUE(ParseScreenshotArgs({"lib", "--out", "x.png", "--press", "DLPwm1:3,4", "--drag",
                                   "Hvol1:1,2:30,-4", "--menu", "MnMode", "Mode3"},
                                  &options, &error))
      << error;
  ASSERT_EQ(options.inputs.size(), 3u);
  EXPECT_TRUE(options.inputs[0].at_point);
  EXPECT_EQ(options.inputs[0].x1, 3);
  EXPECT_EQ(options.inputs[1].name, "Hvol1");
  EXPECT_EQ(options.inputs[1].y2, -4);
  EXPECT_EQ(options.inputs[2].item, "Mode3");
}

intptr_t VST_CALL SilentHost(vst::AEffect*, int32_t, int32_t, intptr_t, void*, float) {
  return 0;
}

// The entry points hosts look for; a host that answers no version gets no instance.
TEST(HostLevel, ExportsTheEntryPointsHostsLookFor) {
#if defined(_WIN32)
  HMODULE library = LoadLibraryA(NativeLibraryPath(VELLICOR_LIBRARY).c_str());
  auto symbol = [&](const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(library, name));
  };
#else
  void* library = dlopen(VELLICOR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  auto symbol = [&](const char* name) { return dlsym(library, name); };
#endif
  ASSERT_TRUE(library);
  auto entry = reinterpret_cast<vst::EntryProc>(symbol("main"));
  ASSERT_TRUE(entry);
#if defined(_WIN32) && !defined(_WIN64)
  EXPECT_FALSE(symbol("VSTPluginMain"));  // the 32-bit DLL exports main alone
#else
  // 64-bit hosts look for VSTPluginMain first: both names lead to the same function.
  EXPECT_EQ(symbol("VSTPluginMain"), reinterpret_cast<void*>(entry));
#endif
  EXPECT_EQ(entry(SilentHost), nullptr);
  EXPECT_EQ(entry(nullptr), nullptr);
#if defined(_WIN32)
  FreeLibrary(library);
#else
  dlclose(library);
#endif
}

// The user and resvd fields belong to the host: we write them and the plug-in keeps them.
TEST(HostLevel, TheHostsOwnFieldsStayItsOwn) {
  auto plugin = LoadBuilt();
  ASSERT_TRUE(plugin);
  vst::AEffect* e = plugin->effect();
  e->user = reinterpret_cast<void*>(0x5eed);
  e->resvd1 = 0x1234;
  plugin->Dispatch(vst::effOpen);
  plugin->Dispatch(vst::effSetProgram, 0, 3);
  plugin->Dispatch(vst::effMainsChanged, 0, 1);
  EXPECT_EQ(e->user, reinterpret_cast<void*>(0x5eed));
  EXPECT_EQ(e->resvd1, 0x1234);
}

TEST(HostLevel, InstancesAreIndependentAndSurviveClose) {
  auto first = LoadBuilt();
  auto second = LoadBuilt();
  ASSERT_TRUE(first && second);
  first->SetParameter(1, 0.125f);
  second->SetParameter(1, 0.875f);
  EXPECT_EQ(first->GetParameter(1), 0.125f);
  EXPECT_EQ(second->GetParameter(1), 0.875f);
  first->Close();
  EXPECT_EQ(second->GetParameter(1), 0.875f);
  auto third = LoadBuilt();
  ASSERT_TRUE(third);
  EXPECT_EQ(third->Dispatch(vst::effGetProgram), 0);
}

// The score through the library in blocks of `block` frames, each event sent with the block it
// falls in at its frame there, as a host sends it. Output: left and right interleaved.
std::vector<float> PlayScore(const testing::ScoreProgram& program, int block) {
  auto plugin = LoadBuilt();
  if (!plugin) return {};
  RenderSettings settings;
  settings.sample_rate = testing::kScoreRate;
  settings.block_size = block;
  settings.program = program.program;
  settings.parameters = testing::ScoreSettings(program);
  PreparePlugin(*plugin, settings);
  std::vector<float> out, left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
  testing::PlayScore(block, [&](int frames, const std::vector<testing::ScoreEvent>& score) {
    std::vector<MidiMessage> events;
    for (const auto& e : score) events.push_back({{e.bytes[0], e.bytes[1], e.bytes[2]}, e.frame});
    plugin->SendMidi(events);
    plugin->Render(left.data(), right.data(), frames);
    for (int i = 0; i < frames; ++i) {
      out.push_back(left[static_cast<size_t>(i)]);
      out.push_back(right[static_cast<size_t>(i)]);
    }
  });
  return out;
}

// A host's buffer size must not move its notes: each event acts at its frame, so the same MIDI
// gives the same samples in blocks of 1 to 4,096 frames.
TEST(HostLevel, TheSameMidiRendersTheSameSamplesInEveryBlockSize) {
  for (const auto& program : testing::kScorePrograms) {
    const std::vector<float> reference = PlayScore(program, 4096);
    ASSERT_EQ(reference.size(), 2u * testing::kScoreFrames);
    for (int block : testing::kBlockSizes) {
      const std::vector<float> samples = PlayScore(program, block);
      ASSERT_EQ(samples.size(), reference.size());
      EXPECT_EQ(std::memcmp(samples.data(), reference.data(), samples.size() * sizeof(float)), 0)
          << "program " << program.program << ", blocks of " << block;
    }
  }
}

}  // namespace
}  // namespace vellicor::host
