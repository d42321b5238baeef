// Every edit of the editor reaches its host as gestures: each value inside a BeginEdit/EndEdit
// of its index, begins and ends balanced, and an edit of many values as one group. Recorded at
// the editor's host interface, in front of the plug-in's bridge.
#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "editor/editor_host.h"
#include "tests/editor/editor_harness.h"

namespace vellicor::testing {
namespace {

// Records what the editor tells its host and passes it on to the bridge behind.
class GestureRecorder final : public EditorHost {
 public:
  enum class Kind { kBegin, kValue, kEnd };
  struct Event {
    Kind kind;
    int index;
  };
  explicit GestureRecorder(EditorHost* inner) : inner_(inner) {}
  float Value(int index) const override { return inner_->Value(index); }
  int Controller(int index) const override { return inner_->Controller(index); }
  void setParameterAutomated(int32_t index, float value) override {
    events.push_back({Kind::kValue, index});
    inner_->setParameterAutomated(index, value);
  }
  void BeginEdit(int32_t index) override { events.push_back({Kind::kBegin, index}); }
  void EndEdit(int32_t index) override { events.push_back({Kind::kEnd, index}); }

  std::vector<Event> events;

 private:
  EditorHost* inner_;
};

// What the events amount to, or the first fault found in them.
struct Summary {
  std::string fault;
  int values = 0;
  std::set<int> indices;
  int groups = 0;  // runs of overlapping gestures: what a host undoes in one step each
};

Summary Summarize(const std::vector<GestureRecorder::Event>& events) {
  using Kind = GestureRecorder::Kind;
  Summary s;
  std::set<int> open;
  for (const GestureRecorder::Event& e : events) {
    const std::string at = " at index " + std::to_string(e.index);
    switch (e.kind) {
      case Kind::kBegin:
        if (open.empty()) ++s.groups;
        if (!open.insert(e.index).second && s.fault.empty()) s.fault = "begun twice" + at;
        s.indices.insert(e.index);
        break;
      case Kind::kValue:
        if (!open.count(e.index) && s.fault.empty()) s.fault = "value outside a gesture" + at;
        ++s.values;
        break;
      case Kind::kEnd:
        if (!open.erase(e.index) && s.fault.empty()) s.fault = "ended without a begin" + at;
        break;
    }
  }
  if (!open.empty() && s.fault.empty())
    s.fault = "left open at index " + std::to_string(*open.begin());
  return s;
}

class GestureTest : public OpenEditorTest {
 protected:
  void SetUp() override {
    OpenEditorTest::SetUp();
    auto lock = editor->Lock();
    recorder = std::make_unique<GestureRecorder>(editor->Plugin);
    editor->SetPlugin(recorder.get());
  }
  void TearDown() override {
    // The recorder goes first.
    if (plugin && Editor() != nullptr) Editor()->SetPlugin(nullptr);
  }
  void Press(gui::Point at, unsigned modifiers = 0) {
    Headless().MouseDown(at, gui::MouseButton::kLeft, modifiers);
  }
  void Release(gui::Point at) { Headless().MouseUp(at, gui::MouseButton::kLeft); }
  void Move(gui::Point at) { Headless().MouseMove(at); }
  void ControllerMenu(std::string_view item) {
    Click({3, 3}, gui::kCtrl, gui::MouseButton::kRight);
    ASSERT_TRUE(Headless().ChooseMenuItem(item)) << item;
  }

