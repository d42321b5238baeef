// Every parameter's text as the editor shows it, and the values of typed texts.
#include "editor/parameter_text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "editor/menu_tables.h"
#include "parameters/parameter_table.h"
#include "patch/envelope_edit.h"

namespace vellicor::editor::logic {
namespace {

namespace ee = envelope_edit;

// The filter type whose frequency slider shows the tuning.
const float kTunedRing = EncodeChoice(ChoiceEncoding::kFilter, 10);

TEST(ParameterText, EachKindOfControlSelectorSwitchAndUncontrolledIndex) {
  const struct {
    int index;
    float value;
    const char* text;
    float filter_type = 0.0f;
  } rows[] = {
      {param::Lfo(param::kLfoAmplitude, 3), 0.1234f, "12.3%"},  // not the LFO the panel shows
      {param::kMainVolume, 0.8f, "2dB"},
      {param::kTempo, 0.0f, "Auto"},
      {param::kOscillator[0].octave, 0.5f, "0 octave"},
      {param::kOscillator[1].semitone, 1.0f, "11 semitones"},
      {param::kOscillator[0].fine_tune, 1.0f, "100cent"},
      {param::kFilterEnvelopeAmount, 0.0f, "-100%"},
      {param::kFilterFrequency, 1.0f, "15.4KHz"},
      {param::kFilterFrequency, 0.0f, "-24 semitones", kTunedRing},
      {param::kOscillator[1].pwm_speed, 1.0f, "13.7Hz"},
      {param::Lfo(param::kLfoHold, 4), 1.0f, "1/32 qb"},
      {param::Envelope(param::kEnvLength, 12), 0.3f, "1 qb"},  // beyond the panel's eight
      {param::kOscillator[0].wave, EncodeChoice(ChoiceEncoding::kWave, 2), "SAW"},
      {param::kVoiceMode, 2.5f / 3.99f, "LEGATO"},
      {param::kMainEnvelope, ee::EncodeDestination(2), "ENV3"},
      {param::kOscillator[1].amp_envelope, ee::EncodeDestination(8), "NONE"},
      {param::kBendRange, 13.5f / 15.99f, "2 OCT"},
      {param::kEnvelopeShown, ee::EncodeShown(4), "ENV5"},
      {param::kFilterType, 1.0f, "13"},  // a blank plate: choice 13 of 12 labels
      {param::kRingModulation, 0.9f, "On"},
      {param::kLfoKeyTracking, 0.0f, "Off"},  // a switch no control shows
      {param::Envelope(param::kEnvLoopMode, 15), 0.9f, "On"},
      {param::Point(param::kEnvLevel, 3, 4), 0.25f, "0.250"},
      {22, 0.0005f, "0.001"},  // spare
      {param::kLearnCommand, 1.0f, "1.000"},
      {-1, 0.5f, ""},
      {param::kPatchSize, 0.5f, ""},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ParameterText(row.index, row.value, row.filter_type), row.text) << row.index;
  }
}

TEST(ParameterText, TypedTextsGiveTheExactInverseTheMenusValueOrTheNearestTextOrNothing) {
  const struct {
    int index;
    const char* typed;
    float value;
  } exact[] = {
      {param::kMainVolume, " 2 DB ", 0.8f},
      {param::kArpGate, "50 %", 0.5f},
      {param::kArpGate, "150%", 1.0f},
      {param::kTempo, "120bpm", 0.5f},
      {param::kOscillator[0].wave, "saw", EncodeChoice(ChoiceEncoding::kWave, 2)},
      {param::kMainEnvelope, "env3", ee::EncodeDestination(2)},
      {param::kEnvelopeShown, "ENV5", ee::EncodeShown(4)},
      {param::kMainEnvelope, "11", 10.5f / 10.99f},
      {param::kRingModulation, "ON", 0.9f},
      {param::Point(param::kEnvTime, 2, 5), "0.25", 0.25f},
  };
  for (const auto& row : exact) {
    const float value = ParameterValue(row.index, row.typed).value_or(-1.0f);
    EXPECT_FLOAT_EQ(value, row.value) << row.index << " " << row.typed;
    EXPECT_LE(value, 1.0f) << row.typed;
  }
  // Not the least value above Auto, but the middle of those that show it.
  EXPECT_NEAR(ParameterValue(param::kTempo, "20bpm").value_or(-1.0f), 0.0025f, 1e-6f);
  // Texts no value shows: the nearest one that a value shows.
  const struct {
    int index;
    const char* typed;
    const char* shown;
  } nearest[] = {
      {param::kFilterFrequency, "1500Hz", "1.5KHz"},
      {param::kFilterFrequency, "1000Hz", "1000Hz"},  // just below 1KHz
      {param::kFilterFrequency, "1khz", "1KHz"},
      {param::kFilterFrequency, "0.5 kHz", "500Hz"},
      {param::kTempo, "20", "20bpm"},
      {param::kMainVolume, "2.04dB", "2dB"},
      {param::kOscillator[0].octave, "9 octaves", "4 octave"},
  };
  for (const auto& row : nearest) {
    const std::optional<float> value = ParameterValue(row.index, row.typed);
    ASSERT_TRUE(value) << row.typed;
    EXPECT_EQ(ParameterText(row.index, *value), row.shown) << row.typed;
  }
  for (const auto& [index, typed] : std::initializer_list<std::pair<int, const char*>>{
           {param::kMainVolume, ""},
           {param::kMainVolume, "loud"},
           {param::kMainVolume, "50%"},
           {param::kMainVolume, "--2dB"},
           {param::kMainVolume, "1e3"},
           {param::kTempo, "off"},
           {param::kOscillator[0].wave, "3"},  // a labelled choice goes by its label
           {param::kRingModulation, "maybe"},
           {param::kArpLength, "13 qb"},
           {22, "0.5dB"},
           {-1, "0.5"}}) {
    EXPECT_FALSE(ParameterValue(index, typed)) << index << " '" << typed << "'";
  }
}

// The text of the value of every text is that text, for every parameter across its range and,
// for one of each kind, finely.
TEST(ParameterText, EveryTextReadsBackAsItself) {
  const auto round_trip = [](int index, float v, float filter_type) {
    const std::string text = ParameterText(index, v, filter_type);
    ASSERT_FALSE(text.empty()) << index << " " << v;
    ASSERT_LE(text.size(), 63u);
    const std::optional<float> value = ParameterValue(index, text, filter_type);
    ASSERT_TRUE(value) << index << " '" << text << "'";
    EXPECT_TRUE(*value >= 0.0f && *value <= 1.0f) << index << " " << text;
    EXPECT_EQ(ParameterText(index, *value, filter_type), text) << index << " " << v;
  };
  for (int index = 0; index < param::kHostParameterCount; ++index) {
    for (int k = 0; k <= 100; ++k) round_trip(index, static_cast<float>(k) / 100.0f, 0.0f);
    round_trip(index, 1e-7f, 0.0f);
  }
  const std::vector<int> one_of_each_kind = {param::kArpGate,
                                             param::kMainVolume,
                                             param::kTempo,
                                             param::kOscillator[0].octave,
                                             param::kOscillator[0].semitone,
                                             param::kOscillator[0].fine_tune,
                                             param::kFilterEnvelopeAmount,
                                             param::kFilterFrequency,
                                             param::kOscillator[0].pwm_speed,
                                             param::kArpLength,
                                             param::kRelease,
                                             param::kOscillator[0].wave};
  for (int index : one_of_each_kind) {
    for (int k = 0; k <= 4000; ++k) {
      const float v = static_cast<float>(k) / 4000.0f;
      round_trip(index, v, 0.0f);
      if (index == param::kFilterFrequency) round_trip(index, v, kTunedRing);
    }
  }
}

}  // namespace
}  // namespace vellicor::editor::logic
