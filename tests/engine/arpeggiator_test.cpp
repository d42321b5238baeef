// The arpeggiator's tempo limits and held-note list. The step and gate lengths, the four
// orders and the octaves are pinned by the render-hash scenes arp_up, arp_down_octaves,
// arp_updown_host_tempo and arp_random.
#include "engine/arpeggiator.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

// Records what the clock asks of the voices.
struct Voices : ArpVoices {
  void ArpStep(float target_pitch, int) override { pitches.push_back(target_pitch); }
  void ArpGateEnd() override {}
  void ArpReleaseVoice(int voice) override { released.push_back(voice); }
  void ArpStopped() override { ++stopped; }

  std::vector<float> pitches;
  std::vector<int> released;
  int stopped = 0;
};

struct ArpBench {
  explicit ArpBench(int order = kArpUp, int octaves = 1, std::vector<int> keys = {}) {
    arp.Init();
    Set(5, LengthValue(0));  // a step on every sample unless a test says otherwise
    Set(6, 0.5f);
    Set(7, ChoiceValue(order));
    Set(8, ChoiceValue(octaves - 1));
    arp.Prepare(settings, 120.0f, 44100.0f);
    for (int key : keys) arp.NoteOn(key);
  }
  void Set(int index, float value) { ASSERT_TRUE(settings.Derive(index, value)); }
  void Run(int64_t samples) {
    for (int64_t n = 0; n < samples && arp.running(); ++n) arp.Clock(voices);
  }
  // Plays until `count` steps have been made and answers their pitches.
  std::vector<float> Steps(size_t count) {
    while (voices.pitches.size() < count && arp.running()) Run(1);
    return voices.pitches;
  }
  ArpSettings settings;
  Arpeggiator arp;
  Voices voices;
};

TEST(ArpeggiatorClock, TempoLimitsKeepEveryLengthPositive) {
  ArpBench b;
  // The host's tempo is limited to 1..999, so 0 or an absurd answer still gives lengths >= 1.
  EXPECT_EQ(TempoFromHost(120.0), 120.0f);
  EXPECT_EQ(TempoFromHost(0.0), 1.0f);
  EXPECT_EQ(TempoFromHost(2e5), 999.0f);
  EXPECT_TRUE(UsesHostTempo(0.02f));  // floor(24) < 25
  EXPECT_FALSE(UsesHostTempo(0.025f));
  EXPECT_EQ(TempoFromPatch(0.5f), 120.0f);
  b.Set(5, LengthValue(1));  // 512 quarter beats at 1 bpm and 1 MHz: no overflow
  b.arp.Prepare(b.settings, TempoFromHost(0.0), 1000000.0f);
  EXPECT_GT(b.arp.step_length(), 1000000);
  EXPECT_LE(b.arp.gate_length(), b.arp.step_length());
  b.Set(5, LengthValue(49));
  b.arp.Prepare(b.settings, TempoFromHost(2e5), 1000.0f);
  EXPECT_EQ(b.arp.step_length(), 1);
}

TEST(ArpeggiatorNotes, ReleasesCompactTheListAndTheLastOneStops) {
  ArpBench b(kArpUp, 1, {60, 64, 60, 67});
  b.Run(3);
  b.arp.NoteOff(60, b.voices);  // pressed twice, leaves twice
  ASSERT_EQ(b.arp.count(), 2);
  EXPECT_EQ(b.arp.note(0), 64);
  EXPECT_EQ(b.arp.note(1), 67);
  EXPECT_EQ(b.voices.released, (std::vector<int>{0, 2}));  // the list positions that held it
  b.voices.pitches.clear();
  EXPECT_EQ(b.Steps(3), (std::vector<float>{67, 64, 67}));  // "Up" starts over
  b.arp.NoteOff(50, b.voices);                              // not held: nothing changes
  EXPECT_EQ(b.arp.count(), 2);
  EXPECT_EQ(b.arp.index(), 1);
  b.arp.NoteOff(64, b.voices);
  b.arp.NoteOff(67, b.voices);
  EXPECT_FALSE(b.arp.running());
  EXPECT_EQ(b.voices.stopped, 1);

  // "Up&Down" keeps its place in the cycle, folded into the shorter list.
  ArpBench ud(kArpUpDown, 1, {1, 2, 3, 4});
  ud.Steps(5);
  ud.arp.NoteOff(4, ud.voices);
  EXPECT_EQ(ud.arp.index(), 1);  // counter 5 mod 4 = 1: |3 - 1 - 1|

  // Controller 126 empties the list.
  ud.arp.Stop(ud.voices);
  EXPECT_EQ(ud.arp.count(), 0);
  EXPECT_FALSE(ud.arp.running());
}

TEST(ArpeggiatorNotes, MoreThan121KeysNeverOverflowTheList) {
  ArpBench b;
  for (int round = 0; round < 2; ++round) {
    for (int note = 0; note < 128; ++note) b.arp.NoteOn(note);
  }
  ASSERT_EQ(b.arp.count(), Arpeggiator::kMaxNotes);
  EXPECT_EQ(b.arp.note(120), 120);
  for (float pitch : b.Steps(300)) ASSERT_LE(pitch, 120.0f);
  for (int note = 0; note < 128; ++note) b.arp.NoteOff(note, b.voices);
  EXPECT_EQ(b.arp.count(), 0);
  EXPECT_FALSE(b.arp.running());
}

}  // namespace
}  // namespace vellicor::testing
