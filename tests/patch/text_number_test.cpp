#include "patch/text_number.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace vellicor::text_number {
namespace {

// c / 255 (0 < c < 255) rounded half up to 15 significant digits in integers: what the map file
// must hold for controller c, whatever the C library's floating-point formatting does.
std::string ExactControllerLine(int c) {
  int tens = 14;
  uint64_t scaled = c * 100000000000000ull;  // c * 10^tens, until c * 10^tens / 255 has 15 digits
  for (; scaled / 255 < 100000000000000ull; ++tens) scaled *= 10;
  const std::string digits = std::to_string((2 * scaled + 255) / 510);
  char line[32];
  std::snprintf(line, sizeof line, " %c.%sE-%04d", digits[0], digits.c_str() + 1, tens - 14);
  return line;
}

TEST(TextNumber, WritesTheFixedWidthForm) {
  EXPECT_EQ(FormatFixed(0.5L), " 5.00000000000000E-0001");
  EXPECT_EQ(FormatFixed(1.0L), " 1.00000000000000E+0000");
  EXPECT_EQ(FormatFixed(0.0L), " 0.00000000000000E+0000");
  EXPECT_EQ(FormatFixed(-0.25L), "-2.50000000000000E-0001");
  EXPECT_EQ(FormatFixed(12345.0L), " 1.23450000000000E+0004");
  // A single widened exactly, not its shortest decimal.
  EXPECT_EQ(FormatFixed(0.499f), " 4.99000012874603E-0001");
  for (int c = 1; c < 255; ++c) {
    EXPECT_EQ(FormatFixed(static_cast<long double>(c) / 255.0L), ExactControllerLine(c)) << c;
  }
}

TEST(TextNumber, ReadsScientificAndPlainFormsOnly) {
  EXPECT_EQ(Parse(" 2.74509803921569E-0002"), 2.74509803921569E-2);
  EXPECT_EQ(Parse("0.5"), 0.5);
  EXPECT_EQ(Parse("   7\r"), 7.0);
  EXPECT_EQ(Parse("-3"), -3.0);
  EXPECT_EQ(Parse("+1e-2"), 1e-2);
  for (const char* bad : {"", "   ", "abc", "1,5", "0.5x", "--1", "+-1", "nan", "inf", "1e999"}) {
    EXPECT_FALSE(Parse(bad).has_value()) << bad;
  }
}

TEST(TextNumber, ParsesLinesUpToTheCountAsked) {
  EXPECT_EQ(ParseLines("1\r\n2\n3", 3), (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(ParseLines("1\r\n2\r\n3\r\nextra", 3), (std::vector<double>{1, 2, 3}));
  EXPECT_FALSE(ParseLines("1\r\n2\r\n", 3).has_value());
  EXPECT_FALSE(ParseLines("1\r\nx\r\n3\r\n", 3).has_value());
  EXPECT_EQ(FormatLines({0.5L, 1.0L}), " 5.00000000000000E-0001\r\n 1.00000000000000E+0000\r\n");
}

}  // namespace
}  // namespace vellicor::text_number
