// The factory bank as a host sees it after selecting each program. The expected values are
// written out here again, independently of the bank's own source, so a slip in either shows.
#include "patch/factory_bank.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "plugin/uPlugin.h"

namespace vellicor {
namespace {

constexpr const char* kNames[16] = {
    "ThickSaw", "DistRez", "Rlead",  "Plastic", "Chousy", "SBass", "EBass",     "DPizz",
    "Glocky",   "Digger",  "Smooth", "Icy",     "Halo",   "Sonic", "Computer1", "Hammerp"};

constexpr double kLengthTable[50] = {
    0,      1. / 32, 1. / 16, 1. / 12, 1. / 8, 1. / 6, 1. / 4, 1. / 3, 3. / 8, 1. / 2,
    5. / 8, 2. / 3,  3. / 4,  7. / 8,  1,      1.25,   4. / 3, 1.5,    5. / 3, 1.75,
    2,      2.5,     3,       3.5,     4,      5,      6,      7,      8,      9,
    10,     12,      14,      16,      20,     24,     28,     32,     36,     40,
    44,     48,      56,      64,      80,     96,     128,    192,    256,    512};

// Integer part as the system reads a stored choice: K * v as a single, 0.4999999 subtracted,
// rounded to nearest with ties to even.
int IntPart(float k, float v) {
  const float x = k * v;
  return static_cast<int>(std::nearbyint(static_cast<double>(x) - 0.4999999));
}
// The other ways a reader might round on the way: the product formed in double, the
// subtraction done in single precision.
bool ReadsTheSameEveryWay(float k, float v) {
  const int i = IntPart(k, v);
  for (float x : {k * v, static_cast<float>(static_cast<double>(k) * v)}) {
    if (std::nearbyint(static_cast<double>(x) - 0.4999999) != i) return false;
    if (std::nearbyint(x - 0.4999999f) != i) return false;
  }
  return true;
}
double Length(float v) {
  return kLengthTable[IntPart(49.99f, v)];
}

constexpr int kNone = 8;  // envelope selector reading "None"

// Key parameters; choices as the value they read back as.
struct KeyRow {
  float mode;
  float volume;
  int main_env;
  float release;
  float wave1;
  int wave1_k;
  float octave1, volume1;
  float wave2;
  int wave2_k;
  float octave2, volume2;
  float type;
  int type_k;
  float q, frequency, amount;
  int filter_env;
  float length;
  double qb;
};

// clang-format off
const KeyRow kKeys[16] = {
  {0,      0.7,    kNone, 0.15,   0.041,  2,  0.475,  0.475,  0.041,  2,  0.3625, 0.4875, 0.4349, 5,  0.625,  0.825,  0.7625, 0,     0.7375, 28},
  {0,      0.5125, kNone, 0.325,  0.081,  4,  0.325,  0.625,  0.081,  4,  0.2875, 0.625,  0.5889, 7,  0.7674, 1,      0.0125, 0,     0.7125, 24},
  {0.1253, 0.5125, kNone, 0.35,   0.041,  2,  0.3,    0,      0.061,  3,  0.3,    0.5625, 0.4349, 5,  0.356,  0.8375, 0.1875, 0,     0.375,  5. / 3},
  {0,      0.35,   kNone, 0.4375, 0.181,  9,  0.25,   0.7,    0.181,  9,  0.25,   0.6875, 0.5889, 7,  0.7674, 1,      1,      0,     0.875,  64},
  {0.1253, 0.425,  0,     0.425,  0.2611, 13, 0.225,  0.4625, 0,      0,  0.2625, 0,      0.8968, 11, 0.9862, 0.75,   0.5,    kNone, 0.75,   32},
  {0,      0.7,    kNone, 0.0625, 0.081,  4,  0.325,  0.475,  0.081,  4,  0.275,  0.35,   0.4349, 5,  0.7621, 0.9,    0.6625, 0,     0.625,  12},
  {0,      0.2875, kNone, 0,      0,      0,  0.425,  0.5875, 0,      0,  0.5,    0.825,  0.127,  1,  0.8278, 0.775,  0.7875, 0,     0.575,  8},
  {0,      0.5375, kNone, 0.5375, 0.081,  4,  0.4,    0.6125, 0.081,  4,  0.6375, 0.6125, 0.4349, 5,  0.143,  0.8625, 0.6375, 0,     0.6625, 16},
  {0.1253, 0.7,    kNone, 0.4125, 0.221,  11, 0.6125, 0,      0.221,  11, 0.65,   0.7375, 0.127,  1,  0.7007, 1,      0.8125, 1,     0.5625, 8},
  {0.1253, 0.7,    kNone, 0.5875, 0.001,  0,  0.3125, 0.8125, 0.001,  0,  0.3,    0.775,  0.4349, 5,  0.4804, 0.7375, 0.5,    kNone, 0.8,    40},
  {0,      0.4625, kNone, 0.5875, 0.141,  7,  0.3625, 0.85,   0.141,  7,  0.375,  0.875,  0.127,  1,  0.4804, 0.8625, 0.8375, 2,     0.4875, 4},
  {0,      0.7,    kNone, 0.625,  0.221,  11, 0.7125, 0.5,    0.221,  11, 0.6125, 0.5125, 0.127,  1,  0.4804, 0.8625, 0.8375, 2,     0.25,   0.75},
  {0,      0.7,    kNone, 0.4625, 0.221,  11, 0.3375, 0.8375, 0.221,  11, 0.3375, 0.8875, 0.2809, 3,  0.4804, 0.8625, 0.8375, 2,     0.4125, 2},
  {0,      0.7,    kNone, 0.6375, 0.041,  2,  0.775,  0.8375, 0.041,  2,  0.7625, 0.7625, 0.2809, 3,  0.4804, 0.425,  0.5,    kNone, 0.4875, 4},
  {0,      0.7,    kNone, 0.3875, 0.081,  4,  0.6625, 0.7,    0.081,  4,  0.6375, 0.725,  0.127,  1,  0.8324, 0.5875, 0.6125, kNone, 0.325,  4. / 3},
  {0,      0.6875, kNone, 0.3375, 0.081,  4,  0.5125, 0.5875, 0.081,  4,  0.55,   0.7625, 0.127,  1,  0.4094, 1,      0.825,  0,     0.675,  16},
};
// clang-format on

struct P {
  float time, level, curve = 0.5f;
};
struct Shape {
  double qb;  // 0: switched off
  std::vector<P> points;
  int loop_start = -1, loop_end = -1;  // -1: no loop
};
Shape Decay(double qb, float curve = 0.5f) {
  return {qb, {{0, 1, curve}, {1, 0}}};
}
Shape Rise(double qb) {
  return {qb, {{0, 0}, {1, 1}}};
}
Shape Looped(Shape shape, int start, int end) {
  shape.loop_start = start;
  shape.loop_end = end;
  return shape;
}

// Envelopes other than "envelope 1 is the straight decay over the key length, every other
// slot the straight decay switched off", keyed by (program, slot).
std::map<std::pair<int, int>, Shape> ListedEnvelopes() {
  return {
      {{2, 0}, Decay(5. / 3, 0.44f)},
      {{4, 0}, {32, {{0, 0, 0.24f}, {0.8867f, 0.89f}, {1, 0}}}},
      {{4, 2}, Decay(4. / 3, 0.31f)},
      {{5, 0}, Decay(12, 0.37f)},
      {{6, 0}, Decay(8, 0.32f)},
      {{7, 0}, {16, {{0, 0}, {0.0283f, 0.98f}, {0.1367f, 0.32f}, {1, 0}}}},
      {{7, 1}, Decay(6, 0.25f)},
      {{8, 0}, Decay(8, 0.42f)},
      {{8, 1}, Decay(8, 0.28f)},
      {{10, 0}, Rise(4)},
      {{10, 1}, Rise(12)},
      {{10, 2}, Decay(40)},
      {{11, 0}, Looped(Decay(0.75), 0, 1)},
      {{11, 1}, Rise(12)},
      {{11, 2}, Decay(40)},
      {{12, 0}, Looped(Decay(2), 0, 1)},
      {{12, 1}, Rise(2.5)},
      {{12, 2}, Decay(40)},
      {{12, 3}, Looped(Decay(3, 0.45f), 0, 1)},
      {{13, 0}, Rise(4)},
      {{13, 1}, Rise(12)},
      {{14, 0},
       Looped({4. / 3,
               {{0, 1},
                {0.25f, 0},
                {0.251f, 1},
                {0.5f, 0},
                {0.501f, 0.97f},
                {0.745f, 0},
                {0.746f, 1},
                {1, 0}}},
              0, 7)},
      {{15, 0},
       Looped({16,
               {{0, 1},
                {0.25f, 0},
                {0.251f, 1},
                {0.3957f, 0},
                {0.3967f, 1},
                {0.5f, 0},
                {0.501f, 0.97f},
                {0.745f, 0},
                {0.746f, 1},
                {1, 0}}},
              0, 9)},
      {{15, 1}, Looped({9, {{0, 1, 0.32f}, {0.37f, 0}, {0.371f, 0.93f, 0.28f}, {1, 0}}}, 0, 3)},
  };
}

uint32_t Bits(float v) {
  return std::bit_cast<uint32_t>(v);
}

class FactoryBankTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { plugin_ = new APlugin(nullptr, nullptr); }
  static void TearDownTestSuite() {
    delete plugin_;
    plugin_ = nullptr;
  }
  static float Value(int index) { return plugin_->getParameter(index); }

