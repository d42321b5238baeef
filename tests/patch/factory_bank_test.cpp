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

// A stored point index (last point, loop start or end of an envelope): i / 39.99 or
// (i + 0.99) / 39.99, whose integer part reads back the same however a reader rounds on the way:
// 39.99 * v formed in single or double precision, 0.4999999 subtracted in either, rounded to
// nearest with ties to even.
bool ReadsTheSameEveryWay(float v) {
  const double i = std::nearbyint(static_cast<double>(39.99f * v) - 0.4999999);
  for (float x : {39.99f * v, static_cast<float>(static_cast<double>(39.99f) * v)}) {
    if (std::nearbyint(static_cast<double>(x) - 0.4999999) != i) return false;
    if (std::nearbyint(x - 0.4999999f) != i) return false;
  }
  return v == static_cast<float>(i / 39.99) || v == static_cast<float>((i + 0.99) / 39.99);
}

TEST(FactoryBankNames, SixteenNamesInOrderAndNothingOutside) {
  for (int p = 0; p < 16; ++p) EXPECT_STREQ(factory_bank::Name(p), kNames[p]);
  EXPECT_STREQ(factory_bank::Name(-1), "");
  EXPECT_STREQ(factory_bank::Name(16), "");

  std::vector<float> values(kPatchSize, -1.0f);
  factory_bank::Fill(16, values.data());
  factory_bank::Fill(-1, values.data());
  for (float v : values) ASSERT_EQ(v, -1.0f);
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

TEST(FactoryBankSelection, ProgramZeroFirstTheTailEmptyAndPointIndicesReadTheSameEveryWay) {
  // A new instance starts on program 0, and its mirror holds ThickSaw, not the last program.
  auto plugin = std::make_unique<APlugin>(nullptr, nullptr);
  char name[64] = {};
  EXPECT_EQ(plugin->getProgram(), 0);
  plugin->getProgramName(name);
  EXPECT_STREQ(name, "ThickSaw");
  EXPECT_EQ(plugin->getParameter(1), 0.7f);
  for (int p = 0; p < 16; ++p) {
    SCOPED_TRACE(kNames[p]);
    ASSERT_TRUE(plugin->getProgramNameIndexed(0, p, name));
    EXPECT_STREQ(name, kNames[p]);
    plugin->setProgram(p);
    for (int i = 1400; i < 1597; ++i) ASSERT_EQ(plugin->getParameter(i), 0.0f) << i;
    // Every factory sound plays the oscillators as they were designed.
    EXPECT_EQ(plugin->getParameter(param::kAliasFree), 0.0f);
    EXPECT_EQ(static_cast<float>(plugin->synth().program(p).values[1599]), 0.0f);
    for (int e = 0; e < 16; ++e) {
      for (int i : {270 + e, 290 + e, 310 + e}) {
        EXPECT_TRUE(ReadsTheSameEveryWay(plugin->getParameter(i))) << i;
      }
    }
  }
}

}  // namespace
}  // namespace vellicor
