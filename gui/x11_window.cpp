// The X11 backend: the editor as a child of the host's X11 window, on a display connection of
// its own (a host's Display* must not be used from our threads), pumped from the host's idle
// calls and from a fallback thread.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "gui/backends.h"
#include "gui/dialog_program.h"
#include "gui/host_window.h"

// Xlib last: its macros (None, Bool, Status, True, ...) must not reach our own headers.
#include <X11/Xlib.h>
// After Xlib.h, which they build on.
#include <X11/Xatom.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

// Per-display error hook of Xlib (declared in the internal header Xlibint.h, which drags in
// far more than this file needs).
extern "C" Bool (*XESetWireToError(Display*, int, Bool (*)(Display*, XErrorEvent*, xError*)))(
    Display*, XErrorEvent*, xError*);

namespace vellicor::gui {

namespace {

using XWindow = ::Window;

// The fallback thread never sleeps longer than this, so input queued by other Xlib calls is
// never left waiting long.
constexpr int kMaxPollMs = 20;

// While the host keeps calling idle, input and timers are handled on the host's thread (where
// hosts expect editor callbacks such as automation to come from); the fallback thread steps in
// only when the host has not idled for this long.
constexpr int64_t kHostIdleGraceMs = 250;

// X errors on our own connection are expected (the host may destroy its window before closing
// the editor) and never fatal: they are dropped here instead of reaching the process's error
// handler, which by default ends the process, and which belongs to the host.
Bool DropError(Display*, XErrorEvent*, xError*) {
  return False;
}

void OnIoError(Display*, void* flag) {
  // Returning (rather than exiting, Xlib's default) leaves the host alive; the window stops
  // using the broken connection.
  static_cast<std::atomic<bool>*>(flag)->store(true);
}

Display* OpenOwnDisplay(std::atomic<bool>* io_error) {
  XInitThreads();
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  for (int code = 1; code < 256; ++code) XESetWireToError(display, code, DropError);
  if (io_error != nullptr) XSetIOErrorExitHandler(display, OnIoError, io_error);
  return display;
}

// Converts between our 0x00RRGGBB colours and a TrueColor visual's pixel values.
class PixelFormat {
 public:
  PixelFormat() = default;
  PixelFormat(const Visual* visual, int depth) {
    red_ = Channel(visual->red_mask);
    green_ = Channel(visual->green_mask);
    blue_ = Channel(visual->blue_mask);
    const unsigned long all = depth >= 32 ? 0xFFFFFFFFul : ((1ul << depth) - 1);
    // Bits of the depth no colour uses (a 32-bit visual's alpha) are set: opaque.
    extra_ = all & ~(visual->red_mask | visual->green_mask | visual->blue_mask);
  }

  unsigned long PixelOf(Color c) const {
    return red_.Encode(RedOf(c)) | green_.Encode(GreenOf(c)) | blue_.Encode(BlueOf(c)) | extra_;
  }
  Color ColorOf(unsigned long pixel) const {
    return Rgb(red_.Decode(pixel), green_.Decode(pixel), blue_.Decode(pixel));
  }
  // The common 8-8-8 layout: our pixels are the visual's pixels (plus the extra bits).
  bool Direct() const {
    return red_.shift == 16 && red_.bits == 8 && green_.shift == 8 && green_.bits == 8 &&
           blue_.shift == 0 && blue_.bits == 8;
  }
  unsigned long extra() const { return extra_; }

 private:
  struct Chan {
    int shift = 0;
    int bits = 0;
    unsigned long Encode(int v) const {
      if (bits == 0) return 0;
      const unsigned long max = (1ul << bits) - 1;
      return ((static_cast<unsigned long>(v) * max + 127) / 255) << shift;
    }
    int Decode(unsigned long pixel) const {
      if (bits == 0) return 0;
      const unsigned long max = (1ul << bits) - 1;
      return static_cast<int>((((pixel >> shift) & max) * 255 + max / 2) / max);
    }
  };
  static Chan Channel(unsigned long mask) {
    Chan c;
    if (mask == 0) return c;
    c.shift = std::countr_zero(mask);
    c.bits = std::min(std::popcount(mask), 16);
    return c;
  }

