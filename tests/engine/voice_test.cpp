// Held keys across resets, controllers, MIDI learn, the arpeggiator's last release. The fade-in
// and release ramps, which voice each mode takes, Mono's glide and Legato's phrases are pinned
// by the render-hash scenes (every scene, poly_steal_and_bend, mono_glide, legato_phrases).
#include <gtest/gtest.h>

#include <vector>

#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

int Gated(const Harness& h) {
  int n = 0;
  for (int i = 0; i < kVoiceCount; ++i) n += h.voice(i).gate ? 1 : 0;
  return n;
}

TEST(Voices, ResetsSilenceTheVoicesAndForgetTheHeldKeys) {
  // Keys whose releases never come (all notes off, voice reset, program selection) must not
  // count as held afterwards, or the next Legato phrase would never end; every voice is off.
  for (int way = 0; way < 3; ++way) {
    Harness h;
    h.Set(0, ChoiceValue(kLegato));
    h.NoteOn(50);
    h.NoteOn(55);
    EXPECT_EQ(h.engine().held_keys(), 2);
    if (way == 0) h.Cc(126, 0);
    if (way == 1) h.Set(18, 1.0f);
    if (way == 2) {
      std::vector<float> patch = Harness::BasicPatch();
      patch[0] = ChoiceValue(kLegato);
      h.SelectPatch(patch);
    }
    h.Render(1);
    EXPECT_EQ(h.engine().held_keys(), 0) << way;
    EXPECT_EQ(Gated(h), 0) << way;
    // The voice reset silences at once and clears its own switch.
    EXPECT_TRUE(way != 1 || (h.engine().Patch(18) == 0.0f && h.current().release == 0.0f));
    h.NoteOn(60);
    EXPECT_TRUE(way != 2 || h.engine().current_voice() == 1);  // allocation starts over
    h.NoteOff(60);
    EXPECT_FALSE(h.current().gate) << way;
    EXPECT_LT(Peak(h.Render(2000), 1000), 1e-6f) << way;
  }
  // A key pressed twice needs two releases (a note-on of velocity 0 on any channel is one);
  // releases of keys not held change nothing.
  Harness twice;
  twice.Set(0, ChoiceValue(kLegato));
  twice.NoteOn(60);
  twice.NoteOn(60);
  twice.NoteOff(61);
  twice.NoteOff(60);
  EXPECT_EQ(twice.engine().held_keys(), 1);
  twice.Midi(0x93, 60, 0);
  twice.NoteOff(60);
  EXPECT_EQ(twice.engine().held_keys(), 0);
  EXPECT_FALSE(twice.current().gate);
}

TEST(Voices, ControllersAndLearning) {
  Harness h;
  // Envelope 1 running, sustained on its second point.
  h.Apply(
      {{250, 0.5f}, {310, PointValue(1)}, {351, 1.0f}, {270, PointValue(1)}, {290, PointValue(1)}});
  h.NoteOn(60);
  h.Render(3000);
  EXPECT_GT(h.current().env_position[0], 1000.0f);
  h.Cc(4, 10);  // every envelope (and LFO) starts again
  EXPECT_EQ(h.current().env_position[0], 0.0f);
  h.Cc(3, 0);  // envelope speed 0 freezes them
  h.Render(1000);
  EXPECT_EQ(h.current().env_position[0], 0.0f);
  h.Cc(126, 0);  // all notes off
  EXPECT_EQ(Gated(h), 0);

  // Learn: 1 at index 15 arms the slot in 16; the next learnable controller binds to it.
  h.Apply({{16, 122.0f / 255.0f}, {15, 1.0f}});
  h.Cc(1, 100);                                  // a controller with a fixed meaning is not learnt
  EXPECT_EQ(h.engine().ControllerMap(122), 40);  // the default assignment
  h.Cc(74, 127);
  EXPECT_EQ(h.engine().Patch(15), 0.0f);
  EXPECT_EQ(h.engine().ControllerMap(122), 74);
  EXPECT_EQ(h.engine().Patch(122), 1.0f);
  // Assign: 0.5 binds the controller in 17 at once. Entries past 127 act too.
  h.Apply({{16, 181.0f / 255.0f}, {17, 77.0f / 255.0f}, {15, 0.5f}});
  h.Cc(77, 127);
  EXPECT_EQ(h.engine().Patch(181), 1.0f);
  h.Cc(52, 127);  // LFO 3 amplitude by default
  EXPECT_EQ(h.engine().Patch(182), 1.0f);
  // A stray high bit: controller "255" would match every free slot; data bytes are 7-bit.
  const int calls = h.parameter_calls();
  h.Midi(0xB0, 0xFF, 0xFF);
  EXPECT_EQ(h.parameter_calls(), calls);
  EXPECT_EQ(h.refreshes(), 8);
}

TEST(Voices, ArpeggiatorLastReleaseWithTheGateOpenLeavesNoNoteHanging) {
  // Released inside a step's open gate: in the first step (voice 1 plays list position 0), and
  // in the second step of three keys (voice 2 plays list position 1).
  const struct {
    std::vector<int> keys;
    int release_at;
  } cases[] = {{{60}, 1000}, {{64, 60, 67}, 5513 + 1000}};
  for (const auto& c : cases) {
    Harness h;
    // A quarter beat: 5,513 samples, gate open for 2,756.
    h.Apply({{0, ChoiceValue(kArp)}, {5, 36.5f / 49.99f}, {6, 0.5f}});
    for (int key : c.keys) h.NoteOn(key);
    h.Render(c.release_at);
    ASSERT_EQ(Gated(h), 1);
    for (int key : c.keys) h.NoteOff(key);
    EXPECT_EQ(Gated(h), 0) << c.keys.size() << " keys";
    EXPECT_LT(Peak(h.Render(40000), 39000), 1e-6f) << c.keys.size() << " keys";
  }
}

}  // namespace
}  // namespace vellicor::testing
