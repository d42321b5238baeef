// The factory programs as a player first meets them, measured instead of heard: every program
// speaks on a single note, stays off the output clipper on a full chord, falls silent after its
// release, sits near the level of the others, and shows what its name promises (a bass that
// sits low, a struck bell, pads that swell, gates that repeat).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "patch/factory_bank.h"
#include "plugin/uPlugin.h"
#include "vst/vst2.h"

namespace vellicor {
namespace {

constexpr double kRate = 44100.0;  // the plug-in's rate when no host answers
constexpr int kBlock = 256;
constexpr double kPi = 3.14159265358979;

// Bank positions of the programs measured by name below.
constexpr int kRlead = 2, kChousy = 4, kSBass = 5, kEBass = 6, kGlocky = 8, kSmooth = 10, kIcy = 11,
              kHalo = 12, kComputer1 = 14, kHammerp = 15;

// Both channels of a performance, sample by sample.
struct Take {
  std::vector<float> left;
  std::vector<float> right;

  size_t At(double seconds) const {
    const auto i = static_cast<size_t>(std::max(0.0, seconds) * kRate);
    return std::min(i, left.size());
  }
};

// Plays one program of a plug-in the way a host does: MIDI through processEvents, audio
// through processReplacing in blocks.
class Player {
 public:
  Player() : plugin_(std::make_unique<APlugin>(nullptr, nullptr)) {}

  // Selecting a program also silences every voice and clears the filters, so each take
  // starts from rest.
  void Select(int program) {
    plugin_->setProgram(program);
    take_ = {};
  }
  void Press(int key, int velocity = 100) { Send(0x90, key, velocity); }
  void Release(int key) { Send(0x80, key, 0); }
  void Press(std::initializer_list<int> keys) {
    for (int key : keys) Press(key);
  }
  void Release(std::initializer_list<int> keys) {
    for (int key : keys) Release(key);
  }

  void Play(double seconds) {
    const auto frames = static_cast<size_t>(seconds * kRate);
    const size_t start = take_.left.size();
    take_.left.resize(start + frames);
    take_.right.resize(start + frames);
    for (size_t done = 0; done < frames;) {
      const int n = static_cast<int>(std::min<size_t>(kBlock, frames - done));
      float* outputs[2] = {take_.left.data() + start + done, take_.right.data() + start + done};
      plugin_->processReplacing(nullptr, outputs, n);
      done += static_cast<size_t>(n);
    }
  }

  const Take& take() const { return take_; }

 private:
  void Send(int status, int key, int velocity) {
    vst::VstMidiEvent event{};
    event.type = vst::kVstMidiType;
    event.byteSize = sizeof(event);
    event.midiData[0] = static_cast<char>(status);
    event.midiData[1] = static_cast<char>(key);
    event.midiData[2] = static_cast<char>(velocity);
    vst::VstEvents events{};
    events.numEvents = 1;
    events.events[0] = reinterpret_cast<vst::VstEvent*>(&event);
    plugin_->processEvents(&events);
  }

