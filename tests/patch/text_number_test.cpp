#include "patch/text_number.h"

#include <gtest/gtest.h>

#include <string>

namespace vellicor::text_number {
namespace {

// c / 255 rounded half up to 15 significant digits, by long division: what the map file must
// hold for controller c, whatever the C library's floating-point formatting does.
std::string ExactControllerLine(int c) {
  if (c == 0) return " 0.00000000000000E+0000";
  if (c == 255) return " 1.00000000000000E+0000";
  int exponent = -1;
  int remainder = c * 10;
  while (remainder < 255) {
    remainder *= 10;
    --exponent;
  }
  std::string digits;
  for (int i = 0; i < 16; ++i) {
    digits += static_cast<char>('0' + remainder / 255);
    remainder = remainder % 255 * 10;
  }
  // Round at the fifteenth digit; c / 255 never ends in an exact tie.
  bool carry = digits[15] >= '5';
  digits.resize(15);
  for (int i = 14; i >= 0 && carry; --i) {
    carry = digits[static_cast<size_t>(i)] == '9';
    digits[static_cast<size_t>(i)] =
        carry ? '0' : static_cast<char>(digits[static_cast<size_t>(i)] + 1);
  }
  std::string exponent_text = std::to_string(-exponent);
  exponent_text.insert(0, 4 - exponent_text.size(), '0');
  std::string line = " ";
  line += digits[0];
  line += '.';
  line.append(digits, 1, std::string::npos);
  line += "E-";
  line += exponent_text;
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
  for (int c = 0; c <= 255; ++c) {
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
