#include "host/screenshot.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>

#include "gui/host_window.h"
#include "gui/png.h"
#include "vst/vellicor_requests.h"

namespace vellicor::host {

namespace {

namespace rq = vellicor::requests;

// How long the editor is idled after opening and after each input, so that its timers have
// run at least twice and the window system has delivered everything.
constexpr int kSettleMs = 600;
constexpr int kInputSettleMs = 120;
constexpr int kIdleStepMs = 15;
constexpr int kDragSteps = 8;

bool ParseInt(const std::string& text, int* value) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || end == nullptr || *end != 0 || v < -100000 || v > 100000) return false;
  *value = static_cast<int>(v);
  return true;
}

bool ParsePoint(const std::string& text, int* x, int* y) {
  const size_t comma = text.find(',');
  return comma != std::string::npos && ParseInt(text.substr(0, comma), x) &&
         ParseInt(text.substr(comma + 1), y);
}

}  // namespace

bool ParseScale(const std::string& text, gui::Scale* scale) {
  char* end = nullptr;
  double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end == nullptr || end == text.c_str()) return false;
  const std::string rest(end);
  if (rest == "%" || (rest.empty() && value > 4.0)) {
    value /= 100.0;
  } else if (!rest.empty()) {
    return false;
  }
  if (!(value >= 1.0 && value <= 3.0)) return false;
  *scale = gui::Scale::FromFactor(value);
  return true;
}

bool RequestScale(Plugin& plugin, gui::Scale scale) {
  rq::ScaleRecord record{sizeof record, scale.percent()};
  return plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kSetScale, &record) == 1;
}

namespace {

// Where a component lies in the editor window, from the plug-in's own table.
std::optional<rq::ComponentRecord> FindComponent(Plugin& plugin, const std::string& name) {
  rq::ComponentRecord record{};
  record.size = sizeof record;
  record.name = name.c_str();
  if (plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kComponentRect, &record) != 1) {
    return std::nullopt;
  }
  return record;
}

// The editor's open popup menu: where it lies in the editor's client pixels, and its pixels.
struct OpenMenu {
  gui::Rect rect;
  gui::Bitmap pixels;
};

std::optional<OpenMenu> QueryOpenMenu(Plugin& plugin) {
  rq::MenuRecord record{};
  record.size = sizeof record;
  if (plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kOpenMenu, &record) != 1 ||
      record.width <= 0 || record.height <= 0 || record.width > gui::kMaxBitmapSide ||
      record.height > gui::kMaxBitmapSide) {
    return std::nullopt;
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(record.width) * record.height);
  record.capacity = static_cast<int32_t>(pixels.size());
  record.pixels = pixels.data();
  const int width = record.width, height = record.height;
  if (plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kOpenMenu, &record) != 1 ||
      record.width != width || record.height != height) {
    return std::nullopt;
  }
  OpenMenu menu{gui::Rect::XYWH(record.left, record.top, width, height),
                gui::Bitmap(width, height)};
  for (int y = 0; y < height; ++y) {
    std::copy_n(pixels.data() + static_cast<size_t>(y) * width, width, menu.pixels.Row(y));
  }
  return menu;
}

// The picture's area: the editor, and the menu where it reaches past the editor.
gui::Rect PictureArea(const gui::Rect& editor, const OpenMenu* menu) {
  if (menu == nullptr) return editor;
  const gui::Rect area = editor.Union(menu->rect);
  return gui::Rect::XYWH(area.left, area.top, std::min(area.width(), gui::kMaxBitmapSide),
                         std::min(area.height(), gui::kMaxBitmapSide));
}

// An editor opened one way or the other, driven through one interface.
class Session {
 public:
  virtual ~Session() = default;
  virtual bool Open(Plugin& plugin, std::string* error) = 0;
  // Lets time pass: idle calls (and the window system's events) for `ms` milliseconds.
  virtual void Settle(int ms) = 0;
  virtual bool Mouse(gui::MouseAction action, gui::Point at, gui::MouseButton button) = 0;
  // What the editor shows, and the open menu if there is one.
  virtual bool Capture(const OpenMenu* menu, gui::Bitmap* shot, std::string* error) = 0;
};

