#include "plugin/uPlugin.h"

namespace vellicor {

// The editor window joins here once it exists; until then the plug-in has no editor.
EditorWindowFactory DefaultEditorWindowFactory() {
  return nullptr;
}

}  // namespace vellicor
