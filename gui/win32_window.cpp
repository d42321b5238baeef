// The Win32 backend: the editor as a WS_CHILD window of the host's HWND. Windows delivers its
// input, paints and timers on the thread that opened it, through the host's message loop.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "gui/backends.h"
#include "gui/host_window.h"

// windows.h last: its macros must not reach our own headers.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which they build on.
#include <commdlg.h>
#include <windowsx.h>

namespace vellicor::gui {

namespace {

constexpr UINT kDialogDoneMessage = WM_APP + 1;

// Any address inside this module identifies it (the DLL, or the test program).
const char kModuleAnchor = 0;

HINSTANCE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      &kModuleAnchor, &module);
  return module;
}

// Window classes are named after the module's address: two copies of the plug-in loaded
// into one host (or one unloaded and loaded again) never share a class or a window procedure.
std::string ClassName(const char* kind) {
  char name[64];
  std::snprintf(name, sizeof name, "Vellicor%s%p", kind, static_cast<void*>(ThisModule()));
  return name;
}

// Registers the classes while any window of this module uses them, so the module can be
// unloaded cleanly afterwards.
class ClassRegistry {
 public:
  bool Acquire(WNDPROC editor, WNDPROC popup) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0) {
      WNDCLASSEXA wc{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = editor;
      wc.hInstance = ThisModule();
      wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
      editor_name_ = ClassName("Editor");
      wc.lpszClassName = editor_name_.c_str();
      if (RegisterClassExA(&wc) == 0) return false;
      wc.lpfnWndProc = popup;
      wc.style = CS_SAVEBITS | CS_DROPSHADOW;
      popup_name_ = ClassName("Menu");
      wc.lpszClassName = popup_name_.c_str();
      if (RegisterClassExA(&wc) == 0) {
        UnregisterClassA(editor_name_.c_str(), ThisModule());
        return false;
      }
    }
    ++users_;
    return true;
  }
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (users_ == 0 || --users_ > 0) return;
    UnregisterClassA(editor_name_.c_str(), ThisModule());
    UnregisterClassA(popup_name_.c_str(), ThisModule());
  }
  const char* editor() const { return editor_name_.c_str(); }
  const char* popup() const { return popup_name_.c_str(); }

 private:
  std::mutex mutex_;
  int users_ = 0;
  std::string editor_name_;
  std::string popup_name_;
};

ClassRegistry& Classes() {
  static ClassRegistry registry;
  return registry;
}

