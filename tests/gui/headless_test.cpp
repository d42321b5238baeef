// The shared window machinery through the headless backend: popup menus, timers, file dialogs.
#include "gui/headless.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

namespace vellicor::gui {
namespace {

struct Recorder : EventHandler {
  std::vector<MouseEvent> mouse;
  std::vector<std::pair<int, int64_t>> ticks;  // id, time
  HeadlessWindow* window = nullptr;
  std::function<void(const MouseEvent&)> on_mouse;
  std::function<void(int)> on_timer;

  void OnMouse(const MouseEvent& e) override {
    mouse.push_back(e);
    if (on_mouse) on_mouse(e);
  }
  void OnTimer(int id) override {
    ticks.emplace_back(id, window->now_ms());
    if (on_timer) on_timer(id);
  }
};

struct Headless : ::testing::Test {
  Form form{635, 512};
  Recorder recorder;
  HeadlessWindow window{form, recorder};
  std::vector<std::string> log;

  void SetUp() override {
    recorder.window = &window;
    form.AddImage("MnFilter1", Rect::XYWH(468, 24, 40, 13)).Edit();
    ASSERT_TRUE(window.Open(nullptr));
  }

  PopupMenu Filters() {
    PopupMenu menu;
    for (const char* name : {"Fi00", "Fi01", "Fi02"}) menu.items.push_back({name, "Filter02"});
    menu.items[1].enabled = false;
    menu.on_choose = [this](const std::string& name, int index) {
      log.push_back(name + "/" + std::to_string(index) + (window.menu_open() ? " open" : ""));
    };
    menu.on_cancel = [this] { log.push_back("cancel"); };
    return menu;
  }
};

TEST_F(Headless, MenuIsKeptOnTheScreen) {
  window.SetScreen({0, 0, 800, 600}, {100, 50});
  EXPECT_EQ(window.ScreenPoint(form.Find("MnFilter1"), {2, 3}), (Point{570, 77}));
  window.Popup(Filters(), {790, 590});
  const Rect r = window.menu_rect();
  EXPECT_EQ(r, Rect::XYWH(800 - r.width(), 600 - r.height(), r.width(), r.height()));
  EXPECT_GT(r.width(), TextWidth(MenuFont(), "Filter02"));
  window.Popup(Filters(), {-40, -40});  // replaces (cancels) the first
  EXPECT_EQ(window.menu_rect(), r.Offset(-r.left, -r.top));
  EXPECT_EQ(log, std::vector<std::string>({"cancel"}));
  const int far = std::numeric_limits<int>::max();
  window.Popup(Filters(), {far, -far});
  EXPECT_EQ(window.menu_rect(), r.Offset(0, -r.top));
}

TEST_F(Headless, ChoosingClosesThenReportsTheUpperCasedNameAndCancellingReportsThat) {
  window.Popup(Filters(), {10, 10});
  EXPECT_FALSE(window.ChooseMenuItem("fi01"));  // disabled: the menu stays
  EXPECT_FALSE(window.ChooseMenuItem("nothing"));
  ASSERT_NE(window.open_menu(), nullptr);
  EXPECT_TRUE(window.ChooseMenuItem("fi02"));
  EXPECT_EQ(window.open_menu(), nullptr);
  window.Popup(Filters(), {10, 10});
  EXPECT_TRUE(window.ChooseMenuItem(0));
  // The keyboard skips the disabled item.
  window.Popup(Filters(), {10, 10});
  for (MenuKey key : {MenuKey::kDown, MenuKey::kDown, MenuKey::kEnter}) window.Key(key);
  EXPECT_EQ(log, std::vector<std::string>({"FI02/2", "FI00/0", "FI02/2"}));
  // Escape, or a press outside, cancels; the press is not the form's.
  log.clear();
  window.Popup(Filters(), {10, 10});
  window.Key(MenuKey::kEscape);
  window.Popup(Filters(), {10, 10});
  window.Click({470, 30});  // on MnFilter1, outside the menu
  EXPECT_EQ(log, std::vector<std::string>({"cancel", "cancel"}));
  EXPECT_TRUE(recorder.mouse.empty());
  EXPECT_FALSE(window.menu_open());
}

TEST_F(Headless, MenuOpenedByAPressTakesThatPressAndIsChosenWithTheMouse) {
  // The selector's handler opens the menu at the press point, as the editor does.
  recorder.on_mouse = [this](const MouseEvent& e) {
    if (e.action == MouseAction::kDown)
      window.Popup(Filters(), window.ScreenPoint(e.component, e.pos));
  };
  window.MouseDown({470, 30});
  ASSERT_TRUE(window.menu_open());
  window.MouseUp({470, 30});  // releasing where it opened chooses nothing
  EXPECT_TRUE(window.menu_open());
  ASSERT_EQ(recorder.mouse.size(), 1u);  // the down only: the up went to the menu
  const int item_height = MeasureMenuItem(window.open_menu()->items[0]).height;
  const Point item2{470 + 20, 30 + kMenuBorder + 2 * item_height + 2};
  window.MouseMove(item2);
  EXPECT_EQ(window.menu_surface()->Pixel(20, kMenuBorder + 2 * item_height + 2), 0x316AC5);
  window.MouseDown(item2);
  window.MouseUp(item2);
  EXPECT_EQ(log, std::vector<std::string>({"FI02/2"}));
  EXPECT_EQ(recorder.mouse.size(), 1u);
}

TEST_F(Headless, OwnerDrawingGetsEachItemsRectangleAndState) {
  PopupMenu menu = Filters();
  menu.items[0].width = 200;
  menu.items[2].height = 30;
  std::vector<MenuItemDraw> drawn;
  menu.draw = [&](const MenuItemDraw& d) {
    drawn.push_back(d);
    d.surface.FillRect(d.rect, d.highlighted ? FromBgr(0x990044) : FromBgr(0x99CCCC));
  };
  window.Popup(menu, {0, 0});
  ASSERT_EQ(drawn.size(), 3u);
  // Every item as wide as the widest, each below the one before.
  const Rect first = drawn[0].rect;
  EXPECT_EQ(first.width(), 200);
  EXPECT_EQ(drawn[1].rect, first.Offset(0, first.height()));
  EXPECT_EQ(drawn[2].rect, Rect::XYWH(first.left, first.bottom + first.height(), 200, 30));
  EXPECT_EQ(drawn[2].name, "FI02");
  EXPECT_EQ(drawn[0].font.name, "Arial");
  drawn.clear();
  window.MouseMove({50, kMenuBorder + 1});
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_TRUE(drawn[0].highlighted);
  EXPECT_EQ(window.menu_surface()->Pixel(50, kMenuBorder + 1), FromBgr(0x990044));
  EXPECT_EQ(window.menu_rect().height(), 2 * kMenuBorder + 2 * first.height() + 30);
}

// The due moments themselves show in the headless window's ticks below.
TEST(TimerSet, FiresOnceWhenLateThenKeepsTheBeatFromThere) {
  TimerSet timers;
  timers.Set(1, 500, 0);
  timers.Set(2, 200, 0);
  EXPECT_EQ(timers.Due(1250), std::vector<int>({2, 1}));
  EXPECT_EQ(timers.Due(1300), std::vector<int>());
  EXPECT_EQ(timers.Due(1450), std::vector<int>({2}));
  timers.Set(2, 0, 1450);  // bounded to the shortest interval
  EXPECT_EQ(timers.NextDue(), 1450 + kMinTimerInterval);
  timers.Kill(2);
  timers.Kill(1);
  EXPECT_FALSE(timers.NextDue());
}

TEST_F(Headless, TimersTickAtEachDueMomentAndStopWhenKilledOrClosed) {
  window.SetTimer(1, 500);
  window.SetTimer(2, 200);
  // At 1000 ms both are due; the first one's callback stops the second, which then must not
  // fire in the same round.
  recorder.on_timer = [this](int id) {
    if (id == 1 && window.now_ms() == 1000) window.KillTimer(2);
  };
  window.AdvanceTime(1000);
  using Ticks = std::vector<std::pair<int, int64_t>>;
  EXPECT_EQ(recorder.ticks, (Ticks{{2, 200}, {2, 400}, {1, 500}, {2, 600}, {2, 800}, {1, 1000}}));
  recorder.ticks.clear();
  window.AdvanceTime(499);
  EXPECT_TRUE(recorder.ticks.empty());
  window.AdvanceTime(1);
  EXPECT_EQ(recorder.ticks, (Ticks{{1, 1500}}));
  window.Close();
  recorder.ticks.clear();
  window.AdvanceTime(2000);
  EXPECT_TRUE(recorder.ticks.empty());
}

TEST_F(Headless, FileDialogAnswersLaterOneAtATime) {
  std::vector<std::optional<std::string>> answers;
  auto done = [&](std::optional<std::string> path) { answers.push_back(path); };
  window.SetFileDialogAnswer("/tmp/map.mmp");
  window.OpenFileDialog({"Load", "Midi maps", "*.mmp", "*.mmp"}, done);
  window.SaveFileDialog({}, done);  // while the first is showing: answered with nothing
  EXPECT_TRUE(answers.empty());     // never inside the call
  window.Idle();
  EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt, "/tmp/map.mmp"}));
  EXPECT_EQ(window.dialogs_shown(), 1);
  EXPECT_EQ(window.last_dialog().pattern, "*.mmp");
  window.SetFileDialogAnswer(std::nullopt);
  window.SaveFileDialog({}, done);
  window.Idle();
  EXPECT_EQ(answers.back(), std::nullopt);
  EXPECT_TRUE(window.last_dialog_saved());
}

