// HeadlessWindow: a PlatformWindow without a window, for tests and screenshots. Input and time
// are injected; the composed frame and the open menu are read back.
//
// Its screen is a rectangle (1920 x 1080 at the origin unless set) with the window's client
// area at a chosen point of it. Time stands still except through AdvanceTime.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "gui/window.h"

namespace vellicor::gui {

class HeadlessWindow final : public PlatformWindow {
 public:
  HeadlessWindow(Form& form, EventHandler& handler);
  ~HeadlessWindow() override;

  bool Open(void* parent) override;
  void Close() override;
  bool is_open() const override { return open_; }
  void SetVisible(bool visible) override;
  bool visible() const { return visible_; }
  void Idle() override;
  Point ClientToScreen(Point client) const override;
  Rect ScreenBounds() const override;
  // The composed frame: a headless window's "screen".
  Bitmap CaptureScreen() override;
  void* native_handle() const override { return nullptr; }

  void SetScreen(const Rect& screen, Point client_origin);

  // --- Input in client pixels (the form's coordinates at its scale); each is followed by a
  // pump, as on a real window. ---
  void MouseDown(Point client, MouseButton button = MouseButton::kLeft, unsigned modifiers = 0);
  void MouseMove(Point client, unsigned modifiers = 0);
  void MouseUp(Point client, MouseButton button = MouseButton::kLeft, unsigned modifiers = 0);
  // Press and release at one point.
  void Click(Point client, MouseButton button = MouseButton::kLeft, unsigned modifiers = 0);
  // A key while a menu is open.
  void Key(MenuKey key);

  // Moves the clock on, firing every timer at each moment it falls due on the way.
  void AdvanceTime(int64_t ms);
  int64_t now_ms() const { return now_; }

  // The frame with everything waiting composed.
  const Bitmap& Frame();

  // --- The open menu ---
  const PopupMenu* open_menu() const;
  // Chooses an item by name (ignoring case) or index, as a click would; false when no menu is
  // open or the item is missing or disabled (the menu then stays open).
  bool ChooseMenuItem(std::string_view name);
  bool ChooseMenuItem(int index);

  // --- File dialogs: answered with this value (nothing: cancelled) at the next pump. ---
  void SetFileDialogAnswer(std::optional<std::string> path) { answer_ = std::move(path); }
  int dialogs_shown() const { return dialogs_shown_; }
  bool last_dialog_saved() const { return last_dialog_save_; }
  const FileDialogOptions& last_dialog() const { return last_dialog_; }

 protected:
  int64_t NowMs() const override { return now_; }
  void ShowMenuSurface() override {}
  void RedrawMenuSurface() override {}
  void HideMenuSurface() override {}
  void StartFileDialog(bool save, const FileDialogOptions& options) override;
  void Present(const std::vector<Rect>& rects) override { (void)rects; }

 private:
  void Pump();

  bool open_ = false;
  bool visible_ = false;
  int64_t now_ = 0;
  Rect screen_{0, 0, 1920, 1080};
  Point origin_{0, 0};
  std::optional<std::string> answer_;
  bool dialog_showing_ = false;
  int dialogs_shown_ = 0;
  bool last_dialog_save_ = false;
  FileDialogOptions last_dialog_;
};

}  // namespace vellicor::gui