  Chan red_, green_, blue_;
  unsigned long extra_ = 0;
};

// Puts rectangle `r` of `source` at the same place of `target`.
void PutBitmap(Display* display, Visual* visual, int depth, const PixelFormat& format,
               Drawable target, GC gc, const Bitmap& source, const Rect& rect) {
  const Rect r = rect.Intersect(source.pixel_bounds());
  if (r.empty()) return;
  const int w = r.width();
  const int h = r.height();
  XImage* image = XCreateImage(display, visual, static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                               static_cast<unsigned>(w), static_cast<unsigned>(h), 32, 0);
  if (image == nullptr) return;
  std::vector<char> data(static_cast<size_t>(image->bytes_per_line) * h);
  image->data = data.data();
  const bool fast = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                    std::endian::native == std::endian::little && format.Direct();
  for (int y = 0; y < h; ++y) {
    const Color* in = source.Row(r.top + y) + r.left;
    if (fast) {
      auto* out =
          reinterpret_cast<uint32_t*>(data.data() + static_cast<size_t>(y) * image->bytes_per_line);
      const auto extra = static_cast<uint32_t>(format.extra());
      for (int x = 0; x < w; ++x) out[x] = in[x] | extra;
    } else {
      for (int x = 0; x < w; ++x) XPutPixel(image, x, y, format.PixelOf(in[x]));
    }
  }
  XPutImage(display, target, gc, image, 0, 0, r.left, r.top, static_cast<unsigned>(w),
            static_cast<unsigned>(h));
  image->data = nullptr;  // ours, freed with the vector
  XDestroyImage(image);
}

// The pixels of a drawable from (x, y) on; empty when it cannot be read (not viewable,
// destroyed).
Bitmap GetBitmap(Display* display, Drawable source, const PixelFormat& format, int width,
                 int height, int x = 0, int y = 0) {
  if (width <= 0 || height <= 0) return {};
  XImage* image = XGetImage(display, source, x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return {};
  Bitmap bitmap(width, height);
  for (int y = 0; y < bitmap.height(); ++y) {
    Color* out = bitmap.Row(y);
    for (int x = 0; x < bitmap.width(); ++x) out[x] = format.ColorOf(XGetPixel(image, x, y));
  }
  XDestroyImage(image);
  return bitmap;
}

// A top-level window's names: its title (WM_NAME, and _NET_WM_NAME in UTF-8, which window
// managers prefer) and its class (WM_CLASS), by which task bars and window rules know it.
void NameTopLevel(Display* display, XWindow window, const std::string& title) {
  XStoreName(display, window, title.c_str());
  const Atom net_wm_name = XInternAtom(display, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  XChangeProperty(display, window, net_wm_name, utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  XClassHint* hint = XAllocClassHint();
  if (hint != nullptr) {
    char name[] = "vellicor";
    char class_name[] = "Vellicor";
    hint->res_name = name;
    hint->res_class = class_name;
    XSetClassHint(display, window, hint);
    XFree(hint);
  }
}

// Size hints that hold a top-level window at one size (minimum = maximum), so that a window
// manager neither offers to stretch it nor stretches it into margins the editor does not draw.
void FixSize(Display* display, XWindow window, int width, int height) {
  XSizeHints* hints = XAllocSizeHints();
  if (hints == nullptr) return;
  hints->flags = PMinSize | PMaxSize | PBaseSize;
  hints->min_width = hints->max_width = hints->base_width = width;
  hints->min_height = hints->max_height = hints->base_height = height;
  XSetWMNormalHints(display, window, hints);
  XFree(hints);
}

unsigned ModifiersOf(unsigned state) {
  unsigned m = 0;
  if (state & ShiftMask) m |= kShift;
  if (state & ControlMask) m |= kCtrl;
  if (state & Mod1Mask) m |= kAlt;
  return m;
}

MouseButton ButtonOf(unsigned button) {
  switch (button) {
    case Button1:
      return MouseButton::kLeft;
    case Button2:
      return MouseButton::kMiddle;
    case Button3:
      return MouseButton::kRight;
    default:
      return MouseButton::kNone;  // wheel and extra buttons
  }
}

class X11Window final : public PlatformWindow {
 public:
  X11Window(Form& form, EventHandler& handler) : PlatformWindow(form, handler) {}
  ~X11Window() override { Close(); }

  bool Open(void* parent) override;
  void Close() override;
  bool is_open() const override {
    auto lock = Lock();
    return display_ != nullptr;
  }
  void SetVisible(bool visible) override;
  void Idle() override;
  Point ClientToScreen(Point client) const override;
  Rect ScreenBounds() const override;
  Bitmap CaptureScreen() override;
  void* native_handle() const override {
    auto lock = Lock();
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window_));
  }

 protected:
  void ShowMenuSurface() override;
  void RedrawMenuSurface() override;
  void HideMenuSurface() override;
  void StartFileDialog(bool save, const FileDialogOptions& options) override;
  void Present(const std::vector<Rect>& rects) override;
  void Resize() override;

 private:
  bool Create(XWindow parent);
  void Destroy();
  void ThreadMain();
  void Pump();
  void Handle(XEvent& event);
  void Wake();
  bool usable() const { return display_ != nullptr && !io_error_.load(); }

  Display* display_ = nullptr;
  int screen_ = 0;
  Visual* visual_ = nullptr;
  int depth_ = 0;
  Colormap colormap_ = 0;
  bool own_colormap_ = false;
  PixelFormat format_;
  XWindow root_ = 0;
  XWindow window_ = 0;
  XWindow popup_ = 0;
  bool top_level_ = false;
  GC gc_ = nullptr;
  Atom wm_protocols_ = 0;
  Atom wm_delete_ = 0;
  Rect exposed_;
  std::atomic<bool> io_error_{false};
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> last_host_idle_ms_{INT64_MIN / 2};
  int wake_[2] = {-1, -1};
  std::thread thread_;
  DialogProgram dialog_;
};

bool X11Window::Open(void* parent) {
  auto lock = Lock();
  if (display_ != nullptr) return true;
  try {
    io_error_ = false;
    display_ = OpenOwnDisplay(&io_error_);
    if (display_ == nullptr) return false;
    const auto parent_id = static_cast<XWindow>(reinterpret_cast<uintptr_t>(parent));
    if (!Create(parent_id)) {
      Destroy();
      return false;
    }
    if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) {
      Destroy();
      return false;
    }
    stop_ = false;
    thread_ = std::thread(&X11Window::ThreadMain, this);
    return true;
  } catch (...) {
    Destroy();
    return false;
  }
}

bool X11Window::Create(XWindow parent) {
  screen_ = DefaultScreen(display_);
  root_ = RootWindow(display_, screen_);
  const bool top_level = parent == 0;
  if (top_level) parent = root_;
  XWindowAttributes parent_attributes;
  if (XGetWindowAttributes(display_, parent, &parent_attributes) == 0) return false;

  visual_ = DefaultVisual(display_, screen_);
  depth_ = DefaultDepth(display_, screen_);
  colormap_ = DefaultColormap(display_, screen_);
  if (visual_->c_class != TrueColor || depth_ < 15) {
    XVisualInfo info;
    if (XMatchVisualInfo(display_, screen_, 24, TrueColor, &info) == 0) return false;
    visual_ = info.visual;
    depth_ = info.depth;
    colormap_ = XCreateColormap(display_, root_, visual_, AllocNone);
    own_colormap_ = true;
  }
  format_ = PixelFormat(visual_, depth_);

  XSetWindowAttributes a{};
  a.background_pixmap = 0;  // no background: nothing is cleared before we paint
  a.border_pixel = 0;
  a.colormap = colormap_;
  a.bit_gravity = NorthWestGravity;
  a.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                 KeyPressMask | StructureNotifyMask;
  const Bitmap& frame = form_.frame();
  window_ =
      XCreateWindow(display_, parent, 0, 0, static_cast<unsigned>(frame.pixel_width()),
                    static_cast<unsigned>(frame.pixel_height()), 0, depth_, InputOutput, visual_,
                    CWBackPixmap | CWBorderPixel | CWColormap | CWBitGravity | CWEventMask, &a);
  if (window_ == 0) return false;
  top_level_ = top_level;
  if (top_level) {
    NameTopLevel(display_, window_, "Vellicor");
    wm_protocols_ = XInternAtom(display_, "WM_PROTOCOLS", False);
    wm_delete_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, window_, &wm_delete_, 1);
    FixSize(display_, window_, frame.pixel_width(), frame.pixel_height());
  }
  gc_ = XCreateGC(display_, window_, 0, nullptr);
  XMapRaised(display_, window_);
  form_.InvalidateAll();
  XFlush(display_);
  return true;
}

void X11Window::Destroy() {
  if (display_ == nullptr) return;
  if (popup_ != 0) XDestroyWindow(display_, popup_);
  if (gc_ != nullptr) XFreeGC(display_, gc_);
  if (window_ != 0) XDestroyWindow(display_, window_);
  if (own_colormap_) XFreeColormap(display_, colormap_);
  XCloseDisplay(display_);
  display_ = nullptr;
  popup_ = window_ = 0;
  gc_ = nullptr;
  own_colormap_ = false;
  exposed_ = {};
  for (int& fd : wake_) {
    if (fd >= 0) close(fd);
    fd = -1;
  }
}

void X11Window::Close() {
  if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) return;
  {
    auto lock = Lock();
    if (display_ == nullptr) return;
    // Inside a callback on this thread: the fallback thread may be waiting for the lock we
    // hold, so it could not be joined.
    if (pumping_blocked()) return;
    DropAll();
    dialog_.Kill();
    stop_ = true;
  }
  Wake();
  if (thread_.joinable()) thread_.join();
  auto lock = Lock();
  Destroy();
}

