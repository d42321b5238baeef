// Whole-file reading and writing for the editor's text files. Files are read in one go, with a
// bound on their size, and replaced atomically: the new contents go to a temporary file next to
// the target, which is then renamed over it, so a failed save never leaves the old file cut
// short.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// A file that included windows.h first would otherwise declare and call ReplaceFileA.
#ifdef ReplaceFile
#undef ReplaceFile
#endif

namespace vellicor::gui {

// The file's bytes; nothing when it cannot be opened or read, or is larger than `max_bytes`.
std::optional<std::string> ReadWholeFile(const std::string& path, size_t max_bytes);

// Writes `contents` to `path`, replacing any file there only once everything is written.
// False (and the old file untouched) when anything fails.
bool ReplaceFile(const std::string& path, std::string_view contents);

}  // namespace vellicor::gui
