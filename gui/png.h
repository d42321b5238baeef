// PNG files of bitmaps, for screenshots (the same encoder on every target).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gui/bitmap.h"

namespace vellicor::gui {

// The bitmap as an RGB PNG; empty when the bitmap is empty or encoding fails.
std::vector<uint8_t> EncodePng(const Bitmap& bitmap);
// Writes the PNG to `path`; false when it cannot.
bool WritePng(const Bitmap& bitmap, const std::string& path);

}  // namespace vellicor::gui
