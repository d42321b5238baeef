// The factory programs as a player first meets them, measured instead of heard: every program
// speaks on a single note, stays off the output clipper on a full chord, carries no offset, falls
// silent after its release and sits near the level of the others. Each program's own character
// (a bass that sits low, a struck bell, pads that swell) is pinned, for the current bank, by the
// bank's fingerprint and the engine's render-hash scenes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <vector>

#include "patch/factory_bank.h"
#include "plugin/uPlugin.h"
#include "tests/midi_events.h"

namespace vellicor {
namespace {

constexpr double kRate = 44100.0;  // the plug-in's rate when no host answers
constexpr size_t kBlock = 256;
constexpr double kPi = 3.14159265358979;
constexpr int kChousy = 4;  // its level moves with its noise wave, which every instance draws anew

// Plays a program the way a host does: MIDI through processEvents, audio through
// processReplacing in blocks. Selecting a program silences every voice and clears the filters,
// so each take starts from rest.
class Player {
 public:
  std::vector<float> left, right;

  void Select(int program) {
    plugin_.setProgram(program);
    left.clear();
    right.clear();
  }
  void Press(std::initializer_list<int> keys, int velocity = 100) {
    for (int key : keys) midi_.Add(0x90, key, velocity);
    midi_.SendTo(plugin_.getAeffect());
  }
  void Release(std::initializer_list<int> keys) {
    for (int key : keys) midi_.Add(0x80, key, 0);
    midi_.SendTo(plugin_.getAeffect());
  }
  void Play(double seconds) {
    const size_t start = left.size(), frames = static_cast<size_t>(seconds * kRate);
    left.resize(start + frames);
    right.resize(start + frames);
    for (size_t done = 0; done < frames; done += kBlock) {
      float* outputs[2] = {left.data() + start + done, right.data() + start + done};
      plugin_.processReplacing(nullptr, outputs, static_cast<int>(std::min(kBlock, frames - done)));
    }
  }
  size_t At(double seconds) const { return std::min(left.size(), size_t(seconds * kRate)); }

  // The level of what can be heard over [from, to): a first-order high-pass at 20 Hz takes out
  // any offset.
  double AudibleRms(double from, double to) const {
    const double k = std::exp(-2.0 * kPi * 20.0 / kRate);
    double sum = 0.0;
    const size_t a = At(from), b = At(to);
    for (const std::vector<float>* channel : {&left, &right}) {
      double x1 = 0.0, y = 0.0;
      for (size_t i = 0; i < b; ++i) {
        y = k * (y + (*channel)[i] - x1);
        x1 = (*channel)[i];
        if (i >= a) sum += y * y;
      }
    }
    return b > a ? std::sqrt(sum / (2.0 * double(b - a))) : 0.0;
  }
  float Peak(double from, double to) const {
    float peak = 0.0f;
    for (size_t i = At(from); i < At(to); ++i) {
      peak = std::max({peak, std::fabs(left[i]), std::fabs(right[i])});
    }
    return peak;
  }

 private:
  APlugin plugin_{nullptr, nullptr};
  testing::MidiEvents midi_;
};

class FactorySound : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { player_ = new Player(); }
  static void TearDownTestSuite() {
    delete player_;
    player_ = nullptr;
  }
  static Player& player() { return *player_; }

  static Player* player_;
};
Player* FactorySound::player_ = nullptr;

// A single note speaks (each fades in over 500 samples; a pad may take longer, but none is
// inaudible). The six-note chord it then joins, at full velocity, stays off the clipper but for
// a stray sample at a simultaneous attack; after the keys are let go, every release ends within
// 3.5 s (the longest factory release, Icy's, is 12 half beats: 3 s at 120 bpm).
TEST_F(FactorySound, NoteAndChordSpeakOffTheClipperAndTheirTailEnds) {
  const auto others = {48, 52, 55, 64, 67};
  constexpr double kNote = 0.6, kHeld = kNote + 1.0, kEnd = kHeld + 3.7;
  for (int p = 0; p < factory_bank::kProgramCount; ++p) {
    SCOPED_TRACE(factory_bank::Name(p));
    Player& take = player();
    take.Select(p);
    take.Press({60});
    take.Play(kNote);
    take.Press(others);
    take.Play(kHeld - kNote);
    take.Release(others);
    take.Release({60});
    take.Play(kEnd - kHeld);
    double offset = 0.0;
    int clipped = 0, non_finite = 0;
    for (size_t i = 0; i < take.left.size(); ++i) {
      for (float x : {take.left[i], take.right[i]}) {
        non_finite += !std::isfinite(x);
        clipped += std::fabs(x) > 0.99f;  // at the soft clipper's ceiling
        if (i < take.At(kHeld)) offset += x;
      }
    }
    ASSERT_EQ(non_finite, 0);
    EXPECT_LE(take.Peak(0.0, kEnd), 1.0f);
    EXPECT_GT(take.AudibleRms(0.0, kNote), 0.02);
    EXPECT_GT(take.AudibleRms(kNote, kHeld), 0.03);
    EXPECT_LT(std::fabs(offset / (2.0 * double(take.At(kHeld)))),
              0.5 * take.AudibleRms(0.0, kHeld));
    EXPECT_LE(clipped, 0.001 * 2.0 * kHeld * kRate) << "peak " << take.Peak(0.0, kHeld);
    EXPECT_LT(take.Peak(kEnd - 0.2, kEnd), 1e-4f) << "still sounding 3.5 s after the release";
  }
}

// The first bar of the host's demo phrase: a chord under four melody notes.
TEST_F(FactorySound, LevelsAreBalancedOnAPhrase) {
  double quietest = 1.0, loudest = 0.0;
  for (int p = 0; p < factory_bank::kProgramCount; ++p) {
    SCOPED_TRACE(factory_bank::Name(p));
    player().Select(p);
    player().Press({48, 55, 64}, 80);
    for (int key : {72, 74, 76, 79}) {
      player().Press({key});
      player().Play(0.45);
      player().Release({key});
      player().Play(0.05);
    }
    player().Release({48, 55, 64});
    const double level = player().AudibleRms(0.0, 2.0);
    EXPECT_LT(level, 0.2);
    EXPECT_GT(level, 0.07);
    if (p == kChousy) continue;
    quietest = std::min(quietest, level);
    loudest = std::max(loudest, level);
  }
  EXPECT_LT(loudest / quietest, 1.6) << "more than 4 dB between the loudest and the quietest";
}

}  // namespace
}  // namespace vellicor