  std::unique_ptr<APlugin> plugin_;
  Take take_;
};

// --- Measurements over a stretch [from, to) of a take, in seconds.

// The average of both channels over a stretch: a constant offset, which no sound should have.
double Offset(const Take& take, double from, double to) {
  const size_t a = take.At(from), b = take.At(to);
  double sum = 0.0;
  for (size_t i = a; i < b; ++i) sum += double(take.left[i]) + double(take.right[i]);
  return b > a ? sum / (2.0 * double(b - a)) : 0.0;
}

// The level of what can be heard: a first-order high-pass at 20 Hz takes out any offset.
double AudibleRms(const Take& take, double from, double to) {
  const double k = std::exp(-2.0 * kPi * 20.0 / kRate);
  double sum = 0.0;
  const size_t a = take.At(from), b = take.At(to);
  for (const std::vector<float>* channel : {&take.left, &take.right}) {
    double x1 = 0.0, y = 0.0;
    for (size_t i = 0; i < b; ++i) {
      const double x = (*channel)[i];
      y = k * (y + x - x1);
      x1 = x;
      if (i >= a) sum += y * y;
    }
  }
  return b > a ? std::sqrt(sum / (2.0 * static_cast<double>(b - a))) : 0.0;
}

float Peak(const Take& take, double from, double to) {
  float peak = 0.0f;
  for (size_t i = take.At(from); i < take.At(to); ++i) {
    peak = std::max({peak, std::fabs(take.left[i]), std::fabs(take.right[i])});
  }
  return peak;
}

bool AllFinite(const Take& take) {
  for (size_t i = 0; i < take.left.size(); ++i) {
    if (!std::isfinite(take.left[i]) || !std::isfinite(take.right[i])) return false;
  }
  return true;
}

// Samples, of both channels, at the soft clipper's ceiling.
int Clipped(const Take& take) {
  int count = 0;
  for (size_t i = 0; i < take.left.size(); ++i) {
    count += (std::fabs(take.left[i]) > 0.99f) + (std::fabs(take.right[i]) > 0.99f);
  }
  return count;
}

// The root-mean-square frequency of the left channel in Hz, from the energy of its first
// difference: a cheap measure of brightness.
double Brightness(const Take& take, double from, double to) {
  double signal = 0.0, difference = 0.0;
  for (size_t i = std::max<size_t>(take.At(from), 1); i < take.At(to); ++i) {
    const double d = double{take.left[i]} - take.left[i - 1];
    signal += double{take.left[i]} * take.left[i];
    difference += d * d;
  }
  const double ratio = signal > 0.0 ? std::sqrt(difference / signal) : 0.0;
  return 2.0 * kRate * std::asin(std::min(1.0, ratio / 2.0)) / (2.0 * kPi);
}

// Share of the left channel's energy below 300 Hz: two cascaded second-order Butterworth
// low-passes (24 dB per octave) against the whole.
double ShareBelow300Hz(const Take& take, double from, double to) {
  const double w = 2.0 * kPi * 300.0 / kRate;
  const double alpha = std::sin(w) / std::sqrt(2.0);
  const double a0 = 1.0 + alpha;
  const double b0 = (1.0 - std::cos(w)) / 2.0 / a0, b1 = (1.0 - std::cos(w)) / a0, b2 = b0;
  const double a1 = -2.0 * std::cos(w) / a0, a2 = (1.0 - alpha) / a0;
  double z[2][4] = {};  // x1, x2, y1, y2 per stage
  double low = 0.0, all = 0.0;
  for (size_t i = 0; i < take.At(to); ++i) {
    double x = take.left[i];
    const double in = x;
    for (auto& s : z) {
      const double y = b0 * x + b1 * s[0] + b2 * s[1] - a1 * s[2] - a2 * s[3];
      s[1] = s[0];
      s[0] = x;
      s[3] = s[2];
      s[2] = y;
      x = y;
    }
    if (i >= take.At(from)) {
      low += x * x;
      all += in * in;
    }
  }
  return all > 0.0 ? low / all : 0.0;
}

// The amplitude envelope of the left channel in 5 ms steps, and how well it matches itself
// shifted by a lag (1 for a pattern that repeats exactly at that lag).
constexpr double kStep = 0.005;
std::vector<double> Envelope(const Take& take, double from, double to) {
  std::vector<double> envelope;
  const auto step = static_cast<size_t>(kStep * kRate);
  for (size_t i = take.At(from); i + step <= take.At(to); i += step) {
    double sum = 0.0;
    for (size_t j = i; j < i + step; ++j) sum += double{take.left[j]} * take.left[j];
    envelope.push_back(std::sqrt(sum / static_cast<double>(step)));
  }
  return envelope;
}
double Autocorrelation(const std::vector<double>& envelope, double lag_seconds) {
  const auto lag = static_cast<size_t>(std::lround(lag_seconds / kStep));
  double mean = 0.0;
  for (double v : envelope) mean += v;
  mean /= static_cast<double>(envelope.size());
  double at_zero = 0.0, at_lag = 0.0;
  for (size_t i = 0; i < envelope.size(); ++i) {
    at_zero += (envelope[i] - mean) * (envelope[i] - mean);
    if (i + lag < envelope.size()) at_lag += (envelope[i] - mean) * (envelope[i + lag] - mean);
  }
  // Normalised by the overlap, so a long lag is not penalised for its shorter overlap.
  const double overlap = static_cast<double>(envelope.size() - std::min(lag, envelope.size()));
  return at_zero > 0.0 ? at_lag / overlap / (at_zero / static_cast<double>(envelope.size())) : 0.0;
}

class FactorySound : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { player_ = new Player(); }
  static void TearDownTestSuite() {
    delete player_;
    player_ = nullptr;
  }
  static Player& player() { return *player_; }
  static std::string Name(int program) { return factory_bank::Name(program); }

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
    SCOPED_TRACE(Name(p));
    player().Select(p);
    player().Press(60);
    player().Play(kNote);
    player().Press(others);
    player().Play(kHeld - kNote);
    player().Release(others);
    player().Release(60);
    player().Play(kEnd - kHeld);
    const Take& take = player().take();
    ASSERT_TRUE(AllFinite(take));
    EXPECT_LE(Peak(take, 0.0, kEnd), 1.0f);
    EXPECT_GT(AudibleRms(take, 0.0, kNote), 0.02);
    EXPECT_GT(AudibleRms(take, kNote, kHeld), 0.03);
    EXPECT_LT(std::fabs(Offset(take, 0.0, kHeld)), 0.5 * AudibleRms(take, 0.0, kHeld));
    EXPECT_LE(Clipped(take), 0.001 * 2.0 * kHeld * kRate) << "peak " << Peak(take, 0.0, kHeld);
    EXPECT_LT(Peak(take, kEnd - 0.2, kEnd), 1e-4f) << "still sounding 3.5 s after the release";
  }
}

