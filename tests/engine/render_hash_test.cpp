// Bit-exact regression: a set of scenes (the heavy benchmark sounds, every voice mode, every
// filter type, LFO and envelope routings, several sample rates and block sizes) rendered and
// hashed. The constants were recorded from the engine before its render loop was optimised;
// a structural change that keeps the arithmetic keeps every hash, on x86_64 and on i686 alike.
// A deliberate change of sound must re-record the scenes it touches, and say why.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "patch/factory_bank.h"
#include "tests/engine/engine_harness.h"

namespace vellicor::testing {
namespace {

// Renders in the scene's block size and folds every output byte into a 64-bit FNV-1a hash.
class Player : public Harness {
 public:
  Player(float sample_rate, int block) : Harness(sample_rate), block_(block) {}

  void Play(int frames, bool accumulate = false) {
    std::vector<float> left(static_cast<size_t>(block_)), right(static_cast<size_t>(block_));
    for (int done = 0; done < frames; done += block_) {
      const int n = frames - done < block_ ? frames - done : block_;
      // Accumulating adds to what the buffers hold; give them something that is not zero.
      for (int i = 0; i < n; ++i) left[i] = right[i] = accumulate ? 0.125f : 0.0f;
      engine().Render(left.data(), right.data(), n, accumulate);
      for (int i = 0; i < n; ++i) {
        Fold(left[i]);
        Fold(right[i]);
      }
    }
  }
  void Seconds(double seconds) { Play(static_cast<int>(seconds * engine().sample_rate())); }
  uint64_t hash() const { return hash_; }
  float peak() const { return peak_; }

