#include "gui/scale.h"

#include <cstdlib>
#include <cstring>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <X11/Xlib.h>
#endif

namespace vellicor::gui {
namespace {

#if !defined(_WIN32)
// "Xft.dpi:\t144" among the X server's resources, as desktops set it for their scale.
double XftDpi() {
  Display* display = XOpenDisplay(nullptr);
  if (!display) return 0.0;
  double dpi = 0.0;
  if (const char* resources = XResourceManagerString(display)) {
    const std::string text = resources;
    const size_t at = text.find("Xft.dpi:");
    if (at != std::string::npos) dpi = std::strtod(text.c_str() + at + 8, nullptr);
  }
  XCloseDisplay(display);
  return dpi;
}
#endif

}  // namespace

double SystemScaleFactor() {
#if defined(_WIN32)
  HDC screen = GetDC(nullptr);
  if (!screen) return 1.0;
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi / 96.0 : 1.0;
#else
  if (const char* gdk = std::getenv("GDK_SCALE")) {
    const double factor = std::strtod(gdk, nullptr);
    if (factor >= 1.0) return factor;
  }
  const double dpi = XftDpi();
  return dpi > 0.0 ? dpi / 96.0 : 1.0;
#endif
}

}  // namespace vellicor::gui