// The first bar of the host's demo phrase: a chord under four melody notes.
TEST_F(FactorySound, LevelsAreBalancedOnAPhrase) {
  double quietest = 1.0, loudest = 0.0;
  for (int p = 0; p < factory_bank::kProgramCount; ++p) {
    SCOPED_TRACE(Name(p));
    player().Select(p);
    player().Press(48, 80);
    player().Press(55, 80);
    player().Press(64, 80);
    for (int key : {72, 74, 76, 79}) {
      player().Press(key);
      player().Play(0.45);
      player().Release(key);
      player().Play(0.05);
    }
    player().Release({48, 55, 64});
    const double level = AudibleRms(player().take(), 0.0, 2.0);
    EXPECT_LT(level, 0.2);
    EXPECT_GT(level, 0.07);
    // Chousy's level moves with its noise wave, which every instance draws anew.
    if (p == kChousy) continue;
    quietest = std::min(quietest, level);
    loudest = std::max(loudest, level);
  }
  EXPECT_LT(loudest / quietest, 1.6) << "more than 4 dB between the loudest and the quietest";
}

// Basses played an octave and two below the demo's melody keep their energy low. A square
// wave can put at most 90 % of its energy into its first two partials.
TEST_F(FactorySound, BassesSitLow) {
  for (int p : {kSBass, kEBass}) {
    for (int key : {48, 60}) {
      SCOPED_TRACE(Name(p) + " key " + std::to_string(key));
      player().Select(p);
      player().Press(key);
      player().Play(0.8);
      EXPECT_GT(ShareBelow300Hz(player().take(), 0.1, 0.8), 0.75);
    }
  }
}

// Struck: loud and bright at once, then darker and dying away while the key is still held,
// at the top of the keyboard as in the middle.
TEST_F(FactorySound, GlockyIsAStruckBell) {
  for (int key : {60, 72, 84}) {
    SCOPED_TRACE("key " + std::to_string(key));
    player().Select(kGlocky);
    player().Press(key);
    player().Play(1.5);
    const Take& take = player().take();
    EXPECT_GT(AudibleRms(take, 0.0, 0.1), 2.5 * AudibleRms(take, 0.4, 0.9));
    EXPECT_GT(AudibleRms(take, 0.0, 0.1), 20.0 * AudibleRms(take, 1.2, 1.5));
    EXPECT_GT(Brightness(take, 0.0, 0.05), 1.5 * Brightness(take, 0.4, 0.9));
  }
}

// A held pad grows: louder after two seconds than in its first moments (measured: Smooth
// 2.6 times, Halo 2.3, Chousy 1.2 to 2.4 with its random noise table, Icy 1.6).
TEST_F(FactorySound, PadsSwell) {
  for (int p : {kChousy, kSmooth, kIcy, kHalo}) {
    SCOPED_TRACE(Name(p));
    player().Select(p);
    player().Press(60);
    player().Play(3.0);
    const Take& take = player().take();
    const double swell = p == kChousy ? 1.1 : 1.25;  // Chousy's noise wave differs per instance
    EXPECT_GT(AudibleRms(take, 2.0, 3.0), swell * AudibleRms(take, 0.0, 0.25));
  }
}

// A lead cuts through: on a melody note it is bright, far brighter than a bass on that key.
TEST_F(FactorySound, LeadCutsWhereBassesDoNot) {
  player().Select(kRlead);
  player().Press(72);
  player().Play(0.8);
  const double lead = Brightness(player().take(), 0.2, 0.8);
  player().Select(kEBass);
  player().Press(72);
  player().Play(0.8);
  const double bass = Brightness(player().take(), 0.2, 0.8);
  EXPECT_GT(lead, 1000.0);
  EXPECT_GT(lead, 4.0 * bass);
}

// The looping envelopes chop a held note into a pattern that repeats at the loop's length:
// four blips every 1/6 s for Computer1 (4/3 qb), a five-hit figure every 2 s for Hammerp
// (16 qb). The gate is deep: the quiet moments are far below the loud ones.
TEST_F(FactorySound, GatesRepeatAtTheirLoopLengths) {
  struct Gate {
    int program;
    double loop;
    double hold;
  };
  for (const Gate& gate : {Gate{kComputer1, 1.0 / 6.0, 1.5}, Gate{kHammerp, 2.0, 5.0}}) {
    SCOPED_TRACE(Name(gate.program));
    player().Select(gate.program);
    player().Press(60);
    player().Play(gate.hold);
    std::vector<double> envelope = Envelope(player().take(), 0.1, gate.hold);
    EXPECT_GT(Autocorrelation(envelope, gate.loop), 0.6);
    std::sort(envelope.begin(), envelope.end());
    const double quiet = envelope[envelope.size() / 10];
    const double loud = envelope[envelope.size() * 9 / 10];
    EXPECT_LT(quiet, 0.3 * loud);
  }
}

}  // namespace
}  // namespace vellicor