void X11Window::Wake() {
  if (wake_[1] >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(wake_[1], &byte, 1);
  }
}

void X11Window::ThreadMain() {
  while (!stop_.load()) {
    int timeout = kMaxPollMs;
    pollfd fds[3] = {};
    nfds_t count = 0;
    {
      auto lock = Lock();
      if (stop_.load() || display_ == nullptr) break;
      const int64_t since_host_idle = NowMs() - last_host_idle_ms_.load();
      if (usable() && since_host_idle < kHostIdleGraceMs) {
        // The host is pumping us: sleep until it might have stopped.
        timeout = static_cast<int>(kHostIdleGraceMs - since_host_idle);
      } else if (usable()) {
        Pump();
        fds[count++] = {ConnectionNumber(display_), POLLIN, 0};
        if (const auto next = timers_.NextDue()) {
          timeout = static_cast<int>(std::clamp<int64_t>(*next - NowMs(), 1, kMaxPollMs));
        }
        if (dialog_.fd() >= 0) fds[count++] = {dialog_.fd(), POLLIN, 0};
      }
      fds[count++] = {wake_[0], POLLIN, 0};
    }
    poll(fds, count, timeout);
    char drain[64];
    while (read(wake_[0], drain, sizeof drain) > 0) {
    }
  }
}