TEST_F(Headless, CallbacksAreNotReenteredByIdleAndWhatTheyThrowDoesNotEscape) {
  // Hosts may answer a callback with another idle call; that must not run more callbacks
  // in the middle of the one in progress.
  window.SetFileDialogAnswer("/tmp/a.env");
  window.OpenFileDialog({}, [&](std::optional<std::string>) { log.push_back("dialog"); });
  recorder.on_mouse = [this](const MouseEvent&) {
    log.push_back("mouse");
    window.Idle();
    log.push_back("mouse done");
  };
  window.MouseMove({470, 30});
  EXPECT_EQ(log, std::vector<std::string>({"mouse", "mouse done", "dialog"}));

  recorder.on_mouse = [](const MouseEvent&) { throw std::runtime_error("editor bug"); };
  recorder.on_timer = [](int) { throw 42; };
  window.SetTimer(3, 100);
  EXPECT_NO_THROW(window.Click({470, 30}));
  EXPECT_NO_THROW(window.AdvanceTime(100));
  PopupMenu menu = Filters();
  menu.draw = [](const MenuItemDraw&) { throw std::bad_alloc(); };
  menu.on_choose = [](const std::string&, int) { throw 1; };
  EXPECT_NO_THROW(window.Popup(menu, {0, 0}));
  EXPECT_NO_THROW(window.ChooseMenuItem(0));
  EXPECT_EQ(recorder.ticks.size(), 1u);
}

}  // namespace
}  // namespace vellicor::gui
