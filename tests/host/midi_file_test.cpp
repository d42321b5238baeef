// The command-line host's Standard MIDI File reader.
#include "host/midi_file.h"

#include <gtest/gtest.h>

#include <vector>

namespace vellicor::host {
namespace {

std::vector<uint8_t> Track(std::vector<uint8_t> body) {
  std::vector<uint8_t> chunk = {'M', 'T', 'r', 'k'};
  const uint32_t size = static_cast<uint32_t>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8) chunk.push_back((size >> shift) & 0xFF);
  chunk.insert(chunk.end(), body.begin(), body.end());
  return chunk;
}

std::vector<uint8_t> File(int format, std::vector<std::vector<uint8_t>> tracks) {
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0};
  file.push_back(static_cast<uint8_t>(format));
  file.insert(file.end(), {0, static_cast<uint8_t>(tracks.size()), 480 >> 8, 480 & 0xFF});
  for (const auto& t : tracks) {
    auto chunk = Track(t);
    file.insert(file.end(), chunk.begin(), chunk.end());
  }
  return file;
}

TEST(MidiFile, RunningStatusAndDefaultTempo) {
  // Note on 60, then (running status) note on 64 one quarter later, then off via velocity 0.
  auto data =
      File(0, {{0x00, 0x90, 60, 100, 0x83, 0x60, 64, 90, 0x00, 60, 0, 0x00, 0xFF, 0x2F, 0x00}});
  std::vector<TimedMessage> messages;
  std::string error;
  ASSERT_TRUE(ParseMidiFile(data, &messages, &error)) << error;
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_DOUBLE_EQ(messages[1].seconds, 0.5);  // 480 ticks at 120 beats per minute
  EXPECT_EQ(messages[1].bytes[0], 0x90);
  EXPECT_EQ(messages[1].bytes[1], 64);
  EXPECT_EQ(messages[2].bytes[2], 0);
}

TEST(MidiFile, TempoChangesInTheConductorTrackTimeOtherTracks) {
  // Format 1: track 0 sets 60 beats per minute at tick 0 and 240 at tick 480.
  std::vector<uint8_t> conductor = {0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x83, 0x60, 0xFF,
                                    0x51, 0x03, 0x03, 0xD0, 0x90, 0x00, 0xFF, 0x2F, 0x00};
  std::vector<uint8_t> notes = {0x87, 0x40, 0x91, 62, 80, 0x00, 0xFF, 0x2F, 0x00};  // tick 960
  std::vector<TimedMessage> messages;
  std::string error;
  ASSERT_TRUE(ParseMidiFile(File(1, {conductor, notes}), &messages, &error)) << error;
  ASSERT_EQ(messages.size(), 1u);
  // 480 ticks at 1 s per quarter, then 480 ticks at 0.25 s per quarter.
  EXPECT_NEAR(messages[0].seconds, 1.25, 1e-9);
  EXPECT_EQ(messages[0].bytes[0], 0x91);
}

TEST(MidiFile, SkipsSysexAndMetaAndRejectsGarbage) {
  auto data = File(0, {{0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7, 0x00, 0xFF, 0x01, 0x02, 'h', 'i',
                        0x00, 0xB0, 7,    100,  0x00, 0xC0, 5,    0x00, 0xE0, 0,    64}});
  std::vector<TimedMessage> messages;
  std::string error;
  ASSERT_TRUE(ParseMidiFile(data, &messages, &error)) << error;
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[0].bytes[0], 0xB0);
  EXPECT_EQ(messages[1].bytes[0], 0xC0);  // one data byte
  EXPECT_EQ(messages[2].bytes[2], 64);

  EXPECT_FALSE(ParseMidiFile({'R', 'I', 'F', 'F'}, &messages, &error));
  EXPECT_FALSE(ParseMidiFile(File(2, {{0x00, 0xFF, 0x2F, 0x00}}), &messages, &error));
  // Truncated events and lengths past the end stop the track instead of reading beyond it.
  auto truncated = File(0, {{0x00, 0x90, 60}});
  EXPECT_TRUE(ParseMidiFile(truncated, &messages, &error));
  EXPECT_TRUE(messages.empty());
  auto long_meta = File(0, {{0x00, 0xFF, 0x01, 0x7F, 'x'}});
  EXPECT_TRUE(ParseMidiFile(long_meta, &messages, &error));
}

TEST(MidiFile, WrittenFilesReadBack) {
  const std::vector<TimedMessage> demo = DemoPhrase();
  ASSERT_FALSE(demo.empty());
  std::vector<TimedMessage> back;
  std::string error;
  ASSERT_TRUE(ParseMidiFile(WriteMidiFile(demo), &back, &error)) << error;
  ASSERT_EQ(back.size(), demo.size());
  for (size_t i = 0; i < demo.size(); ++i) {
    EXPECT_NEAR(back[i].seconds, demo[i].seconds, 1e-3);
    EXPECT_EQ(back[i].bytes[1], demo[i].bytes[1]);
  }
}

}  // namespace
}  // namespace vellicor::host
