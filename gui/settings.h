// The user's own settings, kept between sessions in a small text file in the platform's
// configuration folder: $XDG_CONFIG_HOME/vellicor/settings (else ~/.config/vellicor/settings) on
// Linux, %APPDATA%\Vellicor\settings.txt on Windows. Lines of `key=value`; keys we do not know
// are kept when the file is written again. Written atomically (a temporary file renamed over
// the old one); a file that is missing, unreadable or malformed means no setting, never an
// error.
#pragma once

#include <optional>
#include <string>

#include "gui/scale.h"

namespace vellicor::gui {

// Where the settings file is; empty when the platform names no configuration folder.
std::string SettingsPath();

// The size the user chose for the editor, if any (the key `editor-scale`, in percent).
std::optional<Scale> ReadUserScale();
// Keeps the user's choice; false (and the file as it was) when it cannot be written.
bool WriteUserScale(Scale scale);

}  // namespace vellicor::gui
