#include "editor/menu_tables.h"

#include <array>

#include "editor/control_math.h"
#include "engine/tables.h"
#include "parameters/parameter_table.h"

namespace vellicor::editor::logic {

const std::string_view kWaveNames[22] = {"Sine",    "Tri",    "Saw",   "RSaw",  "Square", "Saw+Sq",
                                         "Saw+Tri", "SmSaw",  "SmSqr", "Organ", "Vox",    "Bell",
                                         "Noise1",  "Noise2", "Wave1", "Wave2", "Wave3",  "Wave4",
                                         "Wave5",   "Wave6",  "Wave7", "Wave8"};
const std::string_view kFmSourceNames[6] = {"Osc1", "Osc2", "Osc3", "Osc4", "Filter1", "Filter2"};
const std::string_view kFilterNames[13] = {"Off",           "12db Lowpass",    "12db Highpass",
                                           "12db Bandpass", "12db Bandreject", "24db Lowpass",
                                           "24db Highpass", "24db Bandpass",   "24db Bandreject",
                                           "Ring Mod",      "Tuned Ring Mod",  "Comb Filter",
                                           "Comb2"};
const std::string_view kSemitoneRangeNames[16] = {
    "Off",    "1 semi", "2 semi",  "3 semi",  "4 semi",  "5 semi",  "6 semi",  "7 semi",
    "8 semi", "9 semi", "10 semi", "11 semi", "12 semi", "24 semi", "36 semi", "48 semi"};

namespace {

constexpr MenuItemSpec kWaveItems[] = {
    {"W00", "Sine", "Wavestring"}, {"W01", "Tri", "Wave1"},     {"W02", "Saw", "Wave2"},
    {"W03", "RSaw", "Wave3"},      {"W04", "Square", "Wave4"},  {"W05", "Saw+Sq", "Wave5"},
    {"W06", "Saw+Tri", "Wave6"},   {"W07", "SmSaw", "Wave7"},   {"W08", "SmSqr", "Wave8"},
    {"W09", "Organ", "Wave9"},     {"W10", "Vox", "Wave10"},    {"W11", "Bell", "Wave11"},
    {"W12", "Noise1", "Wave12"},   {"W13", "Noise2", "Wave13"},
};

constexpr MenuItemSpec kFmWaveItems[] = {
    {"F00", "Osc1", "Osc1"},
    {"F01", "Osc2", "Osc2"},
};

// The first caption is blanks only: it makes the menu wide enough for the longest filter name.
constexpr std::string_view kFilterWidthCaption = "                           ";
static_assert(kFilterWidthCaption.size() == 27);

constexpr MenuItemSpec kFilterItems[] = {
    {"Fi00", "Off", kFilterWidthCaption},    {"Fi01", "12db Lowpass", "Filter02"},
    {"Fi02", "12db Highpass", "Filter02"},   {"Fi03", "12db Bandpass", "Filter02"},
    {"Fi04", "12db Bandreject", "Filter02"}, {"Fi05", "24db Lowpass", "Filter02"},
    {"Fi06", "24db Highpass", "Filter02"},   {"Fi07", "24db Bandpass", "Filter02"},
    {"Fi08", "24db Bandreject", "Filter02"}, {"Fi09", "Ring Mod", "Filter02"},
    {"Fi10", "Tuned Ring Mod", "Filter02"},  {"Fi11", "Comb Filter", "Filter02"},
};

constexpr MenuItemSpec kLfoItems[] = {
    {"Lf0", "LFO 1", "LFO0"}, {"LF1", "LFO 2", "LFO1"}, {"LF2", "LFO 3", "LFO2"},
    {"LF3", "LFO 4", "LFO3"}, {"LF4", "LFO 5", "LFO4"},
};

constexpr MenuItemSpec kLfoSelItems[] = {
    {"SLF0", "LFO 1", "LFO0"}, {"SLF1", "LFO 2", "LFO1"}, {"SLF2", "LFO 3", "LFO2"},
    {"SLF3", "LFO 4", "LFO3"}, {"SLF4", "LFO 5", "LFO4"}, {"SLFNONE", "None", "None"},
};

constexpr MenuItemSpec kBendItems[] = {
    {"Bend00", "Off", "Bend00"},     {"Bend01", "1 semi", "Bend01"},
    {"Bend02", "2 semi", "Bend02"},  {"Bend03", "3 semi", "Bend03"},
    {"Bend04", "4 semi", "Bend04"},  {"Bend05", "5 semi", "Bend05"},
    {"Bend06", "6 semi", "Bend06"},  {"Bend07", "7 semi", "Bend07"},
    {"Bend08", "8 semi", "Bend08"},  {"Bend09", "9 semi", "Bend09"},
    {"Bend10", "10 semi", "Bend10"}, {"Bend11", "11 semi", "Bend11"},
    {"Bend12", "12 semi", "Bend12"}, {"Bend13", "24 semi", "Bend13"},
    {"Bend14", "36 semi", "Bend14"}, {"Bend15", "48 semi", "Bend15"},
};

constexpr MenuItemSpec kModeItems[] = {
    {"Mode1", "Poly", "Arpegator"},
    {"Mode2", "Mono", ""},
    {"Mode3", "Legato", ""},
    {"Mode4", "Arp", ""},
};

constexpr MenuItemSpec kArpModeItems[] = {
    {"AMode1", "Up", "Arpegator"},
    {"Amode2", "Down", ""},
    {"AMode3", "Up&Down", ""},
    {"AMode4", "Random", ""},
};

constexpr MenuItemSpec kArpOctItems[] = {
    {"Aoct1", "1 Octave", "Arpegator"},
    {"AOct2", "2 Octave", ""},
    {"AOct3", "3 Octave", ""},
    {"Aoct4", "4 Octave", ""},
};

using CE = ChoiceEncoding;
using IN = ItemNaming;

const MenuSpec kMenus[] = {
    {MenuId::kWave, "Wave", kWaveItems, CE::kWave, IN::kTwoDigits, "W"},
    {MenuId::kFmWave, "FmWave", kFmWaveItems, CE::kWave, IN::kTwoDigits, "F"},
    {MenuId::kFilters, "Filters", kFilterItems, CE::kFilter, IN::kTwoDigits, "FI"},
    {MenuId::kLfoMenu, "LfoMenu", kLfoItems, CE::kCentred1099, IN::kWholeName, ""},
    {MenuId::kLfoSelMenu, "LfoSelMenu", kLfoSelItems, CE::kCentred1099, IN::kWholeName, ""},
    {MenuId::kBend, "Bend", kBendItems, CE::kCentred1599, IN::kWholeName, ""},
    {MenuId::kModeMenu, "ModeMenu", kModeItems, CE::kCentred399, IN::kWholeName, ""},
    {MenuId::kArpModeMenu, "ArpModeMenu", kArpModeItems, CE::kCentred399, IN::kWholeName, ""},
    {MenuId::kArpOctMenu, "ArpOctMenu", kArpOctItems, CE::kCentred399, IN::kWholeName, ""},
};

using TS = TargetSlot;
constexpr const param::OscillatorIndices& kOsc1 = param::kOscillator[0];
constexpr const param::OscillatorIndices& kOsc2 = param::kOscillator[1];
using RR = ReleaseReset;

constexpr MenuOpener kOpeners[] = {
    {"Mntype1", MenuId::kWave, kOsc1.wave, false, TS::kMenuTarget, true, RR::kNothing},
    {"MnType2", MenuId::kWave, kOsc2.wave, false, TS::kMenuTarget, true, RR::kNothing},
    {"MnLfoType", MenuId::kWave, param::kLfoWave, true, TS::kMenuTarget, true, RR::kNothing},
    {"MnFmType1", MenuId::kFmWave, kOsc1.fm_source, false, TS::kMenuTarget, true, RR::kNothing},
    {"MnFMType2", MenuId::kFmWave, kOsc2.fm_source, false, TS::kMenuTarget, true, RR::kNothing},
    {"MnFilter1", MenuId::kFilters, param::kFilterType, false, TS::kFilterTarget, true,
     RR::kFilterTarget},
    {"MnLfoNo", MenuId::kLfoMenu, param::kLfoShown, false, TS::kLfoNumber, false, RR::kNothing},
    {"MnVolLfo", MenuId::kLfoSelMenu, param::kVolumeLfo, false, TS::kLfoSelTarget, false,
     RR::kNothing},
    {"MnPanLfo", MenuId::kLfoSelMenu, param::kPanLfo, false, TS::kLfoSelTarget, false,
     RR::kNothing},
    {"MnFilter1LFO", MenuId::kLfoSelMenu, param::kFilterLfo, false, TS::kLfoSelTarget, false,
     RR::kNothing},
    {"MnVolLfo1", MenuId::kLfoSelMenu, kOsc1.volume_lfo, false, TS::kLfoSelTarget, false,
     RR::kNothing},
    {"MnVolLfo2", MenuId::kLfoSelMenu, kOsc2.volume_lfo, false, TS::kLfoSelTarget, false,
     RR::kNothing},
    {"MnPitLfo1", MenuId::kLfoSelMenu, kOsc1.pitch_lfo, false, TS::kLfoSelTarget, false,
     RR::kNothing},
    {"MnPitLfo2", MenuId::kLfoSelMenu, kOsc2.pitch_lfo, false, TS::kLfoSelTarget, false,
     RR::kNothing},
    {"MnPShift", MenuId::kBend, param::kBendRange, false, TS::kMenuTarget, true,
     RR::kLfoSelTargetAndDest},
    {"MnPrange1", MenuId::kBend, kOsc1.env_pitch_range, false, TS::kMenuTarget, true,
     RR::kLfoSelTargetAndDest},
    {"MnPrange2", MenuId::kBend, kOsc2.env_pitch_range, false, TS::kMenuTarget, true,
     RR::kLfoSelTargetAndDest},
    {"MnPlfo1", MenuId::kBend, kOsc1.lfo_pitch_range, false, TS::kMenuTarget, true,
     RR::kLfoSelTargetAndDest},
    {"MnPLfo2", MenuId::kBend, kOsc2.lfo_pitch_range, false, TS::kMenuTarget, true,
     RR::kLfoSelTargetAndDest},
    {"MnMode", MenuId::kModeMenu, param::kVoiceMode, false, TS::kMenuTarget, false, RR::kNothing},
    {"MnArpmode", MenuId::kArpModeMenu, param::kArpOrder, false, TS::kMenuTarget, false,
     RR::kNothing},
    {"MnArpOct", MenuId::kArpOctMenu, param::kArpOctaves, false, TS::kMenuTarget, false,
     RR::kNothing},
};

constexpr std::string_view kIosc[] = {"SINE",  "TRI",    "SAW",    "RSAW",  "SQURE",
                                      "SWSQR", "SAWTRI", "SmSaw",  "SmSqr", "Organ",
                                      "VOX",   "BELL",   "NOISE1", "NOISE2"};
constexpr std::string_view kIfm[] = {"OSC 1", "OSC 2", "OSC 3", "OSC 4", "FILTER1", "FILTER2"};
constexpr std::string_view kIfilter[] = {"OFF",  "LOW12", "HI12", "BP12", "BR12",   "LOW24",
                                         "HI24", "BP24",  "BR24", "RING", "T.RING", "COMB"};
constexpr std::string_view kILfoNo[] = {"LFO1", "LFO2", "LFO3", "LFO4", "LFO5", "NONE"};
constexpr std::string_view kIBend[] = {"OFF",    "1 SEMI", "2 SEMI", "3 SEMI", "4 SEMI",  "5 SEMI",
                                       "6 SEMI", "7 SEMI", "8 SEMI", "9 SEMI", "10 SEMI", "11 SEMI",
                                       "1 OCT",  "2 OCT",  "3 OCT",  "4 OCT"};
constexpr std::string_view kImode[] = {"POLY", "MONO", "LEGATO", "ARPGT"};
constexpr std::string_view kIArpMode[] = {"UP", "DOWN", "UP/DN", "RAND"};
constexpr std::string_view kIarpOct[] = {"1 OCT", "2 OCT", "3 OCT", "4 OCT"};
constexpr std::string_view kIOnOff[] = {"", ""};
constexpr std::string_view kIenv[] = {"ENV1", "ENV2", "ENV3", "ENV4", "ENV5",
                                      "ENV6", "ENV7", "ENV8", "NONE"};
constexpr std::string_view kISenv[] = {"ENV1", "ENV2", "ENV3", "ENV4",
                                       "ENV5", "ENV6", "ENV7", "ENV8"};

struct Strip {
  std::string_view list;
  std::span<const std::string_view> frames;
};
constexpr Strip kStrips[] = {
    {"Iosc", kIosc},     {"Ifm", kIfm},     {"Ifilter", kIfilter},   {"ILfoNo", kILfoNo},
    {"IBend", kIBend},   {"Imode", kImode}, {"IArpMode", kIArpMode}, {"IarpOct", kIarpOct},
    {"IOnOff", kIOnOff}, {"Ienv", kIenv},   {"ISenv", kISenv},
};

// Two decimal digits right after the prefix, and nothing after them.
int TwoDigitNumber(std::string_view upper, std::string_view prefix) {
  if (upper.size() != prefix.size() + 2 || upper.substr(0, prefix.size()) != prefix) return -1;
  const char tens = upper[prefix.size()], ones = upper[prefix.size() + 1];
  if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return -1;
  return (tens - '0') * 10 + (ones - '0');
}

}  // namespace

float ChoiceScale(ChoiceEncoding encoding) {
  switch (encoding) {
    case ChoiceEncoding::kWave:
      return 49.99f;
    case ChoiceEncoding::kFilter:
      return 12.99f;
    case ChoiceEncoding::kCentred1099:
      return 10.99f;
    case ChoiceEncoding::kCentred1599:
      return 15.99f;
    case ChoiceEncoding::kCentred399:
      return 3.99f;
  }
  return 1.0f;
}

float EncodeChoice(ChoiceEncoding encoding, int k) {
  // Evaluated in double and stored once as single: the value is what the parameter keeps.
  const double choice = k;
  switch (encoding) {
    case ChoiceEncoding::kWave:
      return static_cast<float>(choice / 49.99 + 0.001);
    case ChoiceEncoding::kFilter:
      return static_cast<float>(choice / 12.99 + 0.05);
    case ChoiceEncoding::kCentred1099:
      return static_cast<float>((choice + 0.5) / 10.99);
    case ChoiceEncoding::kCentred1599:
      return static_cast<float>((choice + 0.5) / 15.99);
    case ChoiceEncoding::kCentred399:
      return static_cast<float>((choice + 0.5) / 3.99);
  }
  return 0.0f;
}

int DecodeChoice(ChoiceEncoding encoding, float v) {
  return IntPart(ChoiceScale(encoding) * v);
}

std::span<const MenuSpec> MenuTable() {
  return kMenus;
}

const MenuSpec& Menu(MenuId id) {
  for (const MenuSpec& menu : kMenus) {
    if (menu.id == id) return menu;
  }
  return kMenus[0];
}

int ItemNumber(const MenuSpec& menu, std::string_view item_name) {
  const std::string upper = UpperCase(item_name);
  const int count = static_cast<int>(menu.items.size());
  if (menu.naming == ItemNaming::kTwoDigits) {
    const int k = TwoDigitNumber(upper, menu.prefix);
    return k < count ? k : -1;
  }
  for (int k = 0; k < count; ++k) {
    if (UpperCase(menu.items[k].name) == upper) return k;
  }
  return -1;
}

std::span<const MenuOpener> MenuOpeners() {
  return kOpeners;
}

const MenuOpener* FindMenuOpener(std::string_view image) {
  const std::string upper = UpperCase(image);
  for (const MenuOpener& opener : kOpeners) {
    if (UpperCase(opener.image) == upper) return &opener;
  }
  return nullptr;
}

std::span<const std::string_view> LabelStrip(std::string_view image_list) {
  for (const Strip& strip : kStrips) {
    if (strip.list == image_list) return strip.frames;
  }
  return {};
}

}  // namespace vellicor::editor::logic
