#include "gui/text_file.h"

#include <cstdio>
#include <memory>
#include <string>

#ifdef _WIN32
#include <windows.h>
// windows.h makes ReplaceFile a macro for its own function; ours keeps its plain name.
#undef ReplaceFile
#else
#include <unistd.h>
#endif

namespace vellicor::gui {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f != nullptr) std::fclose(f);
  }
};

bool RenameOver(const std::string& from, const std::string& to) {
#ifdef _WIN32
  // rename() on Windows refuses to replace an existing file.
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

std::string TemporaryNameFor(const std::string& path) {
#ifdef _WIN32
  const unsigned long id = GetCurrentProcessId();
#else
  const unsigned long id = static_cast<unsigned long>(getpid());
#endif
  return path + ".tmp" + std::to_string(id);
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, size_t max_bytes) {
  if (path.empty()) return std::nullopt;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  const std::unique_ptr<std::FILE, FileCloser> closer(f);
  std::string contents;
  char buffer[4096];
  for (;;) {
    const size_t got = std::fread(buffer, 1, sizeof buffer, f);
    if (got > 0) {
      if (contents.size() + got > max_bytes) return std::nullopt;
      contents.append(buffer, got);
    }
    if (got < sizeof buffer) break;
  }
  if (std::ferror(f)) return std::nullopt;
  return contents;
}

bool ReplaceFile(const std::string& path, std::string_view contents) {
  if (path.empty()) return false;
  const std::string temporary = TemporaryNameFor(path);
  std::FILE* f = std::fopen(temporary.c_str(), "wb");
  if (f == nullptr) return false;
  const bool written = std::fwrite(contents.data(), 1, contents.size(), f) == contents.size();
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed || !RenameOver(temporary, path)) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace vellicor::gui
