// A score whose events fall at odd frames, the block sizes it is played in, and the programs
// it is played with: the same MIDI must render the same samples in every block size, in every
// format. The programs use neither noise waves nor random arpeggios, whose samples differ from
// one instance to the next (the generator is seeded from the clock).
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

#include "parameters/parameter_table.h"

namespace vellicor::testing {

struct ScoreEvent {
  int32_t frame;
  uint8_t bytes[3];
};

inline constexpr double kScoreRate = 44100.0;
inline constexpr int kScoreFrames = 48000;
inline constexpr ScoreEvent kOddFrameScore[] = {
    {3, {0x90, 60, 100}},   {1003, {0x90, 64, 90}},  {2051, {0xB0, 1, 70}},
    {5000, {0xE0, 0, 90}},  {9001, {0x80, 60, 0}},   {12345, {0x90, 67, 100}},
    {20000, {0x80, 64, 0}}, {25013, {0xB0, 7, 90}},  // main volume's controller
    {30011, {0x80, 67, 0}}, {30500, {0x90, 48, 80}}, {41999, {0x80, 48, 0}},
};
inline constexpr int kBlockSizes[] = {1, 32, 100, 512, 2048, 4096};

struct ScoreProgram {
  int program;
  bool arpeggio;  // played in Arp mode (up, two octaves) at the host's tempo
};
inline constexpr ScoreProgram kScorePrograms[] = {{0, false}, {9, false}, {12, false}, {2, true}};

// Plays the score in blocks of `block` frames: play(frames, events) for each block, with the
// events that fall in it at their frame within it.
template <typename Play>
void PlayScore(int block, Play play) {
  size_t next = 0;
  for (int start = 0; start < kScoreFrames; start += block) {
    const int frames = std::min(block, kScoreFrames - start);
    std::vector<ScoreEvent> events;
    for (; next < std::size(kOddFrameScore) && kOddFrameScore[next].frame < start + frames;
         ++next) {
      ScoreEvent event = kOddFrameScore[next];
      event.frame -= start;
      events.push_back(event);
    }
    play(frames, events);
  }
}

// The values the program is changed by after it is selected.
inline std::vector<std::pair<int, float>> ScoreSettings(const ScoreProgram& program) {
  if (!program.arpeggio) return {};
  return {{param::kVoiceMode, 3.5f / 3.99f},
          {param::kArpOrder, 0.5f / 3.99f},
          {param::kArpOctaves, 1.5f / 3.99f},
          {param::kTempo, 0.0f}};
}

}  // namespace vellicor::testing
