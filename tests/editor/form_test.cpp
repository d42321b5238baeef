// The editor form: its components, what the controls show after opening, the 200 ms refresh,
// the read-out bar and the About panel.
#include <string>
#include <vector>

#include "editor/control_math.h"
#include "tests/editor/editor_harness.h"

namespace vellicor::testing {
namespace {

namespace logic = editor::logic;

struct Row {
  const char* name;
  const char* parent;  // nullptr: the form
  int left, top, width, height;
};

// The component tree as the form must have it.
const Row kRows[] = {
    {"Image1", nullptr, 0, -1, 637, 513},
    {"Evol", nullptr, 12, 478, 101, 31},
    {"backdial", nullptr, 210, 473, 31, 31},
    {"Backslider", nullptr, 10, 467, 100, 13},
    {"Image11", nullptr, 446, 484, 181, 21},
    {"Mntype1", nullptr, 12, 20, 40, 13},
    {"MnFmType1", nullptr, 12, 36, 40, 13},
    {"mNrING1", nullptr, 12, 52, 40, 13},
    {"MnEnvVol1", nullptr, 12, 78, 40, 13},
    {"MnEnvFm1", nullptr, 12, 94, 40, 13},
    {"MnEnvPitch1", nullptr, 12, 110, 40, 13},
    {"MnPrange1", nullptr, 12, 126, 40, 13},
    {"MnVolLfo1", nullptr, 12, 142, 40, 13},
    {"MnPitLfo1", nullptr, 12, 158, 40, 13},
    {"MnPlfo1", nullptr, 12, 174, 40, 13},
    {"MnLfoNo", nullptr, 12, 216, 40, 13},
    {"MnLfoType", nullptr, 12, 236, 40, 13},
    {"MnELFOAMP", nullptr, 12, 256, 40, 13},
    {"MnELFOFrq", nullptr, 12, 276, 40, 13},
    {"MnLfoReset", nullptr, 12, 296, 40, 13},
    {"MnType2", nullptr, 240, 24, 40, 13},
    {"MnFMType2", nullptr, 240, 40, 40, 13},
    {"MnEnvVol2", nullptr, 240, 78, 40, 13},
    {"MnEnvFm2", nullptr, 240, 94, 40, 13},
    {"MnEnvPitch2", nullptr, 240, 110, 40, 13},
    {"MnPrange2", nullptr, 240, 126, 40, 13},
    {"MnVolLfo2", nullptr, 240, 142, 40, 13},
    {"MnPitLfo2", nullptr, 240, 158, 40, 13},
    {"MnPLfo2", nullptr, 240, 174, 40, 13},
    {"MnFilter1", nullptr, 468, 24, 40, 13},
    {"MnFtracking1", nullptr, 469, 52, 40, 13},
    {"MnEnvFilter1", nullptr, 468, 84, 40, 13},
    {"MnFilter1LFO", nullptr, 468, 112, 40, 13},
    {"MnAmpEnv", nullptr, 240, 216, 40, 13},
    {"MnPanLfo", nullptr, 240, 236, 40, 13},
    {"MnVolLfo", nullptr, 240, 256, 40, 13},
    {"MnPShift", nullptr, 240, 276, 40, 13},
    {"MnLtracking", nullptr, 240, 296, 40, 13},
    {"MnMode", nullptr, 468, 227, 40, 13},
    {"MnArpmode", nullptr, 468, 260, 40, 13},
    {"MnArpOct", nullptr, 468, 296, 40, 13},
    {"Backi", nullptr, 12, 358, 610, 110},
    {"Panel6", nullptr, 120, 483, 321, 23},
    {"PrintOut", "Panel6", 0, 0, 321, 23},
    {"Panel1", nullptr, 92, 24, 109, 161},
    {"Image2", "Panel1", 0, 0, 109, 161},
    {"Hvol1", "Panel1", 4, 0, 100, 13},
    {"HOct1", "Panel1", 4, 28, 100, 13},
    {"HSemi1", "Panel1", 4, 56, 100, 13},
    {"DlFine1", "Panel1", 0, 84, 31, 31},
    {"DLPwm1", "Panel1", 40, 84, 31, 31},
    {"DlPwms1", "Panel1", 80, 84, 31, 31},
    {"DlFm1", "Panel1", 40, 130, 31, 31},
    {"Panel2", nullptr, 325, 23, 110, 165},
    {"Image3", "Panel2", 0, 0, 113, 205},
    {"HVol2", "Panel2", 4, 0, 100, 13},
    {"HOct2", "Panel2", 2, 28, 100, 13},
    {"HSemi2", "Panel2", 4, 56, 100, 13},
    {"DlFine2", "Panel2", 0, 84, 31, 31},
    {"DlPWm2", "Panel2", 38, 84, 31, 31},
    {"DlPWms2", "Panel2", 78, 84, 31, 31},
    {"DlFm2", "Panel2", 18, 130, 31, 31},
    {"DlSync2", "Panel2", 58, 130, 31, 31},
    {"Panel3", nullptr, 541, 25, 73, 105},
    {"Image4", "Panel3", 0, 0, 77, 109},
    {"DlFVol1", "Panel3", 0, 76, 31, 31},
    {"DlFdist1", "Panel3", 0, 0, 31, 31},
    {"DlFRes1", "Panel3", 40, 36, 31, 31},
    {"Panel4", nullptr, 470, 144, 141, 43},
    {"Image5", "Panel4", 0, 0, 141, 45},
    {"HFenv1", "Panel4", 40, 30, 100, 13},
    {"HFHi1", "Panel4", 0, -2, 100, 13},
    {"Panel5", nullptr, 92, 240, 100, 70},
    {"Image6", "Panel5", 0, 0, 101, 69},
    {"HAmp", "Panel5", 0, 0, 100, 13},
    {"HSpeed", "Panel5", 0, 28, 100, 13},
    {"Hsh", "Panel5", 0, 56, 100, 13},
    {"Panel7", nullptr, 324, 240, 100, 70},
    {"Image7", "Panel7", 0, 0, 177, 100},
    {"Hvolume", "Panel7", 0, 0, 100, 13},
    {"Hrel", "Panel7", 0, 28, 100, 13},
    {"Htempo", "Panel7", 0, 56, 100, 13},
    {"Panel8", nullptr, 526, 224, 99, 89},
    {"Image8", "Panel8", 0, 0, 100, 89},
    {"HArpLen", "Panel8", 0, 42, 100, 13},
    {"HArpGate", "Panel8", 0, 70, 100, 13},
    {"HPort", "Panel8", 0, 0, 31, 31},
    {"HStereo", "Panel8", 64, 0, 31, 31},
    {"Panel9", nullptr, -2, 331, 638, 148},
    {"Image9", "Panel9", 0, 0, 637, 149},
    {"MnEnv", "Panel9", 18, 9, 40, 13},
    {"HLen", "Panel9", 60, 9, 100, 13},
    {"HControl", "Panel9", 206, 9, 100, 13},
    {"Ecomm", "Panel9", 314, 9, 40, 13},
    {"MnSnapp", "Panel9", 390, 9, 40, 13},
    {"MnSnapt", "Panel9", 470, 9, 40, 13},
    {"MnEnvSus", "Panel9", 550, 9, 40, 13},
    {"EnvI", "Panel9", 16, 31, 610, 110},
    {"Pabout", nullptr, 32, 24, 200, 200},
    {"Abouti", "Pabout", 0, 0, 200, 200},
    {"Pevol", nullptr, 180, -4, 285, 345},
    {"Ievol", "Pevol", 0, 0, 284, 347},
    {"HEAmount", "Pevol", 152, 268, 100, 13},
    {"HeLevel", "Pevol", 28, 268, 100, 13},
    {"EvolClose", "Pevol", 192, 296, 69, 25},
    {"Image10", "Pevol", 28, 292, 69, 25},
    {"Ev1", "Pevol", 60, 52, 53, 53},
    {"Ev2", "Pevol", 120, 52, 53, 53},
    {"ev3", "Pevol", 176, 52, 53, 53},
    {"ev7", "Pevol", 60, 172, 53, 53},
    {"ev8", "Pevol", 120, 172, 53, 53},
    {"ev9", "Pevol", 176, 172, 53, 53},
};

TEST_F(EditorTest, EveryComponentHasItsPlaceParentAndStacking) {
  TPluginEditorWindow* editor = Open();
  ASSERT_NE(editor, nullptr);
  gui::Form& form = editor->form();
  EXPECT_EQ(form.width(), 635);
  EXPECT_EQ(form.height(), 512);
  for (const Row& row : kRows) {
    const gui::Component* c = form.Find(row.name);
    ASSERT_NE(c, nullptr) << row.name;
    EXPECT_EQ(c->name(), row.name);
    EXPECT_EQ(c->bounds(), gui::Rect::XYWH(row.left, row.top, row.width, row.height)) << row.name;
    const std::string parent = c->parent() ? c->parent()->name() : "";
    EXPECT_EQ(parent, row.parent ? row.parent : "") << row.name;
  }
  // The middle row of evolver slots lies between the outer rows.
  for (const char* slot : {"ev4", "ev5", "ev6"}) {
    const gui::Component* c = form.Find(slot);
    ASSERT_NE(c, nullptr) << slot;
    EXPECT_TRUE(c->bounds().top == 112 || c->bounds().top == 116) << slot;
  }
  // Panels stack in table order, so the About and evolver panels cover everything.
  std::vector<std::string> panels;
  for (const gui::Component* c : form.children()) {
    if (c->kind() == gui::Component::Kind::kPanel) panels.push_back(c->name());
  }
  const std::vector<std::string> order = {"Panel6", "Panel1", "Panel2", "Panel3",
                                          "Panel4", "Panel5", "Panel7", "Panel8",
                                          "Panel9", "Pabout", "Pevol"};
  EXPECT_EQ(panels, order);
  // Controls, buffers, the read-out and the evolver button are keyed; bitmaps are opaque.
  for (const char* keyed :
       {"Hvolume", "DLPwm1", "MnMode", "mNrING1", "PrintOut", "Evol", "backdial", "Backslider"}) {
    EXPECT_TRUE(ImageNamed(keyed).transparent()) << keyed;
  }
  for (const char* opaque : {"Image1", "Image9", "EnvI", "Abouti", "Ievol", "Ev1"}) {
    EXPECT_FALSE(ImageNamed(opaque).transparent()) << opaque;
  }
  // Hidden from the start: the buffers, the view's background and both panels.
  for (const char* hidden : {"backdial", "Backslider", "Backi", "Pabout", "Pevol"}) {
    EXPECT_FALSE(form.Find(hidden)->Showing()) << hidden;
  }
}

TEST_F(EditorTest, ImageListsHaveTheirFrameSizesAndCounts) {
  TPluginEditorWindow* editor = Open();
  struct List {
    const char* name;
    int width, height, frames;
  };
  const List lists[] = {
      {"HBar", 100, 13, 1},      {"IsliderPos", 9, 9, 1}, {"Idials", 31, 31, 30},
      {"iPrintOut", 321, 23, 1}, {"IOnOff", 40, 13, 2},   {"Iosc", 40, 13, 14},
      {"Ifm", 40, 13, 6},        {"Ifilter", 40, 13, 12}, {"ILfoNo", 40, 13, 6},
      {"IBend", 40, 13, 16},     {"Imode", 40, 13, 4},    {"IArpMode", 40, 13, 4},
      {"IarpOct", 40, 13, 4},    {"Ienv", 40, 13, 9},     {"ISenv", 40, 13, 8},
      {"Ipt", 40, 13, 8},        {"IeCOmm", 40, 13, 7},   {"IEprint", 60, 14, 1},
      {"Iloopp", 14, 14, 2},
  };
  for (const List& l : lists) {
    const gui::ImageList* list = editor->ImageListNamed(l.name);
    ASSERT_NE(list, nullptr) << l.name;
    EXPECT_EQ(list->frame_width(), l.width) << l.name;
    EXPECT_EQ(list->frame_height(), l.height) << l.name;
    EXPECT_EQ(list->count(), l.frames) << l.name;
  }
  // Distinct choices look distinct.
  const gui::ImageList* waves = editor->ImageListNamed("Iosc");
  for (int i = 1; i < waves->count(); ++i) EXPECT_NE(waves->Frame(i), waves->Frame(i - 1)) << i;
  const gui::ImageList* dials = editor->ImageListNamed("Idials");
  for (int i = 1; i < 29; ++i) EXPECT_NE(dials->Frame(i), dials->Frame(i - 1)) << i;
}

// Straight after opening, every dial, slider and selector shows the current program.
TEST_F(EditorTest, ControlsShowTheProgramAsSoonAsTheEditorOpens) {
  Dispatch(vst::effSetProgram, 2);
  TPluginEditorWindow* editor = Open();
  ASSERT_NE(editor, nullptr);
  auto lock = editor->Lock();
  const int lfo = logic::LfoNumberOf(plugin->getParameter(169));
  const int env = logic::EnvNumberOf(plugin->getParameter(219));
  int nonzero = 0;
  for (const logic::ControlSpec& c : logic::ControlTable()) {
    const int index = c.Index(lfo, env);
    if (c.kind == logic::ControlKind::kToggle || index > 270) continue;
    const float v = plugin->getParameter(index);
    nonzero += v != 0.0f;
    const gui::Bitmap expected =
        c.kind == logic::ControlKind::kSlider ? ExpectedSlider(v) : ExpectedDial(v);
    EXPECT_EQ(ImageNamed(c.image).bitmap(), expected) << c.image << " at " << v;
  }
  for (const logic::SelectorSpec& s : logic::SelectorTable()) {
    const float v = plugin->getParameter(s.Index(lfo, env));
    EXPECT_EQ(ImageNamed(s.image).bitmap(), ExpectedSelector(s.image_list, s.k, v)) << s.image;
  }
  // The check means something only if the program moved controls away from 0.
  EXPECT_GT(nonzero, 10);
}

TEST_F(EditorTest, RefreshRedrawsExactlyTheControlsThatChanged) {
  TPluginEditorWindow* editor = Open();
  ASSERT_NE(editor, nullptr);
  const float volume = plugin->getParameter(42);
  const int painted = editor->controls_painted();
  // Changed and changed back between two ticks: nothing to redraw.
  plugin->setParameter(42, volume < 0.5f ? 0.9f : 0.1f);
  plugin->setParameter(42, volume);
  Tick();
  EXPECT_EQ(editor->controls_painted(), painted);
  EXPECT_EQ(ImageNamed("Hvol1").bitmap(), ExpectedSlider(volume));

  // A change shows at the next tick, not before, and costs one redraw.
  const float moved = volume < 0.5f ? 0.9f : 0.1f;
  plugin->setParameter(42, moved);
  Tick(100);
  EXPECT_EQ(ImageNamed("Hvol1").bitmap(), ExpectedSlider(volume));
  Tick(100);
  EXPECT_EQ(ImageNamed("Hvol1").bitmap(), ExpectedSlider(moved));
  EXPECT_EQ(editor->controls_painted(), painted + 1);
  // The knob sits where the value puts it: 0 at x = 5, 1 at x = 85.
  plugin->setParameter(42, 1.0f);
  Tick();
  EXPECT_EQ(ImageNamed("Hvol1").bitmap(), ExpectedSlider(1.0f));
  EXPECT_NE(ExpectedSlider(1.0f), ExpectedSlider(0.0f));
}

TEST_F(EditorTest, SelectorPastItsListShowsNothingAndTheLfoPanelFollowsTheLfoShown) {
  TPluginEditorWindow* editor = Open();
  ASSERT_NE(editor, nullptr);
  // 0.8 on an LFO selector reads frame 8 of 6: the image stays white, and keys out entirely.
  plugin->setParameter(19, 0.8f);
  Tick();
  EXPECT_EQ(ImageNamed("MnVolLfo").bitmap(), gui::Bitmap(40, 13, gui::kWhite));

  // Show LFO 4: the panel's images now draw LFO 4's parameters.
  plugin->setParameter(183, 0.75f);
  plugin->setParameter(173, 9.0f / 49.99f + 0.001f);
  plugin->setParameter(193, 2.5f / 10.99f);
  plugin->setParameter(169, 3.5f / 10.99f);
  Tick();
  EXPECT_EQ(editor->LfoNumber, 3);
  EXPECT_EQ(ImageNamed("HAmp").bitmap(), ExpectedSlider(0.75f));
  EXPECT_EQ(ImageNamed("MnLfoType").bitmap(),
            ExpectedSelector("Iosc", 49.99f, 9.0f / 49.99f + 0.001f));
  EXPECT_EQ(ImageNamed("MnELFOAMP").bitmap(), ExpectedSelector("Ienv", 10.99f, 2.5f / 10.99f));
  // A stray value past the last LFO shows LFO 5, never another section's parameters.
  plugin->setParameter(169, 1.0f);
  Tick();
  EXPECT_EQ(editor->LfoNumber, 4);
}

TEST_F(EditorTest, ReadOutShowsTheProductAndMakerAfterStartUp) {
  TPluginEditorWindow* editor = Open();
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->ReadOutText(), "Vellicor  :: Quorrel 2026");
  // The text is drawn on the bar's background, left of the bar's middle.
  gui::Bitmap bar(321, 23);
  editor->ImageListNamed("iPrintOut")->Draw(bar, 0, 0, 0);
  const gui::Bitmap& shown = ImageNamed("PrintOut").bitmap();
  int dark_left = 0, dark_right = 0;
  for (int y = 0; y < 23; ++y) {
    for (int x = 0; x < 321; ++x) {
      if (shown.Pixel(x, y) == bar.Pixel(x, y) || gui::GreenOf(shown.Pixel(x, y)) > 80) continue;
      (x < 160 ? dark_left : dark_right) += 1;
    }
  }
  EXPECT_GT(dark_left, 100);
  EXPECT_EQ(dark_right, 0);
  // Nothing of the first start-up text is left over.
  editor->PrintLabels("A", "B");
  EXPECT_EQ(editor->ReadOutText(), "A :: B");
}

TEST_F(EditorTest, AboutPanelOpensOnItsAreaAndClosesOnlyOnItsBitmap) {
  TPluginEditorWindow* editor = Open();
  ASSERT_NE(editor, nullptr);
  gui::Form& form = editor->form();
  const gui::Component* about = form.Find("Pabout");
  EXPECT_FALSE(about->Showing());
  // Pressing elsewhere does nothing; a press without a release is no click.
  Headless().Click(CentreOf("Evol"));
  Headless().MouseDown(CentreOf("Image11"));
  EXPECT_FALSE(about->Showing());
  Headless().MouseUp({5, 5});
  EXPECT_FALSE(about->Showing());

  Headless().Click(CentreOf("Image11"));
  EXPECT_TRUE(about->Showing());
  EXPECT_TRUE(form.Find("Abouti")->enabled());
  const gui::Bitmap with_about = Headless().Frame();
  Headless().Click(CentreOf("Image11"));
  Headless().Click({300, 400});
  EXPECT_TRUE(about->Showing());
  Headless().Click(CentreOf("Abouti"));
  EXPECT_FALSE(about->Showing());
  EXPECT_FALSE(form.Find("Abouti")->enabled());
  EXPECT_NE(Headless().Frame(), with_about);
}

}  // namespace
}  // namespace vellicor::testing
