// The screenshot command: opens a plug-in's editor the way a host does, in a top-level window
// of its own (X11, or Win32 under Windows and wine) or with no window at all (headless), idles
// it, replays clicks, drags and menu choices, and captures the editor's pixels.
//
// Components are found by name through the plug-in's own request (vst/vellicor_requests.h),
// so the host needs nothing of the editor's code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gui/bitmap.h"
#include "gui/scale.h"
#include "host/plugin_loader.h"

namespace vellicor::host {

struct ScreenshotInput {
  // kMenuOpen opens a selector's menu and leaves it open for the picture: the last input.
  enum class Kind { kPress, kDrag, kMenu, kMenuOpen };
  Kind kind = Kind::kPress;
  std::string name;           // the component pressed or dragged, or the one that opens the menu
  bool at_point = false;      // kPress: (x1, y1) given; otherwise the component's centre
  int x1 = 0, y1 = 0;         // in the component's own pixels
  int x2 = 0, y2 = 0;         // kDrag: where the drag ends
  std::string item;           // kMenu: the item chosen
  bool right_button = false;  // pressed with the right button (the envelope view's commands)
};

struct ScreenshotOptions {
  std::string library;
  std::string out;
  int program = 0;
  bool headless = false;
  std::optional<gui::Scale> scale;      // --scale: the editor's size, whatever the user chose
  std::vector<ScreenshotInput> inputs;  // replayed in order before the capture
};

// A size for --scale: a factor from 1 to 3 ("1.5") or a percent ("150", "150%"), taken to the
// nearest quarter step. False for anything else.
bool ParseScale(const std::string& text, gui::Scale* scale);

// Asks the plug-in's editor to take `scale` from now on (our own request, also before it opens).
bool RequestScale(Plugin& plugin, gui::Scale scale);

// Reads the command line after "screenshot": LIB --out FILE.png [--program N] [--headless]
// [--scale F]
// [--press NAME[:X,Y]] [--drag NAME:X1,Y1:X2,Y2] [--menu NAME ITEM] [--rmenu NAME ITEM], inputs
// repeatable, and last [--menu-open NAME] or [--rmenu-open NAME]. The --rmenu forms open the
// menu with the right button.

bool ParseScreenshotArgs(const std::vector<std::string>& args, ScreenshotOptions* options,
                         std::string* error);

// Opens the editor of a loaded plug-in, replays the inputs, captures what the editor shows
// and closes the editor again. The program is selected first. With a menu left open the
// picture grows to hold the menu where it lies: in a window, the screen's pixels there (the
// menu is a window of its own); headless, the menu's pixels laid over the editor's.
bool CaptureEditor(Plugin& plugin, const ScreenshotOptions& options, gui::Bitmap* shot,
                   std::string* error);

// The whole command; returns the process exit code.
int RunScreenshot(const std::vector<std::string>& args);

}  // namespace vellicor::host
