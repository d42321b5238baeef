// Linux file dialogs: a dialog program found on PATH, run without blocking, its answer read
// back. A stand-in "zenity" script records its arguments and answers like the real one.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "gui/dialog_program.h"
#include "gui/host_window.h"
#include "gui/text_file.h"
#include "tests/skip_without_display.h"

namespace vellicor::gui {
namespace {

namespace fs = std::filesystem;

struct FakeDialog : ::testing::Test {
  const fs::path dir = fs::temp_directory_path() / ("vellicor-dialog-" + std::to_string(getpid()));
  const std::string old_path = std::getenv("PATH") ? std::getenv("PATH") : "";

  void SetUp() override { fs::create_directories(dir); }
  void TearDown() override {
    setenv("PATH", old_path.c_str(), 1);
    fs::remove_all(dir);
  }
  // A program named `name`, alone on PATH, that saves its arguments and ends with `body`.
  void Install(const std::string& name, const std::string& body) {
    const std::string args = (dir / "args").string();
    ASSERT_TRUE(ReplaceFile((dir / name).string(),
                            "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + args + "'\n" + body + "\n"));
    fs::permissions(dir / name, fs::perms::owner_all);
    setenv("PATH", dir.c_str(), 1);
  }
  std::string Args() { return ReadWholeFile((dir / "args").string(), 4096).value_or(""); }
  static bool Finish(DialogProgram& program) {
    for (int i = 0; i < 1000; ++i) {
      if (program.Poll()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }
};

TEST_F(FakeDialog, ZenityAnswersWithThePathItPrintsAndACancelAFailureOrNoProgramWithNothing) {
  Install("zenity", "echo /home/user/bass.env");
  const FileDialogOptions options{"Save envelope", "Envelope files", "*.env", "bass.env"};
  DialogProgram program;
  ASSERT_TRUE(program.Start(DialogProgram::CommandLine(true, options)));
  ASSERT_TRUE(Finish(program));
  EXPECT_EQ(program.result(), "/home/user/bass.env");
  EXPECT_FALSE(program.running());
  const std::string args = Args();
  EXPECT_NE(args.find("--save"), std::string::npos);
  EXPECT_NE(args.find("--filename=bass.env"), std::string::npos);
  EXPECT_NE(args.find("--file-filter=Envelope files | *.env"), std::string::npos);

  Install("zenity", "exit 1");
  ASSERT_TRUE(program.Start(DialogProgram::CommandLine(false, {"Load", "", "*.mmp", "*.mmp"})));
  ASSERT_TRUE(Finish(program));
  EXPECT_EQ(program.result(), std::nullopt);
  EXPECT_EQ(Args().find("--filename"), std::string::npos);  // "*.mmp" is a filter, not a name

  Install("kdialog", "exec /bin/sleep 30");  // only kdialog now: zenity is gone from PATH
  fs::remove(dir / "zenity");
  const auto argv = DialogProgram::CommandLine(false, {"Load", "Maps", "*.mmp", ""});
  ASSERT_FALSE(argv.empty());
  EXPECT_EQ(fs::path(argv[0]).filename(), "kdialog");
  ASSERT_TRUE(program.Start(argv));
  program.Kill();  // a program still showing when the editor closes is ended
  EXPECT_FALSE(program.running());

  setenv("PATH", "/nonexistent", 1);
  EXPECT_TRUE(DialogProgram::CommandLine(false, {}).empty());
}

TEST_F(FakeDialog, TheX11WindowRunsTheDialogAndCallsBackFromItsPump) {
  auto host = HostWindow::Create(640, 520, "gui_tests");
  VELLICOR_SKIP_UNLESS(host, "no display");
  Install("zenity", "/bin/sleep 0.2; echo /tmp/chosen.mmp");
  Form form(635, 512);
  EventHandler handler;
  auto window = PlatformWindow::Create(PlatformWindow::Backend::kNative, form, handler);
  ASSERT_TRUE(window->Open(host->native_handle()));
  std::optional<std::string> answer;
  std::atomic<bool> answered{false};  // set after the answer: reading it then is safe
  window->SaveFileDialog({"Save", "Maps", "*.mmp", "map.mmp"}, [&](std::optional<std::string> p) {
    answer = p;
    answered = true;
  });
  for (int i = 0; i < 600 && !answered; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer, "/tmp/chosen.mmp");
  window->Close();
}

}  // namespace
}  // namespace vellicor::gui

#endif
