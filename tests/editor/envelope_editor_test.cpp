// The envelope panel through the real form in a headless window.
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "gui/text_file.h"
#include "patch/envelope_file.h"
#include "tests/editor/editor_harness.h"

namespace vellicor::testing {
namespace {

namespace ee = envelope_edit;

struct Pt {
  float time, level, curve = 0.5f;
};

class EnvelopeEditorTest : public OpenEditorTest {
 protected:
  void SetUp() override {
    OpenEditorTest::SetUp();
    plugin->setParameter(ee::kShownIndex, ee::EncodeShown(0));
    SetLength(24);  // 4 quarter beats
  }
  // Envelope 1 (the one shown) from points, with a loop.
  void Set(const std::vector<Pt>& points, int loop_start = 0, int loop_end = 0) {
    ee::Envelope env{{}, {}, {}, static_cast<int>(points.size()) - 1, loop_start, loop_end};
    for (size_t j = 0; j < points.size(); ++j) {
      env.time[j] = points[j].time;
      env.level[j] = points[j].level;
      env.curve[j] = points[j].curve;
    }
    ee::Commit(env, 0, [this](int i, float v) { plugin->setParameter(i, v); });
  }
  void SetLength(int k) { plugin->setParameter(ee::LengthIndex(0), (k + 0.5f) / 49.99f); }
  ee::Envelope Stored(int e = 0) {
    return ee::Load(e, [this](int i) { return plugin->getParameter(i); });
  }
  // The stored envelope as text: "time,level" per point ("~curve" where it is not 0.5), then
  // the loop. Six significant digits: as close as EXPECT_FLOAT_EQ would compare.
  std::string Shape(int e = 0) {
    const ee::Envelope env = Stored(e);
    std::string shape;
    char text[64];
    for (int j = 0; j <= env.last; ++j) {
      int n = std::snprintf(text, sizeof text, "%g,%g", env.time[j], env.level[j]);
      if (env.curve[j] != 0.5f) n += std::snprintf(text + n, sizeof text - n, "~%g", env.curve[j]);
      shape.append(text, n) += ' ';
    }
    return shape + "[" + std::to_string(env.loop_start) + "-" + std::to_string(env.loop_end) + "]";
  }
  // A point of the view in the form's pixels.
  gui::Point At(int x, int y) { return EditorTest::At("EnvI", x, y); }
  void Drag(int x0, int y0, int x1, int y1, unsigned modifiers = 0) {
    Headless().MouseDown(At(x0, y0), gui::MouseButton::kLeft, modifiers);
    Headless().MouseMove(At(x1, y1), modifiers | gui::kLeftHeld);
    Headless().MouseUp(At(x1, y1), gui::MouseButton::kLeft, modifiers);
  }
  // A command of the view's right-button menu (or its Presets submenu), given a file: with it
  // as the answer to the file dialog the command opens.
  void Command(const char* item, const std::string& file = {}) {
    if (!file.empty()) Headless().SetFileDialogAnswer(file);
    Headless().MouseDown(At(300, 50), gui::MouseButton::kRight);
    ASSERT_TRUE(Headless().ChooseMenuItem(item)) << item;
    if (!file.empty()) Tick();
  }
};

TEST_F(EnvelopeEditorTest, DragsStayBetweenTheNeighboursShiftInsertsCtrlAndAltSetTheLoop) {
  const struct {
    int from_x, from_y, to_x, to_y;
    const char* shape;
  } cases[] = {
      {5, 55, 300, -50, "0,1 0.5,0.5 1,0.5 [0-0]"},          // point 0 keeps time 0
      {605, 55, 100, 200, "0,0.5 0.5,0.5 1,0 [0-0]"},        // the last point keeps time 1
      {305, 55, 700, 55, "0,0.5 0.999,0.5 1,0.5 [0-0]"},     // not past the right neighbour
      {305, 55, -40, 55, "0,0.5 0.001,0.5 1,0.5 [0-0]"},     // nor the left one
      {325, 55, 325, 25, "0,0.5 0.533333,0.8 1,0.5 [0-0]"},  // 20 pixels away still grabs
      {326, 55, 326, 25, "0,0.5 0.5,0.5~0.8 1,0.5 [0-0]"},   // 21: the segment there bends
  };
  for (const auto& c : cases) {
    Set({{0, 0.5f}, {0.5f, 0.5f}, {1, 0.5f}});
    Drag(c.from_x, c.from_y, c.to_x, c.to_y);
    EXPECT_EQ(Shape(), c.shape) << c.to_x;
  }
  Set({{0, 0.5f}, {0.5f, 0.5f}, {1, 0.5f}});
  Headless().MouseDown(At(305, 55));
  Headless().MouseMove(At(155, 30), gui::kLeftHeld);
  EXPECT_EQ(editor->ReadOutText(), "Point 2 :: 25% ( 1qb ) , 75%");
  Headless().MouseUp(At(155, 30));

  Set({{0, 0}, {1, 0}});
  Drag(305, 30, 200, 45, gui::kShift);  // inserted at the press, then dragged
  EXPECT_EQ(Shape(), "0,0 0.325,0.6 1,0 [0-0]");
  // Loop end at point 0, before the start, then loop start at point 2, after the end; no drag
  // follows either.
  Set({{0, 0}, {1 / 3.0f, 0}, {2 / 3.0f, 0}, {1, 0}}, 1, 2);
  Drag(100, 50, 300, 10, gui::kAlt);
  EXPECT_EQ(Shape(), "0,0 0.333333,0 0.666667,0 1,0 [0-1]");
  Drag(500, 50, 100, 10, gui::kCtrl);
  EXPECT_EQ(Shape(), "0,0 0.333333,0 0.666667,0 1,0 [1-2]");
}

TEST_F(EnvelopeEditorTest, SnappingOnReleaseAndTheCommitTheHostHears) {
  Choose("MnSnapp", "SpQ1");
  Choose("MnSnapt", "st3");  // one octave: twelve steps
  Set({{0, 0.5f}, {0.5f, 0.5f}, {1, 0.5f}});
  const int before = g_automation.count;
  Headless().MouseDown(At(305, 55));
  Headless().MouseMove(At(185, 75), gui::kLeftHeld);  // time 0.3, level 0.3
  // One commit: three values for each of the twenty points, then the three indices.
  EXPECT_EQ(g_automation.count - before, 2 * ee::kCommitWrites);
  EXPECT_EQ(g_automation.index, ee::LoopEndIndex(0));
  Headless().MouseUp(At(185, 75));
  EXPECT_EQ(editor->ReadOutText(), "Point 2 :: 25% ( 1qb ) , 4 semitones");
  EXPECT_EQ(Shape(), "0,0.5 0.25,0.333333 1,0.5 [0-0]");

  SetLength(14);  // one quarter beat: no time snapping
  Drag(155, 55, 185, 75);
  EXPECT_EQ(Shape(), "0,0.5 0.3,0.333333 1,0.5 [0-0]");
}

TEST_F(EnvelopeEditorTest, PointCommandsShiftTheLoopAndRefuseWhatCannotBe) {
  Set({{0, 0}, {0.2f, 0.4f, 0.4f}, {0.6f, 0.8f, 0.6f}, {1, 0}}, 1, 3);
  Drag(125, 65, 125, 65);  // select point 1
  Command("EAddPoint");
  EXPECT_EQ(Shape(), "0,0 0.2,0.4~0.4 0.4,0.6 0.6,0.8~0.6 1,0 [1-4]");
  Command("EDelPoint");
  EXPECT_EQ(Shape(), "0,0 0.4,0.6 0.6,0.8~0.6 1,0 [1-3]");

  Set({{0, 0}, {1, 1}});
  const ee::Envelope two = Stored();
  Command("EDelPoint");
  Command("Epaste");  // nothing copied yet
  EXPECT_EQ(Stored(), two);

  Set({{0, 0.2f}, {0.5f, 0.6f}, {1, 1}});
  Command("Edouble");
  EXPECT_EQ(Shape(), "0,0.2 0.25,0.6 0.5,1 0.5,0.2 0.75,0.6 1,1 [0-5]");
  // Doubled eleven points would need more than twenty: nothing changes.
  std::vector<Pt> eleven;
  for (int k = 0; k <= 10; ++k) eleven.push_back({k / 10.0f, 0.1f * k});
  Set(eleven);
  const ee::Envelope elevens = Stored();
  Command("Edouble");
  EXPECT_EQ(Stored(), elevens);
}

TEST_F(EnvelopeEditorTest, UndoClipboardAndPresets) {
  Set({{0, 0}, {0.5f, 0.5f}, {1, 0}});
  const ee::Envelope original = Stored();
  Command("EUndo");  // nothing to undo yet
  EXPECT_EQ(Stored(), original);
  Drag(305, 55, 200, 20);
  ASSERT_NE(Stored(), original);
  Command("EUndo");
  EXPECT_EQ(Stored(), original);
  Command("EUndo");
  EXPECT_EQ(Stored(), original);

  // The clipboard is the editor's: copied from envelope 1, pasted into envelope 2.
  Command("Ecopy");
  Choose("MnEnv", "Env1");
  EXPECT_FLOAT_EQ(plugin->getParameter(ee::kShownIndex), 1.1f / 20.99f);
  Command("Epaste");
  EXPECT_EQ(Stored(1), original);

  Command("ESineP");
  const ee::Envelope sine = Stored(1);
  EXPECT_EQ(sine.last, 16);
  EXPECT_EQ(sine.loop_end, 16);
  EXPECT_FLOAT_EQ(sine.time[4], 0.25f);
  EXPECT_NEAR(sine.level[4], 1.0f, 1e-6);
  EXPECT_NEAR(sine.level[8], 0.5f, 1e-5);
}

TEST_F(EnvelopeEditorTest, ModifiersRecomputeFromTheStartAndSmoothAlternates) {
  Set({{0, 0.1f}, {0.25f, 0.2f}, {0.5f, 0.3f}, {0.75f, 0.4f}, {1, 0.5f}}, 1, 3);
  Choose("Ecomm", "EcMove");
  const gui::Rect slider = editor->form().Find("HControl")->FormBounds();
  auto slide = [&](std::vector<int> xs) {
    Headless().MouseDown({slider.left + xs[0], slider.top + 6});
    for (int x : xs) Headless().MouseMove({slider.left + x, slider.top + 6}, gui::kLeftHeld);
    Headless().MouseUp({slider.left + xs.back(), slider.top + 6});
  };
  slide({90, 10});  // at position 0 the loop is as it was
  EXPECT_EQ(Shape(), "0,0.1 0.25,0.2 0.5,0.3 0.75,0.4 1,0.5 [1-3]");
  slide({90});  // fully right: each takes its right neighbour's level, the last the first's
  EXPECT_EQ(Shape(), "0,0.1 0.25,0.3 0.5,0.4 0.75,0.2 1,0.5 [1-3]");

  // Two releases so far: Smooth pulls towards the left neighbour, then the right one, both
  // times from the levels the menu found (0.1, 0.3, 0.4, 0.2, 0.5).
  Choose("Ecomm", "EcSmooth");
  slide({10});
  EXPECT_EQ(Shape(), "0,0.1 0.25,0.3 0.5,0.3 0.75,0.4 1,0.5 [1-3]");
  slide({10});
  EXPECT_EQ(Shape(), "0,0.1 0.25,0.4 0.5,0.2 0.75,0.4 1,0.5 [1-3]");
}

TEST_F(EnvelopeEditorTest, DestinationsStoreTheirChoiceOnlyWhileOneIsEdited) {
  Choose("MnAmpEnv", "E9");
  EXPECT_FLOAT_EQ(plugin->getParameter(3), 8.5f / 10.99f);
  plugin->setParameter(169, 3.5f / 10.99f);  // the LFO panel shows LFO 4
  Choose("MnELFOAMP", "e3");
  EXPECT_FLOAT_EQ(plugin->getParameter(193), 2.5f / 10.99f);
  EXPECT_TRUE(ImageNamed("MnELFOAMP").bitmap() == ExpectedSelector("Ienv", 10.99f, 2.5f / 10.99f));
  Choose("MnEnvFm2", {}, gui::kShift);
  EXPECT_EQ(Headless().open_menu(), nullptr);
  EXPECT_EQ(editor->DestIndex, -1);
}

TEST_F(EnvelopeEditorTest, SavesAndLoadsFilesThroughTheDialogs) {
  const std::string path = ::testing::TempDir() + "vellicor_envelope_test.env";
  Set({{0, 0.25f}, {0.5f, 1}, {1, 0}}, 0, 2);
  Command("ESave", path);
  const ee::Envelope saved = Stored();
  EXPECT_EQ(gui::ReadWholeFile(path, 1 << 16),
            envelope_file::Format(saved, plugin->getParameter(ee::LengthIndex(0))));

  // Into envelope 2: the file's points, loop and length.
  Choose("MnEnv", "Env1");
  Command("ELoad", path);
  EXPECT_EQ(Stored(1), saved);
  EXPECT_EQ(plugin->getParameter(ee::LengthIndex(1)), plugin->getParameter(ee::LengthIndex(0)));

  // A file cut short changes nothing and tells the host nothing.
  { std::ofstream(path, std::ios::binary) << "3\r\n0\r\n"; }
  Command("EClear");
  const int heard = g_automation.count;
  Command("ELoad", path);
  EXPECT_EQ(Stored(1).last, 1);
  EXPECT_EQ(g_automation.count - heard, ee::kCommitWrites);  // the menu's press only
  std::remove(path.c_str());
}

TEST_F(EnvelopeEditorTest, TheViewDrawsRingsLoopMarksAndSteps) {
  // A held step from 0.2 to point 1 (curve 1: exponent 64), then a loop from point 1 to 2.
  Set({{0, 0.2f, 1.0f}, {0.5f, 0.8f}, {1, 0.2f}}, 1, 2);
  editor->SelectedPoint = 2;
  Tick(500);
  const gui::Bitmap& view = ImageNamed("EnvI").bitmap();
  // Point 1's ring (radius 3 round (305, 25)) at its lowest pixels; the loop start's violet
  // marker over the drop line; the step holding level 0.2 (row 85) right up to the next point;
  // the loop's segment in the loop colour.
  for (const auto& [x, y] : {std::pair{305, 28}, {305, 27}, {10, 85}, {150, 85}, {300, 85}}) {
    EXPECT_EQ(view.Pixel(x, y), gui::kBlack) << x << "," << y;
  }
  EXPECT_EQ(view.Pixel(305, 60), gui::FromBgr(0x990044));
  EXPECT_EQ(view.Pixel(455, 55), gui::FromBgr(0x330022));
  EXPECT_NE(view.Pixel(150, 55), gui::kBlack);
}

}  // namespace
}  // namespace vellicor::testing