class HeadlessSession final : public Session {
 public:
  bool Open(Plugin& plugin, std::string* error) override {
    plugin_ = &plugin;
    if (plugin.Dispatch(vst::effEditOpen, 0, 0, nullptr) == 0) {
      *error = "the plug-in opened no editor without a window";
      return false;
    }
    return true;
  }
  void Settle(int ms) override {
    rq::ClockRecord clock{sizeof clock, ms};
    plugin_->Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kAdvanceClock, &clock);
    plugin_->Dispatch(vst::effEditIdle);
  }
  bool Mouse(gui::MouseAction action, gui::Point at, gui::MouseButton button) override {
    rq::MouseRecord record{};
    record.size = sizeof record;
    record.action = action == gui::MouseAction::kDown ? rq::kDown
                    : action == gui::MouseAction::kUp ? rq::kUp
                                                      : rq::kMove;
    record.x = at.x;
    record.y = at.y;
    record.button = button == gui::MouseButton::kLeft    ? rq::kLeft
                    : button == gui::MouseButton::kRight ? rq::kRight
                                                         : rq::kNoButton;
    return plugin_->Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kMouse, &record) == 1;
  }
  bool Capture(const OpenMenu* menu, gui::Bitmap* shot, std::string* error) override {
    rq::CaptureRecord record{};
    record.size = sizeof record;
    plugin_->Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kCaptureFrame, &record);
    if (record.width <= 0 || record.height <= 0 || record.width > gui::kMaxBitmapSide ||
        record.height > gui::kMaxBitmapSide) {
      *error = "the editor reported no frame";
      return false;
    }
    gui::Bitmap bitmap(record.width, record.height);
    std::vector<uint32_t> pixels(static_cast<size_t>(record.width) * record.height);
    record.capacity = static_cast<int32_t>(pixels.size());
    record.pixels = pixels.data();
    if (plugin_->Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kCaptureFrame, &record) !=
        1) {
      *error = "the editor's frame could not be read";
      return false;
    }
    for (int y = 0; y < bitmap.height(); ++y) {
      std::copy_n(pixels.data() + static_cast<size_t>(y) * bitmap.width(), bitmap.width(),
                  bitmap.Row(y));
    }
    if (menu == nullptr) {
      *shot = std::move(bitmap);
      return true;
    }
    // No screen to read: the menu's own pixels go where it lies, on black beyond the editor.
    const gui::Rect area = PictureArea(bitmap.bounds(), menu);
    gui::Bitmap composed(area.width(), area.height(), gui::kBlack);
    composed.Copy(bitmap, bitmap.bounds(), -area.left, -area.top);
    composed.Copy(menu->pixels, menu->pixels.bounds(), menu->rect.left - area.left,
                  menu->rect.top - area.top);
    *shot = std::move(composed);
    return true;
  }

 private:
  Plugin* plugin_ = nullptr;
};

// The host's side of a real window: the editor is a child of our top-level window and gets
// its events from the window system, and the host idles it as hosts do.
class WindowSession final : public Session {
 public:
  bool Open(Plugin& plugin, std::string* error) override {
    plugin_ = &plugin;
    // Hosts size their window from the rectangle the editor reports before it opens.
    const gui::Rect before = EditorRect();
    window_ = gui::HostWindow::Create(before.width(), before.height(), "vellicor-host");
    if (!window_) {
      *error = "no window could be opened (is there a display?)";
      return false;
    }
    window_->Pump();
    if (plugin.Dispatch(vst::effEditOpen, 0, 0, window_->native_handle()) == 0) {
      *error = "the plug-in opened no editor in the host's window";
      return false;
    }
    // As hosts do, the frame takes the size the open editor reports.
    const gui::Rect open = EditorRect();
    if (open.width() > 0 && open.height() > 0) window_->SetClientSize(open.right, open.bottom);
    return true;
  }
  void Settle(int ms) override {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
      window_->Pump();
      plugin_->Dispatch(vst::effEditIdle);
      std::this_thread::sleep_for(std::chrono::milliseconds(kIdleStepMs));
    } while (std::chrono::steady_clock::now() < end);
    window_->Pump();
  }
  bool Mouse(gui::MouseAction action, gui::Point at, gui::MouseButton button) override {
    return window_->SendMouse(action, at, button, 0);
  }
  bool Capture(const OpenMenu* menu, gui::Bitmap* shot, std::string* error) override {
    // The host window may be larger than the editor: keep the editor's own rectangle.
    const gui::Rect editor = EditorRect();
    if (menu != nullptr) {
      // The menu is a window of its own and may reach past ours: read the screen there.
      gui::Bitmap area = window_->CaptureArea(PictureArea(editor, menu));
      if (area.empty()) {
        *error = "the screen could not be read";
        return false;
      }
      *shot = std::move(area);
      return true;
    }
    const gui::Bitmap all = window_->Capture();
    if (all.empty()) {
      *error = "the host window could not be read";
      return false;
    }
    gui::Bitmap cut(editor.width(), editor.height());
    cut.Copy(all, editor, 0, 0);
    *shot = std::move(cut);
    return true;
  }

 private:
  gui::Rect EditorRect() {
    vst::ERect* rect = nullptr;
    if (plugin_->Dispatch(vst::effEditGetRect, 0, 0, &rect) == 0 || rect == nullptr) {
      return gui::Rect::XYWH(0, 0, 640, 480);
    }
    return {rect->left, rect->top, rect->right, rect->bottom};
  }

  Plugin* plugin_ = nullptr;
  std::unique_ptr<gui::HostWindow> window_;
};