  std::unique_ptr<GestureRecorder> recorder;
};

TEST_F(GestureTest, EveryEditIsBalancedGesturesWithEachValueInsideItsIndexsGesture) {
  struct Case {
    const char* name;
    std::function<void()> edit;
    int first_index;  // the lowest index with a gesture
    size_t indices;   // how many indices have one
    int values;
    int groups = 1;
  };
  // Envelope 1, shown: its loop start is the lowest of its 63 indices.
  constexpr int kEnvelope1 = param::Envelope(param::kEnvLoopStart, 0);
  const Case cases[] = {
      {"slider drag, released off the control",
       [&] {
         Press(At("Hvolume", 30, 6));
         Move(At("Hvolume", 60, 6));
         Move(At("Hvolume", 200, -40));
         Release(At("Hvolume", 200, -40));
       },
       1, 1, 3},
      {"fine slider drag (nothing at the press)",
       [&] {
         Press(At("Hvolume", 30, 6), gui::kShift);
         EXPECT_EQ(recorder->events.size(), 1u);  // the gesture begins at the press
         Move(At("Hvolume", 40, 6));
         Release(At("Hvolume", 40, 6));
       },
       1, 1, 1},
      {"slider drag whose release went to another window",
       [&] {
         Press(At("Hrel", 30, 6));
         auto lock = editor->Lock();
         editor->form().ReleaseCapture();
         Move(At("Hrel", 50, 6));
       },
       12, 1, 1},
      {"dial Ctrl+click",
       [&] {
         Press(At("DlFVol1", 5, 5), gui::kCtrl);
         EXPECT_EQ(recorder->events.size(), 2u);  // begun and reset; ended at the release
         Release(At("DlFVol1", 5, 5));
       },
       124, 1, 1},
      {"toggle", [&] { Click(CentreOf("mNrING1")); }, 77, 1, 1},
      {"menu choice", [&] { Choose("MnMode", "Mode3"); }, 0, 1, 1},
      {"Reset Value",
       [&] {
         Click(CentreOf("Hvol1"), 0, gui::MouseButton::kRight);
         ASSERT_TRUE(Headless().ChooseMenuItem("Midi4"));
       },
       42, 1, 1},
      {"envelope point drag",
       [&] {
         Press(At("EnvI", 305, 55));
         Move(At("EnvI", 350, 40));
         Release(At("EnvI", 350, 40));
       },
       kEnvelope1, 63, 3 * 63},
      {"envelope drag cut short by the command menu",
       [&] {
         Press(At("EnvI", 305, 55));
         Headless().MouseDown(At("EnvI", 305, 55), gui::MouseButton::kRight);
         Headless().Key(gui::MenuKey::kEscape);
       },
       kEnvelope1, 63, 2 * 63, 2},
      {"curve modifier drag",
       [&] {
         editor->CurveModifier = 2;  // Amp
         Press(At("HControl", 30, 6));
         Move(At("HControl", 60, 6));
         Release(At("HControl", 60, 6));
       },
       kEnvelope1, 63, 2 * 63},
      {"evolver slot",
       [&] {
         Click(CentreOf("Evol"));
         Click(CentreOf("ev3"));
       },
       0, 1591, 1591},
      {"Midi Reset", [&] { ControllerMenu("CCreset"); }, 15, 3, 3 * 256},
      {"Alias-free oscillators", [&] { ControllerMenu("AliasFree"); }, param::kAliasFree, 1, 1},
      // Up to envelope 15's curves, then envelope 16's first two curves.
      {"Reset (a new sound)", [&] { ControllerMenu("CCNew"); }, 0, 1401 + 2,
       1401 + 16 * 8 + 5 * 2 + 3 + 83},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder->events.clear();
    const int automated = g_automation.count;
    c.edit();
    const Summary s = Summarize(recorder->events);
    EXPECT_EQ(s.fault, "");
    EXPECT_EQ(s.groups, c.groups);
    EXPECT_EQ(s.values, c.values);
    EXPECT_EQ(g_automation.count - automated, s.values);  // every value reached the plug-in
    ASSERT_FALSE(s.indices.empty());
    EXPECT_EQ(*s.indices.begin(), c.first_index);
    EXPECT_EQ(s.indices.size(), c.indices);
    EXPECT_FALSE(editor->EditHeld());
  }
}

TEST_F(GestureTest, AWindowHiddenOrDestroyedMidDragEndsTheGesture) {
  Press(At("Hvolume", 30, 6));
  Move(At("Hvolume", 60, 6));
  editor->Hide();
  Summary s = Summarize(recorder->events);
  EXPECT_EQ(s.fault, "");
  EXPECT_EQ(s.values, 2);
  Release(At("Hvolume", 60, 6));

  recorder->events.clear();
  Press(At("DlFm1", 16, 2));
  plugin.reset();
  s = Summarize(recorder->events);
  EXPECT_EQ(s.fault, "");
  EXPECT_EQ(s.indices, std::set<int>{44});
}

}  // namespace
}  // namespace vellicor::testing
