// The envelope panel: the view of the shown envelope, point editing with the mouse, snapping,
// the envelope and destination selectors, the command menu and the curve modifiers. The
// envelope arithmetic lives in patch/envelope_edit.h; this file binds it to the form: it
// loads the working copy from the value mirror, draws it, and commits every edit to the
// plug-in (through setfvar, so the host records it and the engine plays it at once).
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <string>
#include <utility>

#include "editor/readout.h"
#include "editor/uEditor.h"
#include "engine/portable_math.h"
#include "engine/tables.h"
#include "gui/text_file.h"
#include "patch/envelope_file.h"

namespace vellicor {

namespace ee = envelope_edit;
namespace logic = editor::logic;

namespace {

constexpr gui::Color kLoopPen = gui::FromBgr(0x330022);      // segments inside the loop
constexpr gui::Color kLoopMarkPen = gui::FromBgr(0x990044);  // the loop marker lines

// The destination selectors: which envelope drives what. The LFO rows write to the LFO the
// LFO panel shows.
struct Destination {
  std::string_view image;  // upper-cased component name
  int base;
  bool plus_lfo_number;
};
constexpr Destination kDestinations[] = {
    {"MNENVVOL1", param::kOscillator[0].amp_envelope, false},
    {"MNENVVOL2", param::kOscillator[1].amp_envelope, false},
    {"MNAMPENV", param::kMainEnvelope, false},
    {"MNENVPITCH1", param::kOscillator[0].pitch_envelope, false},
    {"MNENVPITCH2", param::kOscillator[1].pitch_envelope, false},
    {"MNENVFM1", param::kOscillator[0].fm_envelope, false},
    {"MNENVFM2", param::kOscillator[1].fm_envelope, false},
    {"MNENVFILTER1", param::kFilterEnvelope, false},
    {"MNELFOAMP", param::kLfoDepthEnvelope, true},
    {"MNELFOFRQ", param::kLfoSpeedEnvelope, true},
};

// The small menus of the panel: item names and what each shows.
constexpr std::string_view kEnvItems[] = {"Env0", "Env1", "Env2", "Env3",
                                          "Env4", "Env5", "Env6", "Env7"};
constexpr std::string_view kEnvTexts[] = {"Env1", "Env2", "Env3", "Env4",
                                          "Env5", "Env6", "Env7", "Env8"};
constexpr std::string_view kDestItems[] = {"e1", "e2", "e3", "e4", "e5", "e6", "e7", "e8", "E9"};
constexpr std::string_view kDestTexts[] = {"Env1", "Env2", "Env3", "Env4", "Env5",
                                           "Env6", "Env7", "Env8", "None"};
constexpr std::string_view kSnappItems[] = {"SPOff", "SpQ1", "SpQ2", "SpQ3"};
constexpr std::string_view kSnappTexts[] = {"Off", "Qbeat", "1/2 Qbeat", "1/4 Qbeat"};
constexpr std::string_view kSnaptItems[] = {"St1", "st2", "st3", "st4"};
constexpr std::string_view kSnaptTexts[] = {"Off", "7 Semi", "1 Oct", "4 Oct"};
constexpr std::string_view kEcItems[] = {"EcNone",   "EcSlope",  "EcAmp", "EcFlip",
                                         "EcSmooth", "EcSquash", "EcMove"};
constexpr std::string_view kEcTexts[] = {"None",   "Slope",  "Amp", "Flip",
                                         "Smooth", "Squash", "Move"};

// The command menu EnvCom, with its Presets submenu. Captions are drawn as they stand here.
enum class Command {
  kUndo,
  kAddPoint,
  kDelPoint,
  kCopy,
  kPaste,
  kClear,
  kLoopStart,
  kLoopEnd,
  kLoopAll,
  kLoopOff,
  kLoad,
  kSave,
  kCurrent,
  kDouble,
  kPresets,
  kPreset,
};
struct CommandItem {
  std::string_view name;
  std::string_view caption;
  Command command;
  ee::Preset preset = ee::Preset::kUp;
};
constexpr CommandItem kCommands[] = {
    {"EUndo", "Undo", Command::kUndo},
    {"EAddPoint", "Add Point", Command::kAddPoint},
    {"EDelPoint", "Del Point", Command::kDelPoint},
    {"Ecopy", "Copy ", Command::kCopy},
    {"Epaste", "Paste ", Command::kPaste},
    {"Eclear", "Clear ", Command::kClear},
    {"EStart", "Loop Start", Command::kLoopStart},
    {"EEnd", "Loop End", Command::kLoopEnd},
    {"EloopAll", "Loop All", Command::kLoopAll},
    {"ELoopOff", "Loop Off", Command::kLoopOff},
    {"ELoad", "Load", Command::kLoad},
    {"ESave", "Save", Command::kSave},
    {"ECurrent", "Current ", Command::kCurrent},
    {"Edouble", "Double ", Command::kDouble},
    {"EPresets", "Presets", Command::kPresets},
};
constexpr CommandItem kPresetItems[] = {
    {"EUp", "Up ", Command::kPreset, ee::Preset::kUp},
    {"EDown", "Down ", Command::kPreset, ee::Preset::kDown},
    {"Efull", "Full ", Command::kPreset, ee::Preset::kFull},
    {"Ehalf", "Half ", Command::kPreset, ee::Preset::kHalf},
    {"Ezero", "Zero ", Command::kPreset, ee::Preset::kZero},
    {"E4p", "4 Sections ", Command::kPreset, ee::Preset::k4},
    {"E8P", "8 Sections ", Command::kPreset, ee::Preset::k8},
    {"E16P", "16 Sections ", Command::kPreset, ee::Preset::k16},
    {"ESineP", "Sine Wave", Command::kPreset, ee::Preset::kSine},
    {"ESquareP", "Square Wave ", Command::kPreset, ee::Preset::kSquare},
    {"EtriangleP", "Triangle Wave ", Command::kPreset, ee::Preset::kTriangle},
};

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::toupper(static_cast<unsigned char>(x)) ==
           std::toupper(static_cast<unsigned char>(y));
  });
}

