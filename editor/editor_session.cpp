#include "editor/editor_session.h"

#include "editor/layout.h"
#include "gui/settings.h"

namespace vellicor {

EditorSession::EditorSession(EditorHost& host, EditorWindowFactory factory)
    : host_(host), factory_(factory), user_scale_(gui::ReadUserScale()) {
  for (auto& value : values_.ValueMirror) value = 0.0f;
  for (auto& entry : values_.CcMap) entry = param::kNoController;
}

EditorSession::~EditorSession() {
  Close();
}

bool EditorSession::Open(void* parent) {
  if (!window_) {
    // The form starts from zeros; the values arrive right after it is built.
    for (auto& value : values_.ValueMirror) value = 0.0f;
    window_ = factory_ ? factory_(parent, &values_) : nullptr;
    if (!window_) return false;
    // The user's choice as the settings file has it now (another instance may have changed it).
    user_scale_ = gui::ReadUserScale();
    window_->SetSizing(this);
    window_->SetScale(scale());
    for (int i = 0; i < param::kPatchSize; ++i) values_.ValueMirror[i] = host_.Value(i);
    CopyControllerMap();
    window_->SetPlugin(&host_);
    window_exists_ = true;
  }
  window_->PaintPending();
  window_->Show();
  window_->Timer2Timer();
  return true;
}

void EditorSession::Hide() {
  if (window_) window_->Hide();
}

void EditorSession::Close() {
  window_exists_ = false;
  window_.reset();
}

void EditorSession::ValueChanged(int index) {
  // Program selection replays some 1,600 values one by one, so each copies only itself.
  if (!window_exists_ || index < 0 || index >= param::kPatchSize) return;
  values_.ValueMirror[index] = host_.Value(index);
}

void EditorSession::AllValuesChanged() {
  if (!window_exists_) return;
  for (int i = 0; i < param::kPatchSize; ++i) values_.ValueMirror[i] = host_.Value(i);
}

void EditorSession::Idle() {
  if (!window_) return;
  CopyControllerMap();
  window_->PaintPending();
}

void EditorSession::CopyControllerMap() {
  for (int i = 0; i < param::kLearnableCount; ++i) values_.CcMap[i] = host_.Controller(i);
}

int EditorSession::width() const {
  return window_ ? window_->ClientWidth() : scale().ScreenSize(editor::kFormWidth);
}

int EditorSession::height() const {
  return window_ ? window_->ClientHeight() : scale().ScreenSize(editor::kFormHeight);
}

gui::Scale EditorSession::scale() const {
  if (forced_scale_) return *forced_scale_;
  if (user_scale_) return *user_scale_;
  if (host_factor_ > 0.0) return gui::Scale::FromFactor(host_factor_);
  // Asked of the system once: it means a round trip to the X server.
  if (system_factor_ <= 0.0) system_factor_ = gui::SystemScaleFactor();
  return gui::Scale::FromFactor(system_factor_);
}

void EditorSession::SetHostScale(double factor) {
  host_factor_ = factor > 0.0 ? factor : 0.0;
  ApplyScale();
}

void EditorSession::ForceScale(gui::Scale scale) {
  forced_scale_ = scale;
  ApplyScale();
}

void EditorSession::ChooseScale(gui::Scale scale) {
  user_scale_ = scale;
  gui::WriteUserScale(scale);  // kept for the next session; a failure costs only that
  ApplyScale();
  if (window_) host_.RequestResize(width(), height());
}

void EditorSession::ApplyScale() {
  if (window_) window_->SetScale(scale());
}

}  // namespace vellicor