  // A stored point index: one of the two stored forms, reading back the same however the
  // reader rounds.
  static int PointIndex(int index) {
    const float v = Value(index);
    const int i = IntPart(39.99f, v);
    EXPECT_TRUE(ReadsTheSameEveryWay(39.99f, v)) << "index " << index << " stores " << v;
    EXPECT_TRUE(v == static_cast<float>(i / 39.99) || v == static_cast<float>((i + 0.99) / 39.99))
        << "index " << index << " stores " << v;
    return i;
  }

  static APlugin* plugin_;
};
APlugin* FactoryBankTest::plugin_ = nullptr;

TEST(FactoryBankNames, SixteenNamesInOrderAndNothingOutside) {
  for (int p = 0; p < 16; ++p) EXPECT_STREQ(factory_bank::Name(p), kNames[p]);
  EXPECT_STREQ(factory_bank::Name(-1), "");
  EXPECT_STREQ(factory_bank::Name(16), "");

  std::vector<float> values(kPatchSize, -1.0f);
  factory_bank::Fill(16, values.data());
  factory_bank::Fill(-1, values.data());
  for (float v : values) ASSERT_EQ(v, -1.0f);
}

TEST(FactoryBankNames, ConstructionLeavesProgramZeroCurrent) {
  auto plugin = std::make_unique<APlugin>(nullptr, nullptr);
  char name[64] = {};
  EXPECT_EQ(plugin->getProgram(), 0);
  plugin->getProgramName(name);
  EXPECT_STREQ(name, "ThickSaw");
  EXPECT_EQ(plugin->getParameter(1), 0.7f);  // the mirror holds ThickSaw, not the last program
  for (int p = 0; p < 16; ++p) {
    ASSERT_TRUE(plugin->getProgramNameIndexed(0, p, name));
    EXPECT_STREQ(name, kNames[p]);
  }
}

TEST(FactoryBankNames, FillHandsOverOnlyValuesInRangeBelow1400) {
  for (int p = 0; p < 16; ++p) {
    std::vector<float> values(kPatchSize, -1.0f);
    factory_bank::Fill(p, values.data());
    for (int i = 0; i < kPatchSize; ++i) {
      if (i >= 1400) {
        ASSERT_EQ(values[i], -1.0f) << kNames[p] << " writes index " << i;
      } else if (values[i] != -1.0f) {
        ASSERT_TRUE(values[i] > 0.0f && values[i] <= 1.0f) << kNames[p] << " index " << i;
      }
    }
  }
}

TEST_F(FactoryBankTest, KeyParameters) {
  for (int p = 0; p < 16; ++p) {
    SCOPED_TRACE(kNames[p]);
    plugin_->setProgram(p);
    const KeyRow& k = kKeys[p];
    const std::pair<int, float> stored[] = {
        {0, k.mode},     {1, k.volume},      {12, k.release}, {39, k.wave1},   {40, k.octave1},
        {42, k.volume1}, {59, k.wave2},      {60, k.octave2}, {62, k.volume2}, {120, k.type},
        {121, k.q},      {122, k.frequency}, {123, k.amount}, {250, k.length}};
    for (const auto& [index, value] : stored) {
      EXPECT_NEAR(Value(index), value, 0.00005) << "index " << index;
    }
    EXPECT_EQ(IntPart(3.99f, Value(0)), 0);
    EXPECT_EQ(IntPart(10.99f, Value(3)), k.main_env);
    EXPECT_EQ(IntPart(49.99f, Value(39)), k.wave1_k);
    EXPECT_EQ(IntPart(49.99f, Value(59)), k.wave2_k);
    EXPECT_EQ(IntPart(12.99f, Value(120)), k.type_k);
    EXPECT_EQ(IntPart(10.99f, Value(131)), k.filter_env);
    EXPECT_DOUBLE_EQ(Length(Value(250)), k.qb);
  }
}

TEST_F(FactoryBankTest, SharedValuesAndUntouchedTail) {
  for (int p = 0; p < 16; ++p) {
    SCOPED_TRACE(kNames[p]);
    plugin_->setProgram(p);
    EXPECT_EQ(Value(2), 0.5f);
    for (int i : {19, 53, 74, 94, 114}) EXPECT_EQ(Bits(Value(i)), 0x3F001DD1u) << i;
    for (int i : {71, 73, 91, 93, 111, 113, 150}) EXPECT_EQ(Bits(Value(i)), 0x3F45FF89u) << i;
    for (int i : {127, 128}) EXPECT_NEAR(Value(i), 0.170034, 0.0000005) << i;
    for (int i = 1400; i < 1597; ++i) ASSERT_EQ(Value(i), 0.0f) << i;
    EXPECT_EQ(Value(1597), 0.5f);
    EXPECT_EQ(Value(1598), 0.5f);
    EXPECT_EQ(static_cast<float>(plugin_->program(p).fvar[1599]), 0.0f);
    // Spare space between the envelope blocks stays empty.
    for (int i = 326; i < 350; ++i) ASSERT_EQ(Value(i), 0.0f) << i;
    for (int i = 670; i < 710; ++i) ASSERT_EQ(Value(i), 0.0f) << i;
    for (int i = 1030; i < 1110; ++i) ASSERT_EQ(Value(i), 0.0f) << i;
  }
}

TEST_F(FactoryBankTest, EnvelopeShapesLoopsAndLengths) {
  const auto listed = ListedEnvelopes();
  for (int p = 0; p < 16; ++p) {
    plugin_->setProgram(p);
    for (int e = 0; e < 16; ++e) {
      SCOPED_TRACE(std::string(kNames[p]) + " envelope " + std::to_string(e + 1));
      const auto found = listed.find({p, e});
      const Shape expected =
          found != listed.end() ? found->second : Decay(e == 0 ? kKeys[p].qb : 0);

      if (expected.qb == 0) {
        EXPECT_EQ(Value(250 + e), 0.0f);
      } else {
        EXPECT_DOUBLE_EQ(Length(Value(250 + e)), expected.qb);
      }
      const int last = PointIndex(310 + e);
      const int start = PointIndex(270 + e);
      const int end = PointIndex(290 + e);
      ASSERT_EQ(last, static_cast<int>(expected.points.size()) - 1);
      if (expected.loop_start < 0) {
        EXPECT_EQ(start, end) << "an envelope without a loop keeps start and end together";
      } else {
        EXPECT_EQ(start, expected.loop_start);
        EXPECT_EQ(end, expected.loop_end);
      }
      for (int j = 0; j < 20; ++j) {
        const P point = j <= last ? expected.points[j] : P{1, 1};
        const int curve_index = 1110 + 20 * e + j;
        EXPECT_EQ(Value(350 + 20 * e + j), point.time) << "time of point " << j;
        EXPECT_EQ(Value(710 + 20 * e + j), point.level) << "level of point " << j;
        EXPECT_EQ(Value(curve_index), curve_index < 1400 ? point.curve : 0.0f)
            << "curve of point " << j;
      }
    }
  }
}

TEST_F(FactoryBankTest, Computer1GateHasEightPointsLoopingOverAll) {
  plugin_->setProgram(14);
  EXPECT_EQ(IntPart(39.99f, Value(310)), 7);
  EXPECT_EQ(IntPart(39.99f, Value(270)), 0);
  EXPECT_EQ(IntPart(39.99f, Value(290)), 7);
}

// The values left to the bank must still make sound: every routed envelope or LFO is live,
// every live envelope is routed somewhere, and no voice is silenced by a zero volume.
TEST_F(FactoryBankTest, EveryProgramIsWiredToSound) {
  const int envelope_selectors[] = {3,   49,  50,  52,  70,  71,  73,  131, 190,
                                    191, 192, 193, 194, 195, 196, 197, 198, 199};
  const int lfo_selectors[] = {19, 20, 53, 54, 74, 75, 132};
  for (int p = 0; p < 16; ++p) {
    SCOPED_TRACE(kNames[p]);
    plugin_->setProgram(p);
    EXPECT_GT(Value(124), 0.0f) << "filter volume 0 silences every voice";
    EXPECT_TRUE(Value(42) > 0.0f || Value(62) > 0.0f);
    EXPECT_LE(IntPart(12.99f, Value(120)), 11);
    for (int i : {39, 59, 170, 171, 172, 173, 174}) EXPECT_LE(IntPart(49.99f, Value(i)), 13) << i;
    for (int i : {46, 66}) EXPECT_LE(IntPart(49.99f, Value(i)), 1) << i;

    bool routed[8] = {};
    for (int i : envelope_selectors) {
      const int env = IntPart(10.99f, Value(i));
      ASSERT_LE(env, kNone) << i;
      if (env == kNone) continue;
      routed[env] = true;
      EXPECT_NE(Value(250 + env), 0.0f) << "selector " << i << " routes a switched-off envelope";
    }
    for (int e = 0; e < 8; ++e) {
      if (Value(250 + e) != 0.0f) {
        EXPECT_TRUE(routed[e]) << "envelope " << e + 1 << " unused";
      }
    }
    for (int i : lfo_selectors) {
      const int lfo = IntPart(10.99f, Value(i));
      ASSERT_LE(lfo, 5) << i;
      if (lfo == 5) continue;
      EXPECT_NE(Value(175 + lfo), 0.0f) << "selector " << i << " routes a stopped LFO";
      EXPECT_GT(Value(180 + lfo), 0.0f) << "selector " << i << " routes a silent LFO";
    }
  }
}

}  // namespace
}  // namespace vellicor
