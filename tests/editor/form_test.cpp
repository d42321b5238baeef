// The editor form: its layout and artwork, what the controls show, the read-out and About.
#include <string>
#include <vector>

#include "editor/control_math.h"
#include "tests/editor/editor_harness.h"

namespace vellicor::testing {
namespace {

namespace logic = editor::logic;

// The whole component tree (names, parents, places, whether hidden from the start and whether
// an image is keyed), in stacking order, as one line per component.
std::string Tree(const std::vector<gui::Component*>& components) {
  std::string tree;
  for (const gui::Component* c : components) {
    const gui::Rect& r = c->bounds();
    const bool keyed = c->kind() == gui::Component::Kind::kImage &&
                       static_cast<const gui::Image*>(c)->transparent();
    tree += c->name() + " " + (c->parent() ? c->parent()->name() : "-") + " " +
            std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width()) +
            "x" + std::to_string(r.height()) + (c->visible() ? "" : " hidden") +
            (keyed ? " keyed" : "") + "\n";
    if (c->kind() == gui::Component::Kind::kPanel) {
      tree += Tree(static_cast<const gui::Panel*>(c)->children());
    }
  }
  return tree;
}

TEST_F(OpenEditorTest, LayoutAndArtworkAreTheReviewedOnes) {
  // The form's size, its component tree and every image list's frame size and count (the
  // pictures the other tests expect are drawn from these lists), folded into a hash recorded
  // from the reviewed tables. A deliberate change re-records it from the printed text.
  gui::Form& form = editor->form();
  std::string layout = std::to_string(form.width()) + "x" + std::to_string(form.height()) + "\n" +
                       Tree(form.children());
  for (const char* name : {"HBar", "IsliderPos", "Idials", "iPrintOut", "IOnOff", "Iosc", "Ifm",
                           "Ifilter", "ILfoNo", "IBend", "Imode", "IArpMode", "IarpOct", "Ienv",
                           "ISenv", "Ipt", "IeCOmm", "IEprint", "Iloopp"}) {
    const gui::ImageList* list = editor->ImageListNamed(name);
    ASSERT_NE(list, nullptr) << name;
    layout += std::string(name) + " " + std::to_string(list->frame_width()) + "x" +
              std::to_string(list->frame_height()) + " " + std::to_string(list->count()) + "\n";
  }
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char ch : layout) hash = (hash ^ ch) * 1099511628211ull;
  EXPECT_EQ(hash, 0x7dd1d4a8caa15f5bull) << std::hex << hash << "\n" << layout;
  EXPECT_EQ(form.Find("EvolClose")->FormBounds(), gui::Rect::XYWH(372, 292, 69, 25));
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

TEST_F(OpenEditorTest, RefreshRedrawsWhatChangedASelectorPastItsListAndTheLfoShown) {
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
  EXPECT_EQ(ImageNamed("HAmp").bitmap(), ExpectedSlider(0.75f));
  EXPECT_EQ(ImageNamed("MnLfoType").bitmap(),
            ExpectedSelector("Iosc", 49.99f, 9.0f / 49.99f + 0.001f));
  EXPECT_EQ(ImageNamed("MnELFOAMP").bitmap(), ExpectedSelector("Ienv", 10.99f, 2.5f / 10.99f));
  // A stray value past the last LFO shows LFO 5, never another section's parameters.
  plugin->setParameter(169, 1.0f);
  Tick();
  EXPECT_EQ(editor->LfoNumber, 4);
}

TEST_F(OpenEditorTest, ReadOutShowsTheMakerAndAboutOpensOnItsAreaAndClosesOnItsBitmap) {
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

  // The About panel: pressing elsewhere does nothing; a press without a release is no click.
  gui::Form& form = editor->form();
  const gui::Component* about = form.Find("Pabout");
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
