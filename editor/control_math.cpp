#include "editor/control_math.h"

#include <array>
#include <cmath>

#include "engine/tables.h"
#include "parameters/parameter_table.h"

namespace vellicor::editor::logic {
namespace {

using CK = ControlKind;
using IR = IndexRule;
using VT = ValueText;

namespace p = param;
constexpr const param::OscillatorIndices& kOsc1 = param::kOscillator[0];
constexpr const param::OscillatorIndices& kOsc2 = param::kOscillator[1];

constexpr ControlSpec kControls[] = {
    {"Hvolume", CK::kSlider, p::kMainVolume, IR::kFixed, "Volume ", VT::kDecibels, true},
    {"Htempo", CK::kSlider, p::kTempo, IR::kFixed, "Tempo ", VT::kTempo, true},
    {"HArpLen", CK::kSlider, p::kArpLength, IR::kFixed, "Arp Len", VT::kDescendingLength, true},
    {"HArpGate", CK::kSlider, p::kArpGate, IR::kFixed, "Arp Gate", VT::kPercent, true},
    {"MnLfoReset", CK::kToggle, p::kLfoRestart, IR::kFixed, "", VT::kNone, false},
    {"HPort", CK::kDial, p::kPortamento, IR::kFixed, "Portamento ", VT::kPercent, true},
    {"Hrel", CK::kSlider, p::kRelease, IR::kFixed, "Release ", VT::kAscendingLength, true},
    {"HStereo", CK::kDial, p::kStereo, IR::kFixed, "Stereo Spread ", VT::kPercent, true},
    {"MnLtracking", CK::kToggle, p::kEnvelopeKeyTracking, IR::kFixed, "", VT::kNone, false},
    {"HOct1", CK::kSlider, kOsc1.octave, IR::kFixed, "Osc 1: Octave ", VT::kOctave, true},
    {"HSemi1", CK::kSlider, kOsc1.semitone, IR::kFixed, "Osc 1: Semi ", VT::kSemitone, true},
    {"Hvol1", CK::kSlider, kOsc1.volume, IR::kFixed, "Osc 1: Volume ", VT::kDecibels, true},
    {"DlFm1", CK::kDial, kOsc1.fm_amount, IR::kFixed, "Osc 1: FM Amount", VT::kPercent, true},
    {"DlFine1", CK::kDial, kOsc1.fine_tune, IR::kFixed, "Osc 1: Fine ", VT::kCent, true},
    {"DLPwm1", CK::kDial, kOsc1.pwm_amount, IR::kFixed, "Osc 1: PWM ", VT::kPercent, true},
    {"DlPwms1", CK::kDial, kOsc1.pwm_speed, IR::kFixed, "Osc 1: PWM Speed ",
     VT::kModulationFrequency, true},
    {"HOct2", CK::kSlider, kOsc2.octave, IR::kFixed, "Osc 2: Octave ", VT::kOctave, true},
    {"HSemi2", CK::kSlider, kOsc2.semitone, IR::kFixed, "Osc 2: Semi ", VT::kSemitone, true},
    {"HVol2", CK::kSlider, kOsc2.volume, IR::kFixed, "Osc 2: Volume ", VT::kDecibels, true},
    {"DlSync2", CK::kDial, p::kOsc2Sync, IR::kFixed, "Osc 2: Sync ", VT::kPercent, true},
    {"DlFm2", CK::kDial, kOsc2.fm_amount, IR::kFixed, "Osc 2: FM Amount", VT::kPercent, true},
    {"DlFine2", CK::kDial, kOsc2.fine_tune, IR::kFixed, "Osc 2: Fine ", VT::kCent, true},
    {"DlPWm2", CK::kDial, kOsc2.pwm_amount, IR::kFixed, "Osc 2: PWM ", VT::kPercent, true},
    {"DlPWms2", CK::kDial, kOsc2.pwm_speed, IR::kFixed, "Osc 2: PWM Speed ",
     VT::kModulationFrequency, true},
    {"mNrING1", CK::kToggle, p::kRingModulation, IR::kFixed, "", VT::kNone, false},
    {"DlFRes1", CK::kDial, p::kFilterQ, IR::kFixed, "Filter 1: Q", VT::kPercent, true},
    {"HFHi1", CK::kSlider, p::kFilterFrequency, IR::kFixed, "Filter 1: Freq ", VT::kCutoffOrTuning,
     true},
    {"HFenv1", CK::kSlider, p::kFilterEnvelopeAmount, IR::kFixed, "Filter 1: Envelope Amount ",
     VT::kBipolarPercent, true},
    {"DlFVol1", CK::kDial, p::kFilterVolume, IR::kFixed, "Filter 1: Volume", VT::kDecibels, true},
    {"DlFdist1", CK::kDial, p::kFilterDistortion, IR::kFixed, "Filter 1: Dist", VT::kPercent, true},
    {"MnFtracking1", CK::kToggle, p::kFilterKeyTracking, IR::kFixed, "", VT::kNone, false},
    {"HSpeed", CK::kSlider, p::kLfoPeriod, IR::kLfo, "LFO: Period ", VT::kDescendingLength, true},
    {"HAmp", CK::kSlider, p::kLfoAmplitude, IR::kLfo, "LFO: Amp ", VT::kPercent, true},
    {"Hsh", CK::kSlider, p::kLfoHold, IR::kLfo, "LFO: S&H ", VT::kDescendingLength, true},
    {"MnEnvSus", CK::kToggle, p::kEnvLoopMode, IR::kEnvelope, "", VT::kNone, false},
    {"HLen", CK::kSlider, p::kEnvLength, IR::kEnvelope, "Envelope: Length", VT::kAscendingLength,
     false},
    {"HEAmount", CK::kSlider, p::kEvolverAmount, IR::kFixed, "Evolver Amount", VT::kPercent, true},
    {"HeLevel", CK::kSlider, p::kEvolverLevel, IR::kFixed, "Evolver Level", VT::kPercent, true},
};

// The scales are the editor's own reading, which the table's rows agree with except for the
// pitch ranges: the editor reads and writes them with 15.99, the engine reads 15.999.
constexpr SelectorSpec kSelectors[] = {
    {"MnMode", p::kVoiceMode, IR::kFixed, "Imode", 3.99f},
    {"MnAmpEnv", p::kMainEnvelope, IR::kFixed, "Ienv", 10.99f},
    {"MnPShift", p::kBendRange, IR::kFixed, "IBend", 15.99f},
    {"MnArpmode", p::kArpOrder, IR::kFixed, "IArpMode", 3.99f},
    {"MnArpOct", p::kArpOctaves, IR::kFixed, "IarpOct", 3.99f},
    {"MnLfoReset", p::kLfoRestart, IR::kFixed, "IOnOff", 1.99f},
    {"MnLtracking", p::kEnvelopeKeyTracking, IR::kFixed, "IOnOff", 1.99f},
    {"mNrING1", p::kRingModulation, IR::kFixed, "IOnOff", 1.99f},
    {"MnFtracking1", p::kFilterKeyTracking, IR::kFixed, "IOnOff", 1.99f},
    {"MnVolLfo", p::kVolumeLfo, IR::kFixed, "ILfoNo", 10.99f},
    {"MnPanLfo", p::kPanLfo, IR::kFixed, "ILfoNo", 10.99f},
    {"Mntype1", kOsc1.wave, IR::kFixed, "Iosc", 49.99f},
    {"MnType2", kOsc2.wave, IR::kFixed, "Iosc", 49.99f},
    {"MnFmType1", kOsc1.fm_source, IR::kFixed, "Ifm", 49.99f},
    {"MnFMType2", kOsc2.fm_source, IR::kFixed, "Ifm", 49.99f},
    {"MnEnvVol1", kOsc1.amp_envelope, IR::kFixed, "Ienv", 10.99f},
    {"MnEnvPitch1", kOsc1.pitch_envelope, IR::kFixed, "Ienv", 10.99f},
    {"MnEnvFm1", kOsc1.fm_envelope, IR::kFixed, "Ienv", 10.99f},
    {"MnPrange1", kOsc1.env_pitch_range, IR::kFixed, "IBend", 15.99f},
    {"MnPlfo1", kOsc1.lfo_pitch_range, IR::kFixed, "IBend", 15.99f},
    {"MnVolLfo1", kOsc1.volume_lfo, IR::kFixed, "ILfoNo", 10.99f},
    {"MnPitLfo1", kOsc1.pitch_lfo, IR::kFixed, "ILfoNo", 10.99f},
    {"MnEnvVol2", kOsc2.amp_envelope, IR::kFixed, "Ienv", 10.99f},
    {"MnEnvPitch2", kOsc2.pitch_envelope, IR::kFixed, "Ienv", 10.99f},
    {"MnEnvFm2", kOsc2.fm_envelope, IR::kFixed, "Ienv", 10.99f},
    {"MnPrange2", kOsc2.env_pitch_range, IR::kFixed, "IBend", 15.99f},
    {"MnPLfo2", kOsc2.lfo_pitch_range, IR::kFixed, "IBend", 15.99f},
    {"MnVolLfo2", kOsc2.volume_lfo, IR::kFixed, "ILfoNo", 10.99f},
    {"MnPitLfo2", kOsc2.pitch_lfo, IR::kFixed, "ILfoNo", 10.99f},
    {"MnFilter1", p::kFilterType, IR::kFixed, "Ifilter", 12.99f},
    {"MnEnvFilter1", p::kFilterEnvelope, IR::kFixed, "Ienv", 10.99f},
    {"MnFilter1LFO", p::kFilterLfo, IR::kFixed, "ILfoNo", 10.99f},
    {"MnLfoNo", p::kLfoShown, IR::kFixed, "ILfoNo", 10.99f},
    {"MnLfoType", p::kLfoWave, IR::kLfo, "Iosc", 49.99f},
    {"MnELFOAMP", p::kLfoDepthEnvelope, IR::kLfo, "Ienv", 10.99f},
    {"MnELFOFrq", p::kLfoSpeedEnvelope, IR::kLfo, "Ienv", 10.99f},
    {"MnEnv", p::kEnvelopeShown, IR::kFixed, "ISenv", 20.99f},
    {"MnEnvSus", p::kEnvLoopMode, IR::kEnvelope, "IOnOff", 1.99f},
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
  // The first eleven envelope lengths: more than the eight the panel can show, as it has always
  // been.
  constexpr int kAlwaysDrawnLengths = 11;
  return index == param::Lfo(param::kLfoPeriod, lfo_number) ||
         index == param::Lfo(param::kLfoAmplitude, lfo_number) ||
         index == param::Lfo(param::kLfoHold, lfo_number) ||
         (index >= param::kEnvLength && index < param::kEnvLength + kAlwaysDrawnLengths);
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
