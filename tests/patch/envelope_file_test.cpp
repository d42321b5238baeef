// Envelope files byte for byte, both ways, and the files that must change nothing. The same
// bytes are expected on every target. That whatever loads is an envelope the editor could have
// drawn is the fuzz target's promise (tests/fuzz/envelope_file_fuzz.cpp), kept with seeds of
// too many points, too few and an absurd count, with crossed loop ends and values out of range.
#include "patch/envelope_file.h"

#include <gtest/gtest.h>

#include <string>

namespace vellicor::envelope_file {
namespace {

namespace ee = envelope_edit;

ee::Envelope ThreePoints() {
  ee::Envelope env{.time = {0.0f, 0.499f, 1.0f},
                   .level = {0.5f, 1.0f, 0.0f},
                   .curve = {0.5f, 0.25f, 0.5f},
                   .last = 2,
                   .loop_start = 1,
                   .loop_end = 2};
  env.time[19] = 0.75f;  // a slot beyond the last point is written as it is
  return env;
}

// Lines with their CR LF endings.
std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\r\n";
  return text;
}

TEST(EnvelopeFile, IsSixtyFourFixedLinesWhateverTheNumberOfPoints) {
  const std::string text = Format(ThreePoints(), 0.5f);
  const std::string head =
      Lines({"2", "1", "2", " 5.00000000000000E-0001", " 0.00000000000000E+0000",
             " 5.00000000000000E-0001", " 5.00000000000000E-0001", " 4.99000012874603E-0001",
             " 1.00000000000000E+0000", " 2.50000000000000E-0001"});
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_EQ(text.size(), 3 * 3 + 61 * 25u);
  const auto back = Parse(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->envelope, ThreePoints());
  EXPECT_EQ(back->length, 0.5f);
  EXPECT_EQ(Format(back->envelope, back->length), text);
}

TEST(EnvelopeFile, UnreadableFilesChangeNothing) {
  const std::string good = Format(ThreePoints(), 0.5f);
  std::string not_a_number = good;
  not_a_number.replace(good.find(" 4.99"), 5, " 4,99");
  const std::string short_file = good.substr(0, good.rfind("\r\n", good.size() - 3) + 2);
  for (const std::string& text : {std::string(), short_file, not_a_number,
                                  std::string("2\r\n1\r\n2\r\n") + std::string(61, '\n')}) {
    EXPECT_FALSE(Parse(text)) << text.size();
  }
}

TEST(EnvelopeEdit, PointIndicesReadBackAsWritten) {
  for (int i = 0; i <= ee::kMaxLast; ++i)
    EXPECT_EQ(ee::DecodePointIndex(ee::EncodePointIndex(i)), i);
}

}  // namespace
}  // namespace vellicor::envelope_file
