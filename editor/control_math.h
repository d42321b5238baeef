// The editor's controls without the window: which image shows which parameter, how each kind
// is drawn from its value, and how mouse presses and drags turn into new values.
//
// Coordinates are pixels in the image's own frame (x right, y down). The window keeps the drag
// state (Dragging, DragKind, ControlDragMode, DragIndex, DragStartValue) and calls these
// functions; every value they return is already limited to 0..1.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "editor/readout.h"

namespace vellicor::editor::logic {

enum class ControlKind { kDial, kSlider, kToggle };

// Some images show a parameter of the LFO or envelope their panel currently shows.
enum class IndexRule {
  kFixed,     // base
  kLfo,       // base + LfoNumber
  kEnvelope,  // base + EnvNumber
};
int IndexOf(int base, IndexRule rule, int lfo_number, int env_number);

struct ControlSpec {
  std::string_view image;  // component name, e.g. "Hvolume"
  ControlKind kind;
  int base;
  IndexRule rule;
  std::string_view readout_name;  // empty: the control writes no read-out
  ValueText text;
  bool controller_suffix;  // false only for the envelope length
  int Index(int lfo_number, int env_number) const {
    return IndexOf(base, rule, lfo_number, env_number);
  }
};

// Every dial, slider and toggle of the editor.
std::span<const ControlSpec> ControlTable();
// By component name, ignoring case; null for images that are not dials, sliders or toggles.
const ControlSpec* FindControl(std::string_view image);
// The control showing parameter `index` while the panels show this LFO and envelope.
const ControlSpec* ControlAtIndex(int index, int lfo_number, int env_number);

// A selector shows frame IntPart(k v) of its image list (a toggle is a selector of IOnOff too).
struct SelectorSpec {
  std::string_view image;
  int base;
  IndexRule rule;
  std::string_view image_list;  // e.g. "Iosc"
  float k;
  int Index(int lfo_number, int env_number) const {
    return IndexOf(base, rule, lfo_number, env_number);
  }
};
std::span<const SelectorSpec> SelectorTable();
const SelectorSpec* FindSelector(std::string_view image);
// Not bounded: a frame past the end of the list draws nothing, which is the intended look.
int SelectorFrame(float k, float v);

// The LFO and envelope the panels show, from param::kLfoShown and param::kEnvelopeShown,
// bounded to LFO 0..4 and envelope 0..7 so that no stray value can bind a panel to another
// section's parameters.
int LfoNumberOf(float lfo_shown);
int EnvNumberOf(float env_shown);

std::string UpperCase(std::string_view text);

// Drawing.
int KnobX(float v);      // slider knob left edge: IntPart(80 v + 5), 5..85
int DialFrame(float v);  // Idials frame: IntPart(28.99 v), 0..28
// Sliders that show another parameter after an LFO or envelope change are drawn even when
// their value equals the one last drawn.
bool SliderAlwaysDrawn(int index, int lfo_number);

// Mouse.
enum class MouseButton { kLeft, kMiddle, kRight };
// ControlDragMode: -1 none, 0 coarse, 1 fine.
enum class DragMode { kNone = -1, kCoarse = 0, kFine = 1 };

// Slider: the knob follows the pointer (x - 10 limited to 0..80, over 80).
float SliderPointerValue(int x);
// Slider fine drag: 1/1000 per pixel from x = 10, added to the value at the press.
float SliderFineValue(float start_value, int x);
// Dial press: the pointer's angle round the centre (16, 16), 0 straight below, growing
// clockwise; the last fifth of the turn gives 1.
float DialPressValue(int x, int y);
// Dial coarse drag round the centre (15, 15): entering the dead fifth reads 0, and a jump of
// more than 0.5 from `old` (the value before this move) is refused.
float DialCoarseValue(float old_value, int x, int y);
// Dial fine drag: 1/300 per pixel above the centre row y = 15, added to the value at the press.
float DialFineValue(float start_value, int y);
// Toggle: on (>= 0.499) goes to 0, off goes to 0.9.
float ToggledValue(float v);

DragMode SliderDragMode(bool shift);
DragMode DialDragMode(int swap_dials, bool shift);

enum class PressAction {
  kNothing,         // middle button
  kToggle,          // send `value`
  kMidiMenu,        // right button on a dial or slider: MidiTarget := index, open mnmidi
  kResetToDefault,  // Ctrl + left on a dial: setfvar(index, param::DefaultValue(index)), no drag
  kStartDrag,       // Dragging := true, DragKind := 1 dial / 2 slider, mode, start value
};
struct PressResult {
  PressAction action = PressAction::kNothing;
  DragMode mode = DragMode::kNone;
  bool send = false;  // send `value` with setParameterAutomated, redraw and label
  float value = 0.0f;
  float start_value = 0.0f;  // DragStartValue for kStartDrag
};
// A press on a control while no drag is in progress.
PressResult ControlPress(ControlKind kind, MouseButton button, bool shift, bool ctrl,
                         int swap_dials, int x, int y, float current_value);

// A move during a drag of `kind` (dial or slider) in `mode`; `current_value` is the
// parameter's value before the move.
float DragValue(ControlKind kind, DragMode mode, float start_value, float current_value, int x,
                int y);

// atan2 from IEEE operations only (+, -, *, /, sqrt), so both targets agree to the bit.
double Atan2(double y, double x);

}  // namespace vellicor::editor::logic
