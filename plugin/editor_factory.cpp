#include "editor/uEditor.h"
#include "plugin/uPlugin.h"

namespace vellicor {

// The editor form: a child of the host's window, or without a window when the host gives
// no parent.
EditorWindowFactory DefaultEditorWindowFactory() {
  return CreateEditorWindow;
}

}  // namespace vellicor
