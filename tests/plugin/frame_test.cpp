// The plug-in frame as a host sees it: identity, dispatcher answers, programs and parameters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "plugin/uPlugin.h"
#include "tests/midi_events.h"

namespace vellicor {
namespace {

struct Request {
  int32_t opcode;
  int32_t index;
  intptr_t value;
  float opt;
};

std::vector<Request> g_requests;

intptr_t VST_CALL RecordingHost(vst::AEffect*, int32_t opcode, int32_t index, intptr_t value, void*,
                                float opt) {
  g_requests.push_back({opcode, index, value, opt});
  return opcode == vst::audioMasterVersion ? 2400 : 0;
}

int CountRequests(int32_t opcode) {
  return static_cast<int>(std::count_if(g_requests.begin(), g_requests.end(),
                                        [opcode](const Request& r) { return r.opcode == opcode; }));
}

class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_requests.clear();
    plugin = std::make_unique<APlugin>(RecordingHost);
    effect = plugin->getAeffect();
  }
  intptr_t Dispatch(int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                    float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
  }
  std::string Text(int32_t opcode, int32_t index = 0) {
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    buffer[255] = 0;
    Dispatch(opcode, index, 0, buffer);
    return buffer;
  }
  std::vector<float> Read(std::initializer_list<int32_t> indices) {
    std::vector<float> values;
    for (int32_t i : indices) values.push_back(effect->getParameter(effect, i));
    return values;
  }
  void Store(int program, std::initializer_list<std::pair<int, float>> values) {
    for (const auto& [index, value] : values)
      plugin->synth().program(program).values[index] = value;
  }
  std::unique_ptr<APlugin> plugin;
  vst::AEffect* effect = nullptr;
};

TEST_F(FrameTest, EffectRecordAsHostsReadIt) {
  const vst::AEffect& e = *effect;
  EXPECT_EQ(std::tuple(e.magic, e.numPrograms, e.numParams, e.numInputs, e.numOutputs, e.uniqueID,
                       e.version, e.ioRatio),
            std::tuple(0x56737450, 16, 1599, 2, 2, vst::FourCC('V', 'l', 'c', '1'), 1, 1.0f));
  EXPECT_EQ(e.resvd1 | e.resvd2 | e.initialDelay, 0);
  EXPECT_EQ(e.object, plugin.get());
  EXPECT_TRUE(!e.user && !e.processDoubleReplacing);
  // Hosts treat equal pointers as a broken plug-in.
  EXPECT_NE(reinterpret_cast<void*>(e.process), reinterpret_cast<void*>(e.processReplacing));
  EXPECT_EQ(std::count(std::begin(e.future), std::end(e.future), 0), 56);
}

TEST_F(FrameTest, IdentityAnswersAndCanDoIsExact) {
  std::vector<intptr_t> answers;  // effProcessEvents: 1 whatever the list, even none
  for (int32_t opcode :
       {vst::effGetPlugCategory, vst::effGetVstVersion, vst::effGetVendorVersion, vst::effIdentify,
        vst::effGetNumProgramCategories, vst::effKeysRequired, vst::effGetCurrentMidiProgram,
        vst::effConnectInput, vst::effConnectOutput, vst::effProcessEvents})
    answers.push_back(Dispatch(opcode));
  EXPECT_EQ(answers, (std::vector<intptr_t>{2, 2200, 1, vst::FourCC('N', 'v', 'E', 'f'), 1, 1, -1,
                                            1, 1, 1}));
  EXPECT_EQ(Dispatch(vst::effCanBeAutomated, 1500), 1);
  EXPECT_EQ(Text(vst::effGetEffectName), "VellicorV2.0");
  EXPECT_EQ(Text(vst::effGetVendorString), "Quorrel");
  EXPECT_EQ(Text(vst::effGetProductString), "VellicorV2.0");
  EXPECT_EQ(Dispatch(vst::effSetBlockSizeAndSampleRate, 0, 256, nullptr, 48000.0f), 1);
  EXPECT_EQ(std::pair(plugin->getBlockSize(), plugin->getSampleRate()), std::pair(256, 48000.0f));
  // canDo answers 1 for exactly its two texts, -1 (never 0, "undecided") for anything else.
  std::vector<intptr_t> can_do;
  for (const char* text :
       {"receiveVstMidiEvent", "receiveVstEvents", "ReceiveVstEvents", "receiveVstEvents ",
        "sendVstEvents", "", static_cast<const char*>(nullptr)})
    can_do.push_back(Dispatch(vst::effCanDo, 0, 0, const_cast<char*>(text)));
  EXPECT_EQ(can_do, (std::vector<intptr_t>{1, 1, -1, -1, -1, -1, -1}));
}

