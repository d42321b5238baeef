#include "plugin/plugin_editor.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string_view>

#include "plugin/uPlugin.h"
#include "vst/vellicor_requests.h"

namespace vellicor {

APluginEditor::APluginEditor(APlugin* plugin, EditorWindowFactory factory)
    : AEffEditor(plugin), plugin_(plugin), synth_(plugin->synth()), session_(*this, factory) {}

APluginEditor::~APluginEditor() {
  if (session_.is_open()) {
    synth_.SetEditorClosed(true);
    session_.Close();
  }
}

intptr_t APluginEditor::getRect(void* rect_pointer) {
  rect_.top = 0;
  rect_.left = 0;
  if (session_.is_open()) {
    rect_.bottom = static_cast<int16_t>(session_.height());
    rect_.right = static_cast<int16_t>(session_.width());
  } else {
    // Hosts size their frame from this before they open the editor.
    rect_.bottom = static_cast<int16_t>(session_.ToScreen(518));
    rect_.right = static_cast<int16_t>(session_.ToScreen(665));
  }
  if (!rect_pointer) return 0;
  *static_cast<vst::ERect**>(rect_pointer) = &rect_;
  return 1;
}

intptr_t APluginEditor::open(void* parent) {
  AEffEditor::open(parent);
  ++open_count_;
  if (open_count_ == 1) session_.Close();  // a fresh window for a fresh open
  if (!session_.Open(parent)) {
    // No window could be made (no display, say): tell the host instead of pretending.
    open_count_ = 0;
    return 0;
  }
  synth_.SetEditorClosed(false);
  return 1;
}

void APluginEditor::close() {
  session_.Hide();
  open_count_ = open_count_ > 0 ? open_count_ - 1 : 0;
  if (open_count_ == 0) {
    synth_.SetEditorClosed(true);
    session_.Close();
  }
}

void APluginEditor::idle() {
  session_.Idle();
}

void APluginEditor::update() {
  // May run on the audio thread: it touches only the session's own copies.
  if (synth_.editor_closed()) return;
  session_.AllValuesChanged();
}

void APluginEditor::updateParameter(int32_t index) {
  if (synth_.editor_closed()) return;
  session_.ValueChanged(index);
}

float APluginEditor::Value(int index) const {
  return synth_.Value(index);
}

int APluginEditor::Controller(int index) const {
  return synth_.ControllerFor(index);
}

void APluginEditor::setParameterAutomated(int32_t index, float value) {
  plugin_->setParameterAutomated(index, value);
}

bool APluginEditor::RequestResize(int width, int height) {
  return plugin_->sizeWindow(width, height);
}

// --- The command-line host's requests -----------------------------------------------------------

namespace {

namespace rq = requests;

// The record when it is one of this kind (its leading size field matches), else null.
template <typename Record>
Record* RecordOf(void* record) {
  auto* r = static_cast<Record*>(record);
  return r->size == static_cast<int32_t>(sizeof(Record)) ? r : nullptr;
}

// A request's text, or nothing when it is missing or longer than any name we use.
std::optional<std::string_view> RequestText(const char* text) {
  if (text == nullptr) return std::nullopt;
  const void* end = std::memchr(text, 0, 256);
  if (end == nullptr) return std::nullopt;
  return std::string_view(text, static_cast<size_t>(static_cast<const char*>(end) - text));
}

std::span<uint32_t> PixelsOf(uint32_t* pixels, int32_t capacity) {
  if (pixels == nullptr || capacity <= 0) return {};
  return {pixels, static_cast<size_t>(capacity)};
}

bool Capture(EditorTestPort& port, void* record) {
  auto* r = RecordOf<rq::CaptureRecord>(record);
  if (r == nullptr) return false;
  int width = 0, height = 0;
  const bool copied = port.CaptureFrame(&width, &height, PixelsOf(r->pixels, r->capacity));
  r->width = width;
  r->height = height;
  return copied;
}

bool Mouse(EditorTestPort& port, void* record) {
  using Action = EditorTestPort::MouseAction;
  // The record's codes, in the order of their values.
  constexpr gui::MouseButton kButtons[] = {gui::MouseButton::kNone, gui::MouseButton::kLeft,
                                           gui::MouseButton::kRight, gui::MouseButton::kMiddle};
  constexpr Action kActions[] = {Action::kDown, Action::kMove, Action::kUp, Action::kClick};
  static_assert(rq::kMiddle == 3 && rq::kClick == 3);
  auto* r = RecordOf<rq::MouseRecord>(record);
  if (r == nullptr || r->button < 0 || r->button > 3 || r->action < 0 || r->action > 3) {
    return false;
  }
  return port.InjectMouse(kActions[r->action], {r->x, r->y}, kButtons[r->button],
                          static_cast<unsigned>(r->modifiers));
}

bool Clock(EditorTestPort& port, void* record) {
  auto* r = RecordOf<rq::ClockRecord>(record);
  return r != nullptr && port.AdvanceClock(r->milliseconds);
}

bool ChooseItem(EditorTestPort& port, void* record) {
  auto* r = RecordOf<rq::MenuItemRecord>(record);
  if (r == nullptr) return false;
  const auto name = RequestText(r->name);
  return name && port.ChooseMenuItem(*name);
}

bool Component(EditorTestPort& port, void* record) {
  auto* r = RecordOf<rq::ComponentRecord>(record);
  if (r == nullptr) return false;
  const auto name = RequestText(r->name);
  gui::Rect bounds;
  bool showing = false;
  if (!name || !port.ComponentBounds(*name, &bounds, &showing)) return false;
  r->left = bounds.left;
  r->top = bounds.top;
  r->width = bounds.width();
  r->height = bounds.height();
  r->visible = showing ? 1 : 0;
  return true;
}

bool Menu(EditorTestPort& port, void* record) {
  auto* r = RecordOf<rq::MenuRecord>(record);
  if (r == nullptr) return false;
  std::string_view item;
  if (r->item != nullptr) {
    const auto name = RequestText(r->item);
    if (!name) return false;
    item = *name;
  }
  EditorTestPort::OpenMenu menu;
  if (!port.OpenMenuInfo(item, &menu, PixelsOf(r->pixels, r->capacity))) return false;
  r->left = menu.bounds.left;
  r->top = menu.bounds.top;
  r->width = menu.bounds.width();
  r->height = menu.bounds.height();
  r->screen_left = menu.screen.x;
  r->screen_top = menu.screen.y;
  r->item_left = menu.item.left;
  r->item_top = menu.item.top;
  r->item_width = menu.item.width();
  r->item_height = menu.item.height();
  return true;
}

}  // namespace

intptr_t APluginEditor::VendorRequest(intptr_t request, void* record) {
  if (request == rq::kSetScale) {
    // The session keeps it, so it holds before the editor opens too.
    auto* r = record != nullptr ? RecordOf<rq::ScaleRecord>(record) : nullptr;
    if (r == nullptr || r->percent < 100 || r->percent > 300) return 0;
    session_.ForceScale(gui::Scale::FromPercent(r->percent));
    return 1;
  }
  EditorTestPort* port = session_.test_port();
  if (port == nullptr || record == nullptr) return 0;
  switch (request) {
    case rq::kCaptureFrame:
      return Capture(*port, record) ? 1 : 0;
    case rq::kMouse:
      return Mouse(*port, record) ? 1 : 0;
    case rq::kAdvanceClock:
      return Clock(*port, record) ? 1 : 0;
    case rq::kChooseMenuItem:
      return ChooseItem(*port, record) ? 1 : 0;
    case rq::kComponentRect:
      return Component(*port, record) ? 1 : 0;
    case rq::kOpenMenu:
      return Menu(*port, record) ? 1 : 0;
    default:
      return 0;
  }
}

}  // namespace vellicor