const CommandItem* FindCommand(std::string_view name) {
  for (const CommandItem& c : kCommands) {
    if (SameName(c.name, name)) return &c;
  }
  for (const CommandItem& c : kPresetItems) {
    if (SameName(c.name, name)) return &c;
  }
  return nullptr;
}

gui::MenuItem ItemOf(std::string_view name, std::string_view caption) {
  gui::MenuItem item;
  item.name = std::string(name);
  // Sized by what is drawn: a blank and the caption.
  item.caption = logic::MenuItemDrawnText(caption);
  return item;
}

gui::FileDialogOptions EnvelopeDialog(const char* title) {
  gui::FileDialogOptions options;
  options.title = title;
  options.filter_name = "Envelope files";
  options.pattern = "*.env";
  options.file_name = "*.env";
  return options;
}

// A dialog's answer that names a file: not cancelled, and not the pattern it started with.
bool NamesAFile(const std::optional<std::string>& path) {
  return path && !path->empty() && *path != "*.env";
}

}  // namespace

// --- The working copy -------------------------------------------------------------------------

void TPluginEditorWindow::LoadEnvelope() {
  EnvNumber = logic::EnvNumberOf(Mirror(param::kEnvelopeShown));
  Points = ee::Load(EnvNumber, [this](int i) { return Mirror(i); });
  PrevPoints = Points;
}

void TPluginEditorWindow::setenvval() {
  EnvNumber = logic::EnvNumberOf(Mirror(param::kEnvelopeShown));
  const EditGroup edit(*this);
  ee::Commit(Points, EnvNumber, [this](int index, float value) { setfvar(index, value); });
}

// --- The view ---------------------------------------------------------------------------------

