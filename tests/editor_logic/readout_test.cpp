// Value texts of the read-out bar at the boundaries of each formula, and the whole bar text.
#include "editor/readout.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <string>
#include <utility>

#include "editor/menu_tables.h"
#include "engine/relaxed.h"
#include "engine/tables.h"

namespace vellicor::editor::logic {
namespace {

// At each formula's ends and boundaries. dB have one decimal, truncated towards minus infinity
// (-0.3125 shows -0.4); tempo and modulation speed name only an exact 0; above 100 Hz whole
// hertz, above 1000 Hz tenths of kilohertz; the top cutoff's 2^8, computed as e^(0.6931472 * 8),
// lands above 256.
TEST(ValueTexts, AtTheFormulasEndsAndTheLengthNamesBothWays) {
  using Rows = std::initializer_list<std::pair<float, const char*>>;
  const auto texts = [](std::string (*text)(float), Rows rows) {
    for (const auto& [value, expected] : rows) EXPECT_EQ(text(value), expected) << value;
  };
  texts(PerStr, {{0.5f, "50%"}, {0.1234f, "12.3%"}, {0, "0%"}, {1, "100%"}, {0.001f, "0.1%"}});
  texts(dBStr, {{0, "-30dB"}, {0.8f, "2dB"}, {1, "10dB"}, {95 / 128.f, "-0.4dB"}});
  texts(dBStr, {{103 / 128.f, "2.1dB"}});
  texts(TempoStr, {{0.0f, "Auto"}, {1e-7f, "20bpm"}, {0.5f, "120bpm"}, {1.0f, "220bpm"}});
  texts([](float v) { return ValueTextOf(ValueText::kModulationFrequency, v); },
        {{0.0f, "Off"}, {1e-6f, "0.05Hz"}, {0.5f, "0.85Hz"}, {1.0f, "13.7Hz"}});
  texts(FilterStr, {{0.0f, "60Hz"}, {0.5f, "960Hz"}, {0.51f, "1KHz"}, {1.0f, "15.4KHz"}});
  texts(OctaveStr, {{0.0f, "-3 octave"}, {0.5f, "0 octave"}, {1.0f, "4 octave"}});
  texts(BipolarPercentStr, {{0.0f, "-100%"}, {0.5f, "0%"}, {1.0f, "100%"}});
  texts(TuningStr, {{0.0f, "-24 semitones"}, {1.0f, "24 semitones"}});
  EXPECT_EQ(SemitoneStr(1.0f), "11 semitones");
  EXPECT_EQ(CentStr(1.0f), "100cent");
  EXPECT_EQ(DecimalText(105, 100), "1.05");
  EXPECT_EQ(FreqStr(1.0f, 12.0f, 1024.0f, "Off"), "220Hz");
  EXPECT_EQ(FreqStr(1.0f, 16.0f, 1024.0f, "Off"), "3.5KHz");
  EXPECT_GT(PowerOfTwo(8.0f), 256.0f);

  EXPECT_EQ(AscLengthName(0.0f), "Off");
  EXPECT_EQ(DescLengthName(0.0f), "Off");
  EXPECT_EQ(AscLengthName(1.0f), "512 qb");
  EXPECT_EQ(DescLengthName(1.0f), "1/32 qb");
  EXPECT_EQ(AscLengthName(15 / 49.99f + 0.001f), "5/4 qb");
  EXPECT_EQ(DescLengthName(27 / 49.99f + 0.001f), "3 1/2 qb");
  // Whole lengths read the same in both tables, mirrored, and match the engine's lengths.
  for (int i = 1; i < kLengthNameCount; ++i) {
    const float length = kLengthTable[i];
    if (length != static_cast<float>(static_cast<int>(length))) continue;
    const std::string name = std::to_string(static_cast<int>(length)) + " qb";
    EXPECT_EQ(AscLengthNames[i], name) << i;
    EXPECT_EQ(DescLengthNames[kLengthNameCount - i], name) << i;
  }
}

struct Values {
  std::array<Relaxed<float>, 1601> value{};
  std::array<Relaxed<int>, 300> cc{};
  Values() {
    for (auto& c : cc) c = 255;
  }
  std::string Bar(int index, int lfo = 0, int env = 0) const {
    const auto readout = ReadoutOf(index, value, cc, lfo, env);
    return readout ? readout->Text() : "<none>";
  }
};

TEST(ReadoutBar, NameControllerSuffixValueThePanelShownAndTheFilterType) {
  Values s;
  s.value[1] = 0.8f;
  s.cc[1] = 7;
  EXPECT_EQ(s.Bar(1), "Volume  cc7  :: 2dB");
  // 251..255 mark "nothing learnt"; from index 255 up no controller shows.
  for (int cc : {251, 252, 253, 254, 255}) EXPECT_EQ(ControllerSuffix(1, cc), "") << cc;
  EXPECT_EQ(ControllerSuffix(1, 250), " cc250 ");
  EXPECT_EQ(ControllerSuffix(255, 7), "");
  EXPECT_EQ(ControllerSuffix(254, 0), " cc0 ");
  // The envelope length never shows its controller.
  s.cc[253] = 20;
  s.value[253] = 1.0f;
  EXPECT_EQ(s.Bar(253, 0, 3), "Envelope: Length :: 512 qb");
  s.value[48] = 0.0f;
  EXPECT_EQ(s.Bar(48), "Osc 1: PWM Speed  :: Off");
  // The LFO panel reads the LFO shown.
  s.value[177] = 1.0f;
  EXPECT_EQ(s.Bar(177, 2), "LFO: Period  :: 1/32 qb");
  EXPECT_EQ(s.Bar(177, 0), "<none>");  // another LFO's period is not on the panel
  EXPECT_EQ(s.Bar(207, 2), "LFO: S&H  :: Off");
  EXPECT_EQ(s.Bar(182, 2), "LFO: Amp  :: 0%");
  // Toggles and selectors have no read-out.
  for (int index : {9, 14, 39, 77, 120, 129, 169, 219, 233})
    EXPECT_EQ(s.Bar(index, 0, 3), "<none>");

  // The filter frequency reads the filter type with the selector's scale.
  s.value[122] = 1.0f;
  s.value[120] = 8.99f / 10.99f;
  EXPECT_EQ(s.Bar(122), "Filter 1: Freq  :: 15.4KHz");
  s.value[120] = 9.0f / 10.99f;
  EXPECT_EQ(s.Bar(122), "Filter 1: Tune  :: 24 semitones");
  // 0.8 is a tuned ring modulator to the engine (12.99 scale) but still "Freq" on the bar.
  s.value[120] = 0.8f;
  EXPECT_EQ(Choice(0.8f, 12.99f, 12), 10);
  EXPECT_EQ(s.Bar(122), "Filter 1: Freq  :: 15.4KHz");
  // Each filter the menu offers: the item's text says whether the bar shows the tuning.
  const MenuSpec& filters = Menu(MenuId::kFilters);
  for (int k = 0; k < 12; ++k) {
    s.value[120] = ItemValue(filters, k);
    const std::string_view text = filters.items[k].text;
    const bool tuned = text == "Tuned Ring Mod" || text == "Comb Filter";
    EXPECT_EQ(s.Bar(122), tuned ? "Filter 1: Tune  :: 24 semitones" : "Filter 1: Freq  :: 15.4KHz")
        << text;
  }
}

}  // namespace
}  // namespace vellicor::editor::logic
