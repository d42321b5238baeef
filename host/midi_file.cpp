#include "host/midi_file.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

namespace vellicor::host {
namespace {

struct Reader {
  const std::vector<uint8_t>& data;
  size_t pos;
  size_t end;

  bool Has(size_t n) const { return pos <= end && end - pos >= n; }
  uint32_t Big(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | data[pos++];
    return value;
  }
  bool VarLen(uint32_t* value) {
    *value = 0;
    for (int i = 0; i < 4; ++i) {
      if (!Has(1)) return false;
      const uint8_t byte = data[pos++];
      *value = (*value << 7) | (byte & 0x7F);
      if (!(byte & 0x80)) return true;
    }
    return false;
  }
};

struct TickEvent {
  uint64_t tick;
  int track;
  size_t order;
  bool is_tempo;
  uint32_t tempo_us;  // microseconds per quarter, for tempo events
  uint8_t bytes[3];
};

int DataBytes(uint8_t status) {
  switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
      return 1;
    default:
      return 2;
  }
}

}  // namespace

bool ParseMidiFile(const std::vector<uint8_t>& data, std::vector<TimedMessage>* messages,
                   std::string* error) {
  messages->clear();
  Reader header{data, 0, data.size()};
  if (!header.Has(14) || data[0] != 'M' || data[1] != 'T' || data[2] != 'h' || data[3] != 'd') {
    *error = "not a Standard MIDI File (no MThd header)";
    return false;
  }
  header.pos = 4;
  const uint32_t header_length = header.Big(4);
  if (header_length < 6 || !header.Has(header_length)) {
    *error = "truncated MIDI header";
    return false;
  }
  const uint32_t format = header.Big(2);
  const uint32_t track_count = header.Big(2);
  const uint32_t division = header.Big(2);
  header.pos = 8 + header_length;
  if (format > 1) {
    *error = "MIDI format " + std::to_string(format) + " is not supported (only 0 and 1)";
    return false;
  }
  if (division == 0) {
    *error = "MIDI division of 0";
    return false;
  }
  // SMPTE divisions count ticks per second; store them as a fixed tick length.
  double smpte_seconds_per_tick = 0.0;
  if (division & 0x8000) {
    const int frames = 256 - static_cast<int>((division >> 8) & 0xFF);
    const int ticks_per_frame = static_cast<int>(division & 0xFF);
    if (frames <= 0 || ticks_per_frame <= 0) {
      *error = "bad SMPTE division";
      return false;
    }
    smpte_seconds_per_tick = 1.0 / (frames * ticks_per_frame);
  }

  std::vector<TickEvent> events;
  size_t pos = header.pos;
  for (uint32_t track = 0; track < track_count; ++track) {
    Reader chunk{data, pos, data.size()};
    if (!chunk.Has(8)) break;  // fewer tracks than announced: use what is there
    const bool is_track =
        data[pos] == 'M' && data[pos + 1] == 'T' && data[pos + 2] == 'r' && data[pos + 3] == 'k';
    chunk.pos += 4;
    const uint32_t length = chunk.Big(4);
    const size_t start = chunk.pos;
    const size_t stop = std::min(data.size(), start + static_cast<size_t>(length));
    pos = stop;
    if (!is_track) {
      --track;  // unknown chunks are skipped and do not count as tracks
      if (stop >= data.size()) break;
      continue;
    }
    Reader r{data, start, stop};
    uint64_t tick = 0;
    uint8_t running = 0;
    while (r.Has(1)) {
      uint32_t delta;
      if (!r.VarLen(&delta)) break;
      tick += delta;
      if (!r.Has(1)) break;
      uint8_t status = data[r.pos];
      if (status & 0x80) {
        ++r.pos;
      } else {
        if (!running) {
          *error = "running status without a status byte";
          return false;
        }
        status = running;
      }
      if (status == 0xFF) {
        if (!r.Has(1)) break;
        const uint8_t type = data[r.pos++];
        uint32_t len;
        if (!r.VarLen(&len) || !r.Has(len)) break;
        if (type == 0x51 && len == 3) {
          TickEvent e{tick, static_cast<int>(track), events.size(), true, 0, {0, 0, 0}};
          e.tempo_us = (static_cast<uint32_t>(data[r.pos]) << 16) |
                       (static_cast<uint32_t>(data[r.pos + 1]) << 8) | data[r.pos + 2];
          if (e.tempo_us > 0) events.push_back(e);
        }
        r.pos += len;
        if (type == 0x2F) break;  // end of track
        continue;
      }
      if (status == 0xF0 || status == 0xF7) {
        uint32_t len;
        if (!r.VarLen(&len) || !r.Has(len)) break;
        r.pos += len;
        running = 0;
        continue;
      }
      if (status >= 0xF0) {
        running = 0;  // other system messages carry no data in files
        continue;
      }
      running = status;
      const int count = DataBytes(status);
      if (!r.Has(static_cast<size_t>(count))) break;
      TickEvent e{tick, static_cast<int>(track), events.size(), false, 0, {status, 0, 0}};
      e.bytes[1] = data[r.pos++] & 0x7F;
      if (count == 2) e.bytes[2] = data[r.pos++] & 0x7F;
      events.push_back(e);
    }
  }

  std::stable_sort(events.begin(), events.end(), [](const TickEvent& a, const TickEvent& b) {
    if (a.tick != b.tick) return a.tick < b.tick;
    if (a.is_tempo != b.is_tempo) return a.is_tempo;  // tempo first at equal ticks
    return a.order < b.order;
  });
  double seconds = 0.0;
  uint64_t last_tick = 0;
  double seconds_per_tick =
      smpte_seconds_per_tick > 0 ? smpte_seconds_per_tick : 0.5 / static_cast<double>(division);
  for (const TickEvent& e : events) {
    seconds += static_cast<double>(e.tick - last_tick) * seconds_per_tick;
    last_tick = e.tick;
    if (e.is_tempo) {
      if (smpte_seconds_per_tick == 0.0) {
        seconds_per_tick = e.tempo_us / 1e6 / static_cast<double>(division);
      }
      continue;
    }
    TimedMessage m;
    m.seconds = seconds;
    std::copy(e.bytes, e.bytes + 3, m.bytes);
    messages->push_back(m);
  }
  return true;
}

