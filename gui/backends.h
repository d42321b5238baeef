// Constructors of the platform backends, for PlatformWindow::Create.
#pragma once

#include <memory>

#include "gui/window.h"

namespace vellicor::gui {

// The X11 backend on Linux, the Win32 backend on Windows.
std::unique_ptr<PlatformWindow> MakeNativeWindow(Form& form, EventHandler& handler);

}  // namespace vellicor::gui
