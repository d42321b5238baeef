// The editor's pictures, painted by code when the editor opens: the panel face (background and
// panel bitmaps, with every section title and caption), the control frames and their strips,
// the read-out bar, the envelope view's background, and the About and evolver bitmaps.
//
// Every picture is painted at a scale: in the form's pixels, at the screen's resolution (see
// gui::Bitmap), the same pixels as ever at 100 %.
//
// Control frames carry their transparent colour in the bottom-left pixel, as image lists key
// them; that colour appears nowhere else in a frame. Dial and slider pixels never equal the
// buffers' grey, and label and plate pixels are never pure white, so the keying of the
// composed control images leaves only the intended corners see-through.
#pragma once

#include <span>
#include <string_view>

#include "gui/bitmap.h"
#include "gui/scale.h"

namespace vellicor::editor::artwork {

// Frame geometry of the image lists.
constexpr int kDialSize = 31;
constexpr int kDialFrames = 30;  // 0..28 turn the marker from 0 to 1; 29 repeats 28
constexpr int kDialUsedFrames = 29;
constexpr int kTrackWidth = 100;
constexpr int kTrackHeight = 13;
constexpr int kKnobSize = 9;
constexpr int kLabelWidth = 40;
constexpr int kLabelHeight = 13;
constexpr int kPrintOutWidth = 321;
constexpr int kPrintOutHeight = 23;

// The whole panel face: the background bitmap (636 x 514, shown from form row -1) and each
// panel's background bitmap cut from the same face, so panels sit seamlessly on it.
struct Face {
  gui::Bitmap background;
  // The bitmap for a panel background image (Image2 .. Image9) by image name; empty for
  // other names.
  gui::Bitmap PanelImage(std::string_view image) const;

  gui::Bitmap full;  // form coordinates offset by (kFaceLeft, kFaceTop)
};
constexpr int kFaceLeft = 2;  // the face reaches 2 pixels left of the form (Panel9 at x = -2)
constexpr int kFaceTop = 1;   // and 1 row above it (the background at y = -1)
Face MakeFace(gui::Scale scale);

// The colour of the face around the read-out bar, for its panel.
gui::Color FaceColor();

gui::Bitmap DialStrip(gui::Scale scale);    // kDialFrames frames of 31 x 31 in a row
gui::Bitmap SliderTrack(gui::Scale scale);  // 100 x 13
gui::Bitmap SliderKnob(gui::Scale scale);   // 9 x 9
gui::Bitmap PrintOutBar(gui::Scale scale);  // 321 x 23
gui::Bitmap OnOffStrip(gui::Scale scale);   // off (dark plate), on (light plate), 40 x 13 each
// One 40 x 13 label per text, white capitals on a grey-blue plate, in a row.
gui::Bitmap LabelStrip(std::span<const std::string_view> texts, gui::Scale scale);
gui::Bitmap PointBox(gui::Scale scale);   // 60 x 14, the envelope view's point read-out box
gui::Bitmap LoopMarks(gui::Scale scale);  // 2 frames of 14 x 14: loop start, loop end

gui::Bitmap EvolButton(gui::Scale scale);                               // 101 x 31
gui::Bitmap EnvelopeBackground(gui::Scale scale);                       // 610 x 110
gui::Bitmap AboutBitmap(std::string_view maker, gui::Scale scale);      // 200 x 200
gui::Bitmap EvolverBitmap(gui::Scale scale);                            // 284 x 347
gui::Bitmap EvolverSlot(int slot, gui::Scale scale);                    // 53 x 53, slots 0..8
gui::Bitmap EvolverButton(std::string_view caption, gui::Scale scale);  // 69 x 25

// The frame texts of the envelope panel's snap and modifier lists, which show no parameter (the
// lists of parameter selectors take theirs from editor/menu_tables.h).
extern const std::span<const std::string_view> kSnapLabels;      // Ipt
extern const std::span<const std::string_view> kModifierLabels;  // IeCOmm

}  // namespace vellicor::editor::artwork