TEST_F(FrameTest, OutputPins) {
  vst::VstPinProperties pin{};
  for (int32_t i : {1, 0}) {
    ASSERT_EQ(Dispatch(vst::effGetOutputProperties, i, 0, &pin), 1);
    EXPECT_EQ(std::pair(std::string(pin.label), pin.flags),
              std::pair("VellicorV2.0 " + std::to_string(i + 1), 3));
  }
  // Pins that do not exist (and there are no inputs) leave the host's record as it was.
  std::memset(&pin, 0x55, sizeof pin);
  const vst::VstPinProperties copy = pin;
  EXPECT_EQ(Dispatch(vst::effGetOutputProperties, 2, 0, &pin), 0);
  EXPECT_EQ(Dispatch(vst::effGetOutputProperties, -1, 0, &pin), 0);
  EXPECT_EQ(Dispatch(vst::effGetInputProperties, 0, 0, &pin), 0);
  EXPECT_EQ(std::memcmp(&copy, &pin, sizeof copy), 0);
  EXPECT_EQ(Dispatch(vst::effGetOutputProperties, 0, 0, nullptr), 0);
}

TEST_F(FrameTest, UnsupportedAndUnknownOpcodesAnswerZero) {
  for (int32_t opcode :
       {-100, -1, 16, 17, 18, 20, 21, 27, 30, 33, 36, 41, 42, 44, 46, 50,   52,
        53,   54, 55, 56, 62, 64, 65, 66, 67, 68, 69, 71, 77, 79, 80, 1000, 0x7fffffff}) {
    char buffer[512] = {};
    EXPECT_EQ(Dispatch(opcode, 3, 7, buffer, 1.0f), 0) << "opcode " << opcode;
  }
  // Without an editor the editor opcodes answer 0 too.
  vst::ERect* rect = nullptr;
  for (int32_t opcode : {vst::effEditGetRect, vst::effEditOpen, vst::effEditKeyDown})
    EXPECT_TRUE(plugin->getEditor() || Dispatch(opcode, 'a', 0, &rect) == 0) << opcode;
  // No chunks: nothing is written through the pointer.
  void* chunk = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(Dispatch(vst::effGetChunk, 0, 0, &chunk), 0);
  EXPECT_EQ(chunk, reinterpret_cast<void*>(0x1234));
  EXPECT_EQ(Dispatch(vst::effGetVu), 0);
}

TEST_F(FrameTest, ProgramSelectionAndNames) {
  const std::string first_name = Text(vst::effGetProgramName);
  // -1 passes the dispatcher's bound and is refused by setProgram.
  for (intptr_t refused : {16, 1000, -1}) {
    Dispatch(vst::effSetProgram, 0, refused);
    EXPECT_EQ(Dispatch(vst::effGetProgram), 0) << refused;
  }
  EXPECT_EQ(Text(vst::effGetProgramName), first_name);

  // Program 5's values are what the host reads once it is selected.
  plugin->synth().program(5).values[1] = 0.3125f;
  Dispatch(vst::effSetProgram, 0, 5);
  EXPECT_EQ(Dispatch(vst::effGetProgram), 5);
  EXPECT_EQ(effect->getParameter(effect, 1), 0.3125f);

  Dispatch(vst::effSetProgramName, 0, 0, const_cast<char*>("Warm pad"));
  EXPECT_EQ(Text(vst::effGetProgramName), "Warm pad");
  char indexed[256] = {};
  EXPECT_EQ(Dispatch(vst::effGetProgramNameIndexed, 5, 0, indexed), 1);
  EXPECT_STREQ(indexed, "Warm pad");
  for (int32_t refused : {16, -1})
    EXPECT_EQ(Dispatch(vst::effGetProgramNameIndexed, refused, 0, indexed), 0);
  EXPECT_EQ(Dispatch(vst::effGetProgramNameIndexed, 0, 0, nullptr), 0);

  // A longer name is cut to 63 characters so no host buffer overflows.
  const std::string long_name(300, 'n');
  Dispatch(vst::effSetProgramName, 0, 0, const_cast<char*>(long_name.c_str()));
  EXPECT_EQ(Text(vst::effGetProgramName), std::string(63, 'n'));
}

