#include "host/render.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace vellicor::host {

void PreparePlugin(Plugin& plugin, const RenderSettings& settings) {
  plugin.sample_rate = settings.sample_rate;
  plugin.block_size = settings.block_size;
  plugin.Dispatch(vst::effOpen);
  plugin.Dispatch(vst::effSetSampleRate, 0, 0, nullptr, static_cast<float>(settings.sample_rate));
  plugin.Dispatch(vst::effSetBlockSize, 0, settings.block_size);
  // The plug-in takes a new sample rate over when a program is selected.
  plugin.Dispatch(vst::effSetProgram, 0, settings.program);
  for (const auto& [index, value] : settings.parameters) plugin.SetParameter(index, value);
  plugin.Dispatch(vst::effMainsChanged, 0, 1);
}

void RenderSequence(Plugin& plugin, const std::vector<TimedMessage>& messages,
                    const RenderSettings& settings, std::vector<float>* left,
                    std::vector<float>* right) {
  const double rate = settings.sample_rate;
  const double end_seconds =
      (messages.empty() ? 0.0 : messages.back().seconds) + std::max(0.0, settings.tail_seconds);
  const int64_t total = static_cast<int64_t>(std::ceil(end_seconds * rate));
  left->assign(static_cast<size_t>(total), 0.0f);
  right->assign(static_cast<size_t>(total), 0.0f);
  const int block = std::max(1, settings.block_size);
  size_t next = 0;
  std::vector<MidiMessage> pending;
  for (int64_t start = 0; start < total; start += block) {
    const int frames = static_cast<int>(std::min<int64_t>(block, total - start));
    pending.clear();
    while (next < messages.size() &&
           static_cast<int64_t>(std::floor(messages[next].seconds * rate)) < start + frames) {
      MidiMessage m;
      std::copy(messages[next].bytes, messages[next].bytes + 3, m.bytes);
      const int64_t at = static_cast<int64_t>(std::floor(messages[next].seconds * rate));
      m.delta_frames = static_cast<int32_t>(std::clamp<int64_t>(at - start, 0, frames - 1));
      pending.push_back(m);
      ++next;
    }
    plugin.SendMidi(pending);
    plugin.Render(left->data() + start, right->data() + start, frames);
  }
}

bool ReadPatchFile(const std::string& path, std::vector<std::pair<int, float>>* values,
                   std::string* error) {
  std::ifstream file(path);
  if (!file) {
    *error = "cannot open patch file " + path;
    return false;
  }
  std::string line;
  int number = 0;
  while (std::getline(file, line)) {
    ++number;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::istringstream fields(line);
    int index;
    float value;
    if (!(fields >> index >> value)) {
      *error = path + ":" + std::to_string(number) + ": expected 'index value'";
      return false;
    }
    values->emplace_back(index, value);
  }
  return true;
}

}  // namespace vellicor::host
