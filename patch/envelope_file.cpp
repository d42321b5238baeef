#include "patch/envelope_file.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/tables.h"
#include "patch/text_number.h"

namespace vellicor::envelope_file {

namespace ee = envelope_edit;

namespace {

constexpr float kMinGap = 0.001f;

// A file's number as a single in 0..1.
float Unit(double v) {
  return static_cast<float>(std::clamp(v, 0.0, 1.0));
}

// A file's number as a point index: its integer part, within 0..19. Huge numbers are cut before
// they become singles, which could not hold them.
int PointIndex(double v) {
  return std::clamp(IntPart(static_cast<float>(std::clamp(v, -1.0e6, 1.0e6))), 0, ee::kMaxLast);
}

}  // namespace

std::string Format(const ee::Envelope& envelope, float length) {
  std::string text;
  text.reserve(kLines * (text_number::kFixedWidth + 2));
  for (int index : {envelope.last, envelope.loop_start, envelope.loop_end}) {
    text += std::to_string(index);
    text += "\r\n";
  }
  std::vector<long double> reals;
  reals.reserve(1 + 3 * ee::kPoints);
  reals.push_back(length);
  for (int j = 0; j < ee::kPoints; ++j) {
    reals.push_back(envelope.time[j]);
    reals.push_back(envelope.level[j]);
    reals.push_back(envelope.curve[j]);
  }
  return text + text_number::FormatLines(reals);
}

std::optional<EnvelopeFile> Parse(std::string_view text) {
  const std::optional<std::vector<double>> lines = text_number::ParseLines(text, kLines);
  if (!lines) return std::nullopt;
  const std::vector<double>& v = *lines;
  EnvelopeFile file;
  ee::Envelope& env = file.envelope;
  env.last = std::max(PointIndex(v[0]), 1);
  env.loop_start = std::min(PointIndex(v[1]), env.last);
  env.loop_end = std::min(PointIndex(v[2]), env.last);
  if (env.loop_start > env.loop_end) std::swap(env.loop_start, env.loop_end);
  file.length = Unit(v[3]);
  for (int j = 0; j < ee::kPoints; ++j) {
    env.time[j] = Unit(v[4 + 3 * j]);
    env.level[j] = Unit(v[5 + 3 * j]);
    env.curve[j] = Unit(v[6 + 3 * j]);
  }
  // The points in use run from time 0 to time 1, each at least 0.001 after the one before and
  // leaving room for those after it.
  env.time[0] = 0.0f;
  env.time[env.last] = 1.0f;
  for (int k = 1; k < env.last; ++k) {
    const float room_after = 1.0f - kMinGap * static_cast<float>(env.last - k);
    env.time[k] = std::max(std::min(env.time[k], room_after), env.time[k - 1] + kMinGap);
  }
  return file;
}

}  // namespace vellicor::envelope_file
