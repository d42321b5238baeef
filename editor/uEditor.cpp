#include "editor/uEditor.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <utility>

#include "editor/artwork.h"
#include "editor/layout.h"
#include "editor/menu_tables.h"

namespace vellicor {

namespace logic = editor::logic;

const char kMakerLine[] = "Quorrel 2026";

namespace {

constexpr int kTimer1 = 1;  // the envelope view, every 500 ms
constexpr int kTimer2 = 2;  // the controls, every 200 ms
constexpr int kTimer1Interval = 500;
constexpr int kTimer2Interval = 200;
// Indices the 200 ms refresh watches: everything up to the envelope lengths, and the first
// loop start after them.
constexpr int kWatchedLast = param::kEnvLength + param::kEnvelopeSlots;
// SetAll also looks at the record's last ten values, where the evolver's sliders are.
constexpr int kTailFirst = param::kPatchSize - 10;
constexpr int kTailLast = param::kPatchSize - 1;
// Parameters with a control start out as never drawn. The bound is an old one, amid envelope
// 15's curves: the evolver's sliders lie beyond it and start out as drawn at 0.
constexpr int kNeverDrawnLast = param::Point(param::kEnvCurve, 14, 9);
constexpr unsigned kAnyButtonHeld = gui::kLeftHeld | gui::kRightHeld | gui::kMiddleHeld;

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

}  // namespace

// --- Creation and the bridge's side -----------------------------------------------------------

std::unique_ptr<TPluginEditorWindow> TPluginEditorWindow::Create(void* parent,
                                                                 EditorValues* values) {
  if (values == nullptr) return nullptr;
  std::unique_ptr<TPluginEditorWindow> editor(new TPluginEditorWindow(values));
  editor->FormCreate();
  if (!editor->Open(parent)) return nullptr;
  return editor;
}

TPluginEditorWindow::TPluginEditorWindow(EditorValues* values)
    : values_(values), form_(editor::kFormWidth, editor::kFormHeight, gui::kWhite) {
  BuildImageLists();
  BuildForm();
}

TPluginEditorWindow::~TPluginEditorWindow() {
  // The window first: it stops its thread and timers before the form goes. A drag it cut short
  // gets no release, so its gesture ends here.
  if (window_) window_->Close();
  EndAllEdits();
  window_.reset();
}

bool TPluginEditorWindow::Open(void* parent) {
  const auto backend = parent != nullptr ? gui::PlatformWindow::Backend::kNative
                                         : gui::PlatformWindow::Backend::kHeadless;
  std::unique_ptr<gui::PlatformWindow> window = gui::PlatformWindow::Create(backend, form_, *this);
  if (!window) return false;
  if (backend == gui::PlatformWindow::Backend::kHeadless) {
    headless_ = static_cast<gui::HeadlessWindow*>(window.get());
  }
  window_ = std::move(window);
  if (!window_->Open(parent)) {
    window_.reset();
    headless_ = nullptr;
    return false;
  }
  window_->SetTimer(kTimer1, kTimer1Interval);
  window_->SetTimer(kTimer2, kTimer2Interval);
  return true;
}

int TPluginEditorWindow::ClientWidth() const {
  auto lock = Lock();
  return form_.frame().pixel_width();
}

int TPluginEditorWindow::ClientHeight() const {
  auto lock = Lock();
  return form_.frame().pixel_height();
}

void TPluginEditorWindow::SetScale(gui::Scale scale) {
  auto lock = Lock();
  if (scale == form_.scale()) return;
  // Everything drawn is drawn again at the new scale; what it shows (values, the read-out, the
  // envelope, the panels open) stays as it is.
  form_.SetScale(scale);
  BuildImageLists();
  PaintPictures();
  RedrawAll();
  window_->FitToForm();
  window_->Update();
}

void TPluginEditorWindow::SetSizing(EditorSizing* sizing) {
  auto lock = Lock();
  sizing_ = sizing;
}

void TPluginEditorWindow::Show() {
  window_->SetVisible(true);
}

void TPluginEditorWindow::Hide() {
  window_->SetVisible(false);
  // A hidden window may never see the release of a press it had.
  auto lock = Lock();
  EndAllEdits();
}

void TPluginEditorWindow::PaintPending() {
  // The host's idle call: the backend handles waiting input and timers, then paints. It
  // returns at once when its own thread is pumping, which paints as well.
  window_->Idle();
}

void TPluginEditorWindow::Timer2Timer() {
  auto lock = Lock();
  Timer2Refresh();
}

void TPluginEditorWindow::SetPlugin(EditorHost* plugin) {
  auto lock = Lock();
  // Gestures end where they began.
  if (plugin != Plugin) EndAllEdits();
  Plugin = plugin;
}

float TPluginEditorWindow::Mirror(int index) const {
  if (index < 0 || index > param::kPatchSize) return 0.0f;
  return values_->ValueMirror[index];
}

// --- The form ---------------------------------------------------------------------------------

void TPluginEditorWindow::BuildImageLists() {
  namespace art = editor::artwork;
  const gui::Scale scale = form_.scale();
  HBar = gui::ImageList(art::kTrackWidth, art::kTrackHeight, art::SliderTrack(scale));
  IsliderPos = gui::ImageList(art::kKnobSize, art::kKnobSize, art::SliderKnob(scale));
  Idials = gui::ImageList(art::kDialSize, art::kDialSize, art::DialStrip(scale));
  iPrintOut = gui::ImageList(art::kPrintOutWidth, art::kPrintOutHeight, art::PrintOutBar(scale));
  const int w = art::kLabelWidth;
  const int h = art::kLabelHeight;
  auto labels = [scale](std::span<const std::string_view> texts) {
    return art::LabelStrip(texts, scale);
  };
  IOnOff = gui::ImageList(w, h, art::OnOffStrip(scale));
  Iosc = gui::ImageList(w, h, labels(logic::LabelStrip("Iosc")));
  Ifm = gui::ImageList(w, h, labels(logic::LabelStrip("Ifm")));
  Ifilter = gui::ImageList(w, h, labels(logic::LabelStrip("Ifilter")));
  ILfoNo = gui::ImageList(w, h, labels(logic::LabelStrip("ILfoNo")));
  IBend = gui::ImageList(w, h, labels(logic::LabelStrip("IBend")));
  Imode = gui::ImageList(w, h, labels(logic::LabelStrip("Imode")));
  IArpMode = gui::ImageList(w, h, labels(logic::LabelStrip("IArpMode")));
  IarpOct = gui::ImageList(w, h, labels(logic::LabelStrip("IarpOct")));
  Ienv = gui::ImageList(w, h, labels(logic::LabelStrip("Ienv")));
  ISenv = gui::ImageList(w, h, labels(logic::LabelStrip("ISenv")));
  Ipt = gui::ImageList(w, h, labels(art::kSnapLabels));
  IeCOmm = gui::ImageList(w, h, labels(art::kModifierLabels));
  IEprint = gui::ImageList(60, 14, art::PointBox(scale));
  Iloopp = gui::ImageList(14, 14, art::LoopMarks(scale));
}

const gui::ImageList* TPluginEditorWindow::ImageListNamed(std::string_view name) const {
  const std::pair<const char*, const gui::ImageList*> lists[] = {
      {"HBar", &HBar},       {"IsliderPos", &IsliderPos},
      {"Idials", &Idials},   {"iPrintOut", &iPrintOut},
      {"IOnOff", &IOnOff},   {"Iosc", &Iosc},
      {"Ifm", &Ifm},         {"Ifilter", &Ifilter},
      {"ILfoNo", &ILfoNo},   {"IBend", &IBend},
      {"Imode", &Imode},     {"IArpMode", &IArpMode},
      {"IarpOct", &IarpOct}, {"Ienv", &Ienv},
      {"ISenv", &ISenv},     {"Ipt", &Ipt},
      {"IeCOmm", &IeCOmm},   {"IEprint", &IEprint},
      {"Iloopp", &Iloopp},
  };
  const std::string upper = Upper(name);
  for (const auto& [list_name, list] : lists) {
    if (Upper(list_name) == upper) return list;
  }
  return nullptr;
}

void TPluginEditorWindow::BuildForm() {
  for (int i = 0; i < editor::kComponentCount; ++i) {
    const editor::ComponentSpec& entry = editor::kComponents[i];
    gui::Panel* parent = entry.parent != nullptr ? form_.FindPanel(entry.parent) : nullptr;
    const gui::Rect bounds = gui::Rect::XYWH(entry.left, entry.top, entry.width, entry.height);
    if (entry.kind == editor::ComponentKind::kPanel) {
      // A panel's own colour shows only where its bitmap does not reach.
      form_.AddPanel(entry.name, bounds, parent).SetColor(editor::artwork::FaceColor());
    } else {
      form_.AddImage(entry.name, bounds, parent).SetTransparent(entry.transparent);
    }
  }
  auto image = [this](std::string_view name) { return form_.FindImage(name); };
  PrintOut = image("PrintOut");
  backdial = image("backdial");
  Backslider = image("Backslider");
  Backi = image("Backi");
  EnvI = image("EnvI");
  HControl = image("HControl");
  Ecomm = image("Ecomm");
  MnSnapp = image("MnSnapp");
  MnSnapt = image("MnSnapt");
  Pabout = form_.FindPanel("Pabout");
  Abouti = image("Abouti");
  Pevol = form_.FindPanel("Pevol");
  Ievol = image("Ievol");
  // The buffers and the envelope view's background are drawn from, never shown.
  for (gui::Image* hidden : {backdial, Backslider, Backi}) hidden->SetVisible(false);

  for (const logic::ControlSpec& c : logic::ControlTable()) {
    control_images_.push_back(image(c.image));
  }
  for (const logic::SelectorSpec& s : logic::SelectorTable()) {
    selector_images_.push_back(image(s.image));
  }
  PaintPictures();
}

void TPluginEditorWindow::PaintPictures() {
  namespace art = editor::artwork;
  const gui::Scale scale = form_.scale();
  const art::Face face = art::MakeFace(scale);
  auto image = [this](std::string_view name) { return form_.FindImage(name); };
  image("Image1")->SetBitmap(face.background);
  for (const char* name :
       {"Image2", "Image3", "Image4", "Image5", "Image6", "Image7", "Image8", "Image9"}) {
    image(name)->SetBitmap(face.PanelImage(name));
  }
  image("Evol")->SetBitmap(art::EvolButton(scale));
  image("Abouti")->SetBitmap(art::AboutBitmap(kMakerLine, scale));
  image("Ievol")->SetBitmap(art::EvolverBitmap(scale));
  image("Image10")->SetBitmap(art::EvolverButton("EVOLVE", scale));
  image("EvolClose")->SetBitmap(art::EvolverButton("CLOSE", scale));
  const char* slots[] = {"Ev1", "Ev2", "ev3", "ev4", "ev5", "ev6", "ev7", "ev8", "ev9"};
  for (int s = 0; s < 9; ++s) image(slots[s])->SetBitmap(art::EvolverSlot(s, scale));
  Backi->SetBitmap(art::EnvelopeBackground(scale));
  backdial->SetBitmap(gui::Bitmap(art::kDialSize, art::kDialSize, gui::kGrey, scale));
  Backslider->SetBitmap(gui::Bitmap(art::kTrackWidth, art::kTrackHeight, gui::kGrey, scale));
}

void TPluginEditorWindow::RedrawAll() {
  LfoNumber = logic::LfoNumberOf(Mirror(param::kLfoShown));
  EnvNumber = logic::EnvNumberOf(Mirror(param::kEnvelopeShown));
  DrawReadout();
  DrawModifierSlider(modifier_knob_x_);
  EcClick(CurveModifier);
  SnappClick(TimeSnap);
  SnaptClick(LevelSnap);
  // Every dial and slider as if never drawn, then every control as it stands.
  for (const logic::ControlSpec& c : logic::ControlTable()) {
    const int at = c.Index(LfoNumber, EnvNumber);
    if (at >= 0 && at < param::kPatchSize) LastDrawn[at] = std::numeric_limits<float>::quiet_NaN();
  }
  const auto controls = logic::ControlTable();
  for (size_t i = 0; i < controls.size(); ++i) {
    const logic::ControlSpec& c = controls[i];
    const int at = c.Index(LfoNumber, EnvNumber);
    if (c.kind == logic::ControlKind::kToggle || control_images_[i] == nullptr || at < 0 ||
        at >= param::kPatchSize) {
      continue;
    }
    if (c.kind == logic::ControlKind::kSlider) {
      DrawHSlider(*control_images_[i], at);
    } else {
      DrawDial(*control_images_[i], at);
    }
  }
  const auto selectors = logic::SelectorTable();
  for (size_t i = 0; i < selectors.size(); ++i) {
    const logic::SelectorSpec& s = selectors[i];
    if (selector_images_[i] == nullptr) continue;
    DrawMenu3(*selector_images_[i], ImageListNamed(s.image_list),
              logic::SelectorFrame(s.k, Mirror(s.Index(LfoNumber, EnvNumber))));
  }
  DrawEnv();
}

void TPluginEditorWindow::FormCreate() {
  PrintLabels("Vellicor V2.0", kMakerLine);
  DrawModifierSlider(10);
  Clearscreen(*Ecomm, gui::kWhite);
  IeCOmm.Draw(Ecomm->Edit(), 0, 0, CurveModifier);
  Clearscreen(*MnSnapp, gui::kWhite);
  Ipt.Draw(MnSnapp->Edit(), 0, 0, TimeSnap);
  Clearscreen(*MnSnapt, gui::kWhite);
  Ipt.Draw(MnSnapt->Edit(), 0, 0, 4 + LevelSnap);
  Pevol->SetVisible(false);
  Pevol->SetEnabled(false);
  Ievol->SetVisible(false);
  Ievol->SetEnabled(false);
  SwapDials = 0;
  DestIndex = -1;
  FilterTarget = -1;
  TimeSnap = 0;
  LevelSnap = 0;
  for (int i = 0; i <= kNeverDrawnLast; ++i) LastDrawn[i] = -1.0f;
  Pabout->SetVisible(false);
  Pabout->SetEnabled(false);
  Abouti->SetVisible(false);
  Abouti->SetEnabled(false);
  DragIndex = 0;
  // The panels need no double buffering: the form composes every frame off screen.
  PrintLabels("Vellicor ", kMakerLine);
  DrawEnv();
  SetAll();
}

void TPluginEditorWindow::setfvar(int index, float value) {
  if (index < 0 || index > param::kPatchSize) return;
  values_->ValueMirror[index] = value;
  if (Plugin == nullptr || index >= param::kPatchSize) return;
  if (edit_depth_ > 0) {
    Touch(index);
    Plugin->setParameterAutomated(index, value);
    return;
  }
  Plugin->BeginEdit(index);
  Plugin->setParameterAutomated(index, value);
  Plugin->EndEdit(index);
}

// --- Gestures -----------------------------------------------------------------------------------

void TPluginEditorWindow::OpenEditGroup() {
  ++edit_depth_;
}

void TPluginEditorWindow::CloseEditGroup() {
  // EndAllEdits may have closed every group already.
  if (edit_depth_ == 0) return;
  if (--edit_depth_ == 0) EndGestures();
}

void TPluginEditorWindow::HoldEdit() {
  if (held_edit_) return;
  held_edit_ = true;
  OpenEditGroup();
}

void TPluginEditorWindow::LetGoEdit() {
  if (!held_edit_) return;
  held_edit_ = false;
  CloseEditGroup();
}

void TPluginEditorWindow::Touch(int index) {
  if (Plugin == nullptr || edit_depth_ == 0 || index < 0 || index >= param::kPatchSize ||
      gesture_open_[index]) {
    return;
  }
  gesture_open_[index] = true;
  gesture_order_[gesture_count_++] = index;
  Plugin->BeginEdit(index);
}

void TPluginEditorWindow::EndAllEdits() {
  held_edit_ = false;
  edit_depth_ = 0;
  EndGestures();
}

void TPluginEditorWindow::EndGestures() {
  // Marked closed before the host hears of it, so a host calling back finds no gesture open.
  const int count = gesture_count_;
  gesture_count_ = 0;
  for (int k = 0; k < count; ++k) gesture_open_[gesture_order_[k]] = false;
  if (Plugin == nullptr) return;
  for (int k = 0; k < count; ++k) Plugin->EndEdit(gesture_order_[k]);
}

void TPluginEditorWindow::SetAll() {
  auto refresh = [this](int i) {
    const float v = values_->ValueMirror[i];
    if (v != LastDrawn[i]) {
      SetControl(i);
      LastDrawn[i] = v;
    }
  };
  for (int i = 0; i <= kWatchedLast; ++i) refresh(i);
  for (int i = kTailFirst; i <= kTailLast; ++i) refresh(i);
}

void TPluginEditorWindow::Timer2Refresh() {
  for (int i = 0; i <= kWatchedLast; ++i) {
    const float v = values_->ValueMirror[i];
    if (v != LastDrawn[i]) {
      SetControl(i);
      LastDrawn[i] = v;
    }
  }
}

bool TPluginEditorWindow::Redraws(int index, logic::IndexRule rule, int base, bool slider) const {
  switch (index) {
    case param::kLfoShown:
      // The LFO panel now shows another LFO's parameters.
      return rule == logic::IndexRule::kLfo || base == param::kLfoShown;
    case param::kEnvelopeShown:
      return rule == logic::IndexRule::kEnvelope || base == param::kEnvelopeShown;
    case -1:
      return rule == logic::IndexRule::kEnvelope && slider;
    default:
      return logic::IndexOf(base, rule, LfoNumber, EnvNumber) == index;
  }
}

void TPluginEditorWindow::SetControl(int index) {
  LfoNumber = logic::LfoNumberOf(Mirror(param::kLfoShown));
  EnvNumber = logic::EnvNumberOf(Mirror(param::kEnvelopeShown));
  const auto controls = logic::ControlTable();
  for (size_t i = 0; i < controls.size(); ++i) {
    const logic::ControlSpec& c = controls[i];
    // Toggles are drawn as selectors of their on/off list below.
    if (c.kind == logic::ControlKind::kToggle || control_images_[i] == nullptr) continue;
    const bool slider = c.kind == logic::ControlKind::kSlider;
    if (!Redraws(index, c.rule, c.base, slider)) continue;
    const int at = c.Index(LfoNumber, EnvNumber);
    if (slider) {
      DrawHSlider(*control_images_[i], at);
    } else {
      DrawDial(*control_images_[i], at);
    }
  }
  const auto selectors = logic::SelectorTable();
  for (size_t i = 0; i < selectors.size(); ++i) {
    const logic::SelectorSpec& s = selectors[i];
    if (selector_images_[i] == nullptr || !Redraws(index, s.rule, s.base, false)) continue;
    const int at = s.Index(LfoNumber, EnvNumber);
    DrawMenu3(*selector_images_[i], ImageListNamed(s.image_list),
              logic::SelectorFrame(s.k, Mirror(at)));
  }
}

void TPluginEditorWindow::DrawDial(gui::Image& image, int index) {
  const float v = Mirror(index);
  if (v != LastDrawn[index]) {
    gui::Bitmap& buffer = backdial->Edit();
    buffer.Fill(gui::kGrey);
    Idials.Draw(buffer, 0, 0, logic::DialFrame(v));
    image.Edit().Copy(buffer, {0, 0, 31, 31}, 0, 0);
    ++controls_painted_;
  }
  LastDrawn[index] = v;
}

void TPluginEditorWindow::DrawHSlider(gui::Image& image, int index) {
  const float v = Mirror(index);
  // Some sliders show another parameter after the LFO or envelope shown changes, so the value
  // they last drew says nothing.
  if (v == LastDrawn[index] && !logic::SliderAlwaysDrawn(index, LfoNumber)) return;
  const int x = logic::KnobX(v);
  gui::Bitmap& buffer = Backslider->Edit();
  buffer.Fill(gui::kGrey);
  HBar.Draw(buffer, 0, 0, 0);
  IsliderPos.Draw(buffer, x, 2, 0);
  image.Edit().Copy(buffer, {0, 0, 100, 13}, 0, 0);
  ++controls_painted_;
  LastDrawn[index] = v;
}

void TPluginEditorWindow::DrawMenu3(gui::Image& image, const gui::ImageList* list, int frame) {
  gui::Bitmap& b = image.Edit();
  b.Fill(gui::kWhite);
  // A frame past the end of the list draws nothing: the image stays white.
  if (list != nullptr) list->Draw(b, 0, 0, frame);
}

void TPluginEditorWindow::PrintLabels(std::string_view name, std::string_view value) {
  std::string text(name);
  text += " :: ";
  text += value;
  readout_ = std::move(text);
  DrawReadout();
}

void TPluginEditorWindow::DrawReadout() {
  gui::Bitmap& b = PrintOut->Edit();
  iPrintOut.Draw(b, 0, 0, 0);
  gui::Font font;
  font.name = "Arial";
  font.size = 10;
  font.bold = true;
  font.color = gui::kBlack;
  // Not clipped: what does not fit is cut by the bar's edge.
  b.Text(2, 2, readout_, font);
}

void TPluginEditorWindow::Clearscreen(gui::Image& image, gui::Color color) {
  image.Edit().Fill(color);
}

void TPluginEditorWindow::Timer1Timer() {
  DrawEnv();
}

void TPluginEditorWindow::Aboutclick() {
  Pabout->SetVisible(true);
  Pabout->SetEnabled(true);
  Abouti->SetVisible(true);
  Abouti->SetEnabled(true);
}

void TPluginEditorWindow::AboutiClick() {
  Pabout->SetVisible(false);
  Pabout->SetEnabled(false);
  Abouti->SetVisible(false);
  Abouti->SetEnabled(false);
}

// --- Events -------------------------------------------------------------------------------------

void TPluginEditorWindow::OnTimer(int id) {
  if (id == kTimer1) Timer1Timer();
  if (id == kTimer2) Timer2Refresh();
}

void TPluginEditorWindow::OnMouse(const gui::MouseEvent& event) {
  DispatchMouse(event);
  // A held edit lasts while a button does: the last release ends it, and so does a move with
  // no button held (the release went to another window).
  const bool let_go =
      (event.action == gui::MouseAction::kUp || event.action == gui::MouseAction::kMove) &&
      (event.state & kAnyButtonHeld) == 0;
  if (let_go) LetGoEdit();
}

void TPluginEditorWindow::DispatchMouse(const gui::MouseEvent& event) {
  const std::string& name = event.name;
  const gui::MouseAction action = event.action;
  if (name == "IMAGE11") {
    if (action == gui::MouseAction::kClick) Aboutclick();
    return;
  }
  if (name == "ABOUTI") {
    if (action == gui::MouseAction::kClick) AboutiClick();
    return;
  }
  if (action == gui::MouseAction::kMove && Dragging && (DragKind == 1 || DragKind == 2)) {
    MoveDragged(event);
    return;
  }
  if (const logic::ControlSpec* control = logic::FindControl(name)) {
    // The envelope loop switch (MNENVSUS) takes its moves and releases from the envelope
    // modifier slider's handlers.
    const bool loop_switch = name == "MNENVSUS";
    switch (action) {
      case gui::MouseAction::kDown:
        SetControlSelect(event, *control);
        break;
      case gui::MouseAction::kMove:
        if (loop_switch) {
          ControlMove(event);
        } else {
          MouseMove(*control);
        }
        break;
      case gui::MouseAction::kUp:
        if (loop_switch) {
          ControlUp();
        } else {
          MouseUp();
        }
        break;
      case gui::MouseAction::kClick:
        break;
    }
    return;
  }
  if (const logic::MenuOpener* opener = logic::FindMenuOpener(name)) {
    if (action == gui::MouseAction::kDown) SelectorMouseDown(event, *opener);
    if (action == gui::MouseAction::kUp) SelectorMouseUp(*opener);
    return;
  }
  if (DispatchEnvelopeMouse(event)) return;
  if (DispatchControllerMenuMouse(event)) return;
  DispatchEvolverMouse(event);
}

// --- Controls -----------------------------------------------------------------------------------

namespace {

std::optional<logic::MouseButton> ButtonOf(gui::MouseButton button) {
  switch (button) {
    case gui::MouseButton::kLeft:
      return logic::MouseButton::kLeft;
    case gui::MouseButton::kRight:
      return logic::MouseButton::kRight;
    case gui::MouseButton::kMiddle:
      return logic::MouseButton::kMiddle;
    case gui::MouseButton::kNone:
      break;
  }
  return std::nullopt;
}

}  // namespace

void TPluginEditorWindow::SetControlSelect(const gui::MouseEvent& event,
                                           const logic::ControlSpec& control) {
  PressPoint = event.pos;
  PressedImage = static_cast<gui::Image*>(event.component);
  // One drag at a time: a press with another button, or on another control, changes nothing.
  if (Dragging) return;
  const std::optional<logic::MouseButton> button = ButtonOf(event.button);
  const int index = control.Index(LfoNumber, EnvNumber);
  if (!button || index < 0 || index >= param::kPatchSize) return;
  const float current = Mirror(index);
  if (control.kind == logic::ControlKind::kSlider) {
    LastDrawn[index] = current;
    ControlDragMode = -1;
  }
  const logic::PressResult press =
      logic::ControlPress(control.kind, *button, event.shift(), event.ctrl(), SwapDials,
                          event.pos.x, event.pos.y, current);
  switch (press.action) {
    case logic::PressAction::kNothing:
      return;
    case logic::PressAction::kToggle:
      SendChange(index, press.value);
      return;
    case logic::PressAction::kMidiMenu:
      MidiTarget = index;
      ControlDragMode = -1;
      OpenMidiMenu();
      return;
    case logic::PressAction::kResetToDefault:
      // Like a drag, the press's gesture lasts until the release.
      HoldEdit();
      ControlDragMode = -1;
      setfvar(index, param::DefaultValue(index));
      SetControl(index);
      SetLabel(index);
      return;
    case logic::PressAction::kStartDrag:
      // The drag is one gesture from the press on, even when the press itself writes nothing.
      HoldEdit();
      Touch(index);
      ControlDragMode = static_cast<int>(press.mode);
      DragKind = control.kind == logic::ControlKind::kDial ? 1 : 2;
      Dragging = true;
      DragIndex = index;
      DragStartValue = press.start_value;
      if (press.send) SendChange(index, press.value);
      return;
  }
}

void TPluginEditorWindow::MouseMove(const logic::ControlSpec& control) {
  if (Dragging || control.kind == logic::ControlKind::kToggle) return;
  SetLabel(control.Index(LfoNumber, EnvNumber));
}

void TPluginEditorWindow::MoveDragged(const gui::MouseEvent& event) {
  // No button held any more: the release went elsewhere (the window lost the mouse mid-drag).
  // End the drag rather than let the control follow a pointer nobody presses.
  if ((event.state & kAnyButtonHeld) == 0) {
    MouseUp();
    return;
  }
  if (DragIndex < 0 || DragIndex >= param::kPatchSize) return;
  const logic::ControlKind kind =
      DragKind == 1 ? logic::ControlKind::kDial : logic::ControlKind::kSlider;
  const auto mode = ControlDragMode == 1 ? logic::DragMode::kFine : logic::DragMode::kCoarse;
  SendChange(DragIndex, logic::DragValue(kind, mode, DragStartValue, Mirror(DragIndex), event.pos.x,
                                         event.pos.y));
}

void TPluginEditorWindow::MouseUp() {
  DragStartValue = Mirror(DragIndex);
  DragKind = -1;
  Dragging = false;
  ControlDragMode = -1;
  SetAll();
}

void TPluginEditorWindow::SendChange(int index, float value) {
  if (index < 0 || index >= param::kPatchSize) return;
  setfvar(index, value);
  SetControl(index);
  SetLabel(index);
}

void TPluginEditorWindow::SetLabel(int index) {
  const std::optional<logic::Readout> readout =
      logic::ReadoutOf(index, values_->ValueMirror, values_->CcMap, LfoNumber, EnvNumber);
  if (readout) PrintLabels(readout->name, readout->value);
}

// --- Selection menus ----------------------------------------------------------------------------

void TPluginEditorWindow::SelectorMouseDown(const gui::MouseEvent& event,
                                            const logic::MenuOpener& opener) {
  if (event.shift() && opener.shift_opens_nothing) return;
  const int target = opener.Target(LfoNumber);
  switch (opener.slot) {
    case logic::TargetSlot::kMenuTarget:
      MenuTarget = target;
      break;
    case logic::TargetSlot::kLfoSelTarget:
      LfoSelTarget = target;
      break;
    case logic::TargetSlot::kFilterTarget:
      FilterTarget = target;
      break;
    case logic::TargetSlot::kLfoNumber:
      break;
  }
  Popup(SelectionMenu(opener, target), window_->ScreenPoint(event.component, event.pos));
}

void TPluginEditorWindow::SelectorMouseUp(const logic::MenuOpener& opener) {
  switch (opener.release) {
    case logic::ReleaseReset::kNothing:
      break;
    case logic::ReleaseReset::kFilterTarget:
      FilterTarget = -1;
      break;
    case logic::ReleaseReset::kLfoSelTargetAndDest:
      LfoSelTarget = -1;
      DestIndex = -1;
      break;
  }
}

gui::PopupMenu TPluginEditorWindow::SelectionMenu(const logic::MenuOpener& opener, int target) {
  const logic::MenuSpec& menu_spec = logic::Menu(opener.menu);
  gui::PopupMenu menu = ItemsMenu(menu_spec.items);
  menu.draw = [&menu_spec](const gui::MenuItemDraw& d) {
    const int k = logic::ItemNumber(menu_spec, d.name);
    DrawMenuItem(d, k >= 0 ? menu_spec.items[static_cast<size_t>(k)].text : std::string_view());
  };
  // The target is bound now: the selector's release may reset the target fields before the
  // choice arrives.
  const bool lfo_number = opener.slot == logic::TargetSlot::kLfoNumber;
  menu.on_choose = [this, id = opener.menu, target, lfo_number](const std::string& item, int) {
    MenuChoice(id, target, lfo_number, item);
  };
  return menu;
}

void TPluginEditorWindow::MenuChoice(logic::MenuId menu, int target, bool lfo_number,
                                     const std::string& item) {
  const logic::MenuSpec& menu_spec = logic::Menu(menu);
  const int k = logic::ItemNumber(menu_spec, item);
  if (k < 0 || target < 0 || target >= param::kPatchSize) return;
  setfvar(target, logic::ItemValue(menu_spec, k));
  if (lfo_number) LfoNumber = k;
  SetControl(target);
  SetLabel(target);
}

gui::PopupMenu TPluginEditorWindow::ItemsMenu(std::span<const logic::MenuItemSpec> items) {
  gui::PopupMenu menu;
  for (const logic::MenuItemSpec& item : items) {
    gui::MenuItem entry;
    entry.name = std::string(item.name);
    entry.caption = std::string(item.caption);
    menu.items.push_back(std::move(entry));
  }
  return menu;
}

void TPluginEditorWindow::DrawMenuItem(const gui::MenuItemDraw& item, std::string_view text) {
  const logic::MenuItemLook look = logic::MenuLook(item.highlighted);
  item.surface.FillRect(item.rect, look.brush_rgb);
  gui::Font font = item.font;
  font.name = std::string(logic::kMenuFontName);
  font.color = look.text_rgb;
  item.surface.Text(item.rect.left, item.rect.top, logic::MenuItemDrawnText(text), font);
  if (!item.item.submenu.empty()) gui::DrawSubmenuMark(item.surface, item.rect, look.text_rgb);
}

// --- Menus --------------------------------------------------------------------------------------

void TPluginEditorWindow::Popup(gui::PopupMenu menu, gui::Point screen) {
  // The menu takes the mouse: the press that opened it gets no release.
  LetGoEdit();
  last_menu_ = menu;
  window_->Popup(std::move(menu), screen);
}

bool TPluginEditorWindow::ChooseFromOpenMenu(std::string_view name) {
  if (headless_ != nullptr) return headless_->ChooseMenuItem(name);
  if (!window_->menu_open()) return false;
  const std::string upper = Upper(name);
  // The items of the menu, then those of its submenus (which report to the same callback).
  std::vector<const std::vector<gui::MenuItem>*> lists = {&last_menu_.items};
  for (const gui::MenuItem& item : last_menu_.items) {
    if (!item.submenu.empty()) lists.push_back(&item.submenu);
  }
  for (const std::vector<gui::MenuItem>* items : lists) {
    for (int i = 0; i < static_cast<int>(items->size()) && i < gui::kMaxMenuItems; ++i) {
      const gui::MenuItem& item = (*items)[static_cast<size_t>(i)];
      if (Upper(item.name) != upper) continue;
      if (!item.enabled || !item.submenu.empty()) return false;
      auto choose = last_menu_.on_choose;
      window_->CancelMenu();
      try {
        if (choose) choose(upper, i);
      } catch (...) {
      }
      return true;
    }
  }
  return false;
}

// --- Requests -----------------------------------------------------------------------------------

// --- The test port ---------------------------------------------------------------------------
// The command-line host and the tests drive the editor through these; a failure inside (out of
// memory, say) answers false rather than reaching the host.

bool TPluginEditorWindow::CaptureFrame(int* width, int* height, std::span<uint32_t> pixels) {
  auto lock = Lock();
  try {
    window_->Update();
    const gui::Bitmap& frame = form_.frame();
    *width = frame.pixel_width();
    *height = frame.pixel_height();
    const size_t needed =
        static_cast<size_t>(frame.pixel_width()) * static_cast<size_t>(frame.pixel_height());
    if (pixels.size() < needed) return false;
    std::copy(frame.pixels().begin(), frame.pixels().end(), pixels.begin());
    return true;
  } catch (...) {
    return false;
  }
}

bool TPluginEditorWindow::InjectMouse(MouseAction action, gui::Point at, gui::MouseButton button,
                                      unsigned modifiers) {
  auto lock = Lock();
  if (headless_ == nullptr) return false;
  modifiers &= gui::kModifierMask;
  const bool pressing = button != gui::MouseButton::kNone;
  try {
    switch (action) {
      case MouseAction::kDown:
        if (!pressing) return false;
        headless_->MouseDown(at, button, modifiers);
        return true;
      case MouseAction::kMove:
        headless_->MouseMove(at, modifiers);
        return true;
      case MouseAction::kUp:
        if (!pressing) return false;
        headless_->MouseUp(at, button, modifiers);
        return true;
      case MouseAction::kClick:
        if (!pressing) return false;
        headless_->Click(at, button, modifiers);
        return true;
    }
  } catch (...) {
  }
  return false;
}

bool TPluginEditorWindow::AdvanceClock(int milliseconds) {
  auto lock = Lock();
  if (headless_ == nullptr || milliseconds < 0 || milliseconds > 3600 * 1000) return false;
  try {
    headless_->AdvanceTime(milliseconds);
    return true;
  } catch (...) {
    return false;
  }
}

bool TPluginEditorWindow::ChooseMenuItem(std::string_view name) {
  auto lock = Lock();
  try {
    return ChooseFromOpenMenu(name);
  } catch (...) {
    return false;
  }
}

bool TPluginEditorWindow::ComponentBounds(std::string_view name, gui::Rect* bounds, bool* showing) {
  auto lock = Lock();
  const gui::Component* c = form_.Find(name);
  if (c == nullptr) return false;
  *bounds = c->FormBounds();
  *showing = c->Showing();
  return true;
}

bool TPluginEditorWindow::OpenMenuInfo(std::string_view item, OpenMenu* menu,
                                       std::span<uint32_t> pixels) {
  auto lock = Lock();
  if (!window_->menu_open()) return false;
  // Client coordinates are screen coordinates less where the client area lies on the screen.
  const gui::Point origin = window_->ClientToScreen({0, 0});
  const gui::Rect screen = window_->menu_rect();
  auto to_client = [&origin](gui::Rect r) {
    return gui::Rect{r.left - origin.x, r.top - origin.y, r.right - origin.x, r.bottom - origin.y};
  };
  menu->bounds = to_client(screen);
  menu->screen = {screen.left, screen.top};
  menu->item = {};
  if (!item.empty()) {
    const gui::Rect at = window_->menu_item_rect(window_->menu_item_index(item));
    if (!at.empty()) menu->item = to_client(at);
  }
  menu->pixels_copied = false;
  const gui::Bitmap* surface = window_->menu_surface();
  if (surface == nullptr) return true;
  const size_t needed =
      static_cast<size_t>(surface->width()) * static_cast<size_t>(surface->height());
  if (pixels.size() < needed) return true;
  std::copy(surface->pixels().begin(), surface->pixels().end(), pixels.begin());
  menu->pixels_copied = true;
  return true;
}

void* TPluginEditorWindow::NativeHandle() {
  return headless_ != nullptr ? nullptr : window_->native_handle();
}

// --- The factory every host side's session uses --------------------------------------------------

std::unique_ptr<EditorWindow> CreateEditorWindow(void* parent, EditorValues* values) {
  try {
    return TPluginEditorWindow::Create(parent, values);
  } catch (...) {
    // Out of memory or a platform failure: the host hears that no editor could open.
    return nullptr;
  }
}

}  // namespace vellicor
