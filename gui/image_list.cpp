#include "gui/image_list.h"

#include <algorithm>
#include <utility>

namespace vellicor::gui {

ImageList::ImageList(int frame_width, int frame_height, Bitmap strip)
    : frame_width_(std::clamp(frame_width, 1, kMaxBitmapSide)),
      frame_height_(std::clamp(frame_height, 1, kMaxBitmapSide)),
      strip_(std::move(strip)) {
  columns_ = strip_.width() / frame_width_;
  rows_ = strip_.height() / frame_height_;
  if (columns_ == 0 || rows_ == 0) columns_ = rows_ = 0;
}

Rect ImageList::FrameRect(int index) const {
  const int column = index % columns_;
  const int row = index / columns_;
  return Rect::XYWH(column * frame_width_, row * frame_height_, frame_width_, frame_height_);
}

void ImageList::Draw(Bitmap& target, int x, int y, int index) const {
  if (index < 0 || index >= count()) return;
  const Rect frame = FrameRect(index);
  std::optional<Color> key;
  if (transparent_) key = strip_.CornerColor(frame);
  target.Copy(strip_, frame, x, y, key);
}

Bitmap ImageList::Frame(int index) const {
  if (index < 0 || index >= count()) return {};
  Bitmap frame(frame_width_, frame_height_, kWhite, strip_.scale());
  frame.Copy(strip_, FrameRect(index), 0, 0);
  return frame;
}

}  // namespace vellicor::gui