void X11Window::Idle() {
  last_host_idle_ms_ = NowMs();
  std::unique_lock<std::recursive_mutex> lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock() || pumping_blocked() || !usable()) return;
  Pump();
}

void X11Window::Pump() {
  try {
    // Bounded, so that a flood of events cannot hold the host's idle call for long.
    for (int n = 0; n < 1000 && usable() && XPending(display_) > 0; ++n) {
      XEvent event;
      XNextEvent(display_, &event);
      Handle(event);
    }
    if (!usable()) return;
    if (dialog_.running() && dialog_.Poll()) FinishFileDialog(dialog_.result());
    DeliverDialogs();
    FireDueTimers();
    Flush();
    if (!exposed_.empty() && window_ != 0) {
      PutBitmap(display_, visual_, depth_, format_, window_, gc_, form_.frame(), exposed_);
    }
    exposed_ = {};
    XFlush(display_);
  } catch (...) {
  }
}

void X11Window::Handle(XEvent& event) {
  switch (event.type) {
    case Expose: {
      const XExposeEvent& e = event.xexpose;
      if (e.window == window_) {
        exposed_ = exposed_.Union(Rect::XYWH(e.x, e.y, e.width, e.height));
      } else if (e.window == popup_ && e.count == 0) {
        RedrawMenuSurface();
      }
      break;
    }
    case ButtonPress:
    case ButtonRelease: {
      const XButtonEvent& e = event.xbutton;
      const MouseButton button = ButtonOf(e.button);
      if (button == MouseButton::kNone) break;
      const MouseAction action = event.type == ButtonPress ? MouseAction::kDown : MouseAction::kUp;
      if (popup_ != 0 && e.window == popup_) {
        MenuMouse(action, {e.x_root, e.y_root});
      } else if (e.window == window_) {
        DeliverMouse(action, {e.x, e.y}, button, ModifiersOf(e.state));
      }
      break;
    }
    case MotionNotify: {
      // Only the latest of a run of moves matters.
      while (XEventsQueued(display_, QueuedAlready) > 0) {
        XEvent next;
        XPeekEvent(display_, &next);
        if (next.type != MotionNotify || next.xmotion.window != event.xmotion.window) break;
        XNextEvent(display_, &event);
      }
      const XMotionEvent& e = event.xmotion;
      if (popup_ != 0 && e.window == popup_) {
        MenuMouse(MouseAction::kMove, {e.x_root, e.y_root});
      } else if (e.window == window_) {
        DeliverMouse(MouseAction::kMove, {e.x, e.y}, MouseButton::kNone, ModifiersOf(e.state));
      }
      break;
    }
    case KeyPress: {
      if (!menu_) break;
      switch (XLookupKeysym(&event.xkey, 0)) {
        case XK_Escape:
          MenuKeyPressed(MenuKey::kEscape);
          break;
        case XK_Up:
        case XK_KP_Up:
          MenuKeyPressed(MenuKey::kUp);
          break;
        case XK_Down:
        case XK_KP_Down:
          MenuKeyPressed(MenuKey::kDown);
          break;
        case XK_Return:
        case XK_KP_Enter:
        case XK_space:
          MenuKeyPressed(MenuKey::kEnter);
          break;
        default:
          break;
      }
      break;
    }
    case DestroyNotify:
      // The host destroyed its window, and ours with it.
      if (event.xdestroywindow.window == window_) {
        window_ = 0;
        if (menu_) CancelMenu();
      }
      break;
    case ClientMessage:
      if (wm_delete_ != 0 && event.xclient.message_type == wm_protocols_ &&
          static_cast<Atom>(event.xclient.data.l[0]) == wm_delete_) {
        XUnmapWindow(display_, window_);
      }
      break;
    default:
      break;
  }
}

