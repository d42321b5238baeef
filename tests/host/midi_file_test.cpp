// The command-line host's Standard MIDI File reader.
#include "host/midi_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace vellicor::host {
namespace {

// A file of the given format at 480 (0x01E0) ticks per quarter; track bodies here are short.
std::vector<uint8_t> File(uint8_t format, const std::vector<std::vector<uint8_t>>& tracks) {
  const auto count = static_cast<uint8_t>(tracks.size());
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, format, 0, count, 0x01, 0xE0};
  for (const auto& body : tracks) {
    file.insert(file.end(), {'M', 'T', 'r', 'k', 0, 0, 0, static_cast<uint8_t>(body.size())});
    file.insert(file.end(), body.begin(), body.end());
  }
  return file;
}

// Messages as "seconds: status data1 data2; ", so a whole result compares at once.
std::string Text(const std::vector<TimedMessage>& messages) {
  std::string text;
  for (const TimedMessage& m : messages) {
    char line[48];
    std::snprintf(line, sizeof line, "%.4f: %02X %d %d; ", m.seconds, m.bytes[0], m.bytes[1],
                  m.bytes[2]);
    text += line;
  }
  return text;
}

std::string Read(const std::vector<uint8_t>& data) {
  std::vector<TimedMessage> messages;
  std::string error;
  return ParseMidiFile(data, &messages, &error) ? Text(messages) : "refused";
}

TEST(MidiFile, ReadsChannelMessagesAtTheirTimesStopsAtBrokenDataAndReadsWhatItWrites) {
  const struct {
    const char* label;
    std::vector<uint8_t> data;
    std::string expected;
  } cases[] = {
      // 480 ticks at the default 120 beats per minute are 0.5 s; running status after the first.
      {"running status",
       File(0, {{0x00, 0x90, 60, 100, 0x83, 0x60, 64, 90, 0x00, 60, 0, 0x00, 0xFF, 0x2F, 0x00}}),
       "0.0000: 90 60 100; 0.5000: 90 64 90; 0.5000: 90 60 0; "},
      // Track 0 sets 60 beats per minute at tick 0 and 240 at tick 480; the note at tick 960
      // comes 480 ticks at 1 s per quarter and 480 at 0.25 s per quarter later: at 1.25 s.
      {"tempo map",
       File(1, {{0x00, 0xFF, 0x51, 0x03, 0x0F, 0x42, 0x40, 0x83, 0x60, 0xFF, 0x51, 0x03, 0x03, 0xD0,
                 0x90, 0x00, 0xFF, 0x2F, 0x00},
                {0x87, 0x40, 0x91, 62, 80, 0x00, 0xFF, 0x2F, 0x00}}),
       "1.2500: 91 62 80; "},
      // A program change has one data byte.
      {"sysex and meta skipped",
       File(0, {{0x00, 0xF0, 0x03, 0x7E, 0x7F, 0xF7, 0x00, 0xFF, 0x01, 0x02, 'h', 'i',
                 0x00, 0xB0, 7,    100,  0x00, 0xC0, 5,    0x00, 0xE0, 0,    64}}),
       "0.0000: B0 7 100; 0.0000: C0 5 0; 0.0000: E0 0 64; "},
      {"not a MIDI file", {'R', 'I', 'F', 'F'}, "refused"},
      {"format 2", File(2, {{0x00, 0xFF, 0x2F, 0x00}}), "refused"},
      // Truncated events and lengths past the end stop the track instead of reading beyond it.
      {"truncated event", File(0, {{0x00, 0x90, 60}}), ""},
      {"meta past the end", File(0, {{0x00, 0xFF, 0x01, 0x7F, 'x'}}), ""},
      {"written demo phrase", WriteMidiFile(DemoPhrase()), Text(DemoPhrase())},
  };
  for (const auto& c : cases) EXPECT_EQ(Read(c.data), c.expected) << c.label;
}

}  // namespace
}  // namespace vellicor::host
