// The editor as a host meets it, through the built library: pictures without a window and in a
// real window of the host (X11 under Linux, Win32 under Windows or wine), and the screenshot
// command. The window tests need a display and are skipped without one.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gui/host_window.h"
#include "host/plugin_loader.h"
#include "host/screenshot.h"
#include "tests/host/built_library.h"
#include "vst/vellicor_requests.h"

#if !defined(_WIN32)
#include <X11/Xlib.h>
#endif

namespace vellicor::host {
namespace {

#if !defined(_WIN32)
// An X server resets when its last client leaves and refuses connections while it does, so a
// test opening a window just after another closed its last one could find no display. One
// connection held for the whole run keeps the server from resetting.
class KeepDisplayOpen : public ::testing::Environment {
 public:
  void SetUp() override {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || name[0] == 0) return;
    // The previous test program may just have left, resetting the server.
    for (int attempt = 0; attempt < 100 && display_ == nullptr; ++attempt) {
      display_ = XOpenDisplay(nullptr);
      if (display_ == nullptr) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  void TearDown() override {
    if (display_ != nullptr) XCloseDisplay(display_);
    display_ = nullptr;
  }

 private:
  Display* display_ = nullptr;
};
[[maybe_unused]] ::testing::Environment* const kKeepDisplayOpen =
    ::testing::AddGlobalTestEnvironment(new KeepDisplayOpen);
#endif

gui::Bitmap Capture(const ScreenshotOptions& options) {
  auto plugin = LoadBuilt();
  gui::Bitmap shot;
  if (!plugin) return shot;
  std::string error;
  EXPECT_TRUE(CaptureEditor(*plugin, options, &shot, &error)) << error;
  return shot;
}

ScreenshotOptions Options(bool headless, int program = 0) {
  ScreenshotOptions options;
  options.headless = headless;
  options.program = program;
  return options;
}

// Each program looks different, headless rendering is deterministic, and (with a display) the
// screenshot command in a window delivers a click through the window system to the editor (the
// About panel opens), picturing what the headless editor shows given the same click.
TEST(EditorThroughTheLibrary, ProgramsHeadlessAndAClickInAWindow) {
  const gui::Bitmap first = Capture(Options(true, 0));
  ASSERT_EQ(first.width(), 635);
  ASSERT_EQ(first.height(), 512);
  EXPECT_NE(first, Capture(Options(true, 7)));
  EXPECT_EQ(first, Capture(Options(true, 0)));
  if (!HaveDisplay() || !gui::HostWindow::Create(64, 64, "probe")) return;
  ScreenshotOptions press = Options(false, 4);
  ScreenshotInput about;
  about.name = "Image11";
  press.inputs.push_back(about);
  const gui::Bitmap pressed = Capture(press);
  press.headless = true;
  EXPECT_TRUE(pressed == Capture(press));
  EXPECT_FALSE(pressed == Capture(Options(true, 4)));
}

TEST(ScreenshotCommand, WritesAPngAndRefusesBadArguments) {
  const std::string out =
      (std::filesystem::temp_directory_path() / "vellicor-editor-test.png").string();
  std::filesystem::remove(out);
  ASSERT_EQ(RunScreenshot({VELLICOR_LIBRARY, "--out", out, "--headless", "--program", "2",
                           "--press", "Image11", "--drag", "Hvolume:10,6:60,6"}),
            0);
  std::ifstream png(out, std::ios::binary);
  std::vector<char> head(8);
  png.read(head.data(), 8);
  EXPECT_EQ(std::string(head.data(), 8), std::string("\x89PNG\r\n\x1a\n", 8));
  png.close();
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

}  // namespace
}  // namespace vellicor::host
