#include "editor/editor_session.h"

#include "editor/layout.h"

namespace vellicor {

EditorSession::EditorSession(EditorHost& host, EditorWindowFactory factory)
    : host_(host), factory_(factory) {
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
  return window_ ? window_->ClientWidth() : editor::kFormWidth;
}

int EditorSession::height() const {
  return window_ ? window_->ClientHeight() : editor::kFormHeight;
}

}  // namespace vellicor
