// Envelope files byte for byte, both ways, and the files that must change nothing or be limited
// to what the editor could have stored. The same bytes are expected on every target.
#include "patch/envelope_file.h"

#include <gtest/gtest.h>

#include <string>

namespace vellicor::envelope_file {
namespace {

namespace ee = envelope_edit;

ee::Envelope ThreePoints() {
  ee::Envelope env;
  env.last = 2;
  env.loop_start = 1;
  env.loop_end = 2;
  env.time = {0.0f, 0.499f, 1.0f};
  env.level = {0.5f, 1.0f, 0.0f};
  env.curve = {0.5f, 0.25f, 0.5f};
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

TEST(EnvelopeFile, ValuesAreLimitedToWhatTheEditorStores) {
  struct Case {
    const char* last;
    const char* start;
    const char* end;
    int want_last, want_start, want_end;
  };
  const Case cases[] = {
      {"40", "3", "2", 19, 2, 3},  // too many points; crossed loop ends are exchanged
      {"-5", "7", "9", 1, 1, 1},   // at least two points; the loop within them
      {"1e300", "0", "-1", 19, 0, 0},
  };
  for (const Case& c : cases) {
    std::string text = Lines({c.last, c.start, c.end, "7"});
    for (int j = 0; j < 20; ++j) text += Lines({"0.9", "-2", "5"});
    const auto file = Parse(text);
    ASSERT_TRUE(file) << c.last;
    const ee::Envelope& env = file->envelope;
    EXPECT_EQ(env.last, c.want_last);
    EXPECT_EQ(env.loop_start, c.want_start);
    EXPECT_EQ(env.loop_end, c.want_end);
    EXPECT_EQ(file->length, 1.0f);
    EXPECT_EQ(env.time[0], 0.0f);
    EXPECT_EQ(env.time[env.last], 1.0f);
    for (int k = 1; k <= env.last; ++k) EXPECT_GE(env.time[k] - env.time[k - 1], 0.0009f) << k;
    for (int j = 0; j < ee::kPoints; ++j) {
      EXPECT_EQ(env.level[j], 0.0f);
      EXPECT_EQ(env.curve[j], 1.0f);
      EXPECT_LE(env.time[j], 1.0f);
    }
  }
}

TEST(EnvelopeEdit, PointIndicesReadBackAsWritten) {
  for (int i = 0; i <= ee::kMaxLast; ++i)
    EXPECT_EQ(ee::DecodePointIndex(ee::EncodePointIndex(i)), i);
}

}  // namespace
}  // namespace vellicor::envelope_file
