// The controller-map file: its exact bytes, the round trip, and files that must change nothing.
#include "patch/controller_map.h"

#include <gtest/gtest.h>

#include <string>

namespace vellicor::controller_map {
namespace {

std::string Line(const std::string& file, int i) {
  return file.substr(static_cast<size_t>(i) * 25, 25);
}

TEST(ControllerMapFile, TheFactoryMapIsWrittenInTheFixedForm) {
  const std::string file = Format(FactoryEntries());
  ASSERT_EQ(file.size(), 256u * 25);
  EXPECT_EQ(Line(file, 0), " 1.00000000000000E+0000\r\n");    // no controller
  EXPECT_EQ(Line(file, 1), " 2.74509803921569E-0002\r\n");    // main volume on controller 7
  EXPECT_EQ(Line(file, 2), " 6.27450980392157E-0002\r\n");    // tempo on 16
  EXPECT_EQ(Line(file, 179), " 2.31372549019608E-0001\r\n");  // LFO 5 period on 59
}

TEST(ControllerMapFile, EveryControllerAndNoneComeBack) {
  Entries entries{};
  for (int i = 0; i < kFileEntries; ++i)
    entries[static_cast<size_t>(i)] = i < 128 ? i : 255 - i % 2;
  const auto values = Parse(Format(entries));
  ASSERT_TRUE(values);
  for (int i = 0; i < kFileEntries; ++i) {
    EXPECT_EQ(ControllerOf((*values)[static_cast<size_t>(i)]), entries[static_cast<size_t>(i)])
        << i;
  }
}

TEST(ControllerMapFile, ShortOrBrokenFilesGiveNothingAndValuesStayInRange) {
  const std::string good = Format(FactoryEntries());
  std::string bad_line = good;
  bad_line.replace(25 * 100, 23, "  twelve               ");
  for (const std::string& text : {std::string(), good.substr(0, 255 * 25), bad_line,
                                  good.substr(0, 25 * 7) + "nan\r\n" + good.substr(25 * 8)}) {
    EXPECT_FALSE(Parse(text));
  }
  // Plain decimals, blanks and a missing last line ending are read; out-of-range values are
  // limited, so they can name no controller outside 0..255.
  std::string odd = "-3\n  7 \n0.0274509803921569";
  for (int i = 3; i < kFileEntries; ++i) odd += "\n1";
  const auto values = Parse(odd + "\nextra lines are ignored\n");
  ASSERT_TRUE(values);
  EXPECT_EQ(ControllerOf((*values)[0]), 0);
  EXPECT_EQ(ControllerOf((*values)[1]), 255);
  EXPECT_EQ(ControllerOf((*values)[2]), 7);
}

}  // namespace
}  // namespace vellicor::controller_map
