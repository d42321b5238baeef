#include "editor/uEditor.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "editor/artwork.h"
#include "editor/layout.h"
#include "editor/menu_tables.h"
#include "plugin/audioeffect.h"
#include "vst/vellicor_requests.h"

namespace vellicor {

namespace logic = editor::logic;

const char kMakerLine[] = "Quorrel 2026";

namespace {

constexpr int kTimer1 = 1;  // the envelope view, every 500 ms
constexpr int kTimer2 = 2;  // the controls, every 200 ms
constexpr int kTimer1Interval = 500;
constexpr int kTimer2Interval = 200;
// Indices the 200 ms refresh watches; SetAll also looks at the evolver's block.
constexpr int kWatchedLast = 270;
constexpr int kEvolverFirst = 1590;
constexpr int kEvolverLast = 1599;
// Parameters with a control start out as never drawn.
constexpr int kNeverDrawnLast = 1399;
constexpr int kMaxRequestText = 256;

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

template <typename Record>
Record* RecordOf(void* record) {
  auto* r = static_cast<Record*>(record);
  return r != nullptr && r->size == static_cast<int32_t>(sizeof(Record)) ? r : nullptr;
}

// A request's text, or nothing when it is missing or longer than any name we use.
std::optional<std::string_view> RequestText(const char* text) {
  if (text == nullptr) return std::nullopt;
  const void* end = std::memchr(text, 0, kMaxRequestText);
  if (end == nullptr) return std::nullopt;
  return std::string_view(text, static_cast<size_t>(static_cast<const char*>(end) - text));
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
  // The window first: it stops its thread and timers before the form goes.
  if (window_) window_->Close();
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
  return form_.width();
}

int TPluginEditorWindow::ClientHeight() const {
  return form_.height();
}

void TPluginEditorWindow::Show() {
  window_->SetVisible(true);
}

void TPluginEditorWindow::Hide() {
  window_->SetVisible(false);
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

void TPluginEditorWindow::SetPlugin(AudioEffect* plugin) {
  auto lock = Lock();
  Plugin = plugin;
}

float TPluginEditorWindow::Mirror(int index) const {
  if (index < 0 || index > kPatchSize) return 0.0f;
  return values_->ValueMirror[index];
}

// --- The form ---------------------------------------------------------------------------------

void TPluginEditorWindow::BuildImageLists() {
  namespace art = editor::artwork;
  HBar = gui::ImageList(art::kTrackWidth, art::kTrackHeight, art::SliderTrack());
  IsliderPos = gui::ImageList(art::kKnobSize, art::kKnobSize, art::SliderKnob());
  Idials = gui::ImageList(art::kDialSize, art::kDialSize, art::DialStrip());
  iPrintOut = gui::ImageList(art::kPrintOutWidth, art::kPrintOutHeight, art::PrintOutBar());
  const int w = art::kLabelWidth;
  const int h = art::kLabelHeight;
  IOnOff = gui::ImageList(w, h, art::OnOffStrip());
  Iosc = gui::ImageList(w, h, art::LabelStrip(logic::LabelStrip("Iosc")));
  Ifm = gui::ImageList(w, h, art::LabelStrip(logic::LabelStrip("Ifm")));
  Ifilter = gui::ImageList(w, h, art::LabelStrip(logic::LabelStrip("Ifilter")));
  ILfoNo = gui::ImageList(w, h, art::LabelStrip(logic::LabelStrip("ILfoNo")));
  IBend = gui::ImageList(w, h, art::LabelStrip(logic::LabelStrip("IBend")));
  Imode = gui::ImageList(w, h, art::LabelStrip(logic::LabelStrip("Imode")));
  IArpMode = gui::ImageList(w, h, art::LabelStrip(logic::LabelStrip("IArpMode")));
  IarpOct = gui::ImageList(w, h, art::LabelStrip(logic::LabelStrip("IarpOct")));
  Ienv = gui::ImageList(w, h, art::LabelStrip(art::kEnvLabels));
  ISenv = gui::ImageList(w, h, art::LabelStrip(art::kShownEnvLabels));
  Ipt = gui::ImageList(w, h, art::LabelStrip(art::kSnapLabels));
  IeCOmm = gui::ImageList(w, h, art::LabelStrip(art::kModifierLabels));
  IEprint = gui::ImageList(60, 14, art::PointBox());
  Iloopp = gui::ImageList(14, 14, art::LoopMarks());
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
  namespace art = editor::artwork;
  const art::Face face = art::MakeFace();
  for (int i = 0; i < editor::kComponentCount; ++i) {
    const editor::ComponentSpec& spec = editor::kComponents[i];
    gui::Panel* parent = spec.parent != nullptr ? form_.FindPanel(spec.parent) : nullptr;
    const gui::Rect bounds = gui::Rect::XYWH(spec.left, spec.top, spec.width, spec.height);
    if (spec.kind == editor::ComponentKind::kPanel) {
      // A panel's own colour shows only where its bitmap does not reach.
      form_.AddPanel(spec.name, bounds, parent).SetColor(art::FaceColor());
    } else {
      form_.AddImage(spec.name, bounds, parent).SetTransparent(spec.transparent);
    }
  }
  auto image = [this](std::string_view name) { return form_.FindImage(name); };
  image("Image1")->SetBitmap(face.background);
  for (const char* name :
       {"Image2", "Image3", "Image4", "Image5", "Image6", "Image7", "Image8", "Image9"}) {
    image(name)->SetBitmap(face.PanelImage(name));
  }
  image("Evol")->SetBitmap(art::EvolButton());
  image("Abouti")->SetBitmap(art::AboutBitmap(kMakerLine));
  image("Ievol")->SetBitmap(art::EvolverBitmap());
  image("Image10")->SetBitmap(art::EvolverButton("EVOLVE"));
  image("EvolClose")->SetBitmap(art::EvolverButton("CLOSE"));
  const char* slots[] = {"Ev1", "Ev2", "ev3", "ev4", "ev5", "ev6", "ev7", "ev8", "ev9"};
  for (int s = 0; s < 9; ++s) image(slots[s])->SetBitmap(art::EvolverSlot(s));

  PrintOut = image("PrintOut");
  backdial = image("backdial");
  Backslider = image("Backslider");
  Backi = image("Backi");
  Backi->SetBitmap(art::EnvelopeBackground());
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
  backdial->SetBitmap(gui::Bitmap(art::kDialSize, art::kDialSize, gui::kGrey));
  Backslider->SetBitmap(gui::Bitmap(art::kTrackWidth, art::kTrackHeight, gui::kGrey));

  for (const logic::ControlSpec& c : logic::ControlTable()) {
    control_images_.push_back(image(c.image));
  }
  for (const logic::SelectorSpec& s : logic::SelectorTable()) {
    selector_images_.push_back(image(s.image));
  }
}

void TPluginEditorWindow::FormCreate() {
  PrintLabels("Vellicor V2.0", kMakerLine);
  Clearscreen(*HControl, gui::kGrey);
  HBar.Draw(HControl->Edit(), 0, 0, 0);
  IsliderPos.Draw(HControl->Edit(), 10, 2, 0);
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
  for (int i = 0; i <= kNeverDrawnLast; ++i) {
    DefaultValue[i] = 0.0f;
    LastDrawn[i] = -1.0f;
  }
  // Main volume, tempo, both oscillators' octave and volume, filter envelope and volume.
  DefaultValue[1] = 0.8f;
  DefaultValue[2] = 0.5f;
  DefaultValue[40] = 0.5f;
  DefaultValue[42] = 0.8f;
  DefaultValue[60] = 0.5f;
  DefaultValue[62] = 0.8f;
  DefaultValue[123] = 0.5f;
  DefaultValue[124] = 0.8f;
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
  if (index < 0 || index > kPatchSize) return;
  values_->ValueMirror[index] = value;
  if (Plugin != nullptr && index < kPatchSize) Plugin->setParameterAutomated(index, value);
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
  for (int i = kEvolverFirst; i <= kEvolverLast; ++i) refresh(i);
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
    case 169:
      // The LFO panel now shows another LFO's parameters.
      return rule == logic::IndexRule::kLfo || base == 169;
    case 219:
      return rule == logic::IndexRule::kEnvelope || base == 219;
    case -1:
      return rule == logic::IndexRule::kEnvelope && slider;
    default:
      return logic::IndexOf(base, rule, LfoNumber, EnvNumber) == index;
  }
}

void TPluginEditorWindow::SetControl(int index) {
  LfoNumber = logic::LfoNumberOf(Mirror(169));
  EnvNumber = logic::EnvNumberOf(Mirror(219));
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
  gui::Bitmap& b = PrintOut->Edit();
  iPrintOut.Draw(b, 0, 0, 0);
  gui::Font font;
  font.name = "Arial";
  font.size = 10;
  font.bold = true;
  font.color = gui::kBlack;
  // Not clipped: what does not fit is cut by the bar's edge.
  b.Text(2, 2, text, font);
  readout_ = std::move(text);
}

void TPluginEditorWindow::Clearscreen(gui::Image& image, gui::Color color) {
  image.Edit().Fill(color);
}

void TPluginEditorWindow::Timer1Timer() {
  DrawEnv();
}

void TPluginEditorWindow::DrawEnv() {
  // The view's background; the curve, points and loop marks are drawn on it by the envelope
  // editor.
  gui::Bitmap& b = EnvI->Edit();
  b.Fill(gui::kGrey);
  b.Copy(Backi->bitmap(), Backi->bitmap().bounds(), 0, 0);
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
}

void TPluginEditorWindow::DispatchMouse(const gui::MouseEvent& event) {
  const std::string& name = event.name;
  const bool click = event.action == gui::MouseAction::kClick;
  if (name == "IMAGE11") {
    if (click) Aboutclick();
    return;
  }
  if (name == "ABOUTI") {
    if (click) AboutiClick();
    return;
  }
  if (logic::FindControl(name) != nullptr) {
    if (event.action == gui::MouseAction::kDown) {
      // Where the press happened: the MIDI menu of a dial or slider opens there.
      PressPoint = event.pos;
      PressedImage = static_cast<gui::Image*>(event.component);
    }
    // The dials', sliders' and toggles' press, move and release handlers go here.
    return;
  }
  if (logic::FindSelector(name) != nullptr) {
    // The selectors' menus open here.
    return;
  }
  // Still to come by name: the envelope view (ENVI), the envelope row's menus (ECOMM,
  // MNSNAPP, MNSNAPT), the evolver (EVOL, EV1..EV9, IMAGE10, EVOLCLOSE).
}

// --- Menus --------------------------------------------------------------------------------------

void TPluginEditorWindow::Popup(gui::PopupMenu menu, gui::Point screen) {
  last_menu_ = menu;
  window_->Popup(std::move(menu), screen);
}

bool TPluginEditorWindow::ChooseFromOpenMenu(std::string_view name) {
  if (headless_ != nullptr) return headless_->ChooseMenuItem(name);
  if (!window_->menu_open()) return false;
  const std::string upper = Upper(name);
  const auto& items = last_menu_.items;
  for (int i = 0; i < static_cast<int>(items.size()) && i < gui::kMaxMenuItems; ++i) {
    if (Upper(items[static_cast<size_t>(i)].name) != upper) continue;
    if (!items[static_cast<size_t>(i)].enabled) return false;
    auto choose = last_menu_.on_choose;
    window_->CancelMenu();
    try {
      if (choose) choose(upper, i);
    } catch (...) {
    }
    return true;
  }
  return false;
}

// --- Requests -----------------------------------------------------------------------------------

intptr_t TPluginEditorWindow::VendorRequest(int32_t kind, void* record) {
  auto lock = Lock();
  try {
    switch (kind) {
      case requests::kCaptureFrame:
        return Capture(record);
      case requests::kMouse:
        return InjectMouse(record);
      case requests::kAdvanceClock:
        return AdvanceClock(record);
      case requests::kChooseMenuItem:
        return ChooseMenuItem(record);
      case requests::kComponentRect:
        return ComponentRect(record);
      default:
        return 0;
    }
  } catch (...) {
    return 0;
  }
}

intptr_t TPluginEditorWindow::Capture(void* record) {
  auto* r = RecordOf<requests::CaptureRecord>(record);
  if (r == nullptr) return 0;
  window_->Update();
  const gui::Bitmap& frame = form_.frame();
  r->width = frame.width();
  r->height = frame.height();
  const int64_t needed = static_cast<int64_t>(frame.width()) * frame.height();
  if (r->pixels == nullptr || r->capacity < needed) return 0;
  std::copy(frame.pixels().begin(), frame.pixels().end(), r->pixels);
  return 1;
}

intptr_t TPluginEditorWindow::InjectMouse(void* record) {
  auto* r = RecordOf<requests::MouseRecord>(record);
  if (r == nullptr || headless_ == nullptr) return 0;
  gui::MouseButton button;
  switch (r->button) {
    case requests::kNoButton:
      button = gui::MouseButton::kNone;
      break;
    case requests::kLeft:
      button = gui::MouseButton::kLeft;
      break;
    case requests::kRight:
      button = gui::MouseButton::kRight;
      break;
    case requests::kMiddle:
      button = gui::MouseButton::kMiddle;
      break;
    default:
      return 0;
  }
  const unsigned modifiers = static_cast<unsigned>(r->modifiers) & gui::kModifierMask;
  const gui::Point at{r->x, r->y};
  const bool pressing = button != gui::MouseButton::kNone;
  switch (r->action) {
    case requests::kDown:
      if (!pressing) return 0;
      headless_->MouseDown(at, button, modifiers);
      return 1;
    case requests::kMove:
      headless_->MouseMove(at, modifiers);
      return 1;
    case requests::kUp:
      if (!pressing) return 0;
      headless_->MouseUp(at, button, modifiers);
      return 1;
    case requests::kClick:
      if (!pressing) return 0;
      headless_->Click(at, button, modifiers);
      return 1;
    default:
      return 0;
  }
}

intptr_t TPluginEditorWindow::AdvanceClock(void* record) {
  auto* r = RecordOf<requests::ClockRecord>(record);
  if (r == nullptr || headless_ == nullptr) return 0;
  if (r->milliseconds < 0 || r->milliseconds > 3600 * 1000) return 0;
  headless_->AdvanceTime(r->milliseconds);
  return 1;
}

intptr_t TPluginEditorWindow::ChooseMenuItem(void* record) {
  auto* r = RecordOf<requests::MenuItemRecord>(record);
  if (r == nullptr) return 0;
  const auto name = RequestText(r->name);
  if (!name) return 0;
  return ChooseFromOpenMenu(*name) ? 1 : 0;
}

intptr_t TPluginEditorWindow::ComponentRect(void* record) {
  auto* r = RecordOf<requests::ComponentRecord>(record);
  if (r == nullptr) return 0;
  const auto name = RequestText(r->name);
  if (!name) return 0;
  const gui::Component* c = form_.Find(*name);
  if (c == nullptr) return 0;
  const gui::Rect bounds = c->FormBounds();
  r->left = bounds.left;
  r->top = bounds.top;
  r->width = bounds.width();
  r->height = bounds.height();
  r->visible = c->Showing() ? 1 : 0;
  return 1;
}

// --- The plug-in's factory ----------------------------------------------------------------------

std::unique_ptr<EditorWindow> CreateEditorWindow(void* parent, APlugin* plugin,
                                                 EditorValues* values) {
  // The plug-in arrives later through SetPlugin, once the values are in.
  (void)plugin;
  try {
    return TPluginEditorWindow::Create(parent, values);
  } catch (...) {
    // Out of memory or a platform failure: the host hears that no editor could open.
    return nullptr;
  }
}

}  // namespace vellicor