void X11Window::Present(const std::vector<Rect>& rects) {
  if (!usable() || window_ == 0) return;
  const Bitmap& frame = form_.frame();
  for (const Rect& r : rects) {
    PutBitmap(display_, visual_, depth_, format_, window_, gc_, frame, frame.ScreenRect(r));
  }
  XFlush(display_);
}

void X11Window::Resize() {
  if (!usable() || window_ == 0) return;
  const Bitmap& frame = form_.frame();
  if (top_level_) FixSize(display_, window_, frame.pixel_width(), frame.pixel_height());
  XResizeWindow(display_, window_, static_cast<unsigned>(frame.pixel_width()),
                static_cast<unsigned>(frame.pixel_height()));
  XFlush(display_);
}

void X11Window::SetVisible(bool visible) {
  auto lock = Lock();
  if (!usable() || window_ == 0) return;
  if (visible) {
    XMapRaised(display_, window_);
  } else {
    if (menu_) CancelMenu();
    XUnmapWindow(display_, window_);
  }
  XFlush(display_);
}

Point X11Window::ClientToScreen(Point client) const {
  auto lock = Lock();
  if (!usable() || window_ == 0) return client;
  int x = client.x, y = client.y;
  XWindow child = 0;
  XTranslateCoordinates(display_, window_, root_, client.x, client.y, &x, &y, &child);
  return {x, y};
}

Rect X11Window::ScreenBounds() const {
  auto lock = Lock();
  if (!usable()) return {0, 0, 1024, 768};
  return {0, 0, DisplayWidth(display_, screen_), DisplayHeight(display_, screen_)};
}

Bitmap X11Window::CaptureScreen() {
  auto lock = Lock();
  if (!usable() || window_ == 0) return {};
  Flush();
  XSync(display_, False);
  return GetBitmap(display_, window_, format_, form_.frame().pixel_width(),
                   form_.frame().pixel_height());
}