void TPluginEditorWindow::DrawEnv() {
  gui::Bitmap& b = EnvI->Edit();
  b.Fill(gui::kGrey);
  b.Copy(Backi->bitmap(), Backi->bitmap().bounds(), 0, 0);
  EnvNumber = logic::EnvNumberOf(Mirror(param::kEnvelopeShown));
  const int e = EnvNumber;
  const int last = ee::DecodePointIndex(Mirror(param::Envelope(param::kEnvLastPoint, e)));
  std::array<float, ee::kPoints> time, level, curve;
  for (int j = 0; j < ee::kPoints; ++j) {
    time[j] = Mirror(param::Point(param::kEnvTime, e, j));
    level[j] = Mirror(param::Point(param::kEnvLevel, e, j));
    curve[j] = Mirror(param::Point(param::kEnvCurve, e, j));
  }
  // Points whose times crossed (a host's automation, a snap) are drawn in order; the repair
  // reaches the plug-in only with the next edit.
  ee::RepairOrder(time, last);
  for (int j = 1; j < last; ++j)
    values_->ValueMirror[param::Point(param::kEnvTime, e, j)] = time[j];

  // Columns beyond the view are never visited, whatever the values hold.
  auto column = [](float t) { return std::clamp(ee::ScreenX(t), 0, 609); };
  const float start_value = Mirror(param::Envelope(param::kEnvLoopStart, e));
  const float end_value = Mirror(param::Envelope(param::kEnvLoopEnd, e));
  const int loop_start = ee::DecodePointIndex(start_value);
  const int loop_end = ee::DecodePointIndex(end_value);
  gui::Color pen = gui::kBlack;
  // Curves are traced at the screen's resolution: a pen dot for every pixel column, at the
  // height the segment has at the dot's centre. At 100 % that is a pixel for every column of
  // the view, at the row ScreenY gives.
  const bool unit = b.scale().unit();
  const float factor = b.factor();
  const float half_pen = static_cast<float>(b.pen()) / 2.0f;
  auto row_of = [&](float level) {
    if (unit) return ee::ScreenY(level);
    const float row = 100.0f - 100.0f * level + static_cast<float>(ee::kViewTop);
    return static_cast<int>(std::floor((row + 0.5f) * factor - half_pen));
  };
  for (int k = 0; k < last; ++k) {
    const bool looped = loop_start <= k && k < loop_end && start_value != end_value;
    pen = looped ? kLoopPen : gui::kBlack;
    const int x0 = column(time[k]);
    const int x1 = column(time[k + 1]);
    if (x1 == x0) {
      // Both points in one column: the segment is the jump between their levels.
      const int y0 = ee::ScreenY(level[k]);
      const int y = ee::ScreenY(level[k + 1]);
      b.SetPixel(x0, y, pen);
      b.Line(x0, y0, x0, y, pen);
      continue;
    }
    const int first = b.PenAt(x0);
    gui::Point previous{first, row_of(level[k])};
    for (int px = first; px <= b.PenAt(x1); ++px) {
      // The view's column (in form pixels, 0 at the left edge of column 0) under the dot.
      const float x =
          unit ? static_cast<float>(px) : (static_cast<float>(px) + half_pen) / factor - 0.5f;
      const float f =
          std::clamp((x - static_cast<float>(x0)) / static_cast<float>(x1 - x0), 0.0f, 1.0f);
      const int y = row_of(ee::SegmentValue(f, level[k], level[k + 1], curve[k]));
      b.Stamp(px, y, pen);
      b.PixelLine(previous.x, previous.y, px, y, pen);
      previous = {px, y};
    }
  }
  // Drop lines from the floor to each interior point, in the last segment's pen.
  for (int k = 1; k < last; ++k) {
    const int x = column(time[k]);
    b.Line(x, ee::kViewBottom, x, ee::ScreenY(level[k]), pen);
  }
  // The loop marks; with no loop both stand at one point.
  const int start_x = column(time[loop_start]);
  b.Line(start_x, ee::kViewBottom, start_x, ee::kViewTop, kLoopMarkPen);
  Iloopp.Draw(b, start_x, 95, 0);
  const int end_x = column(time[loop_end]);
  b.Line(end_x, ee::kViewBottom, end_x, ee::kViewTop, kLoopMarkPen);
  Iloopp.Draw(b, end_x - 15, 95, 1);

  gui::Font font;
  font.name = "Arial";
  font.size = 8;
  font.color = gui::kBlack;
  for (int k = 0; k <= last; ++k) {
    const int x = ee::ScreenX(time[k]);
    const int y = ee::ScreenY(level[k]);
    if (k != SelectedPoint) {
      drawcircle(b, x, y, 3);
      continue;
    }
    drawcircle(b, x, y, 7);
    const std::string text = std::to_string(IntPart(100.0f * time[k])) + "%," +
                             std::to_string(IntPart(100.0f * level[k])) + "%";
    const int ty = y > 30 ? y - 20 : y + 10;
    const int tx = x > 550 ? x - 50 : x;
    IEprint.Draw(b, tx, ty, 0);
    b.Text(tx + 5, ty, text, font);
  }
}

