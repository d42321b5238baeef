// The editor side of the frame: the base class every plug-in editor derives from.
#pragma once

#include <cstdint>

namespace vellicor {

class AudioEffect;

// A key as the host reports it with effEditKeyDown / effEditKeyUp.
struct VstKeyCode {
  int32_t character;
  uint8_t virt;
  uint8_t modifier;
};

class AEffEditor {
 public:
  explicit AEffEditor(AudioEffect* effect) : effect_(effect) {}
  virtual ~AEffEditor() = default;

  AEffEditor(const AEffEditor&) = delete;
  AEffEditor& operator=(const AEffEditor&) = delete;

  virtual intptr_t getRect(void* rect_pointer) {
    (void)rect_pointer;
    return 0;
  }
  virtual intptr_t open(void* parent) {
    system_window_ = parent;
    return 0;
  }
  virtual void close() {}
  virtual void idle() {
    if (update_flag_) {
      update_flag_ = 0;
      update();
    }
  }
  virtual void update() {}
  // One value changed (setParameter): an editor that keeps a copy of the values may take just
  // that one; the default takes everything.
  virtual void updateParameter(int32_t index) {
    (void)index;
    update();
  }
  virtual void postUpdate() { update_flag_ = 1; }
  virtual intptr_t onKeyDown(const VstKeyCode& key) {
    (void)key;
    return -1;
  }
  virtual intptr_t onKeyUp(const VstKeyCode& key) {
    (void)key;
    return -1;
  }
  virtual intptr_t setKnobMode(int32_t mode) {
    (void)mode;
    return 0;
  }
  virtual bool onWheel(float distance) {
    (void)distance;
    return false;
  }

 protected:
  AudioEffect* effect_;
  void* system_window_ = nullptr;
  int32_t update_flag_ = 0;
};

}  // namespace vellicor