bool Replay(Plugin& plugin, Session& session, const ScreenshotInput& input, gui::Scale scale,
            std::string* error) {
  const auto component = FindComponent(plugin, input.name);
  if (!component) {
    *error = "the editor has no component named " + input.name;
    return false;
  }
  // Components lie in the form's pixels; the mouse goes to the window's client pixels.
  const gui::Point origin{component->left, component->top};
  auto point = [&](int x, int y) {
    return gui::Point{scale.ScreenPixelIn(origin.x + x), scale.ScreenPixelIn(origin.y + y)};
  };
  const gui::Point start = input.at_point || input.kind == ScreenshotInput::Kind::kDrag
                               ? point(input.x1, input.y1)
                               : point(component->width / 2, component->height / 2);
  const auto left = input.right_button ? gui::MouseButton::kRight : gui::MouseButton::kLeft;
  bool sent = session.Mouse(gui::MouseAction::kMove, start, gui::MouseButton::kNone) &&
              session.Mouse(gui::MouseAction::kDown, start, left);
  session.Settle(kInputSettleMs);
  gui::Point end = start;
  if (input.kind == ScreenshotInput::Kind::kDrag) {
    end = point(input.x2, input.y2);
    for (int step = 1; step <= kDragSteps && sent; ++step) {
      const gui::Point at = point(input.x1 + (input.x2 - input.x1) * step / kDragSteps,
                                  input.y1 + (input.y2 - input.y1) * step / kDragSteps);
      sent = session.Mouse(gui::MouseAction::kMove, at, gui::MouseButton::kNone);
      session.Settle(kIdleStepMs);
    }
  }
  // A menu opened by the press takes the release; the item is chosen by name afterwards.
  sent = sent && session.Mouse(gui::MouseAction::kUp, end, left);
  session.Settle(kInputSettleMs);
  if (!sent) {
    *error = "the input for " + input.name + " could not be sent";
    return false;
  }
  if (input.kind == ScreenshotInput::Kind::kMenuOpen && !QueryOpenMenu(plugin)) {
    *error = input.name + " opened no menu";
    return false;
  }
  if (input.kind == ScreenshotInput::Kind::kMenu) {
    rq::MenuItemRecord record{sizeof record, input.item.c_str()};
    if (plugin.Dispatch(vst::effVendorSpecific, kVendorRequestId, rq::kChooseMenuItem, &record) !=
        1) {
      *error = "no open menu of " + input.name + " has an item " + input.item;
      return false;
    }
    session.Settle(kInputSettleMs);
  }
  return true;
}

}  // namespace