void TPluginEditorWindow::drawcircle(gui::Bitmap& canvas, int x, int y, int r) {
  if (!canvas.scale().unit()) {
    // At the screen's resolution: the band between the two radii the design's ring runs along
    // (r - 1 and r around the corner (x, y) of its centre pixel), as wide as its pixels, cut to
    // the drawable area.
    const gui::Rect area = canvas.ScreenRect({6, 6, 605, 105}).Intersect(canvas.pixel_bounds());
    const float cx = static_cast<float>(x);
    const float cy = static_cast<float>(y);
    const float inner = static_cast<float>(r) - 1.5f;
    const float outer = static_cast<float>(r) + 0.5f;
    const gui::Rect box =
        canvas.ScreenRect({x - r - 1, y - r - 1, x + r + 2, y + r + 2}).Intersect(area);
    for (int py = box.top; py < box.bottom; ++py) {
      const float dy = canvas.FormOf(py) - cy;
      for (int px = box.left; px < box.right; ++px) {
        const float d = std::hypot(canvas.FormOf(px) - cx, dy);
        if (d >= inner && d <= outer) canvas.Row(py)[px] = gui::kBlack;
      }
    }
    return;
  }
  // The ring's points at whole radians 0..50, computed once.
  struct Angles {
    std::array<float, 51> sin, cos;
    Angles() {
      for (int a = 0; a <= 50; ++a) {
        sin[a] = static_cast<float>(pmath::Sin(a));
        cos[a] = static_cast<float>(pmath::Cos(a));
      }
    }
  };
  static const Angles angles;
  for (int a = 0; a <= 50; ++a) {
    const float s = angles.sin[a];
    const float c = angles.cos[a];
    for (int radius : {r, r - 1}) {
      const int px = IntPart(s * static_cast<float>(radius) + static_cast<float>(x));
      const int py = IntPart(c * static_cast<float>(radius) + static_cast<float>(y));
      if (px >= 6 && px < 605 && py >= 6 && py < 105) canvas.SetPixel(px, py, gui::kBlack);
    }
  }
}

// --- Point editing ----------------------------------------------------------------------------

void TPluginEditorWindow::EnvIMouseDown(const gui::MouseEvent& event) {
  LoadEnvelope();
  const int x = ee::ClampX(event.pos.x);
  const int y = ee::ClampY(event.pos.y);
  if (event.button == gui::MouseButton::kRight) {
    // The menu takes the mouse: a left drag in progress gets no release, so it ends here.
    Dragging = false;
    DragMode = 0;
    gui::PopupMenu menu;
    for (const CommandItem& c : kCommands) menu.items.push_back(ItemOf(c.name, c.caption));
    for (const CommandItem& c : kPresetItems) {
      menu.items.back().submenu.push_back(ItemOf(c.name, c.caption));
    }
    menu.draw = [](const gui::MenuItemDraw& d) {
      const CommandItem* c = FindCommand(d.name);
      DrawMenuItem(d, c != nullptr ? c->caption : std::string_view());
    };
    menu.on_choose = [this](const std::string& item, int) { ECurrentClick(item); };
    Popup(std::move(menu), window_->ScreenPoint(event.component, event.pos));
  } else if (event.button == gui::MouseButton::kLeft) {
    // Press, moves and release (with its snap) are one edit of the envelope.
    HoldEdit();
    UndoPoints = Points;
    DragMode = 0;
    Dragging = true;
    if (event.shift()) DragMode = 2;
    if (event.ctrl()) DragMode = 3;
    if (event.alt()) DragMode = 4;
    const int left = ee::LeftPoint(Points, x);
    const ee::Nearest nearest = ee::NearestPoint(Points, x, y);
    SelectedPoint = nearest.point;
    if (nearest.distance > ee::kGrabDistance && DragMode == 0) {
      // Far from every point: bend the segment under the pointer.
      SelectedPoint = left;
      DragMode = 1;
    }
    switch (DragMode) {
      case 2:
        // Refused on a full envelope or right of the last point: the point after is dragged.
        ee::InsertPoint(Points, left, static_cast<float>(x - ee::kViewLeft) / 600.0f,
                        ee::LevelAt(y), 0.5f);
        SelectedPoint = std::min(left + 1, Points.last);
        break;
      case 3:
        Dragging = false;
        SelectedPoint = left;
        ee::SetLoopStart(Points, left);
        break;
      case 4:
        Dragging = false;
        SelectedPoint = left;
        ee::SetLoopEnd(Points, left);
        break;
      default:
        break;
    }
  }
  PrevPoints = Points;
  setenvval();
  DrawEnv();
}

