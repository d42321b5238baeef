#include "editor/control_math.h"

#include <array>
#include <cmath>

#include "engine/tables.h"

namespace vellicor::editor::logic {
namespace {

using CK = ControlKind;
using IR = IndexRule;
using VT = ValueText;

constexpr ControlSpec kControls[] = {
    {"Hvolume", CK::kSlider, 1, IR::kFixed, "Volume ", VT::kDecibels, true},
    {"Htempo", CK::kSlider, 2, IR::kFixed, "Tempo ", VT::kTempo, true},
    {"HArpLen", CK::kSlider, 5, IR::kFixed, "Arp Len", VT::kDescendingLength, true},
    {"HArpGate", CK::kSlider, 6, IR::kFixed, "Arp Gate", VT::kPercent, true},
    {"MnLfoReset", CK::kToggle, 9, IR::kFixed, "", VT::kNone, false},
    {"HPort", CK::kDial, 11, IR::kFixed, "Portamento ", VT::kPercent, true},
    {"Hrel", CK::kSlider, 12, IR::kFixed, "Release ", VT::kAscendingLength, true},
    {"HStereo", CK::kDial, 13, IR::kFixed, "Stereo Spread ", VT::kPercent, true},
    {"MnLtracking", CK::kToggle, 14, IR::kFixed, "", VT::kNone, false},
    {"HOct1", CK::kSlider, 40, IR::kFixed, "Osc 1: Octave ", VT::kOctave, true},
    {"HSemi1", CK::kSlider, 41, IR::kFixed, "Osc 1: Semi ", VT::kSemitone, true},
    {"Hvol1", CK::kSlider, 42, IR::kFixed, "Osc 1: Volume ", VT::kDecibels, true},
    {"DlFm1", CK::kDial, 44, IR::kFixed, "Osc 1: FM Amount", VT::kPercent, true},
    {"DlFine1", CK::kDial, 45, IR::kFixed, "Osc 1: Fine ", VT::kCent, true},
    {"DLPwm1", CK::kDial, 47, IR::kFixed, "Osc 1: PWM ", VT::kPercent, true},
    {"DlPwms1", CK::kDial, 48, IR::kFixed, "Osc 1: PWM Speed ", VT::kModulationFrequency, true},
    {"HOct2", CK::kSlider, 60, IR::kFixed, "Osc 2: Octave ", VT::kOctave, true},
    {"HSemi2", CK::kSlider, 61, IR::kFixed, "Osc 2: Semi ", VT::kSemitone, true},
    {"HVol2", CK::kSlider, 62, IR::kFixed, "Osc 2: Volume ", VT::kDecibels, true},
    {"DlSync2", CK::kDial, 63, IR::kFixed, "Osc 2: Sync ", VT::kPercent, true},
    {"DlFm2", CK::kDial, 64, IR::kFixed, "Osc 2: FM Amount", VT::kPercent, true},
    {"DlFine2", CK::kDial, 65, IR::kFixed, "Osc 2: Fine ", VT::kCent, true},
    {"DlPWm2", CK::kDial, 67, IR::kFixed, "Osc 2: PWM ", VT::kPercent, true},
    {"DlPWms2", CK::kDial, 68, IR::kFixed, "Osc 2: PWM Speed ", VT::kModulationFrequency, true},
    {"mNrING1", CK::kToggle, 77, IR::kFixed, "", VT::kNone, false},
    {"DlFRes1", CK::kDial, 121, IR::kFixed, "Filter 1: Q", VT::kPercent, true},
    {"HFHi1", CK::kSlider, 122, IR::kFixed, "Filter 1: Freq ", VT::kCutoffOrTuning, true},
    {"HFenv1", CK::kSlider, 123, IR::kFixed, "Filter 1: Envelope Amount ", VT::kBipolarPercent,
     true},
    {"DlFVol1", CK::kDial, 124, IR::kFixed, "Filter 1: Volume", VT::kDecibels, true},
    {"DlFdist1", CK::kDial, 125, IR::kFixed, "Filter 1: Dist", VT::kPercent, true},
    {"MnFtracking1", CK::kToggle, 129, IR::kFixed, "", VT::kNone, false},
    {"HSpeed", CK::kSlider, 175, IR::kLfo, "LFO: Period ", VT::kDescendingLength, true},
    {"HAmp", CK::kSlider, 180, IR::kLfo, "LFO: Amp ", VT::kPercent, true},
    {"Hsh", CK::kSlider, 205, IR::kLfo, "LFO: S&H ", VT::kDescendingLength, true},
    {"MnEnvSus", CK::kToggle, 230, IR::kEnvelope, "", VT::kNone, false},
    {"HLen", CK::kSlider, 250, IR::kEnvelope, "Envelope: Length", VT::kAscendingLength, false},
    {"HEAmount", CK::kSlider, 1597, IR::kFixed, "Evolver Amount", VT::kPercent, true},
    {"HeLevel", CK::kSlider, 1598, IR::kFixed, "Evolver Level", VT::kPercent, true},
};

constexpr SelectorSpec kSelectors[] = {
    {"MnMode", 0, IR::kFixed, "Imode", 3.99f},
    {"MnAmpEnv", 3, IR::kFixed, "Ienv", 10.99f},
    {"MnPShift", 4, IR::kFixed, "IBend", 15.99f},
    {"MnArpmode", 7, IR::kFixed, "IArpMode", 3.99f},
    {"MnArpOct", 8, IR::kFixed, "IarpOct", 3.99f},
    {"MnLfoReset", 9, IR::kFixed, "IOnOff", 1.99f},
    {"MnLtracking", 14, IR::kFixed, "IOnOff", 1.99f},
    {"mNrING1", 77, IR::kFixed, "IOnOff", 1.99f},
    {"MnFtracking1", 129, IR::kFixed, "IOnOff", 1.99f},
    {"MnVolLfo", 19, IR::kFixed, "ILfoNo", 10.99f},
    {"MnPanLfo", 20, IR::kFixed, "ILfoNo", 10.99f},
    {"Mntype1", 39, IR::kFixed, "Iosc", 49.99f},
    {"MnType2", 59, IR::kFixed, "Iosc", 49.99f},
    {"MnFmType1", 46, IR::kFixed, "Ifm", 49.99f},
    {"MnFMType2", 66, IR::kFixed, "Ifm", 49.99f},
    {"MnEnvVol1", 49, IR::kFixed, "Ienv", 10.99f},
    {"MnEnvPitch1", 50, IR::kFixed, "Ienv", 10.99f},
    {"MnEnvFm1", 52, IR::kFixed, "Ienv", 10.99f},
    {"MnPrange1", 51, IR::kFixed, "IBend", 15.99f},
    {"MnPlfo1", 55, IR::kFixed, "IBend", 15.99f},
    {"MnVolLfo1", 53, IR::kFixed, "ILfoNo", 10.99f},
    {"MnPitLfo1", 54, IR::kFixed, "ILfoNo", 10.99f},
    {"MnEnvVol2", 70, IR::kFixed, "Ienv", 10.99f},
    {"MnEnvPitch2", 71, IR::kFixed, "Ienv", 10.99f},
    {"MnEnvFm2", 73, IR::kFixed, "Ienv", 10.99f},
    {"MnPrange2", 72, IR::kFixed, "IBend", 15.99f},
    {"MnPLfo2", 76, IR::kFixed, "IBend", 15.99f},
    {"MnVolLfo2", 74, IR::kFixed, "ILfoNo", 10.99f},
    {"MnPitLfo2", 75, IR::kFixed, "ILfoNo", 10.99f},
    {"MnFilter1", 120, IR::kFixed, "Ifilter", 12.99f},
    {"MnEnvFilter1", 131, IR::kFixed, "Ienv", 10.99f},
    {"MnFilter1LFO", 132, IR::kFixed, "ILfoNo", 10.99f},
    {"MnLfoNo", 169, IR::kFixed, "ILfoNo", 10.99f},
    {"MnLfoType", 170, IR::kLfo, "Iosc", 49.99f},
    {"MnELFOAMP", 190, IR::kLfo, "Ienv", 10.99f},
    {"MnELFOFrq", 195, IR::kLfo, "Ienv", 10.99f},
    {"MnEnv", 219, IR::kFixed, "ISenv", 20.99f},
    {"MnEnvSus", 230, IR::kEnvelope, "IOnOff", 1.99f},
};

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Component names are matched the way the handlers see them: upper-cased.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

float Limit(float v) {
  if (!(v > 0.0f)) return 0.0f;  // NaN too
  return v > 1.0f ? 1.0f : v;
}

int Clamp(int x, int low, int high) {
  return x < low ? low : (x > high ? high : x);
}

// The angle constants of the dials: a quarter and a whole turn as the dials have always used
// them, slightly short of pi/2 and 2 pi.
constexpr double kQuarterTurn = 1.570795;
constexpr double kTurn = 6.28318;

}  // namespace

int IndexOf(int base, IndexRule rule, int lfo_number, int env_number) {
  switch (rule) {
    case IndexRule::kFixed:
      return base;
    case IndexRule::kLfo:
      return base + lfo_number;
    case IndexRule::kEnvelope:
      return base + env_number;
  }
  return base;
}

std::string UpperCase(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = Upper(c);
  return upper;
}

std::span<const ControlSpec> ControlTable() {
  return kControls;
}

const ControlSpec* FindControl(std::string_view image) {
  for (const ControlSpec& control : kControls) {
    if (SameName(control.image, image)) return &control;
  }
  return nullptr;
}

const ControlSpec* ControlAtIndex(int index, int lfo_number, int env_number) {
  for (const ControlSpec& control : kControls) {
    if (control.Index(lfo_number, env_number) == index) return &control;
  }
  return nullptr;
}

std::span<const SelectorSpec> SelectorTable() {
  return kSelectors;
}

const SelectorSpec* FindSelector(std::string_view image) {
  for (const SelectorSpec& selector : kSelectors) {
    if (SameName(selector.image, image)) return &selector;
  }
  return nullptr;
}

int SelectorFrame(float k, float v) {
  return IntPart(k * v);
}

int LfoNumberOf(float lfo_shown) {
  return Choice(lfo_shown, 10.99f, 4);
}

int EnvNumberOf(float env_shown) {
  return Choice(env_shown, 20.99f, 7);
}

int KnobX(float v) {
  return IntPart(80.0f * v + 5.0f);
}

int DialFrame(float v) {
  return IntPart(28.99f * v);
}

bool SliderAlwaysDrawn(int index, int lfo_number) {
  return index == 175 + lfo_number || index == 180 + lfo_number || index == 205 + lfo_number ||
         (index >= 250 && index <= 260);
}

float SliderPointerValue(int x) {
  return Limit(static_cast<float>(Clamp(x - 10, 0, 80)) / 80.0f);
}

float SliderFineValue(float start_value, int x) {
  return Limit(start_value + static_cast<float>(x - 10) / 1000.0f);
}

float DialPressValue(int x, int y) {
  const double a = Atan2(y - 16, x - 16);
  double v = (a - kQuarterTurn) / kTurn;
  if (v < 0.0) v += 1.0;
  v *= 1.25;
  if (v > 1.0) v = 1.0;
  return Limit(static_cast<float>(v));
}

float DialCoarseValue(float old_value, int x, int y) {
  double a = Atan2(y - 15, x - 15) - kQuarterTurn;
  a -= kTurn * IntPart(static_cast<float>(a / kTurn));
  double v = a / kTurn;
  if (v < 0.0) v += 1.0;
  v *= 1.25;
  // The dead fifth reads 0; coming from high values that is a jump, and jumps are refused,
  // so the pointer has to go back round instead of snapping the dial across the gap.
  if (v > 1.0) v = 0.0;
  const float candidate = static_cast<float>(v);
  if (std::fabs(std::fabs(old_value) - std::fabs(candidate)) > 0.5f) return Limit(old_value);
  return Limit(candidate);
}

float DialFineValue(float start_value, int y) {
  return Limit(start_value - static_cast<float>(y - 15) / 300.0f);
}

float ToggledValue(float v) {
  return v >= 0.499f ? 0.0f : 0.9f;
}

DragMode SliderDragMode(bool shift) {
  return shift ? DragMode::kFine : DragMode::kCoarse;
}

DragMode DialDragMode(int swap_dials, bool shift) {
  const int mode = shift ? 1 - swap_dials : swap_dials;
  return mode == 1 ? DragMode::kFine : DragMode::kCoarse;
}

PressResult ControlPress(ControlKind kind, MouseButton button, bool shift, bool ctrl,
                         int swap_dials, int x, int y, float current_value) {
  PressResult result;
  if (kind == ControlKind::kToggle) {
    result.action = PressAction::kToggle;
    result.send = true;
    result.value = ToggledValue(current_value);
    return result;
  }
  if (button == MouseButton::kRight) {
    result.action = PressAction::kMidiMenu;
    return result;
  }
  if (button != MouseButton::kLeft) return result;
  if (kind == ControlKind::kDial && ctrl) {
    result.action = PressAction::kResetToDefault;
    return result;
  }
  result.action = PressAction::kStartDrag;
  if (kind == ControlKind::kSlider) {
    result.mode = SliderDragMode(shift);
    if (result.mode == DragMode::kFine) {
      // The knob stays where it is; moves count from the value at the press.
      result.start_value = current_value;
      return result;
    }
    result.value = SliderPointerValue(x);
  } else {
    result.mode = DialDragMode(swap_dials, shift);
    result.value = DialPressValue(x, y);
  }
  result.send = true;
  result.start_value = result.value;
  return result;
}

float DragValue(ControlKind kind, DragMode mode, float start_value, float current_value, int x,
                int y) {
  if (kind == ControlKind::kSlider) {
    if (mode == DragMode::kFine) return SliderFineValue(start_value, x);
    return SliderPointerValue(x);
  }
  if (kind == ControlKind::kDial) {
    if (mode == DragMode::kFine) return DialFineValue(start_value, y);
    return DialCoarseValue(current_value, x, y);
  }
  return current_value;
}

double Atan2(double y, double x) {
  constexpr double kPi = 3.14159265358979323846;
  constexpr double kHalfPi = 1.57079632679489661923;
  if (y != y || x != x) return y + x;
  const double ay = std::fabs(y), ax = std::fabs(x);
  if (ay == 0.0 && ax == 0.0) return std::signbit(x) ? std::copysign(kPi, y) : y;
  // atan of a ratio in 0..1, with the angle halved twice (tan(a/2) = t / (1 + sqrt(1 + t^2)))
  // so the odd series converges after a dozen terms.
  const bool swapped = ay > ax;
  double t = swapped ? ax / ay : ay / ax;
  for (int i = 0; i < 2; ++i) t = t / (1.0 + std::sqrt(1.0 + t * t));
  const double t2 = t * t;
  double sum = 0.0;
  for (int k = 27; k >= 1; k -= 2) sum = sum * t2 + (k % 4 == 1 ? 1.0 : -1.0) / k;
  double angle = 4.0 * t * sum;
  if (swapped) angle = kHalfPi - angle;
  if (std::signbit(x)) angle = kPi - angle;
  return std::signbit(y) ? -angle : angle;
}

}  // namespace vellicor::editor::logic