 private:
  void Fold(float x) {
    peak_ = std::max(peak_, std::fabs(x));
    unsigned char bytes[sizeof x];
    std::memcpy(bytes, &x, sizeof x);
    for (unsigned char b : bytes) hash_ = (hash_ ^ b) * 1099511628211ull;
  }
  int block_;
  uint64_t hash_ = 14695981039346656037ull;
  float peak_ = 0.0f;
};

// Plays a score, word by word: "n60" presses key 60 (velocity 100), "n64:70" with velocity 70,
// "o60" releases it, "b100" bends (data byte 100), "c10:120" sends controller 10 value 120,
// "39=0.5" sets parameter 39 to 0.5 ("39=w4", "=s", "=l", "=f", "=c": wave 4, or the
// selector, length, filter or choice of that number, as the editor encodes them), and a number
// plays that many seconds; "[" presses the six keys 48 55 60 64 67 72 (velocity 100), "]"
// releases them.
void Score(Player& p, const char* score) {
  for (const char* at = score; *at != 0;) {
    char* end = nullptr;
    if (*at == ' ') {
      ++at;
    } else if (std::isdigit(static_cast<unsigned char>(*at))) {
      const double seconds = std::strtod(at, &end);
      if (*end != '=') {
        p.Seconds(seconds);
        at = end;
        continue;
      }
      const int index = static_cast<int>(std::strtol(at, nullptr, 10));
      const char encoding = std::isalpha(static_cast<unsigned char>(end[1])) ? end[1] : 0;
      const float v = std::strtof(end + (encoding ? 2 : 1), &end);
      const int k = static_cast<int>(v);
      p.Set(index, encoding == 'w'   ? WaveValue(k)
                   : encoding == 's' ? SelectorValue(k)
                   : encoding == 'l' ? LengthValue(k)
                   : encoding == 'f' ? FilterValue(k)
                   : encoding == 'c' ? ChoiceValue(k)
                                     : v);
      at = end;
    } else if (*at == '[' || *at == ']') {
      for (int key : {48, 55, 60, 64, 67, 72}) *at == '[' ? p.NoteOn(key, 100) : p.NoteOff(key);
      ++at;
    } else {
      const char kind = *at;
      const long a = std::strtol(at + 1, &end, 10);
      const long b = *end == ':' ? std::strtol(end + 1, &end, 10) : 100;
      at = end;
      const int x = static_cast<int>(a), y = static_cast<int>(b);
      if (kind == 'n') p.NoteOn(x, y);
      if (kind == 'o') p.NoteOff(x);
      if (kind == 'b') p.Midi(0xE0, 0, x);
      if (kind == 'c') p.Cc(x, y);
    }
  }
}

// An envelope drawn point by point: time, level, curve parameter.
struct Point {
  float time, level, curve;
};
void Envelope(Player& p, int e, float length, std::initializer_list<Point> points, int loop_start,
              int loop_end, bool loop_while_held) {
  p.Set(param::kEnvLength + e, length);
  p.Set(param::kEnvLastPoint + e, PointValue(static_cast<int>(points.size()) - 1));
  p.Set(param::kEnvLoopStart + e, PointValue(loop_start));
  p.Set(param::kEnvLoopEnd + e, PointValue(loop_end));
  p.Set(param::kEnvLoopMode + e, loop_while_held ? 1.0f : 0.0f);
  int i = 0;
  for (const Point& point : points) {
    p.Set(param::kEnvTime + 20 * e + i, point.time);
    p.Set(param::kEnvLevel + 20 * e + i, point.level);
    p.Set(param::kEnvCurve + 20 * e + i, point.curve);
    ++i;
  }
}

// The sound of tests/engine/heavy.patch: cross FM, PWM on both oscillators, sync, all eight
// envelopes looping on curved segments and routed, filter off.
void HeavySound(Player& p) {
  Score(p,
        "0=0 1=0.7 2=0.5 3=0.0455 11=0.1 12=0.4 13=0.5 19=1 20=1 39=0.141 40=0.44 41=0 42=0.72 "
        "44=0.3 45=0.02 46=0.021 47=0.6 48=0.4 49=0.1365 50=0.2275 51=0.0938 52=0.3185 53=1 54=1 "
        "59=0.081 60=0.44 61=0.6255 62=0.7 63=0.3 64=0.2 65=0.01 66=0.001 67=0.5 68=0.6 70=0.4095 "
        "71=0.5005 72=0.0313 73=0.5914 74=1 75=1 120=0 121=0.4 122=0.6 123=0.8 124=0.75 129=1 "
        "131=0.6824 132=1");
  for (int e = 0; e < kEnvelopes; ++e) {
    Envelope(p, e, 0.4101f + 0.02f * e,
             {{0.0f, 1.0f, 0.3f}, {0.4f, 0.35f, 0.7f}, {1.0f, 0.8f, 0.5f}}, 0, 2, false);
  }
}

// tests/engine/heavy_filter.patch: the heavy sound through the 24 dB ladder, its cutoff moved
// by envelope 8 and LFO 1, with all five LFOs running.
void HeavyFilterSound(Player& p) {
  HeavySound(p);
  p.Apply({{120, 0.4349f}, {132, 0.0455f}});
  for (int k = 0; k < kLfoCount; ++k) {
    p.Apply({{170 + k, 0.001f + 0.02f * k},
             {175 + k, k == 0 ? 0.76f : 0.8f - 0.1f * k},
             {180 + k, 0.3f - 0.05f * k},
             {190 + k, SelectorValue(k)},
             {195 + k, SelectorValue((k + 5) % 8)},
             {205 + k, k % 2 ? 0.5f - 0.2f * (k / 2) : 0.0f}});
  }
}

// A plain two-oscillator sound: saw and square a fifth apart, quick attack envelope.
void TwoOscillators(Player& p) {
  Score(p, "39=w2 59=w4");
  p.Apply({{61, 7.5f / 11.99f}});
  Score(p, "62=0.6 65=0.3 12=l9");
}

template <int type>
void FilterScene(Player& p) {
  TwoOscillators(p);
  Envelope(p, 0, LengthValue(20), {{0.0f, 0.0f, 0.5f}, {0.2f, 1.0f, 0.3f}, {1.0f, 0.2f, 0.7f}}, 2,
           2, false);
  p.Apply({{120, FilterValue(type)},
           {121, 0.3f + 0.05f * static_cast<float>(type % 7)},
           {123, type % 2 ? 0.85f : 0.2f},
           {125, type % 3 == 0 ? 0.0f : 0.15f * static_cast<float>(type % 5)},
           {129, type % 4 == 1 ? 1.0f : 0.0f},
           {131, SelectorValue(type % 3 == 2 ? 8 : 0)},
           {132, SelectorValue(type % 2 ? 1 : 5)}});
  Score(p, "122=0.45 124=0.7 171=w1 176=l40 181=0.6 n45 n57 0.3 n64:70 0.2 o45 o57 o64 0.15");
}

template <int order, int octaves, bool host_tempo>
void ArpScene(Player& p) {
  TwoOscillators(p);
  p.Apply({{0, ChoiceValue(kArp)},
           {5, LengthValue(40 + order)},
           {6, 0.3f + 0.15f * static_cast<float>(order)},
           {7, ChoiceValue(order)},
           {8, ChoiceValue(octaves - 1)},
           {11, 0.6f}});
  if (host_tempo) {
    p.engine().SetHostTempo(138.5);
    p.Apply({{2, 0.0f}});
  }
  Score(p, "n60 n64 n67 0.4 n71:60 n60:60 0.3 o64 0.2 o60 o67 o71 0.2");
}

struct Scene {
  const char* name;
  float rate;
  int block;
  uint64_t expected;
  void (*setup)(Player&);
  const char* score = nullptr;  // played after the setup
};

const Scene kScenes[] = {
    {"heavy", 44100.0f, 512, 0xc5ddaadbf7c0ec02ull, HeavySound, "[ 1 ] 0.5"},
    {"heavy_filter", 44100.0f, 512, 0xad4455d9a48c606dull, HeavyFilterSound, "[ 1 ] 0.5"},
    {"heavy_filter_48k_block37", 48000.0f, 37, 0x502f3a7da79a3babull, HeavyFilterSound,
     "[ 0.7 ] 0.3"},
    {"heavy_96k_block4096", 96000.0f, 4096, 0x16536a3838dca5f6ull, HeavySound, "[ 0.7 ] 0.3"},
    {"heavy_22k_block1", 22050.0f, 1, 0xe91854f476d3e800ull, HeavySound,
     "120=f3 125=0.4 [ 0.4 ] 0.2"},
    // Six held, then two more: the oldest voices are taken.
    {"poly_steal_and_bend", 44100.0f, 256, 0xf1f6c44ec0128d1bull, TwoOscillators,
     "4=0.2 11=0.3 44=0.2 46=0.03 n40:90 n44:90 n47:90 n52:90 n56:90 n59:90 0.2 n62:127 n63:127 "
     "b100 0.2 o44 o62 b20 n66 0.2 o40 o47 o52 o56 o59 o63 o66 0.2"},
    {"mono_glide", 44100.0f, 512, 0xcda62b8322ded99aull, TwoOscillators,
     "0=c1 11=0.5 n48 0.15 n55 0.15 o48 0.1 n60:50 0.1 o60 0.2 o55 0.1"},
    // Re-recorded when a Legato phrase came to end with its last key: before, the 62 and the
    // 64-67 phrases below kept their voices gated after every key was up.
    {"legato_phrases", 44100.0f, 512, 0x0bace432a5dab0b6ull, TwoOscillators,
     "0=c2 11=0.45 n48 0.15 n55 0.15 o55 0.15 o48 0.2 n60 0.1 o60 0.1 n62 0.1 o62 0.15 n64 n67 "
     "0.1 o64 0.1 o67 0.25"},
    // An overlapping note takes over the next voice as that voice was left, not restarted:
    // here the voice that played 48, six notes before, still in its release.
    {"legato_overlap_on_a_used_voice", 44100.0f, 512, 0x77efd619e81054feull, TwoOscillators,
     "0=c2 11=0.45 n48 0.1 o48 0.05 n50 0.1 o50 0.05 n52 0.1 o52 0.05 n53 0.1 o53 0.05 n55 0.1 "
     "o55 0.05 n57 0.1 n60 0.2 o60 0.1 o57 0.3"},
    {"arp_up", 44100.0f, 512, 0x6669ab04e8fb4b40ull, ArpScene<kArpUp, 1, false>},
    {"arp_down_octaves", 44100.0f, 100, 0x0479438107ecd199ull, ArpScene<kArpDown, 3, false>},
    {"arp_updown_host_tempo", 48000.0f, 512, 0x7633d5bd0a4ee943ull, ArpScene<kArpUpDown, 2, true>},
    {"arp_random", 44100.0f, 333, 0x0328bfe2e28528dfull, ArpScene<kArpRandom, 4, false>},
    {"filter_off", 44100.0f, 512, 0xeb79054592c75672ull, FilterScene<kFilterOff>},
    {"filter_lowpass12", 44100.0f, 512, 0x75584e8b5204aebfull, FilterScene<kFilterLowpass12>},
    {"filter_highpass12", 44100.0f, 512, 0xa22f10a69762d539ull, FilterScene<kFilterHighpass12>},
    {"filter_bandpass12", 44100.0f, 512, 0xfcc19f755f1f125dull, FilterScene<kFilterBandpass12>},
    {"filter_bandreject12", 44100.0f, 512, 0x121fe78c82a1e46dull, FilterScene<kFilterBandreject12>},
    {"filter_lowpass24", 44100.0f, 512, 0xc3fb17836a735539ull, FilterScene<kFilterLowpass24>},
    {"filter_highpass24", 48000.0f, 64, 0xb5a8770ae83aab6eull, FilterScene<kFilterHighpass24>},
    {"filter_bandpass24", 44100.0f, 512, 0x45fbca4ddc7976fcull, FilterScene<kFilterBandpass24>},
    {"filter_bandreject24", 44100.0f, 512, 0x555fd4fa40e4e591ull, FilterScene<kFilterBandreject24>},
    {"filter_ringmod", 44100.0f, 512, 0x4fbf4e1850fce945ull, FilterScene<kFilterRingMod>},
    {"filter_tuned_ringmod", 44100.0f, 512, 0x0a3879ddf1a699e7ull,
     FilterScene<kFilterTunedRingMod>},
    {"filter_comb", 44100.0f, 512, 0xdcf8c82220818fe9ull, FilterScene<kFilterComb>},
    {"filter_comb2", 96000.0f, 777, 0xad63fabf9e167453ull, FilterScene<kFilterComb2>},
    // Resonance at its limit under a fast square LFO on the cutoff: the two-pole memories run
    // away now and then and restart.
    {"filter_runaways", 44100.0f, 512, 0x043a9bccc2231b78ull,
     [](Player& p) {
       Score(p, "39=w4 59=w5 42=1 62=1 121=1 122=0.9 124=0.3 132=s0 170=w4 175=0.99 180=1 190=1");
       for (int type : {kFilterLowpass12, kFilterHighpass12}) {
         p.Apply({{120, FilterValue(type)}, {125, type == kFilterLowpass12 ? 0.0f : 1.0f}});
         Score(p, "n36 n48 n40 0.5 o36 o48 o40 0.05");
       }
     }},
    {"filter_type_changes", 44100.0f, 128, 0xbf55bb467ed2291dull,
     [](Player& p) {
       TwoOscillators(p);
       p.Apply({{121, 0.9f}, {122, 0.5f}, {124, 0.6f}});
       Score(p, "n50 n57");
       for (int type : {kFilterLowpass24, kFilterLowpass12, kFilterComb, kFilterBandpass24,
                        kFilterRingMod, kFilterOff, kFilterHighpass12}) {
         p.Apply({{120, FilterValue(type)}, {125, type == kFilterComb ? 0.5f : 0.0f}});
         p.Seconds(0.07);
       }
       Score(p, "o50 o57 0.1");
     }},
    // Re-recorded when the noise waves lost their random average (they read noise).
    {"lfo_routings", 44100.0f, 512, 0x18a99849f5ed8d8eull,
     [](Player& p) {
       TwoOscillators(p);
       Envelope(p, 1, LengthValue(18), {{0.0f, 0.0f, 0.5f}, {1.0f, 1.0f, 0.4f}}, 1, 1, false);
       // Restart on a new note, key tracking, then the LFOs' routings.
       Score(p, "9=1 10=1 19=s0 20=s1 53=s2 74=s3 54=s4 75=s0 55=0.3 76=0.1");
       for (int k = 0; k < kLfoCount; ++k) {
         p.Apply({{170 + k, WaveValue(k * 3)},
                  {175 + k, LengthValue(30 + 3 * k)},
                  {180 + k, 0.9f - 0.15f * k},
                  {190 + k, SelectorValue(k == 2 ? 1 : 8)},
                  {195 + k, SelectorValue(k == 4 ? 1 : 8)},
                  {205 + k, k == 3 ? LengthValue(20) : 0.0f}});
       }
       Score(p, "n52 n59 0.3 c1:90 c2:40 n64 0.3 c4:0 o52 o59 o64 0.2");
     }},
    // Re-recorded when the noise waves lost their random average (they read noise).
    {"lfo_free_running", 32000.0f, 200, 0x1f9b7878a89de5b3ull, TwoOscillators,
     "19=s1 53=s0 54=s0 55=0.15 170=w12 171=w13 175=l44 176=l25 180=0.5 181=0.8 190=1 191=1 195=1 "
     "196=1 205=l15 n55 0.2 n58 0.2 o55 n62 0.2 o58 o62 0.1"},
    {"envelope_routings", 44100.0f, 512, 0x99c177488548adf3ull,
     [](Player& p) {
       TwoOscillators(p);
       Envelope(p, 0, LengthValue(16),
                {{0.0f, 0.0f, 0.5f}, {0.1f, 1.0f, 0.2f}, {0.5f, 0.6f, 0.8f}, {1.0f, 0.0f, 0.5f}}, 2,
                2, false);
       Envelope(p, 1, LengthValue(14), {{0.0f, 1.0f, 0.9f}, {0.5f, 0.0f, 0.1f}, {1.0f, 1.0f, 0.5f}},
                0, 2, true);
       Envelope(p, 2, LengthValue(12), {{0.0f, 0.2f, 0.5f}, {1.0f, 0.9f, 0.65f}}, 0, 1, false);
       Envelope(p, 3, LengthValue(22),
                {{0.0f, 0.0f, 0.5f}, {0.3f, 1.0f, 0.35f}, {0.6f, 0.1f, 0.5f}, {1.0f, 0.5f, 0.5f}},
                1, 3, true);
       Envelope(p, 4, LengthValue(10), {{0.0f, 0.5f, 0.0f}, {1.0f, 0.7f, 1.0f}}, 1, 1, false);
       Score(p,
             "3=s0 14=1 49=s1 70=s3 50=s2 51=0.5 71=s4 72=0.2 44=0.4 46=0.03 52=s3 64=0.1 66=0.001 "
             "73=s2 12=l12 n50 n62 0.4 c3:64 0.2 o50 c3:127 0.3 o62 0.3");
     }},
    {"fm_ring_sync", 44100.0f, 300, 0xc77396dcb3433865ull, TwoOscillators,
     "39=w0 59=w7 44=0.5 46=0.03 64=0.3 66=0.5 63=0.6 77=1 67=0.8 68=0.9 n45 n52 0.25 77=0 "
     "66=0.001 64=0.0000001 0.25 44=0 63=0 47=0.3 67=0 0.2 o45 o52 0.1"},
    // Re-recorded when the noise waves lost their random average (they read noise).
    {"waves_and_output", 44100.0f, 1000, 0xa1fc7c2414607382ull,
     [](Player& p) {
       TwoOscillators(p);
       p.Apply({{39, WaveValue(12)}, {59, WaveValue(13)}, {1, 1.0f}, {13, 1.0f}});
       Score(p, "n60 0.2 c10:10");
       for (int wave : {5, 6, 8, 9, 10, 11, 1, 3, 20}) {
         p.Apply({{39, WaveValue(wave)}, {59, WaveValue((wave + 4) % 14)}});
         p.Seconds(0.04);
       }
       p.Cc(10, 120);
       p.Play(5000, true);
       Score(p, "o60 0.1");
     }},
    {"resets", 44100.0f, 512, 0x020ab9eb69d4edd1ull,
     [](Player& p) {
       TwoOscillators(p);
       p.Apply({{120, FilterValue(kFilterComb)}, {121, 0.8f}});
       Score(p, "n48 n60 0.1");
       p.Apply({{18, 1.0f}});  // voice reset
       Score(p, "0.05 n50 0.1");
       p.engine().Suspend();
       Score(p, "0.05 c126:0 0.05 n53 0.05");
       std::vector<float> patch = Harness::BasicPatch();
       patch[39] = WaveValue(5);
       patch[120] = FilterValue(kFilterLowpass12);
       p.SelectPatch(patch, 48000.0f);
       Score(p, "0.05 n57 0.1");
     }},
    {"rates_8k_and_192k", 8000.0f, 512, 0xf2250d1ff607e103ull,
     [](Player& p) {
       HeavyFilterSound(p);
       Score(p, "n36 n84 0.3");
       std::vector<float> patch = Harness::BasicPatch();
       patch[44] = 0.5f;
       patch[46] = 0.03f;
       patch[47] = 0.5f;
       p.SelectPatch(patch, 192000.0f);
       Score(p, "n36 n96 0.1");
     }},
};

// A silent scene would pin nothing.
void ExpectRecorded(const Player& player, uint64_t expected, const char* name) {
  char recorded[32];
  std::snprintf(recorded, sizeof recorded, "0x%016" PRIx64 "ull", player.hash());
  EXPECT_EQ(player.hash(), expected) << name << " now hashes " << recorded;
  EXPECT_GT(player.peak(), 0.05f) << name;
}

TEST(RenderHash, EveryScenePlaysTheRecordedSamples) {
  for (const Scene& scene : kScenes) {
    Player player(scene.rate, scene.block);
    scene.setup(player);
    if (scene.score) Score(player, scene.score);
    ExpectRecorded(player, scene.expected, scene.name);
  }
}

// Each factory program as a player first meets it: a note, a full-velocity chord joining it,
// and the tails after the keys are let go. Recorded when every program was heard to speak on
// the note, stay off the clipper, carry no offset, fall silent within 3.5 s of the release and
// sit within 4 dB of the others on a phrase.
constexpr uint64_t kFactoryPrograms[factory_bank::kProgramCount] = {
    0x53fdeff2ab56afc2ull, 0x4cf87c8822f531e5ull, 0x4162d4bae56ddbc9ull, 0x7f5397aeaffaee06ull,
    0x475fe6e113430a11ull, 0xc0691e6e042781b3ull, 0xeab7f6bf5168f36full, 0x7e156f54f7fe8a28ull,
    0x65944606f87c8a23ull, 0x97c0244c76289393ull, 0x29a08a293e87b4f4ull, 0x0697dbbe2ac01472ull,
    0xf0a432698c8a8398ull, 0x48ea57a6caea6860ull, 0x73d8c7caffe9a52full, 0x13d58559e9c20477ull};

TEST(RenderHash, EveryFactoryProgramPlaysItsRecordedChord) {
  for (int program = 0; program < factory_bank::kProgramCount; ++program) {
    Player player(44100.0f, 256);
    // Selected as the plug-in selects a program: the evolver at rest, no controller request.
    std::vector<float> patch(kPatchSize, 0.0f);
    factory_bank::Fill(program, patch.data());
    patch[param::kLearnCommand] = 0.0f;
    patch[1597] = patch[1598] = 0.5f;
    player.SelectPatch(patch);
    Score(player, "n60 0.5 n48 n52 n55 n64 n67 1 o48 o52 o55 o64 o67 o60 3");
    ExpectRecorded(player, kFactoryPrograms[program], factory_bank::Name(program));
    EXPECT_LE(player.peak(), 1.0f) << factory_bank::Name(program);
  }
}

}  // namespace
}  // namespace vellicor::testing
