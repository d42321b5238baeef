// The number lines of the editor's text files (envelopes, controller maps): one value per line,
// written in a fixed-width scientific form and read back by a plain decimal conversion. The
// same bytes on every target and in every locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vellicor::text_number {

// Every written number takes exactly this many characters.
constexpr int kFixedWidth = 23;

// A sign position (blank or '-'), one digit, '.', 14 digits, 'E', the exponent's sign and four
// exponent digits: 15 significant digits, rounded. 0.5 is " 5.00000000000000E-0001", 1 is
// " 1.00000000000000E+0000", 0 is " 0.00000000000000E+0000". Not-a-number and infinities,
// which no file of ours holds, are written as 0. The value is taken in extended precision, so a
// single widens exactly and a quotient such as 178 / 255 rounds as the exact fraction does.
std::string FormatFixed(long double value);

// A line as a number: leading and trailing blanks (and a CR) are skipped; the scientific form
// above and plain decimals ("0.5", "-3", "+1e-2", "7") are accepted. Nothing when the line is
// empty or not a number, or names an infinity or not-a-number.
std::optional<double> Parse(std::string_view line);

// The lines of a text, split at LF; a CR before the LF belongs to the line ending. A last line
// without an ending counts; an ending at the very end opens no further line.
std::vector<std::string_view> SplitLines(std::string_view text);

// The first `count` lines of `text` as numbers; nothing when there are fewer lines or any of
// them is not a number.
std::optional<std::vector<double>> ParseLines(std::string_view text, size_t count);

// Each value in the fixed form, every line ended by CR LF.
std::string FormatLines(const std::vector<long double>& values);

}  // namespace vellicor::text_number
