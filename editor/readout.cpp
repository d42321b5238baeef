#include "editor/readout.h"

#include "editor/control_math.h"
#include "engine/portable_math.h"
#include "engine/tables.h"

namespace vellicor::editor::logic {
namespace {

// Round to nearest, ties to even, saturating instead of overflowing (and NaN as 0) so a stray
// value can only make an odd text, never undefined behaviour.
int Nearest(float x) {
  constexpr float kLimit = 4194304.0f;  // 2^22, where RoundHalfEven stops being exact
  if (x != x) return 0;
  if (x >= kLimit) return static_cast<int>(kLimit);
  if (x <= -kLimit) return -static_cast<int>(kLimit);
  return static_cast<int>(RoundHalfEven(x));
}

}  // namespace

std::string DecimalText(int units, int scale) {
  // Integer arithmetic: the texts must not depend on how a platform prints floats.
  const bool negative = units < 0;
  const long long magnitude = negative ? -static_cast<long long>(units) : units;
  std::string text = negative ? "-" : "";
  text += std::to_string(magnitude / scale);
  long long fraction = magnitude % scale;
  if (fraction == 0) return text;
  std::string digits;
  for (int s = scale; s > 1; s /= 10) {
    digits.insert(digits.begin(), static_cast<char>('0' + fraction % 10));
    fraction /= 10;
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  return text + "." + digits;
}

float PowerOfTwo(float x) {
  // The constant is ln 2 as the display has always used it; at x = 8 it lands just above 256,
  // which is why the top of the cutoff reads 15.4KHz.
  return static_cast<float>(pmath::Exp(0.6931472 * static_cast<double>(x)));
}

std::string FloatStr(float x, int precision) {
  return DecimalText(IntPart(static_cast<float>(precision) * x), precision);
}

std::string PerStr(float v) {
  return DecimalText(Nearest(1000.0f * v), 10) + "%";
}

std::string dBStr(float v) {
  return FloatStr(40.0f * v - 30.0f, 10) + "dB";
}

std::string TempoStr(float v) {
  if (v == 0.0f) return "Auto";
  return std::to_string(IntPart(200.0f * v + 20.0f)) + "bpm";
}

std::string OctaveStr(float v) {
  return std::to_string(IntPart(7.99f * v - 3.0f)) + " octave";
}

std::string SemitoneStr(float v) {
  return std::to_string(IntPart(11.99f * v)) + " semitones";
}

std::string CentStr(float v) {
  return std::to_string(IntPart(100.0f * v)) + "cent";
}

std::string BipolarPercentStr(float v) {
  return std::to_string(IntPart(200.0f * v - 100.0f)) + "%";
}

std::string TuningStr(float v) {
  return std::to_string(IntPart(48.0f * v - 24.0f)) + " semitones";
}

std::string FilterStr(float v) {
  const float f = 60.0f * PowerOfTwo(8.0f * v);
  if (f >= 1000.0f) return DecimalText(Nearest(f / 100.0f), 10) + "KHz";
  return std::to_string(Nearest(f)) + "Hz";
}

std::string FreqStr(float v, float exponent, float divisor, std::string_view zero_text) {
  if (v == 0.0f) return std::string(zero_text);
  const float f = PowerOfTwo(exponent * v) * 55.0f / divisor;
  if (f < 10.0f) return DecimalText(IntPart(100.0f * f), 100) + "Hz";
  if (f < 100.0f) return DecimalText(IntPart(10.0f * f), 10) + "Hz";
  if (f < 1000.0f) return std::to_string(IntPart(f)) + "Hz";
  return DecimalText(IntPart(f / 100.0f), 10) + "KHz";
}

const std::array<std::string_view, kLengthNameCount> DescLengthNames = {
    "Off",      "512 qb",   "256 qb",   "192 qb",   "128 qb", "96 qb",    "80 qb",  "64 qb",
    "56 qb",    "48 qb",    "44 qb",    "40 qb",    "36 qb",  "32 qb",    "28 qb",  "24 qb",
    "20 qb",    "16 qb",    "14 qb",    "12 qb",    "10 qb",  "9 qb",     "8 qb",   "7 qb",
    "6 qb",     "5 qb",     "4 qb",     "3 1/2 qb", "3 qb",   "2 1/2 qb", "2 qb",   "1 3/4 qb",
    "1 2/3 qb", "1 1/2 qb", "1 1/3 qb", "1 1/4 qb", "1 qb",   "7/8 qb",   "3/4 qb", "2/3 qb",
    "5/8 qb",   "1/2 qb",   "3/8 qb",   "1/3 qb",   "1/4 qb", "1/6 qb",   "1/8 qb", "1/12 qb",
    "1/16 qb",  "1/32 qb"};

const std::array<std::string_view, kLengthNameCount> AscLengthNames = {
    "Off",    "1/32 qb", "1/16 qb", "1/12 qb", "1/8 qb", "1/6 qb", "1/4 qb", "1/3 qb", "3/8 qb",
    "1/2 qb", "5/8 qb",  "2/3 qb",  "3/4 qb",  "7/8 qb", "1 qb",   "5/4 qb", "4/3 qb", "3/2 qb",
    "5/3 qb", "7/4 qb",  "2 qb",    "5/2 qb",  "3 qb",   "7/2 qb", "4 qb",   "5 qb",   "6 qb",
    "7 qb",   "8 qb",    "9 qb",    "10 qb",   "12 qb",  "14 qb",  "16 qb",  "20 qb",  "24 qb",
    "28 qb",  "32 qb",   "36 qb",   "40 qb",   "44 qb",  "48 qb",  "56 qb",  "64 qb",  "80 qb",
    "96 qb",  "128 qb",  "192 qb",  "256 qb",  "512 qb"};

std::string_view DescLengthName(float v) {
  return DescLengthNames[Choice(v, 49.99f, kLengthNameCount - 1)];
}

std::string_view AscLengthName(float v) {
  return AscLengthNames[Choice(v, 49.99f, kLengthNameCount - 1)];
}

std::string ValueTextOf(ValueText kind, float v) {
  switch (kind) {
    case ValueText::kNone:
      return "";
    case ValueText::kPercent:
      return PerStr(v);
    case ValueText::kDecibels:
      return dBStr(v);
    case ValueText::kTempo:
      return TempoStr(v);
    case ValueText::kOctave:
      return OctaveStr(v);
    case ValueText::kSemitone:
      return SemitoneStr(v);
    case ValueText::kCent:
      return CentStr(v);
    case ValueText::kBipolarPercent:
      return BipolarPercentStr(v);
    case ValueText::kTuning:
      return TuningStr(v);
    case ValueText::kCutoff:
    case ValueText::kCutoffOrTuning:
      return FilterStr(v);
    case ValueText::kModulationFrequency:
      return FreqStr(v, 8.0f, 1024.0f, "Off");
    case ValueText::kDescendingLength:
      return std::string(DescLengthName(v));
    case ValueText::kAscendingLength:
      return std::string(AscLengthName(v));
  }
  return "";
}

std::string ControllerSuffix(int index, int controller) {
  // 251..255 are the map's "nothing learnt" marks. The suffix stops one short of the learnable
  // entries: the last of them, and the map beyond them, are not shown.
  constexpr int kLastShownIndex = param::kLearnableCount - 2;
  if (index < 0 || index > kLastShownIndex || controller < 0 || controller > 250) return "";
  return " cc" + std::to_string(controller) + " ";
}

bool FilterShowsTuning(float filter_type) {
  return IntPart(10.99f * filter_type) >= 9;
}

std::optional<Readout> ReadoutOf(int index, float value, float filter_type, int controller,
                                 int lfo_number, int env_number) {
  const ControlSpec* control = ControlAtIndex(index, lfo_number, env_number);
  if (control == nullptr || control->readout_name.empty()) return std::nullopt;
  std::string_view name = control->readout_name;
  ValueText text = control->text;
  if (text == ValueText::kCutoffOrTuning) {
    const bool tuned = FilterShowsTuning(filter_type);
    name = tuned ? "Filter 1: Tune " : "Filter 1: Freq ";
    text = tuned ? ValueText::kTuning : ValueText::kCutoff;
  }
  Readout readout;
  readout.name = std::string(name);
  if (control->controller_suffix) readout.name += ControllerSuffix(index, controller);
  readout.value = ValueTextOf(text, value);
  return readout;
}

}  // namespace vellicor::editor::logic
