// Ten minutes of audio under random MIDI (garbage included), random parameter values (NaN and
// infinities included), random block sizes, sample rates and host tempos: every sample must be
// finite and within +-1, and the random sounds must mostly be heard.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

float RandomValue(std::mt19937& rng) {
  constexpr float kInf = std::numeric_limits<float>::infinity();
  static const float kSpecial[] = {
      std::numeric_limits<float>::quiet_NaN(), kInf, -kInf, -1.0f, 2.0f, 0.0f, 1.0f, 0.5f, 1e-30f};
  if (rng() % 8 == 0) return kSpecial[rng() % 9];
  return std::uniform_real_distribution<float>(0.0f, 1.0f)(rng);
}

void RandomMidi(Harness& h, std::mt19937& rng) {
  const int a = static_cast<int>(rng() % 256), b = static_cast<int>(rng() % 256);
  const int note = 30 + static_cast<int>(rng() % 70);
  switch (rng() % 8) {
    case 0:
    case 1:
      h.Midi(0x90 | (a & 15), note, 1 + b % 127);
      break;
    case 2:
    case 3:
      h.Midi(0x80, note, 0);
      break;
    case 4:
      h.Midi(0xB0, a & 127, b);
      break;
    case 5:
      h.Midi(0xE0, a, b);
      break;
    default:
      h.Midi(static_cast<int>(rng() % 256), a, b);  // anything at all
      break;
  }
}

TEST(Soak, TenMinutesOfRandomUseStayFiniteAndBounded) {
  std::mt19937 rng(20240611);
  Harness h;
  std::vector<float> left(8192), right(8192);
  float sample_rate = 44100.0f;
  double seconds = 0.0;
  int64_t frames_total = 0, loud = 0;
  while (seconds < 10.5 * 60.0) {
    const uint32_t what = rng() % 100;
    if (what < 2) {
      static const float kRates[] = {8000.0f, 22050.0f, 44100.0f, 48000.0f, 96000.0f, 192000.0f};
      sample_rate = kRates[rng() % 6];
      std::vector<float> patch = Harness::BasicPatch();
      for (float& v : patch) v = rng() % 3 == 0 ? RandomValue(rng) : v;
      patch[1] = patch[124] = 0.75f;  // audible
      h.SelectPatch(patch, sample_rate);
    } else if (what < 4) {
      static const intptr_t kTempos[] = {0, -5, 1, 1200000, 9990000, 2000000000, 333};
      h.host_tempo = kTempos[rng() % 7];
    } else if (what < 5) {
      h.engine().Suspend();
    }
    for (int i = static_cast<int>(rng() % 6); i > 0; --i) RandomMidi(h, rng);
    for (int i = static_cast<int>(rng() % 4); i > 0; --i) {
      h.Set(static_cast<int>(rng() % kPatchSize), RandomValue(rng));
    }
    const int frames = 1 + static_cast<int>(rng() % (rng() % 4 == 0 ? 8192 : 1024));
    std::fill(left.begin(), left.end(), 0.0f);
    std::fill(right.begin(), right.end(), 0.0f);
    h.engine().Render(left.data(), right.data(), frames, rng() % 2 == 0);
    for (size_t i = 0; i < static_cast<size_t>(frames); ++i) {
      ASSERT_TRUE(std::fabs(left[i]) <= 1.0f && std::fabs(right[i]) <= 1.0f)
          << "frame " << frames_total + static_cast<int64_t>(i) << ": " << left[i] << " "
          << right[i];
      loud += std::fabs(left[i]) > 0.01f;
    }
    frames_total += frames;
    seconds += frames / static_cast<double>(sample_rate);
  }
  EXPECT_GT(loud, frames_total / 20);
}

}  // namespace
}  // namespace vellicor::testing
