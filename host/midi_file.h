// A small Standard MIDI File reader (formats 0 and 1, running status, tempo changes) and the
// built-in demo phrase. Channel messages come out as timed three-byte messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellicor::host {

struct TimedMessage {
  double seconds = 0.0;
  uint8_t bytes[3] = {0, 0, 0};
};

// Parses file contents; returns false with an error text on malformed data. Messages are
// sorted by time (stable, so file order is kept for equal times).
bool ParseMidiFile(const std::vector<uint8_t>& data, std::vector<TimedMessage>* messages,
                   std::string* error);
bool ReadMidiFile(const std::string& path, std::vector<TimedMessage>* messages, std::string* error);

// A short phrase (melody over chords, about eight seconds) for first listening.
std::vector<TimedMessage> DemoPhrase();

// Writes messages as a format-0 file at 480 ticks per quarter and 120 beats per minute.
std::vector<uint8_t> WriteMidiFile(const std::vector<TimedMessage>& messages);

}  // namespace vellicor::host
