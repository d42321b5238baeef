// TPluginEditorWindow: the editor form. A tree of bitmap images and panels (editor/layout.h)
// composed by the platform layer and shown in a child window of the host's window, or in no
// window at all when the host gives no parent (tests, screenshots). It draws every control
// from its copy of the plug-in's values, which lives in the bridge (EditorValues), redraws
// what changed on its 200 ms timer, and sends every edit to the plug-in as an automated
// parameter.
//
// Threads: the window's callbacks (mouse, timers, menus) run with the platform window's lock
// held, on the host's thread (idle) or on the X11 backend's fallback thread. The EditorWindow
// operations the bridge calls take that lock themselves; tests and other callers that touch
// the editor state directly take Lock() first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "editor/control_math.h"
#include "editor/editor_session.h"
#include "editor/menu_tables.h"
#include "engine/engine.h"
#include "gui/form.h"
#include "gui/headless.h"
#include "gui/image_list.h"
#include "gui/window.h"
#include "parameters/parameter_table.h"
#include "patch/envelope_edit.h"
#include "patch/evolver.h"

namespace vellicor {

// The second line of the read-out bar after start-up, and of the About bitmap.
extern const char kMakerLine[];

class TPluginEditorWindow final : public EditorWindow,
                                  public EditorTestPort,
                                  private gui::EventHandler {
 public:
  // The form in a child window of `parent` (an X11 window id or an HWND), or without a window
  // when `parent` is null. Null when no window can be made.
  static std::unique_ptr<TPluginEditorWindow> Create(void* parent, EditorValues* values);
  ~TPluginEditorWindow() override;

  // --- EditorWindow (the bridge's side) ---
  int ClientWidth() const override;
  int ClientHeight() const override;
  void Show() override;
  void Hide() override;
  void PaintPending() override;
  void Timer2Timer() override;
  void SetPlugin(EditorHost* plugin) override;
  void* NativeHandle() override;
  EditorTestPort* TestPort() override { return this; }
  // Draws everything again at `scale` and gives the window the scaled size; the form keeps its
  // coordinates, so layout, hit-testing and every gesture stay as they are.
  void SetScale(gui::Scale scale) override;
  void SetSizing(EditorSizing* sizing) override;

  // --- EditorTestPort (each takes the window's lock). Points and frames are the window's
  // client pixels; components lie in the form's own coordinates. ---
  bool CaptureFrame(int* width, int* height, std::span<uint32_t> pixels) override;
  bool InjectMouse(MouseAction action, gui::Point at, gui::MouseButton button,
                   unsigned modifiers) override;
  bool AdvanceClock(int milliseconds) override;
  bool ChooseMenuItem(std::string_view name) override;
  bool ComponentBounds(std::string_view name, gui::Rect* bounds, bool* showing) override;
  bool OpenMenuInfo(std::string_view item, OpenMenu* menu, std::span<uint32_t> pixels) override;

  std::unique_lock<std::recursive_mutex> Lock() const { return window_->Lock(); }

  // --- The form's operations (call with the lock held) ---
  void FormCreate();
  // The one path for every edit: the mirror first, then the plug-in. Outside an edit group the
  // value is a gesture of its own (BeginEdit, the value, EndEdit); inside one it joins the
  // group's gesture of its index.
  void setfvar(int index, float value);
  // Redraws the controls of the watched indices (up to the envelope lengths, and the record's
  // last ten) whose value is not what they show.
  void SetAll();
  // Redraws the control showing `index`; param::kLfoShown redraws the LFO panel,
  // param::kEnvelopeShown the envelope row, -1 the envelope length slider.
  void SetControl(int index);
  // Writes the read-out of the control showing `index` (dials and sliders; others print
  // nothing).
  void SetLabel(int index);
  void PrintLabels(std::string_view name, std::string_view value);
  // Draws the read-out bar with the text it holds.
  void DrawReadout();
  // The end of a press on a dial, slider or toggle: the drag stops, everything changed is
  // redrawn.
  void MouseUp();
  // The look every editor menu item shares: " " + text at the item's top-left, on pale khaki,
  // deep violet under the mouse.
  static void DrawMenuItem(const gui::MenuItemDraw& item, std::string_view text);
  // A menu of these items, each as wide as its caption (which is never drawn).
  static gui::PopupMenu ItemsMenu(std::span<const editor::logic::MenuItemSpec> items);
  void Clearscreen(gui::Image& image, gui::Color color);
  void Timer1Timer();
  void DrawEnv();
  void Aboutclick();
  void AboutiClick();

  // --- Read back (tests, vendor requests) ---
  gui::Form& form() { return form_; }
  gui::PlatformWindow& window() { return *window_; }
  // The headless window, or null for a native one.
  gui::HeadlessWindow* headless() { return headless_; }
  // An image list by its name ("Idials", "IOnOff", ...); null for an unknown name.
  const gui::ImageList* ImageListNamed(std::string_view name) const;
  // The text the read-out bar shows.
  const std::string& ReadOutText() const { return readout_; }
  // How many times a dial or slider has been painted (redraws skipped as unchanged do not
  // count).
  int controls_painted() const { return controls_painted_; }
  float Mirror(int index) const;

  // --- Gestures ---
  // An edit of many values, or of one value over many mouse events, is one edit group: each
  // index's gesture begins before its first value, and all of them end together when the
  // outermost group closes, so a host undoes the whole as one step. Groups nest; an inner one
  // joins the outer.
  class EditGroup {
   public:
    explicit EditGroup(TPluginEditorWindow& editor) : editor_(editor) { editor_.OpenEditGroup(); }
    ~EditGroup() { editor_.CloseEditGroup(); }
    EditGroup(const EditGroup&) = delete;
    EditGroup& operator=(const EditGroup&) = delete;

   private:
    TPluginEditorWindow& editor_;
  };
  // The group of a mouse press that edits until the mouse lets go (a drag): opened at the
  // press, closed by the release, by an event showing no button held (the release went to
  // another window), by a popup menu taking the mouse, or by EndAllEdits.
  void HoldEdit();
  void LetGoEdit();
  // Begins the gesture of `index` in the open group before any value is sent (a fine drag
  // writes nothing at its press).
  void Touch(int index);
  // Ends every open gesture: the window hides or closes, or the plug-in changes.
  void EndAllEdits();
  bool EditHeld() const { return held_edit_; }

  // --- Editor state ---
  EditorHost* Plugin = nullptr;
  float LastDrawn[param::kPatchSize + 1] = {};
  bool Dragging = false;
  int DragKind = -1;
  int ControlDragMode = -1;
  int DragIndex = 0;
  float DragStartValue = 0.0f;
  int SwapDials = 0;
  int MenuTarget = -1;
  int LfoSelTarget = -1;
  int FilterTarget = -1;
  int DestIndex = -1;
  int MidiTarget = -1;
  int LfoNumber = 0;
  int EnvNumber = 0;
  gui::Point PressPoint;
  gui::Image* PressedImage = nullptr;
  int CurveModifier = 0;
  int TimeSnap = 0;
  int LevelSnap = 0;
  // The evolver's nine bred sounds and the one last selected, the parent of the next breed.
  evolver::Slots EvolverSlot{};
  int SelectedSlot = evolver::kCentreSlot;

 private:
  explicit TPluginEditorWindow(EditorValues* values);
  bool Open(void* parent);
  void BuildForm();
  // The image lists and the pictures (the face, the buttons, the About and evolver bitmaps, the
  // buffers) at the form's scale.
  void BuildImageLists();
  void PaintPictures();
  // Every image that shows state, drawn again as the state stands (after a change of scale).
  void RedrawAll();

  // gui::EventHandler
  void OnMouse(const gui::MouseEvent& event) override;
  void OnTimer(int id) override;
  // Every mouse event of every image arrives here and goes on by the image's name.
  void DispatchMouse(const gui::MouseEvent& event);

  // --- Controls: dials, sliders, toggles ---
  void SetControlSelect(const gui::MouseEvent& event, const editor::logic::ControlSpec& control);
  // A move while no drag runs: the read-out of the dial or slider under the pointer.
  void MouseMove(const editor::logic::ControlSpec& control);
  // A move while a control drag runs: the dragged control follows, wherever the pointer is.
  void MoveDragged(const gui::MouseEvent& event);
  // One change from the mouse: the mirror, the plug-in (one automated write), the control and
  // the read-out.
  void SendChange(int index, float value);

  // --- Selection menus ---
  void SelectorMouseDown(const gui::MouseEvent& event, const editor::logic::MenuOpener& opener);
  void SelectorMouseUp(const editor::logic::MenuOpener& opener);
  // The menu of an opener, writing to `target` whatever the target fields hold by the time an
  // item is chosen.
  gui::PopupMenu SelectionMenu(const editor::logic::MenuOpener& opener, int target);
  void MenuChoice(editor::logic::MenuId menu, int target, bool lfo_number, const std::string& item);

  // Whether SetControl(index) redraws an image of this parameter rule and base index.
  bool Redraws(int index, editor::logic::IndexRule rule, int base, bool slider) const;
  void DrawDial(gui::Image& image, int index);
  void DrawHSlider(gui::Image& image, int index);
  void DrawMenu3(gui::Image& image, const gui::ImageList* list, int frame);
  void Timer2Refresh();

  // Shows a popup menu and keeps a copy, so a request can choose from it by name even in a
  // native window, whose menu lives in a surface of its own.
  void Popup(gui::PopupMenu menu, gui::Point screen);
  bool ChooseFromOpenMenu(std::string_view name);

  // --- The envelope editor (editor/envelope_editor.cpp) ---
  // Mouse events of the envelope panel's images; false when the event is none of theirs.
  bool DispatchEnvelopeMouse(const gui::MouseEvent& event);

 public:
  // The working copy of the shown envelope (PointTime, PointLevel, PointCurve, LastPoint,
  // LoopStartPoint, LoopEndPoint) and its scratch copy (PrevTime, PrevLevel, PrevCurve): the
  // state before the edit in progress, which the commands and curve modifiers compute from.
  envelope_edit::Envelope Points;
  envelope_edit::Envelope PrevPoints;
  int SelectedPoint = 0;
  int DragMode = 0;  // 0 move a point, 1 bend a segment, 2 move an inserted point, 3/4 loop
  int ModifierPos = 0;
  int SmoothBackward = 0;

  // Loads the shown envelope into the working and scratch copies.
  void LoadEnvelope();
  // Commits the working copy: 63 automated writes.
  void setenvval();

 private:
  // The undo snapshot and the clipboard; empty until something is put there.
  std::optional<envelope_edit::Envelope> UndoPoints;
  std::optional<envelope_edit::Envelope> ClipPoints;

  void drawcircle(gui::Bitmap& canvas, int x, int y, int r);
  void EnvIMouseDown(const gui::MouseEvent& event);
  void EnvIMouseMove(const gui::MouseEvent& event);
  void EnvIMouseUp(const gui::MouseEvent& event);
  void ShowPointReadout(float time, float level, bool released);
  void EnvSelect(int k);
  void ESelect(const gui::MouseEvent& event, int index);
  void EcClcik(int k);
  void SnappClick(int k);
  void SnaptClick(int k);
  void ECurrentClick(const std::string& item);
  void EcClick(int k);
  void ControlDown(const gui::MouseEvent& event);
  void ControlMove(const gui::MouseEvent& event);
  void ControlUp();
  void DrawModifierSlider(int knob_x);
  void SaveEnvelope();
  void LoadEnvelopeFile();
  // An envelope-panel menu at the pointer: items named and drawn from a table, the choice
  // reported by its index in the table.
  void EnvelopePopup(const gui::MouseEvent& event, std::span<const std::string_view> names,
                     std::span<const std::string_view> texts, std::function<void(int)> choose,
                     std::function<void()> cancel = nullptr);

  // --- MIDI learn and the controller menu (editor/midi_learn.cpp) ---
  // The size items at the end of the controller menu: "Size 100 %" .. "Size 300 %".
  void AddSizeItems(gui::PopupMenu& menu);
  bool ChooseSize(const std::string& item);
  // The per-control MIDI menu, at PressPoint, for MidiTarget.
  void OpenMidiMenu();
  void MidiMenuClick(int target, const std::string& item);
  // The controller menu's surface; false when the event is not its press.
  bool DispatchControllerMenuMouse(const gui::MouseEvent& event);
  void ControllerMenuClick(const std::string& item);
  // Whether the sound plays the alias-free oscillators (the controller menu's switch).
  bool AliasFreeOn() const;
  // Sends one assign request: parameter `slot` gets the controller `controller_value` * 255.
  void AssignController(int slot, float controller_value);
  void MidiReset();
  void MidiLoad();
  void MidiSave();
  void NewSound();

  // --- The evolver (editor/evolver_panel.cpp) ---
  bool DispatchEvolverMouse(const gui::MouseEvent& event);
  void EvolClick();
  void SelectEv(int slot);
  void Image10Click();
  void EvolCloseMouseDown();
  void ShowEvolver(bool shown);
  // Breeds all nine slots from the selected one.
  void DoEvol();

  void OpenEditGroup();
  void CloseEditGroup();
  void EndGestures();

  EditorValues* values_;
  EditorSizing* sizing_ = nullptr;
  int modifier_knob_x_ = 10;
  gui::Form form_;
  // The gestures the open group has begun, in the order begun.
  int edit_depth_ = 0;
  bool held_edit_ = false;
  bool gesture_open_[param::kPatchSize] = {};
  int gesture_order_[param::kPatchSize] = {};
  int gesture_count_ = 0;
  std::string readout_;
  int controls_painted_ = 0;
  gui::PopupMenu last_menu_;

  // Components the form's code draws on directly; the control images are found by table.
  // The images of the dials and sliders (editor::logic::ControlTable) and of the toggles and
  // selectors (editor::logic::SelectorTable), in table order.
  std::vector<gui::Image*> control_images_;
  std::vector<gui::Image*> selector_images_;
  gui::Image* PrintOut = nullptr;
  gui::Image* backdial = nullptr;
  gui::Image* Backslider = nullptr;
  gui::Image* Backi = nullptr;
  gui::Image* EnvI = nullptr;
  gui::Image* HControl = nullptr;
  gui::Image* Ecomm = nullptr;
  gui::Image* MnSnapp = nullptr;
  gui::Image* MnSnapt = nullptr;
  gui::Panel* Pabout = nullptr;
  gui::Image* Abouti = nullptr;
  gui::Panel* Pevol = nullptr;
  gui::Image* Ievol = nullptr;

  gui::ImageList HBar, IsliderPos, Idials, iPrintOut, IOnOff, Iosc, Ifm, Ifilter, ILfoNo, IBend,
      Imode, IArpMode, IarpOct, Ienv, ISenv, Ipt, IeCOmm, IEprint, Iloopp;

  // Last: the window goes before the form and the lists it shows.
  gui::HeadlessWindow* headless_ = nullptr;
  std::unique_ptr<gui::PlatformWindow> window_;
};

}  // namespace vellicor
