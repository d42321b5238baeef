// ImageList: frames of one size cut from a strip, drawn by index.
#pragma once

#include "gui/bitmap.h"

namespace vellicor::gui {

class ImageList {
 public:
  ImageList() = default;
  // Frames are read from `strip` left to right, then row by row; a strip narrower or lower
  // than one frame holds none. Frame sizes, in the strip's form pixels, are bounded to
  // 1..kMaxBitmapSide; the frames are drawn at the strip's scale.
  ImageList(int frame_width, int frame_height, Bitmap strip);

  int frame_width() const { return frame_width_; }
  int frame_height() const { return frame_height_; }
  int count() const { return columns_ * rows_; }
  const Bitmap& strip() const { return strip_; }

  // Drawn transparently (the default), each frame's own bottom-left pixel is keyed out, so a
  // frame lies on whatever was painted below it.
  bool transparent() const { return transparent_; }
  void set_transparent(bool transparent) { transparent_ = transparent; }

  // Draws frame `index` with its top-left corner at (x, y). An index outside 0..count()-1
  // draws nothing.
  void Draw(Bitmap& target, int x, int y, int index) const;

  // The frame as a bitmap of its own; empty for an index outside the list.
  Bitmap Frame(int index) const;

 private:
  Rect FrameRect(int index) const;

  int frame_width_ = 1;
  int frame_height_ = 1;
  int columns_ = 0;
  int rows_ = 0;
  bool transparent_ = true;
  Bitmap strip_;
};

}  // namespace vellicor::gui
