#include "plugin/plugin_editor.h"

#include <cstdint>

#include "plugin/uPlugin.h"

namespace vellicor {

APluginEditor::APluginEditor(APlugin* plugin, EditorWindowFactory factory)
    : AEffEditor(plugin), plugin_(plugin), factory_(factory) {
  for (auto& entry : values_.CcMap) entry = kNoController;
}

APluginEditor::~APluginEditor() {
  if (window_) {
    plugin_->setEditorClosed(true);
    DestroyWindow();
  }
  parent_ = nullptr;
}

intptr_t APluginEditor::getRect(void* rect_pointer) {
  rect_.top = 0;
  rect_.left = 0;
  if (window_) {
    rect_.bottom = static_cast<int16_t>(window_->ClientHeight());
    rect_.right = static_cast<int16_t>(window_->ClientWidth());
  } else {
    rect_.bottom = 518;
    rect_.right = 665;
  }
  if (!rect_pointer) return 0;
  *static_cast<vst::ERect**>(rect_pointer) = &rect_;
  return 1;
}

intptr_t APluginEditor::open(void* parent) {
  AEffEditor::open(parent);
  parent_ = parent;
  ++open_count_;
  if (open_count_ == 1 || !window_) {
    // The form starts from zeros; the values arrive right after it is built.
    for (auto& value : values_.ValueMirror) value = 0.0f;
    window_ = factory_ ? factory_(parent, plugin_, &values_) : nullptr;
    if (!window_) {
      // No window could be made (no display, say): tell the host instead of pretending.
      open_count_ = 0;
      return 0;
    }
    for (int i = 0; i < kPatchSize; ++i) values_.ValueMirror[i] = plugin_->engine().Patch(i);
    window_->SetPlugin(this);
    window_exists_ = true;
  }
  plugin_->setEditorClosed(false);
  window_->PaintPending();
  window_->Show();
  window_->Timer2Timer();
  return 1;
}

void APluginEditor::close() {
  if (window_) window_->Hide();
  open_count_ = open_count_ > 0 ? open_count_ - 1 : 0;
  if (open_count_ == 0) {
    plugin_->setEditorClosed(true);
    DestroyWindow();
    parent_ = nullptr;
  }
}

void APluginEditor::idle() {
  if (!window_) return;
  for (int i = 0; i < 256; ++i) values_.CcMap[i] = plugin_->engine().ControllerMap(i);
  window_->PaintPending();
}

void APluginEditor::update() {
  // May run on the audio thread: it touches only the bridge's own copies.
  if (plugin_->editorClosed() || !window_exists_) return;
  for (int i = 0; i < kPatchSize; ++i) values_.ValueMirror[i] = plugin_->engine().Patch(i);
}

void APluginEditor::updateParameter(int32_t index) {
  // setParameter's path, from any thread: a program change or an evolver slot replays some
  // 1,600 values one by one, so each copies only itself.
  if (plugin_->editorClosed() || !window_exists_) return;
  if (index >= 0 && index < kPatchSize) values_.ValueMirror[index] = plugin_->engine().Patch(index);
}

void APluginEditor::setParameterAutomated(int32_t index, float value) {
  plugin_->setParameterAutomated(index, value);
}

std::string APluginEditor::ProgramName(int index) const {
  if (index < 0 || index >= kNumPrograms) return {};
  return plugin_->program(index).name;
}

intptr_t APluginEditor::VendorRequest(intptr_t request, void* record) {
  if (!window_ || record == nullptr || request < 0 || request > INT32_MAX) return 0;
  return window_->VendorRequest(static_cast<int32_t>(request), record);
}

void APluginEditor::DestroyWindow() {
  window_exists_ = false;
  window_.reset();
}

}  // namespace vellicor