TEST_F(FrameTest, SelectionClampsStoredValuesAndResetsEvolverValues) {
  Store(3, {{1597, 0.9f}, {1598, 0.9f}, {40, 7.0f}, {41, -3.0f}, {1599, 0.25f}});
  Dispatch(vst::effSetProgram, 0, 3);
  std::vector<float> kept;
  for (int i : {1597, 1598, 40, 41, 1599}) kept.push_back(plugin->synth().program(3).values[i]);
  // 1599 is replayed into the record but is no host parameter.
  EXPECT_EQ(Read({1597, 1598, 40, 41, 1599}), (std::vector<float>{0.5f, 0.5f, 1.0f, 0.0f, 0.0f}));
  EXPECT_EQ(kept, (std::vector<float>{0.5f, 0.5f, 1.0f, 0.0f, 0.25f}));
  EXPECT_EQ(plugin->engine().Patch(1599), 0.25f);
}

// The controller map is the plug-in's, not a program's: the request a program keeps from the
// editor's last use (an assign, a learn) is not carried out again by selecting the program.
TEST_F(FrameTest, SelectionLeavesTheControllerMapAlone) {
  // Program 2 holds an assign (slot 40 unbound) and program 3 a learn.
  Store(2, {{16, 40 / 255.0f}, {17, 1.0f}, {15, 0.5f}});
  Store(3, {{16, 2 / 255.0f}, {15, 1.0f}});
  auto map = [&] {
    std::vector<int> entries;
    for (int i = 0; i < kControllerMapSize; ++i)
      entries.push_back(plugin->engine().ControllerMap(i));
    return entries;
  };
  const std::vector<int> factory = map();
  for (int program : {2, 3}) {
    Dispatch(vst::effSetProgram, 0, program);
    testing::MidiEvents().Add(0xB0, 74, 100).PlayOn(effect);  // learnable: binds nothing
    EXPECT_EQ(map(), factory) << program;
    EXPECT_EQ(plugin->synth().program(program).values[15], program == 2 ? 0.5f : 1.0f);
  }
  // A request the editor sends in order (slot, controller, command) still acts.
  for (auto [index, value] : {std::pair{16, 40 / 255.0f}, {17, 74 / 255.0f}, {15, 0.5f}})
    plugin->setParameterAutomated(index, value);
  EXPECT_EQ(plugin->engine().ControllerMap(40), 74);
}

TEST_F(FrameTest, ParametersClampAndIgnoreForeignIndices) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  const std::pair<float, float> kStored[] = {{1.5f, 1.0f},          {-0.2f, 0.0f}, {kInf, 1.0f},
                                             {std::nanf(""), 0.0f}, {-kInf, 0.0f}, {0.75f, 0.75f}};
  for (const auto& [value, stored] : kStored) {
    effect->setParameter(effect, 1, value);
    EXPECT_EQ(effect->getParameter(effect, 1), stored) << value;
    EXPECT_EQ(plugin->synth().program(0).values[1], stored) << value;
  }
  // Indices outside the record are ignored, not clamped onto its ends (which hold neither 0.375).
  auto ends = [&] { return std::pair(plugin->engine().Patch(0), plugin->engine().Patch(1599)); };
  const auto before = ends();
  for (int32_t foreign : {1600, -1, 1 << 30}) effect->setParameter(effect, foreign, 0.375f);
  EXPECT_EQ(ends(), before);
  EXPECT_EQ(Read({1599, -1, 100000, 1}), (std::vector<float>{0.0f, 0.0f, 0.0f, 0.75f}));
  // Host changes are not reported back to the host; automated ones are, unclamped.
  EXPECT_EQ(CountRequests(vst::audioMasterAutomate), 0);
  plugin->setParameterAutomated(122, 1.25f);
  ASSERT_EQ(CountRequests(vst::audioMasterAutomate), 1);
  EXPECT_EQ(std::pair(g_requests.back().index, g_requests.back().opt), std::pair(122, 1.25f));
  EXPECT_EQ(effect->getParameter(effect, 122), 1.0f);
}

