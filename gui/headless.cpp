#include "gui/headless.h"

#include <algorithm>
#include <cctype>

namespace vellicor::gui {

HeadlessWindow::HeadlessWindow(Form& form, EventHandler& handler) : PlatformWindow(form, handler) {}

HeadlessWindow::~HeadlessWindow() {
  Close();
}

bool HeadlessWindow::Open(void* parent) {
  (void)parent;
  auto lock = Lock();
  open_ = true;
  visible_ = true;
  form_.InvalidateAll();
  return true;
}

void HeadlessWindow::Close() {
  auto lock = Lock();
  if (!open_) return;
  DropAll();
  open_ = false;
  visible_ = false;
}

void HeadlessWindow::SetVisible(bool visible) {
  auto lock = Lock();
  visible_ = visible && open_;
}

void HeadlessWindow::Idle() {
  std::unique_lock<std::recursive_mutex> lock(mutex_, std::try_to_lock);
  if (!lock.owns_lock() || pumping_blocked() || !open_) return;
  Pump();
}

void HeadlessWindow::Pump() {
  if (dialog_showing_) {
    dialog_showing_ = false;
    FinishFileDialog(answer_);
  }
  DeliverDialogs();
  FireDueTimers();
  Flush();
}

Point HeadlessWindow::ClientToScreen(Point client) const {
  auto lock = Lock();
  return {client.x + origin_.x, client.y + origin_.y};
}

Rect HeadlessWindow::ScreenBounds() const {
  auto lock = Lock();
  return screen_;
}

Bitmap HeadlessWindow::CaptureScreen() {
  auto lock = Lock();
  if (!open_) return {};
  Flush();
  return form_.frame();
}

void HeadlessWindow::SetScreen(const Rect& screen, Point client_origin) {
  auto lock = Lock();
  screen_ = screen;
  origin_ = client_origin;
}

void HeadlessWindow::MouseDown(Point client, MouseButton button, unsigned modifiers) {
  auto lock = Lock();
  if (!open_) return;
  DeliverMouse(MouseAction::kDown, client, button, modifiers);
  Pump();
}

void HeadlessWindow::MouseMove(Point client, unsigned modifiers) {
  auto lock = Lock();
  if (!open_) return;
  DeliverMouse(MouseAction::kMove, client, MouseButton::kNone, modifiers);
  Pump();
}

void HeadlessWindow::MouseUp(Point client, MouseButton button, unsigned modifiers) {
  auto lock = Lock();
  if (!open_) return;
  DeliverMouse(MouseAction::kUp, client, button, modifiers);
  Pump();
}

void HeadlessWindow::Click(Point client, MouseButton button, unsigned modifiers) {
  MouseDown(client, button, modifiers);
  MouseUp(client, button, modifiers);
}

void HeadlessWindow::Key(MenuKey key) {
  auto lock = Lock();
  if (!open_) return;
  MenuKeyPressed(key);
  Pump();
}

void HeadlessWindow::AdvanceTime(int64_t ms) {
  auto lock = Lock();
  constexpr int64_t kDay = 24 * 3600 * 1000;
  const int64_t target = now_ + std::clamp<int64_t>(ms, 0, kDay);
  while (open_) {
    const std::optional<int64_t> next = timers_.NextDue();
    if (!next || *next > target) break;
    now_ = std::max(now_, *next);
    FireDueTimers();
  }
  now_ = target;
  if (open_) Pump();
}

const Bitmap& HeadlessWindow::Frame() {
  auto lock = Lock();
  Flush();
  return form_.frame();
}

const PopupMenu* HeadlessWindow::open_menu() const {
  auto lock = Lock();
  return menu_ ? &menu_->menu() : nullptr;
}

bool HeadlessWindow::ChooseMenuItem(std::string_view name) {
  auto lock = Lock();
  int index = menu_item_index(name);
  if (index < 0 && menu_) {
    // An item of a submenu: open it first, as the mouse would.
    std::string upper(name);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const int holder = menu_->SubmenuHolding(upper);
    if (holder < 0 || !ChooseMenuItem(holder)) return false;
    index = menu_item_index(name);
  }
  return index >= 0 && ChooseMenuItem(index);
}

bool HeadlessWindow::ChooseMenuItem(int index) {
  auto lock = Lock();
  if (!menu_) return false;
  const MenuSession::Result result = menu_->Choose(index);
  if (result != MenuSession::Result::kChoose && result != MenuSession::Result::kOpenSubmenu) {
    return false;
  }
  ApplyMenuResult(result);
  Pump();
  return true;
}

void HeadlessWindow::StartFileDialog(bool save, const FileDialogOptions& options) {
  ++dialogs_shown_;
  last_dialog_save_ = save;
  last_dialog_ = options;
  dialog_showing_ = true;  // answered by the next pump
}

}  // namespace vellicor::gui
