// MIDI learn: the per-control MIDI menu and the controller menu (map reset, files, the
// new-sound reset, all notes off, the alias-free oscillators' switch). The editor never writes the
// plug-in's controller map: it sends requests through the parameters param::kLearnTarget (slot),
// param::kLearnController (controller) and param::kLearnCommand (command), always in that order,
// and sees the map again when the bridge copies it back at the host's next idle.
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "editor/uEditor.h"
#include "gui/text_file.h"
#include "patch/controller_map.h"

namespace vellicor {

namespace logic = editor::logic;

namespace {

constexpr float kNoControllerValue = 1.0f;  // 255 / 255
// CcMap entries above this show as no controller.
constexpr int kLastShownController = 250;
// The last slot a request can name (slot = round(255 * value), value at most 1).
constexpr int kLastRequestSlot = param::kLearnableCount - 1;

// name, drawn text, caption (sizes the item, never drawn)
const logic::MenuItemSpec kMidiMenu[] = {
    {"Midi1", "", "Current Mid -  cc127"},
    {"Midi2", "Midi learn", "Midi Learn"},
    {"Midi3", "Midi reset", "Midi Reset"},
    {"Midi4", "Reset Value", "Default Value"},
};

const logic::MenuItemSpec kControllerMenu[] = {
    {"CCSwap", "Swap Dial Controls", "CCSwap  dial contro"},
    {"CCreset", "Midi Reset", "CCreset"},
    {"CCLoad", "Midi Load", "CCload"},
    {"CCSave", "Midi Save", "CCSave"},
    {"CCNew", "Reset", "CCNew"},
    {"ccnoteoff", "All note off", ""},
    // The caption leaves room for the mark drawn when the switch is on.
    {"AliasFree", "Alias-free oscillators", "Alias-free oscillators    "},
};

// The size items of the controller menu, after a separating line: "SIZE150" is 150 %.
constexpr char kSizeLineName[] = "SIZELINE";
constexpr int kSizeLineHeight = 7;

std::string SizeText(gui::Scale scale) {
  return "Size " + std::to_string(scale.percent()) + " %";
}

std::optional<gui::Scale> SizeOf(const std::string& upper_name) {
  for (const int percent : gui::kScaleChoices) {
    if (upper_name == "SIZE" + std::to_string(percent)) return gui::Scale::FromPercent(percent);
  }
  return std::nullopt;
}

// The line between the controller items and the sizes: the menu's colour with a rule across.
void DrawSizeLine(const gui::MenuItemDraw& d) {
  const logic::MenuItemLook look = logic::MenuLook(false);
  d.surface.FillRect(d.rect, look.brush_rgb);
  const int y = d.rect.top + d.rect.height() / 2;
  d.surface.FillRect({d.rect.left + 3, y, d.rect.right - 3, y + 1}, 0x8A8A66);
}

// The current size's mark: a dot near the item's right end, in the text's colour.
void DrawCurrentMark(const gui::MenuItemDraw& d) {
  const logic::MenuItemLook look = logic::MenuLook(d.highlighted);
  const int y = d.rect.top + d.rect.height() / 2;
  d.surface.FillRect({d.rect.right - 12, y - 2, d.rect.right - 7, y + 3}, look.text_rgb);
}

// The drawn text of the item the menu names in upper case.
std::string_view TextOf(std::span<const logic::MenuItemSpec> items, const std::string& name) {
  for (const logic::MenuItemSpec& item : items) {
    if (logic::UpperCase(item.name) == name) return item.text;
  }
  return {};
}

// The first item of the MIDI menu: the bound controller, if any.
std::string CurrentControllerText(int controller) {
  if (controller < 0 || controller > kLastShownController) return "No current Midi cc";
  return "Current midi - cc" + std::to_string(controller);
}

gui::FileDialogOptions MapFileDialog(const char* title, const char* file_name) {
  gui::FileDialogOptions options;
  options.title = title;
  options.filter_name = "MIDI map files";
  options.pattern = "*.mmp";
  options.file_name = file_name;
  return options;
}

}  // namespace

// --- The per-control MIDI menu ------------------------------------------------------------------

void TPluginEditorWindow::OpenMidiMenu() {
  const int target = MidiTarget;
  // Only the learnable parameters have a map slot a request can reach; a learn or reset for
  // any other control would bind the wrong parameter (the last slot), so it is not offered.
  const bool addressable = target >= 0 && target <= kLastRequestSlot;
  gui::PopupMenu menu = ItemsMenu(kMidiMenu);
  menu.items[1].enabled = addressable;
  menu.items[2].enabled = addressable;
  // The target is bound now: another press may change MidiTarget before the choice arrives.
  menu.draw = [this, target, addressable](const gui::MenuItemDraw& d) {
    if (d.name == "MIDI1") {
      const int controller = addressable ? static_cast<int>(values_->CcMap[target]) : kNoController;
      DrawMenuItem(d, CurrentControllerText(controller));
    } else {
      DrawMenuItem(d, TextOf(kMidiMenu, d.name));
    }
  };
  menu.on_choose = [this, target](const std::string& item, int) { MidiMenuClick(target, item); };
  const gui::Point at = window_->ScreenPoint(PressedImage, PressPoint);
  Popup(std::move(menu), at);
}

void TPluginEditorWindow::MidiMenuClick(int target, const std::string& item) {
  if (target < 0 || target >= param::kPatchSize) return;
  const float slot = static_cast<float>(target) / 255.0f;
  // A request's values travel together.
  const EditGroup edit(*this);
  if (item == "MIDI2" && target <= kLastRequestSlot) {
    setfvar(param::kLearnTarget, slot);
    setfvar(param::kLearnCommand, param::kLearnRequest);
  } else if (item == "MIDI3" && target <= kLastRequestSlot) {
    AssignController(target, kNoControllerValue);
  } else if (item == "MIDI4") {
    setfvar(target, param::DefaultValue(target));
    SetAll();
  }
}

void TPluginEditorWindow::AssignController(int slot, float controller_value) {
  const EditGroup edit(*this);
  setfvar(param::kLearnTarget, static_cast<float>(slot) / 255.0f);
  setfvar(param::kLearnController, controller_value);
  setfvar(param::kLearnCommand, param::kAssignRequest);
}

// --- The controller menu ------------------------------------------------------------------------

bool TPluginEditorWindow::DispatchControllerMenuMouse(const gui::MouseEvent& event) {
  // The background takes the controller menu's press: it is the one surface reachable
  // everywhere between the controls.
  if (event.name != "IMAGE1") return false;
  if (event.action == gui::MouseAction::kDown && event.button == gui::MouseButton::kRight &&
      event.ctrl()) {
    gui::PopupMenu menu = ItemsMenu(kControllerMenu);
    for (gui::MenuItem& item : menu.items) {
      if (item.name == "AliasFree") item.checked = AliasFreeOn();
    }
    AddSizeItems(menu);
    const gui::Scale current = sizing_ != nullptr ? sizing_->scale() : form_.scale();
    menu.draw = [current](const gui::MenuItemDraw& d) {
      if (d.name == kSizeLineName) {
        DrawSizeLine(d);
      } else if (const std::optional<gui::Scale> size = SizeOf(d.name)) {
        DrawMenuItem(d, SizeText(*size));
        if (*size == current) DrawCurrentMark(d);
      } else {
        DrawMenuItem(d, TextOf(kControllerMenu, d.name));
        if (d.item.checked) DrawCurrentMark(d);  // a switch that is on
      }
    };
    menu.on_choose = [this](const std::string& item, int) { ControllerMenuClick(item); };
    Popup(std::move(menu), window_->ScreenPoint(event.component, event.pos));
  }
  return true;
}

void TPluginEditorWindow::AddSizeItems(gui::PopupMenu& menu) {
  gui::MenuItem line;
  line.name = kSizeLineName;
  line.enabled = false;
  line.height = kSizeLineHeight;
  menu.items.push_back(line);
  for (const int percent : gui::kScaleChoices) {
    gui::MenuItem item;
    const gui::Scale scale = gui::Scale::FromPercent(percent);
    item.name = "Size" + std::to_string(percent);
    // Sized by what is drawn, with room for the mark of the current size.
    item.caption = logic::MenuItemDrawnText(SizeText(scale)) + "      ";
    menu.items.push_back(std::move(item));
  }
}

bool TPluginEditorWindow::ChooseSize(const std::string& item) {
  const std::optional<gui::Scale> scale = SizeOf(item);
  if (!scale) return false;
  // The session keeps the choice and asks the host for room; without one the window follows.
  if (sizing_ != nullptr) {
    sizing_->ChooseScale(*scale);
  } else {
    SetScale(*scale);
  }
  return true;
}

void TPluginEditorWindow::ControllerMenuClick(const std::string& item) {
  if (ChooseSize(item)) return;
  if (item == "CCSWAP") {
    SwapDials = 1 - SwapDials;
  } else if (item == "CCRESET") {
    MidiReset();
  } else if (item == "CCLOAD") {
    MidiLoad();
  } else if (item == "CCSAVE") {
    MidiSave();
  } else if (item == "CCNEW") {
    NewSound();
  } else if (item == "CCNOTEOFF") {
    setfvar(param::kVoiceReset, 1.0f);
  } else if (item == "ALIASFREE") {
    // One gesture: the host records the switch as one automation step.
    setfvar(param::kAliasFree, AliasFreeOn() ? 0.0f : 1.0f);
  }
}

bool TPluginEditorWindow::AliasFreeOn() const {
  // Read as the engine reads a switch.
  return IntPart(1.99f * values_->ValueMirror[param::kAliasFree]) >= 1;
}

void TPluginEditorWindow::MidiReset() {
  // Every assign request of the reset, as one edit.
  const EditGroup edit(*this);
  for (int i = 0; i < param::kControllerMapSize; ++i) values_->CcMap[i] = DefaultController(i);
  for (int i = 0; i <= kLastRequestSlot; ++i) {
    AssignController(i, static_cast<float>(values_->CcMap[i]) / 255.0f);
  }
}

void TPluginEditorWindow::MidiSave() {
  window_->SaveFileDialog(MapFileDialog("Midi Save", ""), [this](std::optional<std::string> path) {
    if (!path || path->empty()) return;
    controller_map::Entries entries{};
    for (int i = 0; i < controller_map::kFileEntries; ++i) {
      entries[static_cast<size_t>(i)] = values_->CcMap[i];
    }
    // Written beside the target and renamed over it: a failed save leaves the old file whole.
    gui::ReplaceFile(*path, controller_map::Format(entries));
  });
}

void TPluginEditorWindow::MidiLoad() {
  window_->OpenFileDialog(
      MapFileDialog("Midi Load", "*.mmp"), [this](std::optional<std::string> path) {
        if (!path || path->empty() || *path == "*.mmp") return;
        const std::optional<std::string> text =
            gui::ReadWholeFile(*path, controller_map::kMaxFileBytes);
        if (!text) return;
        // A file that is short or holds something other than numbers changes nothing, rather
        // than binding whatever its broken lines would convert to.
        const std::optional<controller_map::FileValues> values = controller_map::Parse(*text);
        if (!values) return;
        const EditGroup edit(*this);
        for (int i = 0; i < controller_map::kFileEntries; ++i) {
          AssignController(i, (*values)[static_cast<size_t>(i)]);
        }
        SetAll();
      });
}

// --- The new-sound reset ------------------------------------------------------------------------

void TPluginEditorWindow::NewSound() {
  // The reset ends where it always has, amid envelope 15's curves: the last curves and the
  // evolver's sliders keep their values.
  constexpr int kLastReset = param::Point(param::kEnvCurve, 14, 10);
  // A new sound: one step to undo.
  const EditGroup edit(*this);
  for (int i = 0; i <= kLastReset; ++i) setfvar(i, param::DefaultValue(i));
  // The first sixteen envelopes: two points, a straight fall from 1 to 0 that loops over both.
  constexpr int kResetEnvelopes = 16;
  const float point_one = 1.5f / 39.99f;
  for (int e = 0; e < kResetEnvelopes; ++e) {
    setfvar(param::Envelope(param::kEnvLastPoint, e), point_one);  // last point index 1
    setfvar(param::Envelope(param::kEnvLoopEnd, e), point_one);    // loop end point 1
    for (int j = 0; j < 2; ++j) {
      setfvar(param::Point(param::kEnvTime, e, j), static_cast<float>(j));       // times 0 and 1
      setfvar(param::Point(param::kEnvLevel, e, j), static_cast<float>(1 - j));  // levels 1 and 0
      setfvar(param::Point(param::kEnvCurve, e, j), 0.5f);  // straight segments
    }
  }
  // 0.8 selects no envelope for the LFOs' amplitude and speed, and no LFO for volume, pan and
  // the filter.
  constexpr float kNone = 0.8f;
  for (int k = 0; k < param::kLfoCount; ++k) {
    setfvar(param::Lfo(param::kLfoDepthEnvelope, k), kNone);
    setfvar(param::Lfo(param::kLfoSpeedEnvelope, k), kNone);
  }
  setfvar(param::kVolumeLfo, kNone);
  setfvar(param::kPanLfo, kNone);
  setfvar(param::kFilterLfo, kNone);
  // And everything from oscillator 1's envelope selectors to the filter's, as the reset always
  // has: oscillator 2's settings and the filter's in between get the same 0.8.
  for (int i = param::kOscillator[0].amp_envelope; i <= param::kFilterEnvelope; ++i) {
    setfvar(i, kNone);
  }
  SetAll();
}

}  // namespace vellicor