TEST_F(FrameTest, ParameterNamesLabelsAndDisplay) {
  std::vector<std::string> names;
  for (int32_t i : {0, 3, 11, 21, 51, 72, 76, 129, 1598, -5, 5000})
    names.push_back(Text(vst::effGetParamName, i));
  EXPECT_EQ(names,
            (std::vector<std::string>{"", "", "Portmento", "Alias-free oscillators",
                                      "Osc 1 envelope pitch range", "Osc 2 envelope pitch range",
                                      "Osc 2 LFO pitch range", "Filter 1 tracking", "", "", ""}));
  int named = 0;
  for (int i = 0; i < 1599; ++i) named += !Text(vst::effGetParamName, i).empty();
  EXPECT_EQ(named, 33);
  EXPECT_EQ(Text(vst::effGetParamLabel, 1), "");
  // The display text is left as the host had it.
  char display[16] = "untouched";
  Dispatch(vst::effGetParamDisplay, 1, 0, display);
  EXPECT_STREQ(display, "untouched");
}

TEST_F(FrameTest, SampleRateReachesTheEngineOnlyAtProgramSelection) {
  EXPECT_EQ(plugin->engine().sample_rate(), 44100.0f);
  Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 48000.0f);
  EXPECT_EQ(plugin->engine().sample_rate(), 44100.0f);
  const int asked = CountRequests(vst::audioMasterGetSampleRate);
  Dispatch(vst::effSetProgram, 0, 2);
  EXPECT_EQ(plugin->engine().sample_rate(), 48000.0f);
  EXPECT_EQ(CountRequests(vst::audioMasterGetSampleRate), asked + 1);
  // An invalid index still takes the new rate over.
  Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 96000.0f);
  Dispatch(vst::effSetProgram, 0, -1);
  EXPECT_EQ(plugin->engine().sample_rate(), 96000.0f);
  EXPECT_EQ(Dispatch(vst::effGetProgram), 2);
  // Rates no audio device runs at are refused.
  for (float bad : {0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                    std::numeric_limits<float>::infinity(), 10.0f, 5e7f}) {
    Dispatch(vst::effSetSampleRate, 0, 0, nullptr, bad);
    EXPECT_EQ(plugin->getSampleRate(), 96000.0f) << bad;
  }
}

TEST_F(FrameTest, ResumeAsksForMidiAndSuspendKeepsThePatch) {
  const float volume = effect->getParameter(effect, 1);
  Dispatch(vst::effMainsChanged, 0, 0);
  Dispatch(vst::effMainsChanged, 0, 1);
  ASSERT_EQ(CountRequests(vst::audioMasterWantMidi), 1);
  EXPECT_EQ(g_requests.back().value, 1);
  EXPECT_EQ(effect->getParameter(effect, 1), volume);
}

// Silent (no note): process leaves what the buffers held, processReplacing writes zeros (but
// for the engine's denormal guard).
TEST_F(FrameTest, ProcessAccumulatesAndProcessReplacingOverwrites) {
  std::vector<float> left(64, 0.25f), right(64, -0.25f);
  float* outputs[2] = {left.data(), right.data()};
  auto farthest = [&](float l, float r) {  // from (l, r), over the block
    float distance = 0.0f;
    for (size_t i = 0; i < 64; ++i)
      distance = std::max({distance, std::fabs(left[i] - l), std::fabs(right[i] - r)});
    return distance;
  };
  effect->process(effect, nullptr, outputs, 64);
  EXPECT_LE(farthest(0.25f, -0.25f), 1e-6f);
  effect->processReplacing(effect, nullptr, outputs, 64);
  EXPECT_LE(farthest(0.0f, 0.0f), 1e-6f);
  // Degenerate calls render nothing and touch nothing.
  left.assign(64, 7.0f);
  effect->processReplacing(effect, nullptr, outputs, 0);
  effect->processReplacing(effect, nullptr, outputs, -5);
  effect->processReplacing(effect, nullptr, nullptr, 64);
  float* half[2] = {left.data(), nullptr};
  effect->processReplacing(effect, nullptr, half, 64);
  EXPECT_EQ(std::count(left.begin(), left.end(), 7.0f), 64);
  // effClose destroys the plug-in (the sanitizer build reports a leak otherwise).
  EXPECT_EQ(effect->dispatcher(effect, vst::effClose, 0, 0, nullptr, 0.0f), 1);
  plugin.release();
}

}  // namespace
}  // namespace vellicor
