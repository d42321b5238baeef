// The component tree: composition, repainting, hit-testing and mouse capture.
#include "gui/form.h"

#include <gtest/gtest.h>

#include <limits>

namespace vellicor::gui {
namespace {

Image& SolidImage(Form& form, const char* name, const Rect& r, Color c, Panel* parent = nullptr) {
  Image& image = form.AddImage(name, r, parent);
  image.Edit().Fill(c);
  return image;
}

TEST(Form, ComposesPanelsAboveImagesChildrenCutToTheirPanelAndKeyedImagesThroughTheirKey) {
  Form form(100, 80, kWhite);
  Panel& panel = form.AddPanel("Panel1", Rect::XYWH(10, 10, 30, 20));
  panel.SetColor(0x0000FF);
  // Added after the panel, yet drawn below it: images lie below panels.
  SolidImage(form, "Below", Rect::XYWH(0, 0, 20, 20), 0xFF0000);
  // A child larger than its panel is cut to the panel.
  SolidImage(form, "Child", Rect::XYWH(5, 5, 100, 100), 0x00FF00, &panel);
  // Over a back image: a keyed dial with grey corners, like a dial buffer, and an image whose
  // bitmap is smaller than the component, which leaves the rest uncovered.
  SolidImage(form, "Back", Rect::XYWH(50, 40, 20, 20), 0x112233);
  Image& dial = form.AddImage("Dial", Rect::XYWH(52, 42, 6, 6));
  dial.Edit().Fill(kGrey);
  dial.Edit().FillRect({1, 1, 5, 5}, kBlack);
  dial.SetTransparent(true);
  form.AddImage("Small", Rect::XYWH(60, 50, 8, 8)).SetBitmap(Bitmap(2, 2, 0xABCDEF));
  form.Compose();
  const std::pair<Point, Color> expected[] = {
      {{5, 5}, 0xFF0000},   {{12, 12}, 0x0000FF}, {{16, 16}, 0x00FF00},
      {{39, 29}, 0x00FF00}, {{40, 30}, kWhite},   {{52, 42}, 0x112233},
      {{54, 44}, kBlack},   {{61, 51}, 0xABCDEF}, {{63, 53}, 0x112233}};
  for (const auto& [at, color] : expected) {
    EXPECT_EQ(form.frame().Pixel(at.x, at.y), color) << at.x << "," << at.y;
  }
}

TEST(Form, RepaintsOnlyWhatChanged) {
  Form form(200, 100);
  Panel& panel = form.AddPanel("P", Rect::XYWH(50, 20, 40, 40));
  Image& image = SolidImage(form, "Img", Rect::XYWH(30, 30, 20, 20), kBlack, &panel);
  form.Compose();
  EXPECT_FALSE(form.dirty());
  image.Edit().SetPixel(0, 0, kWhite);
  // Only the part inside the panel shows, so only that is repainted.
  EXPECT_EQ(form.Compose(), std::vector<Rect>({Rect{80, 50, 90, 60}}));
  panel.SetVisible(false);
  EXPECT_EQ(form.Compose(), std::vector<Rect>({Rect{50, 20, 90, 60}}));
  EXPECT_EQ(form.frame().Pixel(85, 55), kWhite);
  image.Edit();  // a hidden parent hides it: nothing to repaint
  EXPECT_FALSE(form.dirty());
}

TEST(Form, ExtremeBoundsAreBounded) {
  Form form(50, 50);
  const int far = std::numeric_limits<int>::max();
  Image& image = form.AddImage("Huge", {-far - 1, -far - 1, far, far});
  EXPECT_EQ(image.bounds().width(), kMaxBitmapSide);
  image.Edit().Fill(kBlack);  // a bitmap of the bounded size, no larger
  EXPECT_EQ(image.bitmap().width(), kMaxBitmapSide);
  image.SetBounds({far - 5, far - 5, far, far});
  form.Compose();
  EXPECT_EQ(form.frame().Pixel(10, 10), kWhite);
  EXPECT_EQ(form.HitTest({10, 10}), nullptr);
}

TEST(Form, HitTestPicksTheTopmostShowingEnabledComponent) {
  Form form(100, 100);
  Image& back = SolidImage(form, "Image1", Rect::XYWH(0, 0, 100, 100), kWhite);
  Image& low = SolidImage(form, "Low", Rect::XYWH(10, 10, 20, 20), kBlack);
  Image& high = SolidImage(form, "High", Rect::XYWH(15, 15, 20, 20), kBlack);
  Panel& panel = form.AddPanel("Pabout", Rect::XYWH(50, 50, 40, 40));
  Image& inner = SolidImage(form, "Abouti", Rect::XYWH(0, 0, 10, 10), kBlack, &panel);

  EXPECT_EQ(form.HitTest({12, 12}), &low);
  EXPECT_EQ(form.HitTest({20, 20}), &high);
  high.SetVisible(false);
  EXPECT_EQ(form.HitTest({20, 20}), &low);
  low.SetEnabled(false);
  EXPECT_EQ(form.HitTest({20, 20}), &back);
  high.SetVisible(true);
  high.BringToFront();
  EXPECT_EQ(form.HitTest({20, 20}), &high);
  high.SendToBack();
  EXPECT_EQ(form.HitTest({20, 20}), &back);

  EXPECT_EQ(form.HitTest({52, 52}), &inner);
  EXPECT_EQ(form.HitTest({80, 80}), &panel);  // a panel covers what is below it
  panel.SetVisible(false);
  EXPECT_EQ(form.HitTest({52, 52}), &back);
  back.SetVisible(false);
  EXPECT_EQ(form.HitTest({80, 80}), nullptr);
  EXPECT_EQ(form.HitTest({-1, 5}), nullptr);
  EXPECT_EQ(form.Find("abouti"), &inner);
  EXPECT_EQ(form.FindPanel("ABOUTI"), nullptr);
}

TEST(Form, PressedImageKeepsTheMouseUntilEveryButtonIsReleasedAndALeftReleaseInsideClicks) {
  Form form(200, 100);
  Panel& panel = form.AddPanel("Panel7", Rect::XYWH(100, 0, 100, 100));
  SolidImage(form, "Hvolume", Rect::XYWH(0, 10, 100, 13), kBlack, &panel);
  SolidImage(form, "Htempo", Rect::XYWH(10, 20, 50, 50), kBlack);

  auto down = form.Mouse(MouseAction::kDown, {105, 15}, MouseButton::kLeft, kShift);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(down[0].name, "HVOLUME");
  EXPECT_EQ(down[0].pos, (Point{5, 5}));
  EXPECT_TRUE(down[0].shift());
  EXPECT_EQ(down[0].state & kLeftHeld, kLeftHeld);

  // Over another image, and outside the form: still the pressed image, in its coordinates.
  auto move = form.Mouse(MouseAction::kMove, {20, 30}, MouseButton::kNone, 0);
  ASSERT_EQ(move.size(), 1u);
  EXPECT_EQ(move[0].name, "HVOLUME");
  EXPECT_EQ(move[0].pos, (Point{-80, 20}));
  EXPECT_EQ(form.Mouse(MouseAction::kMove, {-50, 500}, MouseButton::kNone, 0)[0].name, "HVOLUME");
  // A second button joins the same capture; releasing one keeps it.
  EXPECT_EQ(form.Mouse(MouseAction::kDown, {20, 30}, MouseButton::kRight, 0)[0].name, "HVOLUME");
  EXPECT_EQ(form.Mouse(MouseAction::kUp, {20, 30}, MouseButton::kRight, 0)[0].name, "HVOLUME");
  EXPECT_EQ(form.Mouse(MouseAction::kMove, {20, 30}, MouseButton::kNone, 0)[0].name, "HVOLUME");
  // Released outside the image: an up, no click; then the mouse is free again.
  auto up = form.Mouse(MouseAction::kUp, {20, 30}, MouseButton::kLeft, kCtrl | kAlt);
  ASSERT_EQ(up.size(), 1u);
  EXPECT_EQ(up[0].action, MouseAction::kUp);
  EXPECT_TRUE(up[0].ctrl() && up[0].alt());
  EXPECT_EQ(up[0].state & (kLeftHeld | kRightHeld), 0u);
  EXPECT_EQ(form.Mouse(MouseAction::kMove, {20, 30}, MouseButton::kNone, 0)[0].name, "HTEMPO");

  // A left release inside the pressed image clicks first; a right one does not click.
  form.Mouse(MouseAction::kDown, {15, 25}, MouseButton::kLeft, 0);
  up = form.Mouse(MouseAction::kUp, {59, 69}, MouseButton::kLeft, 0);
  ASSERT_EQ(up.size(), 2u);
  EXPECT_EQ(up[0].action, MouseAction::kClick);
  EXPECT_EQ(up[1].action, MouseAction::kUp);
  EXPECT_EQ(up[1].name, "HTEMPO");
  form.Mouse(MouseAction::kDown, {15, 25}, MouseButton::kRight, 0);
  EXPECT_EQ(form.Mouse(MouseAction::kUp, {15, 25}, MouseButton::kRight, 0).size(), 1u);
  // A menu took the press: its release is not the image's.
  form.Mouse(MouseAction::kDown, {15, 25}, MouseButton::kLeft, 0);
  form.ReleaseCapture();
  EXPECT_TRUE(form.Mouse(MouseAction::kUp, {15, 25}, MouseButton::kLeft, 0).empty());
  // On the form's own background the event carries no component.
  auto bare = form.Mouse(MouseAction::kDown, {80, 80}, MouseButton::kLeft, 0);
  EXPECT_EQ(bare[0].component, nullptr);
  EXPECT_EQ(bare[0].name, "");
}

}  // namespace
}  // namespace vellicor::gui
