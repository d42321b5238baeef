// The output stage: soft clipper, pan, stereo delay, accumulate versus replace. That the samples
// do not depend on how the host cuts the blocks is pinned by the render-hash scenes (blocks of
// 1 to 4096).
#include <gtest/gtest.h>

#include <cmath>

#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

// A square through main volume v: the clipper sees +-10^((40 v - 30) / 20).
std::vector<float> Square(float main_volume, int delay_value, std::vector<float>* right) {
  Harness h;
  h.Set(39, WaveValue(4));
  h.Set(1, main_volume);
  h.Set(13, static_cast<float>(delay_value));
  h.Render(200);  // let the pan settle
  h.NoteOn(60);
  return h.Render(3000, 512, right);
}

TEST(Output, SoftClipperValues) {
  std::vector<float> right;
  Square(1.0f, 0, &right);  // +10 dB: 3.16 saturates at exactly 1
  for (size_t i = 600; i < right.size(); ++i) ASSERT_EQ(std::fabs(right[i]), 1.0f) << i;
  Square((20.0f * std::log10(0.5f) + 30.0f) / 40.0f, 0, &right);  // level 0.5
  for (size_t i = 600; i < right.size(); ++i) ASSERT_NEAR(std::fabs(right[i]), 0.625f, 1e-5);
}

TEST(Output, StereoDelayOfTwoAndFiveHundredThirteenSamples) {
  for (const auto& [value, delay] : {std::pair{0, 2}, std::pair{1, 513}}) {
    std::vector<float> right;
    const std::vector<float> left = Square(0.3f, value, &right);
    for (size_t i = 0; i < static_cast<size_t>(delay); ++i) ASSERT_LT(std::fabs(right[i]), 1e-9);
    // The right channel is the left one delayed, with the resting gains 1 and 0.9.
    for (size_t i = 600; i + delay < left.size(); i += 7) {
      ASSERT_NEAR(Unclip(left[i]) / Unclip(right[i + static_cast<size_t>(delay)]), 0.9, 1e-5);
    }
  }
}

TEST(Output, PanFollowsController10) {
  Harness h;
  h.NoteOn(60);
  h.Cc(10, 0);  // offset -1: hard right
  std::vector<float> right;
  std::vector<float> left = h.Render(3000, 512, &right);
  EXPECT_EQ(left[2500], 0.0f);
  EXPECT_GT(std::fabs(right[2500]) + std::fabs(right[2510]), 0.01f);
  h.Cc(10, 127);  // offset +1: the position clamps at 1, hard left
  left = h.Render(3000, 512, &right);
  EXPECT_EQ(right[2500], 0.0f);
}

TEST(Output, ProcessAccumulatesAndProcessReplacingOverwrites) {
  Harness a, b;
  a.NoteOn(60);
  b.NoteOn(60);
  std::vector<float> la(700, 0.25f), ra(700, -0.5f), lb(700, 0.25f), rb(700, -0.5f);
  a.engine().Render(la.data(), ra.data(), 700, true);
  b.engine().Render(lb.data(), rb.data(), 700, false);
  for (size_t i = 0; i < 700; ++i) {
    ASSERT_EQ(la[i], 0.25f + lb[i]);
    ASSERT_EQ(ra[i], -0.5f + rb[i]);
  }
  la.assign(4, 7.0f);
  a.engine().Render(la.data(), ra.data(), 0, false);  // no frames: nothing written
  a.engine().Render(la.data(), ra.data(), -5, false);
  EXPECT_EQ(la[0], 7.0f);
}

}  // namespace
}  // namespace vellicor::testing