BITMAPINFO TopDownInfo(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // rows from the top, as our bitmaps
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// Our 0x00RRGGBB pixels are a 32-bit BI_RGB DIB as they stand.
void Blit(HDC dc, const Bitmap& bitmap) {
  if (bitmap.empty()) return;
  const int w = bitmap.pixel_width();
  const int h = bitmap.pixel_height();
  const BITMAPINFO info = TopDownInfo(w, h);
  SetDIBitsToDevice(dc, 0, 0, static_cast<DWORD>(w), static_cast<DWORD>(h), 0, 0, 0,
                    static_cast<UINT>(h), bitmap.pixels().data(), &info, DIB_RGB_COLORS);
}

// The outer size of a top-level window of `style` whose client area is width x height.
SIZE OuterSize(DWORD style, int width, int height) {
  RECT outer{0, 0, width, height};
  AdjustWindowRect(&outer, style, FALSE);
  return {outer.right - outer.left, outer.bottom - outer.top};
}

// A top-level frame the user cannot resize: a caption, a system menu and a minimise box, but no
// sizing border and no maximise box.
constexpr DWORD kFixedFrame = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

// The client area of a window as it is on the screen, from (x, y) on; a null window reads
// the screen itself.
Bitmap ReadWindow(HWND hwnd, int width, int height, int x = 0, int y = 0) {
  if (width <= 0 || height <= 0) return {};
  Bitmap bitmap(width, height);
  HDC window_dc = GetDC(hwnd);
  if (window_dc == nullptr) return {};
  HDC memory = CreateCompatibleDC(window_dc);
  BITMAPINFO info = TopDownInfo(bitmap.width(), bitmap.height());
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(window_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (memory != nullptr && dib != nullptr && bits != nullptr) {
    HGDIOBJ old = SelectObject(memory, dib);
    ok = BitBlt(memory, 0, 0, bitmap.width(), bitmap.height(), window_dc, x, y, SRCCOPY) != 0;
    GdiFlush();
    const auto* in = static_cast<const uint32_t*>(bits);
    for (int y = 0; y < bitmap.height(); ++y) {
      for (int x = 0; x < bitmap.width(); ++x) {
        bitmap.Row(y)[x] = in[static_cast<size_t>(y) * bitmap.width() + x] & 0xFFFFFF;
      }
    }
    SelectObject(memory, old);
  }
  if (dib != nullptr) DeleteObject(dib);
  if (memory != nullptr) DeleteDC(memory);
  ReleaseDC(hwnd, window_dc);
  return ok ? bitmap : Bitmap();
}

unsigned ModifiersOf(WPARAM wparam) {
  unsigned m = 0;
  if (wparam & MK_SHIFT) m |= kShift;
  if (wparam & MK_CONTROL) m |= kCtrl;
  if (GetKeyState(VK_MENU) < 0) m |= kAlt;
  return m;
}

class Win32Window;
// The window whose menu has the keyboard (one menu per thread can be open at a time).
thread_local Win32Window* g_keyboard_target = nullptr;

class Win32Window final : public PlatformWindow {
 public:
  Win32Window(Form& form, EventHandler& handler) : PlatformWindow(form, handler) {}
  ~Win32Window() override { Close(); }

  bool Open(void* parent) override;
  void Close() override;
  bool is_open() const override {
    auto lock = Lock();
    return hwnd_ != nullptr;
  }
  void SetVisible(bool visible) override;
  void Idle() override;
  Point ClientToScreen(Point client) const override;
  Rect ScreenBounds() const override;
  Bitmap CaptureScreen() override;
  void* native_handle() const override {
    auto lock = Lock();
    return hwnd_;
  }

  static LRESULT CALLBACK EditorProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK PopupProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK KeyboardHook(int code, WPARAM wparam, LPARAM lparam);

 protected:
  void TimersChanged() override;
  void Repaint() override {
    if (hwnd_ != nullptr) UpdateWindow(hwnd_);
  }
  void ShowMenuSurface() override;
  void RedrawMenuSurface() override;
  void HideMenuSurface() override;
  void StartFileDialog(bool save, const FileDialogOptions& options) override;
  void Present(const std::vector<Rect>& rects) override;
  void Resize() override;

 private:
  LRESULT HandleEditor(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandlePopup(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void Mouse(MouseAction action, MouseButton button, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  HWND popup_ = nullptr;
  HHOOK keyboard_hook_ = nullptr;
  bool classes_ = false;
  std::vector<std::pair<int, int>> os_timers_;  // the Windows timers running, as set
  // What Present asked to be repainted since the last WM_PAINT; a paint reaching outside it
  // was asked for by the window system.
  RECT presented_{0, 0, 0, 0};
};

template <LRESULT (Win32Window::*Handle)(HWND, UINT, WPARAM, LPARAM)>
LRESULT Route(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lparam);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
  if (message == WM_NCDESTROY) SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  // Nothing may unwind into Windows' dispatcher.
  try {
    return (self->*Handle)(hwnd, message, wparam, lparam);
  } catch (...) {
    return DefWindowProcA(hwnd, message, wparam, lparam);
  }
}

LRESULT CALLBACK Win32Window::EditorProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return Route<&Win32Window::HandleEditor>(hwnd, message, wparam, lparam);
}

LRESULT CALLBACK Win32Window::PopupProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return Route<&Win32Window::HandlePopup>(hwnd, message, wparam, lparam);
}

bool Win32Window::Open(void* parent) {
  auto lock = Lock();
  if (hwnd_ != nullptr) return true;
  if (!classes_) {
    if (!Classes().Acquire(EditorProc, PopupProc)) return false;
    classes_ = true;
  }
  const auto parent_hwnd = static_cast<HWND>(parent);
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  const int width = form_.frame().pixel_width();
  const int height = form_.frame().pixel_height();
  RECT outer{0, 0, width, height};
  if (parent_hwnd == nullptr) {
    style = kFixedFrame | WS_VISIBLE;
    const SIZE size = OuterSize(style, width, height);
    outer = {CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT + size.cx, CW_USEDEFAULT + size.cy};
  }
  hwnd_ = CreateWindowExA(0, Classes().editor(), "Vellicor", style, outer.left, outer.top,
                          outer.right - outer.left, outer.bottom - outer.top, parent_hwnd, nullptr,
                          ThisModule(), this);
  if (hwnd_ == nullptr) {
    Classes().Release();
    classes_ = false;
    return false;
  }
  form_.InvalidateAll();
  os_timers_.clear();
  TimersChanged();
  SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return true;
}

void Win32Window::Close() {
  auto lock = Lock();
  // From inside one of its own callbacks the window would be destroyed under its own feet.
  if (pumping_blocked()) return;
  if (hwnd_ != nullptr) {
    DropAll();
    HWND hwnd = hwnd_;
    DestroyWindow(hwnd);
    hwnd_ = nullptr;
  }
  os_timers_.clear();
  if (classes_) {
    Classes().Release();
    classes_ = false;
  }
}

void Win32Window::SetVisible(bool visible) {
  auto lock = Lock();
  if (hwnd_ == nullptr) return;
  if (visible) {
    ShowWindow(hwnd_, SW_SHOWNA);
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  } else {
    if (menu_) CancelMenu();
    ShowWindow(hwnd_, SW_HIDE);
  }
}

void Win32Window::Idle() {
  // Windows brings input and timers through the host's message loop; the host's idle call
  // only paints what is waiting.
  std::unique_lock<std::recursive_mutex> lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock() || pumping_blocked() || hwnd_ == nullptr) return;
  try {
    DeliverDialogs();
    Flush();
  } catch (...) {
  }
}

Point Win32Window::ClientToScreen(Point client) const {
  auto lock = Lock();
  POINT p{client.x, client.y};
  if (hwnd_ != nullptr) ::ClientToScreen(hwnd_, &p);
  return {p.x, p.y};
}

Rect Win32Window::ScreenBounds() const {
  auto lock = Lock();
  MONITORINFO info{};
  info.cbSize = sizeof info;
  HMONITOR monitor = MonitorFromWindow(hwnd_, MONITOR_DEFAULTTONEAREST);
  if (monitor == nullptr || !GetMonitorInfoA(monitor, &info)) {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  return {info.rcMonitor.left, info.rcMonitor.top, info.rcMonitor.right, info.rcMonitor.bottom};
}

Bitmap Win32Window::CaptureScreen() {
  auto lock = Lock();
  if (hwnd_ == nullptr) return {};
  Flush();
  UpdateWindow(hwnd_);
  return ReadWindow(hwnd_, form_.frame().pixel_width(), form_.frame().pixel_height());
}

void Win32Window::Resize() {
  if (hwnd_ == nullptr) return;
  const int width = form_.frame().pixel_width();
  const int height = form_.frame().pixel_height();
  const auto style = static_cast<DWORD>(GetWindowLongPtrA(hwnd_, GWL_STYLE));
  SIZE size{width, height};
  if ((style & WS_CHILD) == 0) size = OuterSize(style & ~WS_VISIBLE, width, height);
  SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetClientRect(hwnd_, &presented_);
  InvalidateRect(hwnd_, nullptr, FALSE);
}

void Win32Window::Present(const std::vector<Rect>& rects) {
  if (hwnd_ == nullptr) return;
  for (const Rect& form_rect : rects) {
    const Rect r = form_.frame().ScreenRect(form_rect);
    const RECT rc{r.left, r.top, r.right, r.bottom};
    UnionRect(&presented_, &presented_, &rc);
    InvalidateRect(hwnd_, &rc, FALSE);
  }
}

void Win32Window::TimersChanged() {
  const std::vector<std::pair<int, int>> wanted = timers_.List();
  if (hwnd_ != nullptr) {
    for (const auto& running : os_timers_) {
      if (std::find(wanted.begin(), wanted.end(), running) == wanted.end()) {
        ::KillTimer(hwnd_, static_cast<UINT_PTR>(running.first));
      }
    }
    for (const auto& timer : wanted) {
      if (std::find(os_timers_.begin(), os_timers_.end(), timer) == os_timers_.end()) {
        ::SetTimer(hwnd_, static_cast<UINT_PTR>(timer.first), static_cast<UINT>(timer.second),
                   nullptr);
      }
    }
  }
  os_timers_ = hwnd_ != nullptr ? wanted : std::vector<std::pair<int, int>>{};
}

void Win32Window::Mouse(MouseAction action, MouseButton button, WPARAM wparam, LPARAM lparam) {
  const Point p{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
  if (action == MouseAction::kDown && GetCapture() != hwnd_ && !menu_) SetCapture(hwnd_);
  DeliverMouse(action, p, button, ModifiersOf(wparam));
  const WPARAM held = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;
  if (action == MouseAction::kUp && (wparam & held) == 0 && GetCapture() == hwnd_) {
    ReleaseCapture();
  }
}

LRESULT Win32Window::HandleEditor(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto lock = Lock();
  switch (message) {
    case WM_PAINT: {
      Flush();  // compose first: what it repaints joins the update region
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      Blit(dc, form_.frame());
      EndPaint(hwnd, &ps);
      // A region the window system sent (the window was uncovered, shown or moved) is painted
      // again whole: under wine, a window that a host embeds through XEmbed is sent such
      // regions one row and one column short, which left stale pixels along their far edges.
      // One more blit of the client area per exposure; our own repaints stay as small as
      // what changed.
      RECT covered;
      UnionRect(&covered, &presented_, &ps.rcPaint);
      const bool from_the_system = !EqualRect(&covered, &presented_);
      presented_ = {0, 0, 0, 0};
      if (from_the_system) {
        GetClientRect(hwnd, &presented_);
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    }
    case WM_WINDOWPOSCHANGED: {
      const auto* pos = reinterpret_cast<const WINDOWPOS*>(lparam);
      if ((pos->flags & (SWP_NOMOVE | SWP_NOSIZE)) != (SWP_NOMOVE | SWP_NOSIZE) ||
          (pos->flags & SWP_SHOWWINDOW)) {
        GetClientRect(hwnd, &presented_);
        InvalidateRect(hwnd, nullptr, FALSE);  // moved, resized or shown: all of it again
      }
      return DefWindowProcA(hwnd, message, wparam, lparam);
    }
    case WM_ERASEBKGND:
      return 1;  // everything is painted from the frame
    case WM_LBUTTONDOWN:
      Mouse(MouseAction::kDown, MouseButton::kLeft, wparam, lparam);
      break;
    case WM_RBUTTONDOWN:
      Mouse(MouseAction::kDown, MouseButton::kRight, wparam, lparam);
      break;
    case WM_MBUTTONDOWN:
      Mouse(MouseAction::kDown, MouseButton::kMiddle, wparam, lparam);
      break;
    case WM_LBUTTONUP:
      Mouse(MouseAction::kUp, MouseButton::kLeft, wparam, lparam);
      break;
    case WM_RBUTTONUP:
      Mouse(MouseAction::kUp, MouseButton::kRight, wparam, lparam);
      break;
    case WM_MBUTTONUP:
      Mouse(MouseAction::kUp, MouseButton::kMiddle, wparam, lparam);
      break;
    case WM_MOUSEMOVE:
      Mouse(MouseAction::kMove, MouseButton::kNone, wparam, lparam);
      break;
    case WM_CAPTURECHANGED:
      // Capture taken away mid-press (by a menu, or another window): no release will come.
      if (reinterpret_cast<HWND>(lparam) != hwnd) form_.ReleaseCapture();
      return 0;
    case WM_TIMER:
      FireTimer(static_cast<int>(wparam));
      break;
    case kDialogDoneMessage:
      DeliverDialogs();
      break;
    case WM_CLOSE:
      ShowWindow(hwnd, SW_HIDE);  // a top-level editor's close box hides it
      return 0;
    case WM_DESTROY:
      // The host may destroy its window, and ours with it, before closing the editor.
      if (menu_) HideMenuSurface();
      menu_.reset();
      hwnd_ = nullptr;
      os_timers_.clear();
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wparam, lparam);
  }
  Flush();
  return 0;
}

void Win32Window::ShowMenuSurface() {
  if (hwnd_ == nullptr || !menu_) return;
  const Rect r = menu_->screen_rect();
  HWND owner = GetAncestor(hwnd_, GA_ROOT);
  popup_ = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, Classes().popup(),
                           "", WS_POPUP, r.left, r.top, r.width(), r.height(), owner, nullptr,
                           ThisModule(), this);
  if (popup_ == nullptr) return;
  ShowWindow(popup_, SW_SHOWNOACTIVATE);
  UpdateWindow(popup_);
  // The mouse anywhere reports to the menu (a press outside cancels it); the keyboard of this
  // thread reaches it through a hook, since the menu never takes the focus.
  SetCapture(popup_);
  g_keyboard_target = this;
  keyboard_hook_ = SetWindowsHookExA(WH_KEYBOARD, KeyboardHook, nullptr, GetCurrentThreadId());
}

void Win32Window::RedrawMenuSurface() {
  if (popup_ == nullptr) return;
  InvalidateRect(popup_, nullptr, FALSE);
  UpdateWindow(popup_);
}

void Win32Window::HideMenuSurface() {
  if (keyboard_hook_ != nullptr) UnhookWindowsHookEx(keyboard_hook_);
  keyboard_hook_ = nullptr;
  if (g_keyboard_target == this) g_keyboard_target = nullptr;
  HWND popup = popup_;
  popup_ = nullptr;  // first: losing the capture below is then no cancel
  if (popup == nullptr) return;
  if (GetCapture() == popup) ReleaseCapture();
  DestroyWindow(popup);
}

LRESULT Win32Window::HandlePopup(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto lock = Lock();
  const auto screen = [&] {
    POINT p{GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
    ::ClientToScreen(hwnd, &p);
    return Point{p.x, p.y};
  };
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      if (menu_ && hwnd == popup_) Blit(dc, menu_->surface());
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      MenuMouse(MouseAction::kDown, screen());
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      MenuMouse(MouseAction::kUp, screen());
      break;
    case WM_MOUSEMOVE:
      MenuMouse(MouseAction::kMove, screen());
      break;
    case WM_CAPTURECHANGED:
      if (hwnd == popup_ && menu_) CancelMenu();
      return 0;
    default:
      return DefWindowProcA(hwnd, message, wparam, lparam);
  }
  Flush();
  return 0;
}

LRESULT CALLBACK Win32Window::KeyboardHook(int code, WPARAM wparam, LPARAM lparam) {
  Win32Window* self = g_keyboard_target;
  const bool key_down = (static_cast<uint32_t>(lparam) & 0x80000000u) == 0;
  if (code == HC_ACTION && self != nullptr && key_down) {
    try {
      auto lock = self->Lock();
      if (self->menu_) {
        switch (wparam) {
          case VK_ESCAPE:
            self->MenuKeyPressed(MenuKey::kEscape);
            return 1;
          case VK_UP:
            self->MenuKeyPressed(MenuKey::kUp);
            return 1;
          case VK_DOWN:
            self->MenuKeyPressed(MenuKey::kDown);
            return 1;
          case VK_RETURN:
          case VK_SPACE:
            self->MenuKeyPressed(MenuKey::kEnter);
            return 1;
          default:
            break;
        }
      }
    } catch (...) {
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void Win32Window::StartFileDialog(bool save, const FileDialogOptions& options) {
  // The common dialogs are modal: they run their own message loop (which keeps the host and
  // this window's timers alive) and return the answer here; it is handed over from the
  // message loop afterwards, as on the other platforms.
  std::string pattern = options.pattern.empty() ? "*.*" : options.pattern;
  std::string filter = options.filter_name.empty() ? pattern : options.filter_name;
  filter += " (" + pattern + ")";
  filter.push_back('\0');
  filter += pattern;
  filter.push_back('\0');
  filter += "All files (*.*)";
  filter.push_back('\0');
  filter += "*.*";
  filter.push_back('\0');
  std::vector<char> file(4 * MAX_PATH, '\0');
  options.file_name.copy(file.data(), std::min(options.file_name.size(), file.size() - 1));

  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = hwnd_;
  ofn.lpstrFilter = filter.c_str();
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrTitle = options.title.empty() ? nullptr : options.title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
              (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  const BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
  FinishFileDialog(ok ? std::optional<std::string>(file.data()) : std::nullopt);
  if (hwnd_ != nullptr) PostMessageA(hwnd_, kDialogDoneMessage, 0, 0);
}

// --- HostWindow ---------------------------------------------------------------------------------

LRESULT CALLBACK HostProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

class Win32HostWindow final : public HostWindow {
 public:
  static constexpr DWORD kHostStyle = kFixedFrame | WS_CLIPCHILDREN;

  ~Win32HostWindow() override {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
    if (!class_name_.empty()) UnregisterClassA(class_name_.c_str(), ThisModule());
  }

  bool Create(int width, int height, const std::string& title) {
    width_ = std::clamp(width, 1, kMaxBitmapSide);
    height_ = std::clamp(height, 1, kMaxBitmapSide);
    class_name_ = ClassName("Host");
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HostProc;
    wc.hInstance = ThisModule();
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = class_name_.c_str();
    if (RegisterClassExA(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      class_name_.clear();
      return false;
    }
    const SIZE outer = OuterSize(kHostStyle, width_, height_);
    hwnd_ = CreateWindowExA(0, class_name_.c_str(), title.c_str(), kHostStyle, 0, 0, outer.cx,
                            outer.cy, nullptr, nullptr, ThisModule(), nullptr);
    if (hwnd_ == nullptr) return false;
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
    Pump();
    return true;
  }

  void* native_handle() const override { return hwnd_; }

  void SetClientSize(int width, int height) override {
    width_ = std::clamp(width, 1, kMaxBitmapSide);
    height_ = std::clamp(height, 1, kMaxBitmapSide);
    if (hwnd_ == nullptr) return;
    const SIZE outer = OuterSize(kHostStyle, width_, height_);
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.cx, outer.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Pump();
  }
  Size ClientSize() const override { return {width_, height_}; }

  void Pump() override {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }

  Bitmap Capture() override {
    if (hwnd_ == nullptr) return {};
    return ReadWindow(hwnd_, width_, height_);
  }

  Bitmap CaptureArea(const Rect& client_area) override {
    const int w = std::clamp(client_area.width(), 0, kMaxBitmapSide);
    const int h = std::clamp(client_area.height(), 0, kMaxBitmapSide);
    if (hwnd_ == nullptr || w == 0 || h == 0) return {};
    POINT p{client_area.left, client_area.top};
    ::ClientToScreen(hwnd_, &p);
    // From the screen, so that popup windows lying over the area are part of the picture.
    return ReadWindow(nullptr, w, h, p.x, p.y);
  }

  bool SendMouse(MouseAction action, Point client, MouseButton button,
                 unsigned modifiers) override {
    // The innermost window at the point, and the point in its client coordinates.
    HWND target = hwnd_;
    POINT p{client.x, client.y};
    for (int depth = 0; depth < 32; ++depth) {
      HWND child = ChildWindowFromPointEx(target, p, CWP_SKIPINVISIBLE | CWP_SKIPTRANSPARENT);
      if (child == nullptr || child == target) break;
      MapWindowPoints(target, child, &p, 1);
      target = child;
    }
    UINT message = WM_MOUSEMOVE;
    WPARAM keys = 0;
    if (action == MouseAction::kDown || action == MouseAction::kUp) {
      const bool down = action == MouseAction::kDown;
      switch (button) {
        case MouseButton::kLeft:
          message = down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
          keys = down ? MK_LBUTTON : 0;
          break;
        case MouseButton::kRight:
          message = down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
          keys = down ? MK_RBUTTON : 0;
          break;
        case MouseButton::kMiddle:
          message = down ? WM_MBUTTONDOWN : WM_MBUTTONUP;
          keys = down ? MK_MBUTTON : 0;
          break;
        case MouseButton::kNone:
          return false;
      }
    } else if (action != MouseAction::kMove) {
      return false;
    }
    if (modifiers & kShift) keys |= MK_SHIFT;
    if (modifiers & kCtrl) keys |= MK_CONTROL;
    // Alt is not part of a mouse message: the receiver reads it from the key state.
    BYTE keyboard[256];
    const bool alt = (modifiers & kAlt) != 0 && GetKeyboardState(keyboard);
    if (alt) {
      BYTE with_alt[256];
      std::copy(keyboard, keyboard + 256, with_alt);
      with_alt[VK_MENU] |= 0x80;
      SetKeyboardState(with_alt);
    }
    SendMessageA(target, message, keys, MAKELPARAM(p.x, p.y));
    if (alt) SetKeyboardState(keyboard);
    return true;
  }

 private:
  HWND hwnd_ = nullptr;
  std::string class_name_;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace

std::unique_ptr<PlatformWindow> MakeNativeWindow(Form& form, EventHandler& handler) {
  return std::make_unique<Win32Window>(form, handler);
}

std::unique_ptr<HostWindow> HostWindow::Create(int width, int height, const std::string& title) {
  try {
    auto window = std::make_unique<Win32HostWindow>();
    if (!window->Create(width, height, title)) return nullptr;
    return window;
  } catch (...) {
    return nullptr;
  }
}

}  // namespace vellicor::gui
