#include "gui/window.h"

#include <cctype>
#include <chrono>
#include <utility>

#include "gui/backends.h"
#include "gui/headless.h"

namespace vellicor::gui {

PlatformWindow::PlatformWindow(Form& form, EventHandler& handler)
    : form_(form), handler_(handler) {}

PlatformWindow::~PlatformWindow() = default;

std::unique_ptr<PlatformWindow> PlatformWindow::Create(Backend backend, Form& form,
                                                       EventHandler& handler) {
  try {
    if (backend == Backend::kHeadless) return std::make_unique<HeadlessWindow>(form, handler);
    return MakeNativeWindow(form, handler);
  } catch (...) {
    return nullptr;
  }
}

int64_t PlatformWindow::NowMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

template <typename F>
void PlatformWindow::Dispatch(F&& f) {
  const bool outer = dispatching_;
  dispatching_ = true;
  // Callbacks are the editor's code and run inside the platform's event loop (a window
  // procedure, Xlib's caller): nothing may unwind through it.
  try {
    f();
  } catch (...) {
  }
  dispatching_ = outer;
}

void PlatformWindow::Update() {
  auto lock = Lock();
  try {
    Flush();
    Repaint();
  } catch (...) {
  }
}

void PlatformWindow::SetTimer(int id, int interval_ms) {
  auto lock = Lock();
  timers_.Set(id, interval_ms, NowMs());
  TimersChanged();
}

void PlatformWindow::KillTimer(int id) {
  auto lock = Lock();
  timers_.Kill(id);
  TimersChanged();
}

void PlatformWindow::Popup(PopupMenu menu, Point screen) {
  auto lock = Lock();
  if (menu_) CancelMenu();
  if (!is_open()) return;
  // The press that opened the menu belongs to the menu from now on.
  form_.ReleaseCapture();
  menu_ = std::make_unique<MenuSession>(std::move(menu), screen, ScreenBounds(), form_.scale());
  ShowMenuSurface();
}

void PlatformWindow::CancelMenu() {
  auto lock = Lock();
  if (!menu_) return;
  HideMenuSurface();
  std::unique_ptr<MenuSession> session = std::move(menu_);
  Dispatch([&] {
    if (session->menu().on_cancel) session->menu().on_cancel();
  });
}

bool PlatformWindow::menu_open() const {
  auto lock = Lock();
  return menu_ != nullptr;
}

Rect PlatformWindow::menu_rect() const {
  auto lock = Lock();
  return menu_ ? menu_->screen_rect() : Rect{};
}

int PlatformWindow::menu_item_count() const {
  auto lock = Lock();
  return menu_ ? menu_->item_count() : 0;
}

int PlatformWindow::menu_item_index(std::string_view name) const {
  auto lock = Lock();
  if (!menu_) return -1;
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (int i = 0; i < menu_->item_count(); ++i) {
    if (menu_->name(i) == upper) return i;
  }
  return -1;
}

Rect PlatformWindow::menu_item_rect(int index) const {
  auto lock = Lock();
  return menu_ ? menu_->item_screen_rect(index) : Rect{};
}

const Bitmap* PlatformWindow::menu_surface() const {
  auto lock = Lock();
  return menu_ ? &menu_->surface() : nullptr;
}

Point PlatformWindow::ScreenPoint(const Component* component, Point local) const {
  const Point form = component != nullptr ? component->ToForm(local) : local;
  const Bitmap& frame = form_.frame();
  return ClientToScreen({frame.ScreenEdge(form.x), frame.ScreenEdge(form.y)});
}

void PlatformWindow::FitToForm() {
  auto lock = Lock();
  if (menu_) CancelMenu();
  form_.InvalidateAll();
  Resize();
}

void PlatformWindow::OpenFileDialog(const FileDialogOptions& options, FileDialogDone done) {
  StartDialog(false, options, std::move(done));
}

void PlatformWindow::SaveFileDialog(const FileDialogOptions& options, FileDialogDone done) {
  StartDialog(true, options, std::move(done));
}

void PlatformWindow::StartDialog(bool save, const FileDialogOptions& options, FileDialogDone done) {
  auto lock = Lock();
  if (dialog_done_ || !is_open()) {
    finished_dialogs_.emplace_back(std::move(done), std::nullopt);
    return;
  }
  dialog_done_ = std::move(done);
  StartFileDialog(save, options);
}

void PlatformWindow::FinishFileDialog(std::optional<std::string> path) {
  if (!dialog_done_) return;
  finished_dialogs_.emplace_back(std::move(dialog_done_), std::move(path));
  dialog_done_ = nullptr;
}

void PlatformWindow::DeliverDialogs() {
  auto finished = std::move(finished_dialogs_);
  finished_dialogs_.clear();
  for (auto& dialog : finished) {
    Dispatch([&dialog] {
      if (dialog.first) dialog.first(dialog.second);
    });
  }
}

void PlatformWindow::DeliverMouse(MouseAction action, Point client, MouseButton button,
                                  unsigned modifiers) {
  if (menu_) {
    MenuMouse(action, ClientToScreen(client));
    return;
  }
  const Scale scale = form_.scale();
  const Point at{scale.ToForm(client.x), scale.ToForm(client.y)};
  for (const MouseEvent& event : form_.Mouse(action, at, button, modifiers)) {
    Dispatch([&] { handler_.OnMouse(event); });
  }
}

void PlatformWindow::MenuMouse(MouseAction action, Point screen) {
  if (!menu_) return;
  switch (action) {
    case MouseAction::kDown:
      ApplyMenuResult(menu_->Press(screen));
      break;
    case MouseAction::kUp:
      ApplyMenuResult(menu_->Release(screen));
      break;
    case MouseAction::kMove:
      ApplyMenuResult(menu_->Move(screen));
      break;
    case MouseAction::kClick:
      break;
  }
}

void PlatformWindow::MenuKeyPressed(MenuKey key) {
  if (menu_) ApplyMenuResult(menu_->Key(key));
}

void PlatformWindow::ApplyMenuResult(MenuSession::Result result) {
  switch (result) {
    case MenuSession::Result::kNone:
      break;
    case MenuSession::Result::kRedraw:
      RedrawMenuSurface();
      break;
    case MenuSession::Result::kCancel:
      CancelMenu();
      break;
    case MenuSession::Result::kOpenSubmenu: {
      // The submenu takes the menu's place, beside the item that opened it.
      HideMenuSurface();
      PopupMenu sub = menu_->Submenu();
      const Point corner = menu_->SubmenuCorner();
      menu_ = std::make_unique<MenuSession>(std::move(sub), corner, ScreenBounds(), form_.scale());
      ShowMenuSurface();
      break;
    }
    case MenuSession::Result::kChoose: {
      // Close first, so that the choice may open another menu or a dialog.
      HideMenuSurface();
      std::unique_ptr<MenuSession> session = std::move(menu_);
      const int index = session->chosen();
      Dispatch([&] {
        if (session->menu().on_choose) session->menu().on_choose(session->name(index), index);
      });
      break;
    }
  }
}

void PlatformWindow::FireDueTimers() {
  for (int id : timers_.Due(NowMs())) {
    // An earlier callback of this round may have stopped it.
    if (timers_.active(id)) Dispatch([&] { handler_.OnTimer(id); });
  }
}

void PlatformWindow::FireTimer(int id) {
  if (timers_.active(id)) Dispatch([&] { handler_.OnTimer(id); });
}

void PlatformWindow::Flush() {
  if (!form_.dirty()) return;
  const std::vector<Rect> rects = form_.Compose();
  Present(rects);
}

void PlatformWindow::DropAll() {
  if (menu_) {
    HideMenuSurface();
    menu_.reset();
  }
  timers_.Clear();
  TimersChanged();
  dialog_done_ = nullptr;
  finished_dialogs_.clear();
  form_.ReleaseCapture();
}

}  // namespace vellicor::gui