bool ParseScreenshotArgs(const std::vector<std::string>& args, ScreenshotOptions* options,
                         std::string* error) {
  std::vector<std::string> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = arg + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string text;
    if (arg == "--out") {
      if (!value(&options->out)) return false;
    } else if (arg == "--program") {
      if (!value(&text)) return false;
      if (!ParseInt(text, &options->program) || options->program < 0) {
        *error = "--program needs a program number, not '" + text + "'";
        return false;
      }
    } else if (arg == "--headless") {
      options->headless = true;
    } else if (arg == "--scale") {
      if (!value(&text)) return false;
      gui::Scale scale;
      if (!ParseScale(text, &scale)) {
        *error =
            "--scale needs a factor from 1 to 3 or a percent from 100 to 300, not '" + text + "'";
        return false;
      }
      options->scale = scale;
    } else if (arg == "--press") {
      if (!value(&text)) return false;
      ScreenshotInput input;
      const size_t colon = text.find(':');
      input.name = text.substr(0, colon);
      if (colon != std::string::npos) {
        input.at_point = true;
        if (!ParsePoint(text.substr(colon + 1), &input.x1, &input.y1)) {
          *error = "--press needs NAME or NAME:X,Y, not '" + text + "'";
          return false;
        }
      }
      options->inputs.push_back(input);
    } else if (arg == "--drag") {
      if (!value(&text)) return false;
      ScreenshotInput input;
      input.kind = ScreenshotInput::Kind::kDrag;
      const size_t first = text.find(':');
      const size_t second = first == std::string::npos ? first : text.find(':', first + 1);
      if (second == std::string::npos ||
          !ParsePoint(text.substr(first + 1, second - first - 1), &input.x1, &input.y1) ||
          !ParsePoint(text.substr(second + 1), &input.x2, &input.y2)) {
        *error = "--drag needs NAME:X1,Y1:X2,Y2, not '" + text + "'";
        return false;
      }
      input.name = text.substr(0, first);
      options->inputs.push_back(input);
    } else if (arg == "--menu" || arg == "--rmenu") {
      ScreenshotInput input;
      input.kind = ScreenshotInput::Kind::kMenu;
      input.right_button = arg == "--rmenu";
      if (!value(&input.name) || !value(&input.item)) {
        *error = arg + " needs NAME ITEM";
        return false;
      }
      options->inputs.push_back(input);
    } else if (arg == "--menu-open" || arg == "--rmenu-open") {
      ScreenshotInput input;
      input.kind = ScreenshotInput::Kind::kMenuOpen;
      input.right_button = arg == "--rmenu-open";
      if (!value(&input.name)) return false;
      options->inputs.push_back(input);
    } else if (!arg.empty() && arg[0] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 1) {
    *error = "screenshot needs one library";
    return false;
  }
  options->library = positional[0];
  for (size_t i = 0; i < options->inputs.size(); ++i) {
    const ScreenshotInput& input = options->inputs[i];
    if (input.name.empty()) {
      *error = "an input names no component";
      return false;
    }
    // Any input after it would land on the open menu.
    if (input.kind == ScreenshotInput::Kind::kMenuOpen && i + 1 != options->inputs.size()) {
      *error = "--menu-open and --rmenu-open must be the last input";
      return false;
    }
  }
  return true;
}

bool CaptureEditor(Plugin& plugin, const ScreenshotOptions& options, gui::Bitmap* shot,
                   std::string* error) {
  if (!(plugin.effect()->flags & vst::effFlagsHasEditor)) {
    *error = "the plug-in has no editor";
    return false;
  }
  plugin.Dispatch(vst::effSetProgram, 0, options.program);
  // Given before the editor opens, so that its rectangle is the scaled one from the start.
  if (options.scale && !RequestScale(plugin, *options.scale)) {
    *error = "the plug-in takes no size request";
    return false;
  }
  const gui::Scale scale = options.scale.value_or(gui::Scale());
  std::unique_ptr<Session> session;
  if (options.headless) {
    session = std::make_unique<HeadlessSession>();
  } else {
    session = std::make_unique<WindowSession>();
  }
  if (!session->Open(plugin, error)) return false;
  session->Settle(kSettleMs);
  bool ok = true;
  for (const ScreenshotInput& input : options.inputs) {
    if (!(ok = Replay(plugin, *session, input, scale, error))) break;
  }
  if (ok) {
    session->Settle(kSettleMs);
    const std::optional<OpenMenu> menu = QueryOpenMenu(plugin);
    ok = session->Capture(menu ? &*menu : nullptr, shot, error);
  }
  plugin.Dispatch(vst::effEditClose);
  return ok;
}

int RunScreenshot(const std::vector<std::string>& args) {
  ScreenshotOptions options;
  std::string error;
  if (!ParseScreenshotArgs(args, &options, &error) || options.out.empty()) {
    std::fprintf(stderr, "vellicor-host: %s\n",
                 error.empty() ? "screenshot needs --out FILE.png" : error.c_str());
    return 2;
  }
  std::unique_ptr<Plugin> plugin = Plugin::Load(options.library, &error);
  if (!plugin) {
    std::fprintf(stderr, "vellicor-host: cannot load %s: %s\n", options.library.c_str(),
                 error.c_str());
    return 1;
  }
  gui::Bitmap shot;
  if (!CaptureEditor(*plugin, options, &shot, &error)) {
    std::fprintf(stderr, "vellicor-host: %s\n", error.c_str());
    return 1;
  }
  plugin->Close();
  if (!gui::WritePng(shot, options.out)) {
    std::fprintf(stderr, "vellicor-host: cannot write %s\n", options.out.c_str());
    return 1;
  }
  std::printf("wrote %s: %dx%d, program %d, %s\n", options.out.c_str(), shot.width(), shot.height(),
              options.program, options.headless ? "headless" : "in a window");
  return 0;
}

}  // namespace vellicor::host
