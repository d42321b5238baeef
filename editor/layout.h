// The editor form's component tree as data: every image and panel with its parent, position,
// size and transparency, in stacking order. The form, the artwork (which paints captions next
// to the controls) and the host's look-ups by name all read this one table.
#pragma once

#include <optional>
#include <string_view>

#include "gui/geometry.h"

namespace vellicor::editor {

constexpr int kFormWidth = 635;
constexpr int kFormHeight = 512;
// The size the bridge reports while no form exists.
constexpr int kDefaultEditorWidth = 665;
constexpr int kDefaultEditorHeight = 518;

enum class ComponentKind { kImage, kPanel };

struct ComponentSpec {
  const char* name;
  ComponentKind kind;
  const char* parent;  // nullptr: the form itself
  int left;
  int top;
  int width;
  int height;
  // Keyed by the bitmap's bottom-left pixel, so what lies behind shows through.
  bool transparent;
};

// In table order: a panel's children follow it, later panels lie above earlier ones.
extern const ComponentSpec kComponents[];
extern const int kComponentCount;

const ComponentSpec* FindComponent(std::string_view name);  // ignoring case
// Where a component lies on the form (its parents' offsets added); nothing for an unknown name.
std::optional<gui::Rect> FormRect(std::string_view name);

}  // namespace vellicor::editor