void TPluginEditorWindow::EnvIMouseMove(const gui::MouseEvent& event) {
  if (!Dragging) return;
  const int x = ee::ClampX(event.pos.x);
  const int y = ee::ClampY(event.pos.y);
  const int s = std::clamp(SelectedPoint, 0, Points.last);
  if (DragMode == 0 || DragMode == 2) {
    const ee::PointPosition p = ee::DragPoint(Points, s, x, y);
    Points.time[s] = p.time;
    Points.level[s] = p.level;
    ShowPointReadout(p.time, p.level, false);
  } else if (DragMode == 1) {
    Points.curve[s] = ee::BendCurve(y);
  } else {
    return;
  }
  PrevPoints = Points;
  setenvval();
  DrawEnv();
}

void TPluginEditorWindow::EnvIMouseUp(const gui::MouseEvent& event) {
  EnvNumber = logic::EnvNumberOf(Mirror(param::kEnvelopeShown));
  const float qb = LengthOf(Mirror(param::Envelope(param::kEnvLength, EnvNumber)));
  ee::Snap(Points, static_cast<ee::TimeSnap>(std::clamp(TimeSnap, 0, 3)),
           static_cast<ee::LevelSnap>(std::clamp(LevelSnap, 0, 3)), qb);
  PrevPoints = Points;
  setenvval();
  const int s = std::clamp(SelectedPoint, 0, Points.last);
  ShowPointReadout(Points.time[s], ee::LevelAt(ee::ClampY(event.pos.y)), true);
  DragMode = 0;
  Dragging = false;
  DrawEnv();
}

void TPluginEditorWindow::ShowPointReadout(float time, float level, bool released) {
  const int s = std::clamp(SelectedPoint, 0, Points.last);
  const float qb = LengthOf(Mirror(param::Envelope(param::kEnvLength, EnvNumber)));
  std::string value = std::to_string(IntPart(100.0f * time)) + "% ( " +
                      logic::DecimalText(IntPart(100.0f * qb * time), 100) + "qb ) , ";
  const int steps = ee::LevelSteps(static_cast<ee::LevelSnap>(std::clamp(LevelSnap, 0, 3)));
  if (steps == 0) {
    value += std::to_string(IntPart(100.0f * level)) + "%";
  } else if (released) {
    // Whole steps on release: the level the snap gave.
    value += std::to_string(IntPart(static_cast<float>(steps) * level + 0.5f)) + " semitones";
  } else {
    value +=
        logic::DecimalText(IntPart(static_cast<float>(100 * steps) * level), 100) + " semitones";
  }
  PrintLabels("Point " + std::to_string(s + 1), value);
}

// --- Selectors and snapping -------------------------------------------------------------------

void TPluginEditorWindow::EnvelopePopup(const gui::MouseEvent& event,
                                        std::span<const std::string_view> names,
                                        std::span<const std::string_view> texts,
                                        std::function<void(int)> choose,
                                        std::function<void()> cancel) {
  gui::PopupMenu menu;
  for (size_t i = 0; i < names.size(); ++i) menu.items.push_back(ItemOf(names[i], texts[i]));
  menu.draw = [texts](const gui::MenuItemDraw& d) {
    const bool known = d.index >= 0 && static_cast<size_t>(d.index) < texts.size();
    DrawMenuItem(d, known ? texts[static_cast<size_t>(d.index)] : std::string_view());
  };
  menu.on_choose = [choose = std::move(choose)](const std::string&, int index) { choose(index); };
  menu.on_cancel = std::move(cancel);
  Popup(std::move(menu), window_->ScreenPoint(event.component, event.pos));
}

void TPluginEditorWindow::EnvSelect(int k) {
  setfvar(param::kEnvelopeShown, ee::EncodeShown(k));
  SetControl(param::kEnvelopeShown);
  LoadEnvelope();
  SetAll();
  DrawEnv();
}

void TPluginEditorWindow::ESelect(const gui::MouseEvent& event, int index) {
  DestIndex = index;
  if (event.shift()) return;
  EnvelopePopup(event, kDestItems, kDestTexts, [this](int k) { EcClcik(k); });
}

