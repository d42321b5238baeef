#include "editor/parameter_text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "editor/control_math.h"
#include "editor/menu_tables.h"
#include "editor/readout.h"
#include "engine/tables.h"
#include "parameters/parameter_table.h"
#include "patch/envelope_edit.h"

namespace vellicor::editor::logic {
namespace {

// --- What shows a parameter -------------------------------------------------------------------

// A rule's entry walks its base's whole row, one index per LFO or envelope: the panels show one
// at a time, but every one of them reads the same way.
bool Reaches(int base, IndexRule rule, int index) {
  if (rule == IndexRule::kFixed) return index == base;
  const param::Row* row = param::RowOf(base);
  return row != nullptr && index >= base && index < row->first + row->count;
}

enum class Shown { kValueText, kLabels, kSwitch, kNumber };

struct Showing {
  Shown shown = Shown::kNumber;
  ValueText text = ValueText::kNone;       // kValueText
  const SelectorSpec* selector = nullptr;  // kLabels
};

Showing ShowingOf(int index, float filter_type) {
  Showing s;
  for (const ControlSpec& c : ControlTable()) {
    if (c.kind == ControlKind::kToggle || c.text == ValueText::kNone) continue;
    if (!Reaches(c.base, c.rule, index)) continue;
    s.shown = Shown::kValueText;
    s.text = c.text;
    if (s.text == ValueText::kCutoffOrTuning) {
      s.text = FilterShowsTuning(filter_type) ? ValueText::kTuning : ValueText::kCutoff;
    }
    return s;
  }
  for (const SelectorSpec& selector : SelectorTable()) {
    if (!Reaches(selector.base, selector.rule, index)) continue;
    // The on/off plates carry no text.
    s.shown = selector.image_list == "IOnOff" ? Shown::kSwitch : Shown::kLabels;
    s.selector = &selector;
    return s;
  }
  if (param::EncodingOf(index) == param::Encoding::kSwitch) s.shown = Shown::kSwitch;
  return s;
}

// The frame of the on/off plates, and how the switch's encoding reads a value.
constexpr float kSwitchScale = 1.99f;

// --- Text ------------------------------------------------------------------------------------

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Lower case, without blanks at either end, and one blank for every run inside.
std::string Normal(std::string_view text) {
  std::string normal;
  bool blank = false;
  for (char c : text) {
    if (Blank(c)) {
      blank = !normal.empty();
      continue;
    }
    if (blank) normal += ' ';
    blank = false;
    normal += Lower(c);
  }
  return normal;
}

// A number ("12", "-0.5", "+3", ".5") and what follows it, normalised ("db", "khz", "", ...).
struct Quantity {
  double number;
  std::string unit;
};

std::optional<Quantity> ParseQuantity(std::string_view text) {
  const std::string normal = Normal(text);
  size_t i = 0;
  bool negative = false;
  if (i < normal.size() && (normal[i] == '+' || normal[i] == '-')) negative = normal[i++] == '-';
  const size_t start = i;
  int digits = 0;
  for (; i < normal.size() && normal[i] >= '0' && normal[i] <= '9'; ++i) ++digits;
  if (i < normal.size() && normal[i] == '.') {
    for (++i; i < normal.size() && normal[i] >= '0' && normal[i] <= '9'; ++i) ++digits;
  }
  if (digits == 0) return std::nullopt;
  double number = 0.0;
  const char* first = normal.data() + start;
  const char* last = normal.data() + i;
  const auto [end, error] = std::from_chars(first, last, number, std::chars_format::fixed);
  if (error != std::errc() || end != last) return std::nullopt;
  std::string unit = normal.substr(i);
  if (!unit.empty() && unit.front() == ' ') unit.erase(0, 1);
  return Quantity{negative ? -number : number, unit};
}

// --- Numbers with units ----------------------------------------------------------------------

// The units a kind's texts are read in: the value in the kind's base unit is the number times
// `scale`; `rank` tells apart two texts of one value ("1000Hz" just below "1KHz").
struct Unit {
  std::string_view name;
  double scale = 1.0;
  int rank = 0;
};

std::span<const Unit> UnitsOf(ValueText kind) {
  static constexpr Unit kPercent[] = {{"%"}, {""}};
  static constexpr Unit kDecibels[] = {{"db"}, {""}};
  static constexpr Unit kTempo[] = {{"bpm"}, {""}};
  static constexpr Unit kOctaves[] = {{"octave"}, {"octaves"}, {"oct"}, {""}};
  static constexpr Unit kSemitones[] = {{"semitones"}, {"semitone"}, {"semi"}, {"st"}, {""}};
  static constexpr Unit kCents[] = {{"cent"}, {"cents"}, {""}};
  static constexpr Unit kHertz[] = {{"hz"}, {"khz", 1000.0, 1}, {""}};
  switch (kind) {
    case ValueText::kPercent:
    case ValueText::kBipolarPercent:
      return kPercent;
    case ValueText::kDecibels:
      return kDecibels;
    case ValueText::kTempo:
      return kTempo;
    case ValueText::kOctave:
      return kOctaves;
    case ValueText::kSemitone:
    case ValueText::kTuning:
      return kSemitones;
    case ValueText::kCent:
      return kCents;
    case ValueText::kCutoff:
    case ValueText::kCutoffOrTuning:
    case ValueText::kModulationFrequency:
      return kHertz;
    case ValueText::kNone:
    case ValueText::kDescendingLength:
    case ValueText::kAscendingLength:
      break;
  }
  return {};
}

// The word the kind shows for exactly 0 instead of a number, if any.
std::string_view ZeroWord(ValueText kind) {
  if (kind == ValueText::kTempo) return "auto";
  if (kind == ValueText::kModulationFrequency) return "off";
  return {};
}

// A text's place on the kind's scale: its value in the base unit, ranked. Texts of rising values
// have rising keys; each text one key.
std::optional<double> KeyOf(ValueText kind, std::string_view text) {
  const std::optional<Quantity> q = ParseQuantity(text);
  if (!q) return std::nullopt;
  for (const Unit& unit : UnitsOf(kind)) {
    if (unit.name == q->unit) return 4.0 * q->number * unit.scale + unit.rank;
  }
  return std::nullopt;
}

double KeyAt(ValueText kind, uint32_t bits) {
  return KeyOf(kind, ValueTextOf(kind, std::bit_cast<float>(bits))).value_or(0.0);
}

// The value whose number `key` names, from the inverse of the display's formula; not limited.
double Inverse(ValueText kind, double key) {
  const double x = key / 4.0;
  // The exponential displays compute 2^y as e^(0.6931472 y).
  constexpr double kLn2 = 0.6931472;
  switch (kind) {
    case ValueText::kPercent:
    case ValueText::kCent:
      return x / 100.0;
    case ValueText::kDecibels:
      return (x + 30.0) / 40.0;
    case ValueText::kTempo:
      return (x - 20.0) / 200.0;
    case ValueText::kOctave:
      return (x + 3.0) / 7.99;
    case ValueText::kSemitone:
      return x / 11.99;
    case ValueText::kBipolarPercent:
      return (x + 100.0) / 200.0;
    case ValueText::kTuning:
      return (x + 24.0) / 48.0;
    case ValueText::kCutoff:
    case ValueText::kCutoffOrTuning:
      return x > 0.0 ? std::log(x / 60.0) / (8.0 * kLn2) : 0.0;
    case ValueText::kModulationFrequency:
      return x > 0.0 ? std::log(x * 1024.0 / 55.0) / (8.0 * kLn2) : 0.0;
    case ValueText::kNone:
    case ValueText::kDescendingLength:
    case ValueText::kAscendingLength:
      break;
  }
  return 0.0;
}

constexpr uint32_t kOneBits = std::bit_cast<uint32_t>(1.0f);

// The lowest value from `from` to 1 (as bits: non-negative floats sort as their bits do) whose
// key is above `key`, or at least `key`; kOneBits + 1 when there is none.
uint32_t LowestBeyond(ValueText kind, double key, bool strictly, uint32_t from) {
  uint32_t low = from, high = kOneBits + 1;
  while (low < high) {
    const uint32_t mid = low + (high - low) / 2;
    const double k = KeyAt(kind, mid);
    if (strictly ? k > key : k >= key) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  return low;
}

std::optional<float> NumberValue(ValueText kind, std::string_view text) {
  if (!ZeroWord(kind).empty() && Normal(text) == ZeroWord(kind)) return 0.0f;
  const std::optional<double> key = KeyOf(kind, text);
  if (!key) return std::nullopt;
  // A kind with a word for 0 has numbers only above it.
  const uint32_t from = ZeroWord(kind).empty() ? 0 : 1;
  const double inverse = std::clamp(Inverse(kind, *key), 0.0, 1.0);
  // An inverse at 0 where 0 has a word of its own says nothing about where in its text's
  // values to go.
  const bool inverse_known = from == 0 || inverse > 0.0;
  const uint32_t exact = std::max(std::bit_cast<uint32_t>(static_cast<float>(inverse)), from);
  if (inverse_known && KeyAt(kind, exact) == *key) return std::bit_cast<float>(exact);
  // The values showing the text, and the one nearest the inverse among them (or the middle).
  const uint32_t first = LowestBeyond(kind, *key, false, from);
  const uint32_t past = LowestBeyond(kind, *key, true, from);
  if (first < past && inverse_known) {
    return std::bit_cast<float>(std::clamp(exact, first, past - 1));
  }
  if (first < past) return (std::bit_cast<float>(first) + std::bit_cast<float>(past - 1)) / 2.0f;
  // No value shows it: the nearest text that a value shows.
  if (first > kOneBits) return 1.0f;
  if (first == from) return std::bit_cast<float>(first);
  const bool below_nearer = *key - KeyAt(kind, first - 1) < KeyAt(kind, first) - *key;
  return std::bit_cast<float>(below_nearer ? first - 1 : first);
}

// --- Labels ----------------------------------------------------------------------------------

// The value a choice is written with: the opener's menu encoding, the envelope panel's for its
// selectors; the middle of the choice where the editor writes none (a blank plate).
float ChoiceValue(const SelectorSpec& selector, int frame, bool labelled) {
  if (labelled) {
    if (const MenuOpener* opener = FindMenuOpener(selector.image)) {
      return ItemValue(Menu(opener->menu), frame);
    }
    if (selector.image_list == "Ienv") return envelope_edit::EncodeDestination(frame);
    if (selector.image_list == "ISenv") return envelope_edit::EncodeShown(frame);
  }
  return static_cast<float>((frame + 0.5) / selector.k);
}

std::optional<float> LabelValue(const SelectorSpec& selector, std::string_view text) {
  const std::span<const std::string_view> labels = LabelStrip(selector.image_list);
  const std::string normal = Normal(text);
  for (size_t frame = 0; frame < labels.size(); ++frame) {
    if (Normal(labels[frame]) == normal) {
      return ChoiceValue(selector, static_cast<int>(frame), true);
    }
  }
  // A blank plate's number.
  if (normal.empty() || normal.size() > 3 ||
      !std::all_of(normal.begin(), normal.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  const int frame = std::atoi(normal.c_str()) - 1;
  if (frame < static_cast<int>(labels.size()) || frame > SelectorFrame(selector.k, 1.0f)) {
    return std::nullopt;
  }
  return ChoiceValue(selector, frame, false);
}

std::optional<float> LengthValue(ValueText kind, std::string_view text) {
  const auto& names = kind == ValueText::kAscendingLength ? AscLengthNames : DescLengthNames;
  const std::string normal = Normal(text);
  for (int k = 0; k < kLengthNameCount; ++k) {
    if (Normal(names[static_cast<size_t>(k)]) == normal) {
      return static_cast<float>((k + 0.5) / 49.99);
    }
  }
  return std::nullopt;
}

std::string PlainNumber(float value) {
  const double scaled = std::isfinite(value) ? std::clamp(1000.0 * value, -1e12, 1e12) : 0.0;
  const long long units = std::llround(scaled);
  const long long magnitude = units < 0 ? -units : units;
  std::string text = units < 0 ? "-" : "";
  text += std::to_string(magnitude / 1000);
  text += '.';
  for (long long digit = 100; digit > 0; digit /= 10) {
    text += static_cast<char>('0' + magnitude / digit % 10);
  }
  return text;
}

}  // namespace

std::string ParameterText(int index, float value, float filter_type) {
  if (index < 0 || index >= param::kPatchSize) return "";
  const Showing s = ShowingOf(index, filter_type);
  switch (s.shown) {
    case Shown::kValueText:
      return ValueTextOf(s.text, value);
    case Shown::kSwitch:
      return SelectorFrame(kSwitchScale, value) >= 1 ? "On" : "Off";
    case Shown::kLabels: {
      const std::span<const std::string_view> labels = LabelStrip(s.selector->image_list);
      const int frame = SelectorFrame(s.selector->k, value);
      if (frame >= 0 && frame < static_cast<int>(labels.size())) {
        return std::string(labels[static_cast<size_t>(frame)]);
      }
      return std::to_string(frame + 1);
    }
    case Shown::kNumber:
      break;
  }
  return PlainNumber(value);
}

std::optional<float> ParameterValue(int index, std::string_view text, float filter_type) {
  if (index < 0 || index >= param::kPatchSize) return std::nullopt;
  const Showing s = ShowingOf(index, filter_type);
  switch (s.shown) {
    case Shown::kValueText:
      if (s.text == ValueText::kDescendingLength || s.text == ValueText::kAscendingLength) {
        return LengthValue(s.text, text);
      }
      return NumberValue(s.text, text);
    case Shown::kSwitch: {
      // What a click on the plate writes.
      const std::string normal = Normal(text);
      if (normal == "on") return ToggledValue(0.0f);
      if (normal == "off") return ToggledValue(1.0f);
      return std::nullopt;
    }
    case Shown::kLabels:
      return LabelValue(*s.selector, text);
    case Shown::kNumber:
      break;
  }
  const std::optional<Quantity> q = ParseQuantity(text);
  if (!q || !q->unit.empty()) return std::nullopt;
  return q->number <= 0.0 ? 0.0f : static_cast<float>(std::min(q->number, 1.0));
}

}  // namespace vellicor::editor::logic
