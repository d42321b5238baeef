// The editor at a scale: the same pictures at a finer resolution, the same gestures measured in
// the form's pixels, the size the user chooses, and where the session takes the scale from.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "gui/settings.h"
#include "tests/editor/editor_harness.h"
#include "tests/settings_folder.h"

namespace vellicor::testing {
namespace {

const gui::Scale k150 = gui::Scale::FromPercent(150), k200 = gui::Scale::FromPercent(200);

int Distance(gui::Color a, gui::Color b) {
  return std::max({std::abs(gui::RedOf(a) - gui::RedOf(b)),
                   std::abs(gui::GreenOf(a) - gui::GreenOf(b)),
                   std::abs(gui::BlueOf(a) - gui::BlueOf(b))});
}

// The share of form pixels whose 100 % colour the scaled frame, averaged back down (each form
// pixel the area-weighted mean of the screen pixels it covers), matches within `tolerance`.
double ShareWithin(const gui::Bitmap& unit, const gui::Bitmap& scaled, int tolerance) {
  const int q = scaled.scale().quarters();
  int within = 0;
  for (int y = 0; y < unit.pixel_height(); ++y) {
    for (int x = 0; x < unit.pixel_width(); ++x) {
      double sum[3] = {0, 0, 0}, area = 0;
      for (int sy = y * q / 4; sy * 4 < (y + 1) * q; ++sy) {
        for (int sx = x * q / 4; sx * 4 < (x + 1) * q; ++sx) {
          // Overlaps in quarters of a screen pixel.
          const double w = (std::min((sx + 1) * 4, (x + 1) * q) - std::max(sx * 4, x * q)) *
                           (std::min((sy + 1) * 4, (y + 1) * q) - std::max(sy * 4, y * q));
          const gui::Color c = scaled.ScreenPixel(sx, sy);
          sum[0] += w * gui::RedOf(c), sum[1] += w * gui::GreenOf(c), sum[2] += w * gui::BlueOf(c);
          area += w;
        }
      }
      const gui::Color mean = gui::Rgb(static_cast<int>(std::lround(sum[0] / area)),
                                       static_cast<int>(std::lround(sum[1] / area)),
                                       static_cast<int>(std::lround(sum[2] / area)));
      within += Distance(mean, unit.ScreenPixel(x, y)) <= tolerance;
    }
  }
  return within / (static_cast<double>(unit.pixel_width()) * unit.pixel_height());
}

// Of the form pixels of `area` a glyph's edge crosses at 100 % (32 levels or more from both
// the background and the ink), how many show as one colour in all their pixels at 200 %.
int FlatGlyphEdges(const gui::Bitmap& unit, const gui::Bitmap& scaled, const gui::Rect& area,
                   const std::function<gui::Color(int, int)>& background, int* edges) {
  int flat = 0;
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const gui::Color c = unit.ScreenPixel(x, y);
      if (Distance(c, background(x, y)) < 32 || Distance(c, gui::kBlack) < 32) continue;
      ++*edges;
      const gui::Color first = scaled.ScreenPixel(2 * x, 2 * y);
      flat += scaled.ScreenPixel(2 * x + 1, 2 * y) == first &&
              scaled.ScreenPixel(2 * x, 2 * y + 1) == first &&
              scaled.ScreenPixel(2 * x + 1, 2 * y + 1) == first;
    }
  }
  return flat;
}

class ScaledPictureTest : public OpenEditorTest {
 protected:
  void SetUp() override {
    OpenEditorTest::SetUp();
    Tick(1000);  // both timers have run: the envelope view shows the program
  }
  gui::Bitmap FrameAt(gui::Scale scale) {
    editor->SetScale(scale);
    return Headless().Frame();
  }
};

