// The controller-map file: its exact bytes, every controller back, and files that give nothing.
#include "patch/controller_map.h"

#include <gtest/gtest.h>

namespace vellicor::controller_map {
namespace {

TEST(ControllerMapFile, WritesTheFixedFormAndReadsEveryControllerBack) {
  const std::string factory = Format(FactoryEntries());
  ASSERT_EQ(factory.size(), 256u * 25);
  // No controller, main volume on 7, tempo on 16.
  EXPECT_EQ(factory.substr(0, 75),
            " 1.00000000000000E+0000\r\n 2.74509803921569E-0002\r\n 6.27450980392157E-0002\r\n");
  // The LFO 5 period on 59 and the LFO 1 sample-and-hold on 60.
  EXPECT_EQ(factory.substr(179 * 25, 25) + factory.substr(205 * 25, 25),
            " 2.31372549019608E-0001\r\n 2.35294117647059E-0001\r\n");
  Entries entries{};
  for (int i = 0; i < kFileEntries; ++i) entries[i] = i < 128 ? i : 255;
  const auto values = Parse(Format(entries));
  ASSERT_TRUE(values);
  for (int i = 0; i < kFileEntries; ++i) EXPECT_EQ(ControllerOf((*values)[i]), entries[i]) << i;
}

TEST(ControllerMapFile, ShortOrBrokenFilesGiveNothingAndValuesAreLimited) {
  const std::string good = Format(FactoryEntries());
  EXPECT_FALSE(Parse(good.substr(0, 255 * 25)));
  EXPECT_FALSE(Parse(good.substr(0, 175) + " nan" + good.substr(198)));
  std::string odd = "-3\n  7 \n0.0274509803921569";
  for (int i = 3; i < kFileEntries; ++i) odd += "\n1";
  const auto values = Parse(odd);
  ASSERT_TRUE(values);
  EXPECT_EQ(ControllerOf((*values)[0]), 0);
  EXPECT_EQ(ControllerOf((*values)[1]), 255);
  EXPECT_EQ(ControllerOf((*values)[2]), 7);
}

}  // namespace
}  // namespace vellicor::controller_map
