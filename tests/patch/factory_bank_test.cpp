// The factory bank as a host sees it after selecting each program. The expected values are
// written out here again, independently of the bank's own source, so a slip in either shows.
#include "patch/factory_bank.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "plugin/uPlugin.h"

namespace vellicor {
namespace {

constexpr const char* kNames[16] = {
    "ThickSaw", "DistRez", "Rlead",  "Plastic", "Chousy", "SBass", "EBass",     "DPizz",
    "Glocky",   "Digger",  "Smooth", "Icy",     "Halo",   "Sonic", "Computer1", "Hammerp"};

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

TEST(FactoryBankNames, SixteenNamesInOrderNothingOutsideAndProgramZeroFirst) {
  for (int p = 0; p < 16; ++p) EXPECT_STREQ(factory_bank::Name(p), kNames[p]);
  EXPECT_STREQ(factory_bank::Name(-1), "");
  EXPECT_STREQ(factory_bank::Name(16), "");

  std::vector<float> values(kPatchSize, -1.0f);
  factory_bank::Fill(16, values.data());
  factory_bank::Fill(-1, values.data());
  for (float v : values) ASSERT_EQ(v, -1.0f);

  // A new instance starts on program 0, and its mirror holds ThickSaw, not the last program.
  auto plugin = std::make_unique<APlugin>(nullptr, nullptr);
  char name[64] = {};
  EXPECT_EQ(plugin->getProgram(), 0);
  plugin->getProgramName(name);
  EXPECT_STREQ(name, "ThickSaw");
  EXPECT_EQ(plugin->getParameter(1), 0.7f);
  for (int p = 0; p < 16; ++p) {
    ASSERT_TRUE(plugin->getProgramNameIndexed(0, p, name));
    EXPECT_STREQ(name, kNames[p]);
  }
}

// Every value of every program, bit for bit, folded into one hash (with what Fill leaves as the
// caller passed it). It was recorded from the bank when it matched tables of its key values,
// envelopes and loops written out independently of its source from the design (names, modes,
// volumes, waves, filters, lengths, every envelope point), when Fill wrote only values in 0..1
// below index 1400, and when every routed envelope or LFO was live, every live envelope routed
// and no voice silenced by a zero volume; a deliberate change of a factory sound re-records it,
// checks those again, and says why.
TEST(FactoryBankValues, EveryProgramHoldsTheRecordedValues) {
  uint64_t hash = 14695981039346656037ull;
  for (int p = 0; p < 16; ++p) {
    std::vector<float> values(kPatchSize, -1.0f);
    factory_bank::Fill(p, values.data());
    for (float v : values) {
      const uint32_t bits = std::bit_cast<uint32_t>(v);
      for (int shift = 0; shift < 32; shift += 8)
        hash = (hash ^ ((bits >> shift) & 0xFF)) * 1099511628211ull;
    }
  }
  EXPECT_EQ(hash, 0xc9c0e1369c34b198ull) << std::hex << hash;
}

TEST_F(FactoryBankTest, SelectionLeavesTheTailEmptyAndPointIndicesReadTheSameEveryWay) {
  for (int p = 0; p < 16; ++p) {
    SCOPED_TRACE(kNames[p]);
    plugin_->setProgram(p);
    for (int i = 1400; i < 1597; ++i) ASSERT_EQ(Value(i), 0.0f) << i;
    EXPECT_EQ(static_cast<float>(plugin_->program(p).fvar[1599]), 0.0f);
    // Last point, loop start and end of each envelope: stored in one of the two forms that read
    // back the same however the reader rounds.
    for (int e = 0; e < 16; ++e) {
      for (int base : {270, 290, 310}) PointIndex(base + e);
    }
  }
}

}  // namespace
}  // namespace vellicor
