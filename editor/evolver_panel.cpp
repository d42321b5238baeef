// The evolver panel: breeds variations of the current sound into nine slots to audition.
// Opening breeds from the current program; clicking a slot loads it into the current program
// (one automated write per value, so the host records the whole sound); "evolve" breeds again
// from the slot last clicked.
#include <string>

#include "editor/uEditor.h"
#include "engine/random.h"

namespace vellicor {

namespace {

// The slot images in slot order; names are compared upper-cased.
constexpr const char* kSlotNames[evolver::kSlotCount] = {"EV1", "EV2", "EV3", "EV4", "EV5",
                                                         "EV6", "EV7", "EV8", "EV9"};

int SlotOf(const std::string& name) {
  for (int s = 0; s < evolver::kSlotCount; ++s) {
    if (name == kSlotNames[s]) return s;
  }
  return -1;
}

}  // namespace

bool TPluginEditorWindow::DispatchEvolverMouse(const gui::MouseEvent& event) {
  const std::string& name = event.name;
  const bool click = event.action == gui::MouseAction::kClick;
  if (name == "EVOL") {
    if (click) EvolClick();
    return true;
  }
  if (name == "IMAGE10") {
    if (click) Image10Click();
    return true;
  }
  if (name == "EVOLCLOSE") {
    if (event.action == gui::MouseAction::kDown) EvolCloseMouseDown();
    return true;
  }
  const int slot = SlotOf(name);
  if (slot < 0) return false;
  if (click) SelectEv(slot);
  return true;
}

void TPluginEditorWindow::ShowEvolver(bool shown) {
  Ievol->SetVisible(shown);
  Ievol->SetEnabled(shown);
  Pevol->SetVisible(shown);
  Pevol->SetEnabled(shown);
}

void TPluginEditorWindow::EvolClick() {
  ShowEvolver(true);
  // Every slot starts as the current program; the breed below reads its parent from the
  // selected slot.
  for (evolver::Slot& slot : EvolverSlot) {
    for (int i = 0; i < evolver::kSlotValues; ++i) {
      slot[static_cast<size_t>(i)] = values_->ValueMirror[i];
    }
  }
  SelectedSlot = evolver::kCentreSlot;
  DoEvol();
  SetAll();
}

void TPluginEditorWindow::SelectEv(int slot) {
  if (slot < 0 || slot >= evolver::kSlotCount) return;
  SelectedSlot = slot;
  const evolver::Slot& values = EvolverSlot[static_cast<size_t>(slot)];
  // A whole sound: one step to undo.
  const EditGroup edit(*this);
  for (int i = 0; i < evolver::kSlotValues; ++i) {
    // The MIDI-learn and voice-reset requests are not sound: re-sending what the slot copied
    // when it was bred could replay an old assign request over a binding learnt since. Sending
    // what the mirror holds now repeats the last request, which changes nothing.
    const bool request = param::EncodingOf(i) == param::Encoding::kRequest;
    setfvar(i, request ? Mirror(i) : values[static_cast<size_t>(i)]);
  }
  SetAll();
  DrawEnv();
  PrintLabels("Selected Preset :", std::to_string(slot + 1));
}

void TPluginEditorWindow::Image10Click() {
  DoEvol();
}

void TPluginEditorWindow::EvolCloseMouseDown() {
  ShowEvolver(false);
}

void TPluginEditorWindow::DoEvol() {
  if (SelectedSlot < 0 || SelectedSlot >= evolver::kSlotCount) SelectedSlot = evolver::kCentreSlot;
  // The parent is copied before any slot is filled, so every slot varies the same sound.
  evolver::Breed(EvolverSlot[static_cast<size_t>(SelectedSlot)], Mirror(param::kEvolverLevel),
                 Mirror(param::kEvolverAmount), EvolverSlot, [] { return random::Next(); });
}

}  // namespace vellicor
