// The synth core without a format: MIDI at its frame whatever the block size, and its state as
// bytes (round trip, and every kind of malformed state refused without a change).
#include "core/synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "engine/random.h"
#include "parameters/parameter_table.h"
#include "tests/odd_frame_score.h"

namespace vellicor {
namespace {

// The score in blocks of `block` frames, each event handed over with the block it falls in, at
// its frame within it. Output: left and right interleaved.
std::vector<float> Play(const testing::ScoreProgram& program, int block, bool alias_free = false) {
  auto synth = std::make_unique<Synth>();
  synth->SetSampleRate(testing::kScoreRate);
  synth->PrepareToRun();
  synth->SelectProgram(program.program);
  for (const auto& [index, value] : testing::ScoreSettings(program)) {
    synth->SetParameter(index, value);
  }
  // Switched on before the first note: the crossfade into it runs across the first blocks.
  if (alias_free) synth->SetParameter(param::kAliasFree, 1.0f);
  std::vector<float> out;
  std::vector<float> left(static_cast<size_t>(block)), right(static_cast<size_t>(block));
  testing::PlayScore(block, [&](int frames, const std::vector<testing::ScoreEvent>& score) {
    std::vector<MidiEvent> events;
    for (const auto& e : score) events.push_back({e.frame, {e.bytes[0], e.bytes[1], e.bytes[2]}});
    synth->Process(left.data(), right.data(), frames, false, events);
    for (int i = 0; i < frames; ++i) {
      out.push_back(left[static_cast<size_t>(i)]);
      out.push_back(right[static_cast<size_t>(i)]);
    }
  });
  return out;
}

TEST(SynthCore, TheSameMidiRendersTheSameSamplesInEveryBlockSize) {
  for (const auto& program : testing::kScorePrograms) {
    const std::vector<float> reference = Play(program, 4096);
    float peak = 0.0f;
    for (float x : reference) peak = std::max(peak, std::fabs(x));
    EXPECT_GT(peak, 0.01f) << "program " << program.program;
    for (int block : testing::kBlockSizes) {
      const std::vector<float> samples = Play(program, block);
      ASSERT_EQ(samples.size(), reference.size());
      EXPECT_EQ(std::memcmp(samples.data(), reference.data(), samples.size() * sizeof(float)), 0)
          << "program " << program.program << ", blocks of " << block;
    }
  }
}

// The alias-free reading carries corrections, fades and restarts from block to block: sync
// (Sonic) and the pulse width's corners (DistRez).
TEST(SynthCore, TheAliasFreeReadingRendersTheSameSamplesInEveryBlockSize) {
  for (const int number : {13, 1}) {
    const testing::ScoreProgram program{number, false};
    const std::vector<float> reference = Play(program, 4096, true);
    for (int block : testing::kBlockSizes) {
      const std::vector<float> samples = Play(program, block, true);
      ASSERT_EQ(samples.size(), reference.size());
      EXPECT_EQ(std::memcmp(samples.data(), reference.data(), samples.size() * sizeof(float)), 0)
          << "program " << number << ", blocks of " << block;
    }
  }
}

// A sound edited away from its program, a renamed program and a learnt controller.
std::unique_ptr<Synth> EditedSynth() {
  auto synth = std::make_unique<Synth>();
  synth->SelectProgram(3);
  synth->SetParameter(param::kFilterFrequency, 0.3125f);
  synth->RenameProgram(5, "Renamed");
  synth->SetParameter(param::kLearnTarget, param::kFilterQ / 255.0f);
  synth->SetParameter(param::kLearnCommand, param::kLearnRequest);
  const uint8_t cc74[] = {0xB0, 74, 127};
  synth->Midi(cc74, 3);
  return synth;
}

TEST(SynthState, ARestoredStateIsTheSameSoundNamesAndControllerMap) {
  const auto original = EditedSynth();
  ASSERT_EQ(original->ControllerFor(param::kFilterQ), 74);
  const std::vector<uint8_t> bytes = original->SaveState();
  EXPECT_EQ(bytes.size(), state::kSize);
  EXPECT_EQ(original->SaveState(), bytes);  // saving twice gives the same bytes

  Synth restored;
  ASSERT_TRUE(restored.LoadState(bytes));
  EXPECT_EQ(restored.current_program(), 3);
  EXPECT_EQ(restored.Value(param::kFilterFrequency), 0.3125f);
  EXPECT_EQ(restored.Value(param::kFilterQ), 1.0f);  // the learnt controller moved it
  EXPECT_STREQ(restored.program(5).name, "Renamed");
  EXPECT_EQ(restored.ControllerFor(param::kFilterQ), 74);
  EXPECT_EQ(restored.SaveState(), bytes);
  // The restored map acts: controller 74 moves the parameter it was learnt for.
  const uint8_t cc74[] = {0xB0, 74, 0};
  restored.Midi(cc74, 3);
  EXPECT_EQ(restored.Value(param::kFilterQ), 0.0f);
}

TEST(SynthState, AMalformedStateIsRefusedAndChangesNothing) {
  const std::vector<uint8_t> good = EditedSynth()->SaveState();
  auto with = [&good](size_t at, std::vector<uint8_t> bytes) {
    std::vector<uint8_t> bad = good;
    std::copy(bytes.begin(), bytes.end(), bad.begin() + static_cast<std::ptrdiff_t>(at));
    return bad;
  };
  auto value_at = [&with](int index, float value) {
    uint8_t bytes[4];
    std::memcpy(bytes, &value, 4);  // every target we build for is little-endian
    return with(12 + 16 * 64 + 4 * static_cast<size_t>(index), {bytes, bytes + 4});
  };
  std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
  std::vector<uint8_t> longer = good;
  longer.push_back(0);
  std::vector<uint8_t> unterminated = good;
  std::fill(unterminated.begin() + 12 + 64, unterminated.begin() + 12 + 128, 'x');
  const std::vector<uint8_t> faults[] = {
      {},
      truncated,
      longer,
      with(0, {'V', 'l', 'c', 'X'}),  // magic
      with(4, {2, 0, 0, 0}),          // a version we do not know
      with(8, {16, 0, 0, 0}),         // no such program
      unterminated,                   // the second name runs into the third
      value_at(1, std::numeric_limits<float>::quiet_NaN()),
      value_at(2, 1.5f),
      value_at(3, -0.25f),
      value_at(1599, std::numeric_limits<float>::infinity()),
  };
  Synth synth;
  const std::vector<uint8_t> before = synth.SaveState();
  for (size_t i = 0; i < std::size(faults); ++i) {
    EXPECT_FALSE(synth.LoadState(faults[i])) << "fault " << i;
    EXPECT_EQ(synth.SaveState(), before) << "fault " << i;
  }
}

// A host that only scans makes an instance and lets it go: the alias-free oscillators' tables
// are built where a format activates (PrepareToRun, or Restart), and until then the switch
// keeps the plain reading.
TEST(Synth, AliasFreeReadingStartsOnceActivated) {
  auto note = [](bool alias_free, bool activated) {
    random::Seed(7);  // the same noise waves in every instance
    Synth synth;
    if (activated) synth.PrepareToRun();
    synth.SetParameter(param::kAliasFree, alias_free ? 1.0f : 0.0f);
    const uint8_t on[3] = {0x90, 96, 100};
    synth.Midi(on, 3);
    std::vector<float> left(8192), right(8192);
    synth.Render(left.data(), right.data(), 8192, false);
    return left;
  };
  const std::vector<float> plain = note(false, true);
  EXPECT_EQ(note(true, false), plain);
  EXPECT_NE(note(true, true), plain);
}

}  // namespace
}  // namespace vellicor