// At 200 % a form pixel is 2 x 2 screen pixels whose mean is the 100 % pixel: the artwork is
// evaluated at the centres around the one centre, antialiased edges cover the same area, glyphs
// are rasterised from the same outlines at twice their places. 24 levels take the rounding and
// the shading's curvature; what differs more (under 1 % of pixels) is what now lands within a
// form pixel rather than on one: glyph strokes, the envelope's curve and rings, the loop marks'
// slopes. At 150 % pictures also land up to a screen pixel from a 100 % pixel's place, so edges
// differ more: 32 levels for 95 %. Back at 100 % the frame is today's exactly.
TEST_F(ScaledPictureTest, TheScaledFrameAveragedDownIsTheHundredPercentFrame) {
  const std::function<void()> states[] = {[] {},
                                          [&] { Headless().Click(CentreOf("Image11")); },  // About
                                          [&] { Headless().Click(CentreOf("Evol")); }};
  for (const auto& show : states) {
    show();
    const gui::Bitmap unit = Headless().Frame();
    const gui::Bitmap scaled = FrameAt(k200);
    ASSERT_EQ(std::pair(scaled.pixel_width(), scaled.pixel_height()), std::pair(1270, 1024));
    EXPECT_GT(ShareWithin(unit, scaled, 24), 0.99);
    const gui::Bitmap fractional = FrameAt(k150);
    ASSERT_EQ(std::pair(fractional.pixel_width(), fractional.pixel_height()), std::pair(953, 768));
    EXPECT_GT(ShareWithin(unit, fractional, 32), 0.95);
    EXPECT_EQ(FrameAt(gui::Scale()), unit);
  }
}

// Text is rasterised at the scaled size, not enlarged: along every glyph's edge in the read-out
// the screen pixels of a form pixel differ.
TEST_F(ScaledPictureTest, TextAtTwoHundredPercentIsSharp) {
  const gui::Rect bar = editor->form().Find("PrintOut")->FormBounds();
  const gui::Bitmap behind = editor->ImageListNamed("iPrintOut")->strip();
  const gui::Bitmap unit = Headless().Frame();
  int edges = 0;
  EXPECT_EQ(
      FlatGlyphEdges(
          unit, FrameAt(k200), {bar.left + 2, bar.top + 2, bar.left + 160, bar.bottom - 3},
          [&](int x, int y) { return behind.ScreenPixel(x - bar.left, y - bar.top); }, &edges),
      0);
  EXPECT_GT(edges, 100);
}

// --- Input ------------------------------------------------------------------------------------

// Every automation the plug-in sends its host, in order, and the sizes it asks for.
std::vector<std::pair<int32_t, float>> g_automated;
std::vector<std::pair<int, int>> g_sizes;

intptr_t VST_CALL RecordingHost(vst::AEffect*, int32_t opcode, int32_t index, intptr_t value, void*,
                                float opt) {
  if (opcode == vst::audioMasterAutomate) g_automated.emplace_back(index, opt);
  if (opcode == vst::audioMasterSizeWindow) g_sizes.emplace_back(index, static_cast<int>(value));
  return opcode == vst::audioMasterVersion ? 2400 : opcode == vst::audioMasterSizeWindow;
}

class ScaledInputTest : public EditorTest {
 protected:
  // A fresh plug-in whose editor opens at `scale` as the command-line host asks for one, or
  // without one at whatever the user, host and system say.
  void OpenAt(std::optional<gui::Scale> scale) {
    g_automated.clear();
    g_sizes.clear();
    plugin = std::make_unique<APlugin>(RecordingHost);
    effect = plugin->getAeffect();
    requests::ScaleRecord size{sizeof size, scale.value_or(gui::Scale()).percent()};
    if (scale) {
      ASSERT_EQ(Request(requests::kSetScale, &size), 1);
    }
    ASSERT_NE(Open(), nullptr);
    scale_ = scale.value_or(gui::Scale());
  }
  // A point of a component in the form's pixels, where the mouse presses it on the screen.
  gui::Point Screen(std::string_view name, int x, int y) {
    const gui::Point form = At(name, x, y);
    return {scale_.ScreenPixelIn(form.x), scale_.ScreenPixelIn(form.y)};
  }
  void Drag(std::string_view name, int x0, int y0, int x1, int y1, unsigned modifiers = 0) {
    Headless().MouseDown(Screen(name, x0, y0), gui::MouseButton::kLeft, modifiers);
    Headless().MouseMove(Screen(name, (x0 + x1) / 2, (y0 + y1) / 2), modifiers);
    Headless().MouseMove(Screen(name, x1, y1), modifiers);
    Headless().MouseUp(Screen(name, x1, y1), gui::MouseButton::kLeft, modifiers);
  }

  gui::Scale scale_;
};

