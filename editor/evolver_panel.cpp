// The evolver panel: breeds variations of the current sound into nine slots to audition.
#include "editor/uEditor.h"

namespace vellicor {

bool TPluginEditorWindow::DispatchEvolverMouse(const gui::MouseEvent& event) {
  (void)event;
  return false;
}

}  // namespace vellicor