bool ReadMidiFile(const std::string& path, std::vector<TimedMessage>* messages,
                  std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
  return ParseMidiFile(data, messages, error);
}

std::vector<TimedMessage> DemoPhrase() {
  // Four bars at 120 beats per minute: a chord per bar under an eighth-note melody.
  std::vector<TimedMessage> out;
  auto note = [&out](double start, double length, int key, int velocity) {
    out.push_back({start, {0x90, static_cast<uint8_t>(key), static_cast<uint8_t>(velocity)}});
    out.push_back({start + length, {0x80, static_cast<uint8_t>(key), 0}});
  };
  const int chords[4][3] = {{48, 55, 64}, {45, 52, 60}, {41, 48, 57}, {43, 50, 59}};
  const int melody[16] = {72, 74, 76, 79, 76, 74, 72, 69, 72, 74, 77, 76, 74, 71, 72, 74};
  for (int bar = 0; bar < 4; ++bar) {
    for (int key : chords[bar]) note(bar * 2.0, 1.9, key, 80);
    for (int step = 0; step < 4; ++step) {
      note(bar * 2.0 + step * 0.5, 0.45, melody[bar * 4 + step], 100);
    }
  }
  note(8.0, 2.0, 48, 90);
  note(8.0, 2.0, 60, 90);
  note(8.0, 2.0, 67, 90);
  std::stable_sort(out.begin(), out.end(), [](const TimedMessage& a, const TimedMessage& b) {
    return a.seconds < b.seconds;
  });
  return out;
}

std::vector<uint8_t> WriteMidiFile(const std::vector<TimedMessage>& messages) {
  std::vector<uint8_t> track;
  auto var_len = [&track](uint32_t value) {
    uint8_t bytes[5];
    int n = 0;
    bytes[n++] = value & 0x7F;
    while (value >>= 7) bytes[n++] = static_cast<uint8_t>((value & 0x7F) | 0x80);
    while (n) track.push_back(bytes[--n]);
  };
  const double ticks_per_second = 960.0;  // 480 per quarter at 120 beats per minute
  uint64_t last = 0;
  for (const TimedMessage& m : messages) {
    const uint64_t tick = static_cast<uint64_t>(std::llround(m.seconds * ticks_per_second));
    var_len(static_cast<uint32_t>(tick - std::min(tick, last)));
    last = std::max(last, tick);
    track.push_back(m.bytes[0]);
    track.push_back(m.bytes[1]);
    if (DataBytes(m.bytes[0]) == 2) track.push_back(m.bytes[2]);
  }
  var_len(0);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                               0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
  const uint32_t size = static_cast<uint32_t>(track.size());
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back((size >> shift) & 0xFF);
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

}  // namespace vellicor::host