void X11Window::ShowMenuSurface() {
  if (!usable() || !menu_) return;
  const Rect r = menu_->screen_rect();
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.save_under = True;
  a.background_pixmap = 0;
  a.border_pixel = 0;
  a.colormap = colormap_;
  a.event_mask =
      ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask | KeyPressMask;
  popup_ = XCreateWindow(
      display_, root_, r.left, r.top, static_cast<unsigned>(r.width()),
      static_cast<unsigned>(r.height()), 0, depth_, InputOutput, visual_,
      CWOverrideRedirect | CWSaveUnder | CWBackPixmap | CWBorderPixel | CWColormap | CWEventMask,
      &a);
  if (popup_ == 0) return;
  const Atom type = XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False);
  Atom popup_type = XInternAtom(display_, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
  XChangeProperty(display_, popup_, type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&popup_type), 1);
  XMapRaised(display_, popup_);
  RedrawMenuSurface();
  // With the pointer and keyboard grabbed, a press anywhere outside and Escape reach the menu.
  // Without the grabs (another client holds one) the menu still works from our windows.
  const unsigned mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
  XGrabPointer(display_, popup_, False, mask, GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime);
  XGrabKeyboard(display_, popup_, False, GrabModeAsync, GrabModeAsync, CurrentTime);
  XFlush(display_);
}

void X11Window::RedrawMenuSurface() {
  if (!usable() || popup_ == 0 || !menu_) return;
  PutBitmap(display_, visual_, depth_, format_, popup_, gc_, menu_->surface(),
            menu_->surface().pixel_bounds());
  XFlush(display_);
}

void X11Window::HideMenuSurface() {
  if (!usable() || popup_ == 0) return;
  XUngrabPointer(display_, CurrentTime);
  XUngrabKeyboard(display_, CurrentTime);
  XDestroyWindow(display_, popup_);
  popup_ = 0;
  XFlush(display_);
}

void X11Window::StartFileDialog(bool save, const FileDialogOptions& options) {
  const std::vector<std::string> argv = DialogProgram::CommandLine(save, options);
  if (argv.empty() || !dialog_.Start(argv)) {
    FinishFileDialog(std::nullopt);
    return;
  }
  Wake();
}

// --- HostWindow ---------------------------------------------------------------------------------

class X11HostWindow final : public HostWindow {
 public:
  X11HostWindow() = default;
  ~X11HostWindow() override {
    if (display_ == nullptr) return;
    if (window_ != 0) XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }

  bool Create(int width, int height, const std::string& title) {
    display_ = OpenOwnDisplay(nullptr);
    if (display_ == nullptr) return false;
    width_ = std::clamp(width, 1, kMaxBitmapSide);
    height_ = std::clamp(height, 1, kMaxBitmapSide);
    const int screen = DefaultScreen(display_);
    format_ = PixelFormat(DefaultVisual(display_, screen), DefaultDepth(display_, screen));
    window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), 0, 0,
                                  static_cast<unsigned>(width_), static_cast<unsigned>(height_), 0,
                                  0, WhitePixel(display_, screen));
    if (window_ == 0) return false;
    NameTopLevel(display_, window_, title);
    FixSize(display_, window_, width_, height_);
    // The window manager's close button asks instead of cutting our connection.
    delete_window_ = XInternAtom(display_, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display_, window_, &delete_window_, 1);
    XSelectInput(display_, window_, StructureNotifyMask | ExposureMask);
    XMapRaised(display_, window_);
    // The window must exist and be mapped on the server before another connection makes a
    // child of it.
    for (int i = 0; i < 400; ++i) {
      XEvent event;
      if (XCheckTypedWindowEvent(display_, window_, MapNotify, &event)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    XSync(display_, False);
    return true;
  }

  void* native_handle() const override {
    return reinterpret_cast<void*>(static_cast<uintptr_t>(window_));
  }

  void Pump() override {
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == ClientMessage &&
          static_cast<Atom>(event.xclient.data.l[0]) == delete_window_) {
        close_requested_ = true;
      }
    }
  }

  bool close_requested() const override { return close_requested_; }

  void SetClientSize(int width, int height) override {
    width_ = std::clamp(width, 1, kMaxBitmapSide);
    height_ = std::clamp(height, 1, kMaxBitmapSide);
    FixSize(display_, window_, width_, height_);
    XResizeWindow(display_, window_, static_cast<unsigned>(width_), static_cast<unsigned>(height_));
    XSync(display_, False);
  }
  Size ClientSize() const override { return {width_, height_}; }

  Bitmap Capture() override {
    XSync(display_, False);
    return GetBitmap(display_, window_, format_, width_, height_);
  }

  Bitmap CaptureArea(const Rect& client_area) override {
    const int w = std::clamp(client_area.width(), 0, kMaxBitmapSide);
    const int h = std::clamp(client_area.height(), 0, kMaxBitmapSide);
    if (w == 0 || h == 0) return {};
    XSync(display_, False);
    const int screen = DefaultScreen(display_);
    const XWindow root = RootWindow(display_, screen);
    int x = 0, y = 0;
    XWindow child = 0;
    XTranslateCoordinates(display_, window_, root, client_area.left, client_area.top, &x, &y,
                          &child);
    // The root window shows every window on it, override-redirect popups included.
    const Rect wanted = Rect::XYWH(x, y, w, h);
    const Rect seen =
        wanted.Intersect({0, 0, DisplayWidth(display_, screen), DisplayHeight(display_, screen)});
    Bitmap area(w, h, kBlack);
    if (seen.empty()) return area;
    const Bitmap part =
        GetBitmap(display_, root, format_, seen.width(), seen.height(), seen.left, seen.top);
    area.Copy(part, part.bounds(), seen.left - x, seen.top - y);
    return area;
  }

  bool SendMouse(MouseAction action, Point client, MouseButton button,
                 unsigned modifiers) override {
    // The innermost window under the point, and the point in its coordinates and the root's.
    const XWindow target = InnermostAt(client);
    const XWindow root = DefaultRootWindow(display_);
    XWindow child = 0;
    int x = client.x, y = client.y, root_x = 0, root_y = 0;
    XTranslateCoordinates(display_, window_, target, client.x, client.y, &x, &y, &child);
    XTranslateCoordinates(display_, window_, root, client.x, client.y, &root_x, &root_y, &child);

    unsigned state = 0;
    if (modifiers & kShift) state |= ShiftMask;
    if (modifiers & kCtrl) state |= ControlMask;
    if (modifiers & kAlt) state |= Mod1Mask;
    XEvent event{};
    long mask = 0;
    if (action == MouseAction::kMove) {
      event.xmotion = XMotionEvent{};
      event.xmotion.type = MotionNotify;
      event.xmotion.display = display_;
      event.xmotion.window = target;
      event.xmotion.root = root;
      event.xmotion.x = x;
      event.xmotion.y = y;
      event.xmotion.x_root = root_x;
      event.xmotion.y_root = root_y;
      event.xmotion.state = state;
      event.xmotion.same_screen = True;
      mask = PointerMotionMask;
    } else if (action == MouseAction::kDown || action == MouseAction::kUp) {
      const unsigned number = button == MouseButton::kLeft     ? Button1
                              : button == MouseButton::kMiddle ? Button2
                              : button == MouseButton::kRight  ? Button3
                                                               : 0;
      if (number == 0) return false;
      const bool down = action == MouseAction::kDown;
      event.xbutton = XButtonEvent{};
      event.xbutton.type = down ? ButtonPress : ButtonRelease;
      event.xbutton.display = display_;
      event.xbutton.window = target;
      event.xbutton.root = root;
      event.xbutton.x = x;
      event.xbutton.y = y;
      event.xbutton.x_root = root_x;
      event.xbutton.y_root = root_y;
      event.xbutton.state = state;
      event.xbutton.button = number;
      event.xbutton.same_screen = True;
      mask = down ? ButtonPressMask : ButtonReleaseMask;
    } else {
      return false;
    }
    const Status sent = XSendEvent(display_, target, False, mask, &event);
    XFlush(display_);
    return sent != 0;
  }

 private:
  XWindow InnermostAt(Point client) {
    XWindow target = window_;
    for (int depth = 0; depth < 32; ++depth) {
      XWindow child = 0;
      int x = 0, y = 0;
      if (!XTranslateCoordinates(display_, window_, target, client.x, client.y, &x, &y, &child) ||
          child == 0) {
        break;
      }
      target = child;
    }
    return target;
  }

  Display* display_ = nullptr;
  XWindow window_ = 0;
  Atom delete_window_ = 0;
  bool close_requested_ = false;
  int width_ = 0;
  int height_ = 0;
  PixelFormat format_;
};

}  // namespace

std::unique_ptr<PlatformWindow> MakeNativeWindow(Form& form, EventHandler& handler) {
  return std::make_unique<X11Window>(form, handler);
}

std::unique_ptr<HostWindow> HostWindow::Create(int width, int height, const std::string& title) {
  try {
    auto window = std::make_unique<X11HostWindow>();
    if (!window->Create(width, height, title)) return nullptr;
    return window;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace vellicor::gui
