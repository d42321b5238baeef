#include "lv2/parameter_ports.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "patch/text_number.h"
#include "plugin/uPlugin.h"

namespace vellicor::lv2 {

namespace {

struct Named {
  int index;
  const char* name;
};

// Single settings the frame leaves unnamed.
constexpr Named kSingles[] = {
    {0, "Voice mode"},
    {3, "Main envelope"},
    {7, "Arp order"},
    {8, "Arp octaves"},
    {9, "LFO restart"},
    {10, "LFO key tracking"},
    {14, "Envelope key tracking"},
    {15, "MIDI learn command"},
    {16, "MIDI learn target"},
    {17, "MIDI learn controller"},
    {18, "All notes off"},
    {19, "Volume LFO"},
    {20, "Pan LFO"},
    {39, "Osc 1 wave"},
    {40, "Osc 1 octave"},
    {46, "Osc 1 FM source"},
    {49, "Osc 1 amplitude envelope"},
    {50, "Osc 1 pitch envelope"},
    {52, "Osc 1 FM envelope"},
    {53, "Osc 1 volume LFO"},
    {54, "Osc 1 pitch LFO"},
    {59, "Osc 2 wave"},
    {60, "Osc 2 octave"},
    {66, "Osc 2 FM source"},
    {70, "Osc 2 amplitude envelope"},
    {71, "Osc 2 pitch envelope"},
    {73, "Osc 2 FM envelope"},
    {74, "Osc 2 volume LFO"},
    {75, "Osc 2 pitch LFO"},
    {77, "Ring modulation"},
    {131, "Filter 1 envelope select"},
    {132, "Filter 1 LFO select"},
    {169, "LFO shown"},
    {219, "Envelope shown"},
    {1597, "Evolver amount"},
    {1598, "Evolver level"},
};

// Blocks of one value per LFO (5) or per envelope slot (20).
struct Block {
  int first;
  int count;
  const char* unit;  // "LFO" or "Env"
  const char* what;
};

constexpr Block kBlocks[] = {
    {170, 5, "LFO", "wave"},           {175, 5, "LFO", "period"},
    {180, 5, "LFO", "amplitude"},      {190, 5, "LFO", "amplitude envelope"},
    {195, 5, "LFO", "speed envelope"}, {205, 5, "LFO", "sample and hold"},
    {230, 20, "Env", "sustain loop"},  {250, 20, "Env", "length"},
    {270, 20, "Env", "loop start"},    {290, 20, "Env", "loop end"},
    {310, 20, "Env", "last point"},
};

// Point blocks: 20 points per envelope. Times stop where the levels begin (18 envelopes).
struct PointBlock {
  int first;
  int last;
  const char* what;
};

constexpr PointBlock kPointBlocks[] = {
    {350, 709, "time"},
    {710, 1109, "level"},
    {1110, 1509, "curve"},
};

}  // namespace

std::string PortName(int index) {
  if (const char* name = ParameterName(index); name[0] != 0) return name;
  for (const Named& single : kSingles) {
    if (single.index == index) return single.name;
  }
  char text[64];
  for (const Block& block : kBlocks) {
    if (index >= block.first && index < block.first + block.count) {
      std::snprintf(text, sizeof text, "%s %d %s", block.unit, index - block.first + 1, block.what);
      return text;
    }
  }
  for (const PointBlock& block : kPointBlocks) {
    if (index >= block.first && index <= block.last) {
      const int offset = index - block.first;
      std::snprintf(text, sizeof text, "Env %d point %d %s", offset / 20 + 1, offset % 20 + 1,
                    block.what);
      return text;
    }
  }
  std::snprintf(text, sizeof text, "Spare %d", index);
  return text;
}

std::string PortSymbol(int index) {
  char text[16];
  std::snprintf(text, sizeof text, "p%04d", index);
  return text;
}

}  // namespace vellicor::lv2

namespace vellicor::lv2 {

std::string ValuesText(const float* values, int count) {
  std::string text;
  text.reserve(static_cast<size_t>(count) * (text_number::kFixedWidth + 1));
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += ' ';
    text += text_number::FormatFixed(values[i]);
  }
  return text;
}

bool ParseValuesText(std::string_view text, float* values, int count) {
  std::vector<float> parsed;
  parsed.reserve(static_cast<size_t>(count));
  size_t at = 0;
  while (at < text.size()) {
    const size_t start = text.find_first_not_of(" \t\r\n", at);
    if (start == std::string_view::npos) break;
    size_t end = text.find_first_of(" \t\r\n", start);
    if (end == std::string_view::npos) end = text.size();
    const auto number = text_number::Parse(text.substr(start, end - start));
    if (!number || static_cast<int>(parsed.size()) == count) return false;
    parsed.push_back(static_cast<float>(*number));
    at = end;
  }
  if (static_cast<int>(parsed.size()) != count) return false;
  std::copy(parsed.begin(), parsed.end(), values);
  return true;
}

std::string NamesText(const std::string* names, int count) {
  std::string text;
  for (int i = 0; i < count; ++i) {
    for (const char c : names[i]) text += (c == '\n' || c == '\r') ? ' ' : c;
    text += '\n';
  }
  return text;
}

}  // namespace vellicor::lv2
