#include "gui/png.h"

#include <fstream>

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

namespace vellicor::gui {

namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

}  // namespace

std::vector<uint8_t> EncodePng(const Bitmap& bitmap) {
  std::vector<uint8_t> png;
  if (bitmap.empty()) return png;
  try {
    std::vector<uint8_t> rgb;
    rgb.reserve(bitmap.pixels().size() * 3);
    for (const Color c : bitmap.pixels()) {
      rgb.push_back(static_cast<uint8_t>(RedOf(c)));
      rgb.push_back(static_cast<uint8_t>(GreenOf(c)));
      rgb.push_back(static_cast<uint8_t>(BlueOf(c)));
    }
    if (stbi_write_png_to_func(Append, &png, bitmap.width(), bitmap.height(), 3, rgb.data(),
                               bitmap.width() * 3) == 0) {
      png.clear();
    }
  } catch (...) {
    png.clear();
  }
  return png;
}

bool WritePng(const Bitmap& bitmap, const std::string& path) {
  const std::vector<uint8_t> png = EncodePng(bitmap);
  if (png.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
  out.close();
  return !out.fail();
}

}  // namespace vellicor::gui