TEST_F(ScaledInputTest, TheSameGesturesGiveTheSameAutomationAtEveryScale) {
  std::vector<std::pair<int32_t, float>> at_unit;
  for (const gui::Scale scale : {gui::Scale(), k150, k200}) {
    SCOPED_TRACE(scale.percent());
    OpenAt(scale);
    ASSERT_EQ(Editor()->ClientWidth(), scale.ScreenSize(635));
    Drag("Hvolume", 30, 6, 71, 6);              // slider
    Drag("Hrel", 30, 6, 47, 6, gui::kShift);    // slider, fine steps
    Drag("DLPwm1", 16, 20, 16, 3);              // dial
    Drag("DlFm1", 16, 16, 25, 9, gui::kShift);  // dial, fine steps
    Click(Screen("mNrING1", 20, 6));            // toggle
    Click(Screen("MnFilter1", 20, 6));          // a menu choice
    EXPECT_TRUE(Headless().ChooseMenuItem("Fi07"));
    // Envelope 1's first point lies at (5, 5) of the view: 19 pixels off it a press drags it
    // (to y 60), 21 off it bends the segment.
    Drag("EnvI", 5 + 12, 5 + 7, 40, 60);
    Drag("EnvI", 5 + 14, 60 + 7, 40, 30);
    Click(Screen("EnvI", 300, 50), gui::kCtrl);  // the loop's start
    if (scale.unit()) {
      at_unit = g_automated;
      EXPECT_GT(at_unit.size(), 70u);
    } else {
      EXPECT_EQ(g_automated, at_unit);
    }
  }
}

// The controller menu ends with the sizes; choosing one resizes the window, asks the host for
// the room and keeps the choice.
TEST_F(ScaledInputTest, ASizeChosenInTheControllerMenuResizesTheWindowAndAsksTheHost) {
  SettingsFolder settings;
  OpenAt(std::nullopt);
  Click({3, 3}, gui::kCtrl, gui::MouseButton::kRight);
  const gui::PopupMenu* menu = Headless().open_menu();
  ASSERT_TRUE(menu != nullptr && menu->items.size() == 15u);
  EXPECT_EQ(menu->items[5].name, "ccnoteoff");
  EXPECT_EQ(menu->items[6].name, "AliasFree");
  EXPECT_EQ(menu->items[8].name, "Size100");
  EXPECT_EQ(menu->items[14].name, "Size300");
  ASSERT_TRUE(Headless().ChooseMenuItem("Size150"));
  EXPECT_EQ(std::pair(Editor()->ClientWidth(), Editor()->ClientHeight()), std::pair(953, 768));
  EXPECT_EQ(Headless().Frame().pixel_width(), 953);
  EXPECT_EQ(g_sizes, (std::vector<std::pair<int, int>>{{953, 768}}));
  EXPECT_EQ(gui::ReadUserScale(), k150);
}

// --- Where the scale comes from ---------------------------------------------------------------

struct NoHost final : EditorHost {
  float Value(int) const override { return 0.0f; }
  int Controller(int) const override { return param::kNoController; }
  void setParameterAutomated(int32_t, float) override {}
};

// The user's choice, then the host's factor, then the system's, then 1; the open window follows
// the one in force.
TEST(SessionScaleTest, TheUsersChoiceWinsOverTheHostsFactorOverTheSystemsOverOne) {
  SettingsFolder settings;
  NoHost host;
#if !defined(_WIN32)
  // The desktop's factor is the system's.
  const std::string before = std::getenv("GDK_SCALE") ? std::getenv("GDK_SCALE") : "";
  setenv("GDK_SCALE", "3", 1);
  const gui::Scale system = gui::Scale::FromPercent(300);
#else
  const gui::Scale system = gui::Scale::FromFactor(gui::SystemScaleFactor());
#endif
  EditorSession session(host);  // the editor itself, without a window system
  EXPECT_EQ(session.scale(), system);
  ASSERT_TRUE(session.Open(nullptr));
  session.SetHostScale(2.0);
  EXPECT_EQ(session.width(), 1270);
  ASSERT_TRUE(gui::WriteUserScale(gui::Scale::FromPercent(125)));
  EditorSession chosen(host);
  chosen.SetHostScale(2.0);
  EXPECT_EQ(chosen.width(), 794);                   // 125 %, 635 pixels rounded up
  chosen.ForceScale(gui::Scale::FromPercent(300));  // the command-line host's wins over all
  EXPECT_EQ(chosen.scale().percent(), 300);
#if !defined(_WIN32)
  before.empty() ? unsetenv("GDK_SCALE") : setenv("GDK_SCALE", before.c_str(), 1);
#endif
}

}  // namespace
}  // namespace vellicor::testing
