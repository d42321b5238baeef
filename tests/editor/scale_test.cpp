// The editor at a scale: the same pictures at a finer resolution, the same gestures measured in
// the form's pixels, the size the user chooses, and where the session takes the scale from.
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "editor/editor_session.h"
#include "gui/settings.h"
#include "tests/editor/editor_harness.h"
#include "tests/settings_folder.h"

namespace vellicor::testing {
namespace {

const gui::Scale k150 = gui::Scale::FromPercent(150);
const gui::Scale k200 = gui::Scale::FromPercent(200);

// How a scaled frame, averaged back down to the form's pixels (each form pixel the area-weighted
// mean of the screen pixels it covers), differs from the frame at 100 %: the mean of the largest
// channel difference per pixel, and the share of pixels within `tolerance` levels.
struct Difference {
  double mean = 0.0;
  double within = 0.0;
};

Difference Compare(const gui::Bitmap& unit, const gui::Bitmap& scaled, int tolerance) {
  const int q = scaled.scale().quarters();
  Difference d;
  int within = 0;
  for (int y = 0; y < unit.pixel_height(); ++y) {
    for (int x = 0; x < unit.pixel_width(); ++x) {
      // Form pixel x covers screen [x * q / 4, (x + 1) * q / 4): in quarters of a screen pixel.
      double sum[3] = {0, 0, 0};
      double area = 0;
      for (int sy = y * q / 4; sy * 4 < (y + 1) * q; ++sy) {
        const int wy = std::min((sy + 1) * 4, (y + 1) * q) - std::max(sy * 4, y * q);
        for (int sx = x * q / 4; sx * 4 < (x + 1) * q; ++sx) {
          const int wx = std::min((sx + 1) * 4, (x + 1) * q) - std::max(sx * 4, x * q);
          const gui::Color c = scaled.ScreenPixel(sx, sy);
          const double w = static_cast<double>(wx) * wy;
          sum[0] += w * gui::RedOf(c);
          sum[1] += w * gui::GreenOf(c);
          sum[2] += w * gui::BlueOf(c);
          area += w;
        }
      }
      const gui::Color u = unit.ScreenPixel(x, y);
      const double diff = std::max({std::abs(sum[0] / area - gui::RedOf(u)),
                                    std::abs(sum[1] / area - gui::GreenOf(u)),
                                    std::abs(sum[2] / area - gui::BlueOf(u))});
      d.mean += diff;
      within += diff <= tolerance;
    }
  }
  const double n = static_cast<double>(unit.pixel_width()) * unit.pixel_height();
  d.mean /= n;
  d.within = within / n;
  return d;
}

// The form pixels of `area` that a glyph's edge crosses at 100 % (at least 32 levels from both
// the background and the ink: partly covered, not merely rounded), and of those, how many show
// as one colour in all their screen pixels at `scaled`.
struct Edges {
  int edges = 0;
  int flat = 0;
};

int Distance(gui::Color a, gui::Color b) {
  return std::max({std::abs(gui::RedOf(a) - gui::RedOf(b)),
                   std::abs(gui::GreenOf(a) - gui::GreenOf(b)),
                   std::abs(gui::BlueOf(a) - gui::BlueOf(b))});
}

Edges GlyphEdges(const gui::Bitmap& unit, const gui::Bitmap& scaled, const gui::Rect& area,
                 const std::function<gui::Color(int x, int y)>& background, gui::Color ink) {
  Edges e;
  const int f = scaled.scale().quarters() / 4;  // a whole factor
  for (int y = area.top; y < area.bottom; ++y) {
    for (int x = area.left; x < area.right; ++x) {
      const gui::Color c = unit.ScreenPixel(x, y);
      if (Distance(c, background(x, y)) < 32 || Distance(c, ink) < 32) continue;
      ++e.edges;
      const gui::Color first = scaled.ScreenPixel(x * f, y * f);
      bool flat = true;
      for (int k = 0; k < f * f; ++k)
        flat &= scaled.ScreenPixel(x * f + k % f, y * f + k / f) == first;
      e.flat += flat;
    }
  }
  return e;
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
  // The centre of a component where the mouse presses it at `scale`.
  gui::Point ScreenCentreOf(std::string_view name, gui::Scale scale) {
    const gui::Point form = CentreOf(name);
    return {scale.ScreenPixelIn(form.x), scale.ScreenPixelIn(form.y)};
  }
};

// At 200 % every form pixel is two by two screen pixels. Averaged, they are the 100 % pixel: the
// artwork is evaluated at the four pixels' centres around the one centre (smooth shading and
// gradients average to within rounding), antialiased edges cover the same area, and glyphs are
// rasterised from the same outlines at exact multiples of their places. 24 levels take the
// rounding and the curvature of the shading; the share of 1 % takes what moves by less than a
// form pixel because it is placed at the finer resolution: the strokes of glyphs, the envelope's
// curve and rings, and the loop marks' slopes. Back at 100 %, the frame is today's exactly.
TEST_F(ScaledPictureTest, AtTwoHundredPercentTheFrameIsTheHundredPercentOneAtTwiceItsPixels) {
  const std::vector<std::pair<const char*, std::function<void()>>> states = {
      {"as opened", [] {}},
      {"About", [&] { Headless().Click(CentreOf("Image11")); }},
      {"evolver", [&] { Headless().Click(CentreOf("Evol")); }},
  };
  for (const auto& [name, show] : states) {
    SCOPED_TRACE(name);
    show();
    const gui::Bitmap unit = Headless().Frame();
    const gui::Bitmap scaled = FrameAt(k200);
    ASSERT_EQ(scaled.pixel_width(), 1270);
    ASSERT_EQ(scaled.pixel_height(), 1024);
    const Difference d = Compare(unit, scaled, 24);
    EXPECT_LT(d.mean, 1.0);
    EXPECT_GT(d.within, 0.99);
    EXPECT_EQ(FrameAt(gui::Scale()), unit);
  }
}

// At 150 % form pixels take one or two screen pixels and pictures land up to a screen pixel
// from where a 100 % pixel would put them, so edges differ more: 32 levels for 95 % of pixels.
TEST_F(ScaledPictureTest, AtOneHundredFiftyPercentTheFrameHasTheScaledSizeAndTheSamePicture) {
  const gui::Bitmap unit = Headless().Frame();
  const gui::Bitmap scaled = FrameAt(k150);
  EXPECT_EQ(scaled.pixel_width(), 953);
  EXPECT_EQ(scaled.pixel_height(), 768);
  EXPECT_EQ(editor->ClientWidth(), 953);
  EXPECT_EQ(editor->ClientHeight(), 768);
  const Difference d = Compare(unit, scaled, 32);
  EXPECT_LT(d.mean, 5.0);
  EXPECT_GT(d.within, 0.95);
}

// Text is rasterised at the scaled size, not enlarged: along every glyph's edge the screen
// pixels of a form pixel differ, in the read-out and in a menu.
TEST_F(ScaledPictureTest, TextAtTwoHundredPercentIsSharpInTheReadOutAndInMenus) {
  editor->PrintLabels("Volume  cc7", "-20dB");
  const gui::Rect readout = editor->form().Find("PrintOut")->FormBounds();
  const gui::Rect text{readout.left + 2, readout.top + 2, readout.left + 140, readout.bottom - 3};
  // The bar behind the text, at 100 %.
  const gui::Bitmap bar = editor->ImageListNamed("iPrintOut")->strip();
  const gui::Bitmap unit = Headless().Frame();
  const gui::Bitmap scaled = FrameAt(k200);
  const Edges in_readout = GlyphEdges(
      unit, scaled, text,
      [&](int x, int y) { return bar.ScreenPixel(x - readout.left, y - readout.top); },
      gui::kBlack);
  EXPECT_GT(in_readout.edges, 100);
  EXPECT_EQ(in_readout.flat, 0);

  auto menu_surface = [&](gui::Scale scale) {
    editor->SetScale(scale);
    Headless().Click(ScreenCentreOf("MnMode", scale));
    const gui::Bitmap* surface = Headless().menu_surface();
    gui::Bitmap copy = surface != nullptr ? *surface : gui::Bitmap();
    Headless().Key(gui::MenuKey::kEscape);
    return copy;
  };
  const gui::Bitmap menu = menu_surface(gui::Scale());
  const gui::Bitmap scaled_menu = menu_surface(k200);
  ASSERT_EQ(scaled_menu.pixel_width(), 2 * menu.pixel_width());
  const gui::Rect items = menu.bounds();
  const Edges in_menu = GlyphEdges(
      menu, scaled_menu, {3, 3, items.right - 3, items.bottom - 3},
      [](int, int) { return 0xCCCC99u; }, gui::kBlack);
  EXPECT_GT(in_menu.edges, 50);
  EXPECT_EQ(in_menu.flat, 0);
}

// --- Input ------------------------------------------------------------------------------------

// Every automation the plug-in sends its host, in order, and the sizes it asks for.
std::vector<std::pair<int32_t, float>> g_automated;
std::vector<std::pair<int, int>> g_sizes;

intptr_t VST_CALL RecordingHost(vst::AEffect*, int32_t opcode, int32_t index, intptr_t value, void*,
                                float opt) {
  if (opcode == vst::audioMasterAutomate) g_automated.emplace_back(index, opt);
  if (opcode == vst::audioMasterSizeWindow) {
    g_sizes.emplace_back(index, static_cast<int>(value));
    return 1;
  }
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

class ScaledInputTest : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    g_automated.clear();
    g_sizes.clear();
    plugin = std::make_unique<APlugin>(RecordingHost);
    effect = plugin->getAeffect();
  }
  // The plug-in's editor opened at `scale`, as the command-line host asks for one.
  void OpenAt(gui::Scale scale) {
    requests::ScaleRecord size{sizeof size, scale.percent()};
    ASSERT_EQ(Request(requests::kSetScale, &size), 1);
    ASSERT_NE(Open(), nullptr);
    scale_ = scale;
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
  void ClickAt(std::string_view name, int x, int y, unsigned modifiers = 0) {
    Click(Screen(name, x, y), modifiers);
  }
  // The gestures, as one table, and what the host heard of them.
  std::vector<std::pair<int32_t, float>> Gestures() {
    g_automated.clear();
    Drag("Hvolume", 30, 6, 71, 6);              // slider, coarse
    Drag("Hrel", 30, 6, 47, 6, gui::kShift);    // slider, fine steps
    Drag("DLPwm1", 16, 20, 16, 3);              // dial, coarse
    Drag("DlFm1", 16, 16, 25, 9, gui::kShift);  // dial, fine steps
    ClickAt("mNrING1", 20, 6);                  // toggle
    ClickAt("MnFilter1", 20, 6);                // menu choice
    EXPECT_TRUE(Headless().ChooseMenuItem("Fi07"));
    // The first point of envelope 1 lies at (5, 5) of the view: 19 pixels off it still drags
    // it, 21 off bends the segment instead.
    Drag("EnvI", 5 + 12, 5 + 7, 40, 60);
    Drag("EnvI", 5 + 14, 60 + 7, 40, 30);
    ClickAt("EnvI", 300, 50, gui::kCtrl);  // loop start
    return g_automated;
  }

  gui::Scale scale_;
};

TEST_F(ScaledInputTest, TheSameGesturesGiveTheSameAutomationAtEveryScale) {
  std::vector<std::pair<int32_t, float>> at_unit;
  for (const gui::Scale scale : {gui::Scale(), k150, k200}) {
    SCOPED_TRACE(scale.percent());
    plugin = std::make_unique<APlugin>(RecordingHost);
    effect = plugin->getAeffect();
    OpenAt(scale);
    ASSERT_EQ(Editor()->ClientWidth(), scale.ScreenSize(635));
    const auto heard = Gestures();
    if (scale.unit()) {
      at_unit = heard;
      EXPECT_GT(at_unit.size(), 70u);  // the envelope's commits among them
    } else {
      EXPECT_EQ(heard, at_unit);
    }
  }
}

// The controller menu offers the sizes after its own items; a choice resizes the window and
// the host is asked for the room.
TEST_F(ScaledInputTest, ASizeChosenInTheControllerMenuResizesTheWindowAndAsksTheHost) {
  SettingsFolder settings;
  ASSERT_NE(Open(), nullptr);
  auto open_menu = [&] {
    Click({3, 3}, gui::kCtrl, gui::MouseButton::kRight);
    return Headless().open_menu();
  };
  const gui::PopupMenu* menu = open_menu();
  ASSERT_NE(menu, nullptr);
  std::vector<std::string> names;
  for (const gui::MenuItem& item : menu->items) names.push_back(item.name);
  ASSERT_GE(names.size(), 14u);
  EXPECT_EQ(names[5], "ccnoteoff");
  EXPECT_EQ(std::vector<std::string>(names.end() - 7, names.end()),
            (std::vector<std::string>{"Size100", "Size125", "Size150", "Size175", "Size200",
                                      "Size250", "Size300"}));
  ASSERT_TRUE(Headless().ChooseMenuItem("Size150"));
  EXPECT_EQ(Editor()->ClientWidth(), 953);
  EXPECT_EQ(Editor()->ClientHeight(), 768);
  EXPECT_EQ(Headless().Frame().pixel_width(), 953);
  EXPECT_EQ(g_sizes, (std::vector<std::pair<int, int>>{{953, 768}}));
  EXPECT_EQ(gui::ReadUserScale(), k150);
  // The menu at the new size marks it: its item differs from the same item unmarked.
  ASSERT_NE(open_menu(), nullptr);
  auto item_pixels = [&](std::string_view name) {
    const gui::Rect menu_rect = Headless().menu_rect();
    const gui::Rect item = Headless().menu_item_rect(Headless().menu_item_index(name));
    gui::Bitmap pixels(item.width(), item.height());
    pixels.Copy(*Headless().menu_surface(), item.Offset(-menu_rect.left, -menu_rect.top), 0, 0);
    return pixels;
  };
  const gui::Bitmap marked = item_pixels("Size150");
  const gui::Bitmap plain = item_pixels("Size250");
  int differing_columns = 0;
  for (int x = 0; x < marked.pixel_width(); ++x) {
    bool same = true;
    for (int y = 0; y < marked.pixel_height(); ++y)
      same &= marked.ScreenPixel(x, y) == plain.ScreenPixel(x, y);
    differing_columns += !same;
  }
  EXPECT_GT(differing_columns, 0);
  Headless().Key(gui::MenuKey::kEscape);
}

// --- Where the scale comes from ---------------------------------------------------------------

// A window that records the scales it is given.
std::vector<int> g_window_scales;

class RecordingWindow final : public EditorWindow {
 public:
  int ClientWidth() const override { return scale_.ScreenSize(635); }
  int ClientHeight() const override { return scale_.ScreenSize(512); }
  void Show() override {}
  void Hide() override {}
  void PaintPending() override {}
  void Timer2Timer() override {}
  void SetScale(gui::Scale scale) override {
    scale_ = scale;
    g_window_scales.push_back(scale.percent());
  }