void TPluginEditorWindow::EcClcik(int k) {
  const int index = DestIndex;
  // The selection has ended either way; with no selector being edited nothing is written.
  DestIndex = -1;
  if (index < 0 || index >= param::kPatchSize) return;
  setfvar(index, ee::EncodeDestination(k));
  SetControl(index);
  SetLabel(index);
}

void TPluginEditorWindow::SnappClick(int k) {
  TimeSnap = std::clamp(k, 0, 3);
  Clearscreen(*MnSnapp, gui::kWhite);
  Ipt.Draw(MnSnapp->Edit(), 0, 0, TimeSnap);
}

void TPluginEditorWindow::SnaptClick(int k) {
  LevelSnap = std::clamp(k, 0, 3);
  Clearscreen(*MnSnapt, gui::kWhite);
  Ipt.Draw(MnSnapt->Edit(), 0, 0, LevelSnap + 4);
}

// --- Commands ---------------------------------------------------------------------------------

void TPluginEditorWindow::ECurrentClick(const std::string& item) {
  const CommandItem* c = FindCommand(item);
  if (c == nullptr || c->command == Command::kPresets) return;
  EnvNumber = logic::EnvNumberOf(Mirror(param::kEnvelopeShown));
  if (c->command != Command::kUndo) UndoPoints = Points;
  PrevPoints = Points;
  // A selection left from a larger envelope names its last point.
  const int s = std::clamp(SelectedPoint, 0, Points.last);
  switch (c->command) {
    case Command::kUndo:
      // Nothing to undo before the first edit.
      if (UndoPoints) Points = *UndoPoints;
      break;
    case Command::kAddPoint:
      ee::AddPoint(Points, PrevPoints, s);
      break;
    case Command::kDelPoint:
      ee::DeletePoint(Points, s);
      break;
    case Command::kCopy:
      ClipPoints = Points;
      break;
    case Command::kPaste:
      // Paste before any Copy changes nothing.
      if (ClipPoints) Points = *ClipPoints;
      break;
    case Command::kClear:
      ee::Clear(Points);
      break;
    case Command::kLoopStart:
      ee::SetLoopStart(Points, s);
      break;
    case Command::kLoopEnd:
      ee::SetLoopEnd(Points, s);
      break;
    case Command::kLoopAll:
      ee::LoopAll(Points);
      break;
    case Command::kLoopOff:
      ee::LoopOff(Points);
      break;
    case Command::kLoad:
      LoadEnvelopeFile();
      return;
    case Command::kSave:
      SaveEnvelope();
      return;
    case Command::kCurrent:
    case Command::kPresets:
      break;
    case Command::kDouble:
      ee::Double(Points, PrevPoints);
      break;
    case Command::kPreset:
      ee::ApplyPreset(Points, c->preset);
      break;
  }
  SelectedPoint = std::clamp(SelectedPoint, 0, Points.last);
  setenvval();
  DrawEnv();
  PrevPoints = Points;
}

void TPluginEditorWindow::SaveEnvelope() {
  // What is saved is the envelope as it was when Save was chosen.
  const ee::Envelope envelope = Points;
  const float length = Mirror(param::Envelope(param::kEnvLength, EnvNumber));
  window_->SaveFileDialog(EnvelopeDialog("Save envelope"),
                          [envelope, length](std::optional<std::string> path) {
                            if (!NamesAFile(path)) return;
                            // Written beside the target and renamed over it: a failed save
                            // leaves the old file whole.
                            gui::ReplaceFile(*path, envelope_file::Format(envelope, length));
                          });
}

void TPluginEditorWindow::LoadEnvelopeFile() {
  // The file goes into the envelope shown when Load was chosen.
  const int e = EnvNumber;
  window_->OpenFileDialog(
      EnvelopeDialog("Load envelope"), [this, e](std::optional<std::string> path) {
        if (!NamesAFile(path)) return;
        const std::optional<std::string> text = gui::ReadWholeFile(*path, envelope_file::kMaxBytes);
        if (!text) return;
        const std::optional<envelope_file::EnvelopeFile> file = envelope_file::Parse(*text);
        if (!file) return;
        const EditGroup edit(*this);
        setfvar(param::Envelope(param::kEnvLength, e), file->length);
        Points = file->envelope;
        SelectedPoint = 0;
        ee::Commit(Points, e, [this](int index, float value) { setfvar(index, value); });
        if (logic::EnvNumberOf(Mirror(param::kEnvelopeShown)) != e) LoadEnvelope();
        PrevPoints = Points;
        SetAll();
        DrawEnv();
      });
}

