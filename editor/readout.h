// The read-out bar's texts: what a dial or slider is called, which controller drives it, and
// its value in the units a musician reads (percent, dB, bpm, Hz, quarter beats).
//
// Everything here is plain text arithmetic on the value copy; no drawing. The numbers are
// computed in single precision like the engine, so a read-out names exactly the choice the
// engine makes of the same value, on every target.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "parameters/parameter_table.h"

namespace vellicor::editor::logic {

// How a control's value is worded.
enum class ValueText {
  kNone,
  kPercent,              // 0.1234 -> "12.3%"
  kDecibels,             // 0.8 -> "2dB"
  kTempo,                // "Auto" at 0, else 20..220 "bpm"
  kOctave,               // "-3 octave" .. "4 octave"
  kSemitone,             // "0 semitones" .. "11 semitones"
  kCent,                 // "0cent" .. "100cent"
  kBipolarPercent,       // "-100%" .. "100%"
  kTuning,               // "-24 semitones" .. "24 semitones"
  kCutoff,               // "60Hz" .. "15.4KHz"
  kModulationFrequency,  // "Off" at 0, else about "0.05Hz" .. "13.7Hz"
  kDescendingLength,     // DescLengthNames
  kAscendingLength,      // AscLengthNames
  kCutoffOrTuning,       // the filter frequency slider: which one depends on the filter type
};

// Numbers without trailing zeros: `units` / `scale` where scale is 1, 10, 100 or 1000, e.g.
// (123, 10) -> "12.3", (50, 100) -> "0.5", (-5, 10) -> "-0.5", (20, 10) -> "2".
std::string DecimalText(int units, int scale);

// 2^x as e^(0.6931472 x), rounded to single precision.
float PowerOfTwo(float x);

// IntPart(precision * x) / precision: truncation towards minus infinity to 1/precision
// (precision 1, 10, 100 or 1000).
std::string FloatStr(float x, int precision);

std::string PerStr(float v);
std::string dBStr(float v);
std::string TempoStr(float v);
std::string OctaveStr(float v);
std::string SemitoneStr(float v);
std::string CentStr(float v);
std::string BipolarPercentStr(float v);
std::string TuningStr(float v);
std::string FilterStr(float v);
// f = 2^(exponent v) * 55 / divisor Hz, with `zero_text` for exactly 0. The PWM speed dials
// use exponent 8, divisor 1024 and "Off".
std::string FreqStr(float v, float exponent, float divisor, std::string_view zero_text);

constexpr int kLengthNameCount = 50;
extern const std::array<std::string_view, kLengthNameCount> DescLengthNames;
extern const std::array<std::string_view, kLengthNameCount> AscLengthNames;
// The name of IntPart(49.99 v), bounded to the table.
std::string_view DescLengthName(float v);
std::string_view AscLengthName(float v);

std::string ValueTextOf(ValueText kind, float v);

// " cc7 " for a parameter below the last learnable one with a learnt controller 0..250; empty
// otherwise.
std::string ControllerSuffix(int index, int controller);

// The filter frequency slider reads the filter type with the LFO-selector scale:
// IntPart(10.99 type) >= 9 ("Tuned Ring Mod", "Comb Filter") shows the tuning.
bool FilterShowsTuning(float filter_type);

struct Readout {
  std::string name;   // read-out name and controller suffix, e.g. "Volume  cc7 "
  std::string value;  // value text, e.g. "2dB"
  // What the bar shows: name " :: " value.
  std::string Text() const { return name + " :: " + value; }
};

// What a control writes into the bar for parameter `index`, given the LFO and envelope the
// panels show; nothing for indices without a read-out (toggles, selectors, unbound indices).
// `value` is the parameter's value, `filter_type` the filter type's value (used by the filter
// frequency only), `controller` the controller-map entry of `index`.
std::optional<Readout> ReadoutOf(int index, float value, float filter_type, int controller,
                                 int lfo_number, int env_number);

// The same from the editor's value copy and controller map (any indexable containers, such as
// arrays of floats or of relaxed atomics). Indices outside the containers read as 0 / none.
template <typename Values, typename Map>
std::optional<Readout> ReadoutOf(int index, const Values& values, const Map& cc_map, int lfo_number,
                                 int env_number) {
  const auto value_at = [&](int i) -> float {
    return i >= 0 && static_cast<size_t>(i) < std::size(values) ? static_cast<float>(values[i])
                                                                : 0.0f;
  };
  const int controller = index >= 0 && static_cast<size_t>(index) < std::size(cc_map)
                             ? static_cast<int>(cc_map[index])
                             : 255;
  return ReadoutOf(index, value_at(index), value_at(param::kFilterType), controller, lfo_number,
                   env_number);
}

}  // namespace vellicor::editor::logic