 private:
  gui::Scale scale_;
};

std::unique_ptr<EditorWindow> MakeRecordingWindow(void*, EditorValues*) {
  return std::make_unique<RecordingWindow>();
}

class NoHost final : public EditorHost {
 public:
  float Value(int) const override { return 0.0f; }
  int Controller(int) const override { return param::kNoController; }
  void setParameterAutomated(int32_t, float) override {}
};

// The user's choice, then the host's factor, then the system's, then 1; the window follows
// each change of the one in force.
TEST(SessionScaleTest, TheUsersChoiceWinsOverTheHostsFactorOverTheSystemsOverOne) {
  SettingsFolder settings;
#if !defined(_WIN32)
  const char* desktop = std::getenv("GDK_SCALE");
  const std::string desktop_before = desktop != nullptr ? desktop : "";
  unsetenv("GDK_SCALE");
#endif
  NoHost host;
  g_window_scales.clear();
  {
    EditorSession session(host, MakeRecordingWindow);
    const int system = gui::Scale::FromFactor(gui::SystemScaleFactor()).percent();
    EXPECT_EQ(session.scale().percent(), system);
    ASSERT_TRUE(session.Open(nullptr));
    session.SetHostScale(2.0);
    EXPECT_EQ(session.width(), 1270);
    session.SetHostScale(0.0);  // the host says nothing again
    EXPECT_EQ(g_window_scales, (std::vector<int>{system, 200, system}));
  }
#if !defined(_WIN32)
  // The desktop's factor is the system's.
  setenv("GDK_SCALE", "3", 1);
  {
    EditorSession session(host, MakeRecordingWindow);
    EXPECT_EQ(session.scale().percent(), 300);
    session.SetHostScale(1.5);
    EXPECT_EQ(session.scale(), k150);
  }
#endif
  ASSERT_TRUE(gui::WriteUserScale(gui::Scale::FromPercent(125)));
  {
    EditorSession session(host, MakeRecordingWindow);
    session.SetHostScale(2.0);
    EXPECT_EQ(session.scale().percent(), 125);
    EXPECT_EQ(session.width(), 794);  // 635 at 125 %, rounded up
    // The command-line host's size wins over them all.
    session.ForceScale(gui::Scale::FromPercent(300));
    EXPECT_EQ(session.scale().percent(), 300);
  }
#if !defined(_WIN32)
  if (desktop_before.empty()) {
    unsetenv("GDK_SCALE");
  } else {
    setenv("GDK_SCALE", desktop_before.c_str(), 1);
  }
#endif
}

}  // namespace
}  // namespace vellicor::testing