// --- Curve modifiers --------------------------------------------------------------------------

void TPluginEditorWindow::EcClick(int k) {
  CurveModifier = std::clamp(k, 0, 6);
  Clearscreen(*Ecomm, gui::kWhite);
  IeCOmm.Draw(Ecomm->Edit(), 0, 0, CurveModifier);
}

void TPluginEditorWindow::DrawModifierSlider(int knob_x) {
  modifier_knob_x_ = knob_x;
  Clearscreen(*HControl, gui::kGrey);
  HBar.Draw(HControl->Edit(), 0, 0, 0);
  IsliderPos.Draw(HControl->Edit(), knob_x, 2, 0);
}

void TPluginEditorWindow::ControlDown(const gui::MouseEvent& event) {
  if (CurveModifier == 0 || Dragging) return;
  // A modifier drag is one edit: Undo takes the envelope back to before it, and the host hears
  // it as one gesture.
  UndoPoints = Points;
  HoldEdit();
  Dragging = true;
  ModifierPos = ee::ModifierPosition(event.pos.x);
  DrawModifierSlider(ModifierPos + 10);
  // Squash and Move act from the first movement on.
  const auto modifier = static_cast<ee::Modifier>(CurveModifier);
  if (modifier != ee::Modifier::kSquash && modifier != ee::Modifier::kMove) {
    ee::ApplyModifier(Points, PrevPoints, modifier, ModifierPos, SmoothBackward != 0);
  }
  setenvval();
  DrawEnv();
}

void TPluginEditorWindow::ControlMove(const gui::MouseEvent& event) {
  if (!Dragging) return;
  ModifierPos = ee::ModifierPosition(event.pos.x);
  DrawModifierSlider(ModifierPos + 5);
  ee::ApplyModifier(Points, PrevPoints, static_cast<ee::Modifier>(std::clamp(CurveModifier, 0, 6)),
                    ModifierPos, SmoothBackward != 0);
  setenvval();
  DrawEnv();
}

void TPluginEditorWindow::ControlUp() {
  Dragging = false;
  SmoothBackward = 1 - SmoothBackward;
}

// --- Mouse dispatch ---------------------------------------------------------------------------

bool TPluginEditorWindow::DispatchEnvelopeMouse(const gui::MouseEvent& event) {
  const std::string& name = event.name;
  const gui::MouseAction action = event.action;
  const bool down = action == gui::MouseAction::kDown;
  if (name == "ENVI") {
    if (down) EnvIMouseDown(event);
    if (action == gui::MouseAction::kMove) EnvIMouseMove(event);
    if (action == gui::MouseAction::kUp) EnvIMouseUp(event);
    return true;
  }
  if (name == "HCONTROL") {
    if (down) ControlDown(event);
    if (action == gui::MouseAction::kMove) ControlMove(event);
    if (action == gui::MouseAction::kUp) ControlUp();
    return true;
  }
  for (const Destination& d : kDestinations) {
    if (name != d.image) continue;
    if (down) {
      const int lfo = d.plus_lfo_number ? logic::LfoNumberOf(Mirror(param::kLfoShown)) : 0;
      ESelect(event, d.base + lfo);
    }
    if (action == gui::MouseAction::kUp) DestIndex = -1;
    return true;
  }
  if (name == "MNENV") {
    if (down) EnvelopePopup(event, kEnvItems, kEnvTexts, [this](int k) { EnvSelect(k); });
    return true;
  }
  if (name == "MNSNAPP") {
    if (down) EnvelopePopup(event, kSnappItems, kSnappTexts, [this](int k) { SnappClick(k); });
    return true;
  }
  if (name == "MNSNAPT") {
    if (down) EnvelopePopup(event, kSnaptItems, kSnaptTexts, [this](int k) { SnaptClick(k); });
    return true;
  }
  if (name == "ECOMM") {
    if (down) {
      LoadEnvelope();
      Clearscreen(*Ecomm, gui::kWhite);
      IeCOmm.Draw(Ecomm->Edit(), 0, 0, 0);
      // Closed without a choice, the image shows the modifier still in force.
      EnvelopePopup(
          event, kEcItems, kEcTexts, [this](int k) { EcClick(k); },
          [this] { EcClick(CurveModifier); });
    }
    return true;
  }
  return false;
}

}  // namespace vellicor
