// Rendering a timed MIDI sequence through a loaded plug-in, block by block, as a host does.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "host/midi_file.h"
#include "host/plugin_loader.h"

namespace vellicor::host {

struct RenderSettings {
  double sample_rate = 44100.0;
  int block_size = 512;
  int program = 0;
  double tail_seconds = 2.0;                      // rendered after the last message
  std::vector<std::pair<int, float>> parameters;  // applied after program selection
};

// Prepares the plug-in as a host does before playback: sample rate, block size, program,
// the given parameters, then resume.
void PreparePlugin(Plugin& plugin, const RenderSettings& settings);

// Renders the messages (already sorted by time) and returns the two channels.
void RenderSequence(Plugin& plugin, const std::vector<TimedMessage>& messages,
                    const RenderSettings& settings, std::vector<float>* left,
                    std::vector<float>* right);

// Reads "index value" lines (blank lines and lines starting with # are skipped).
bool ReadPatchFile(const std::string& path, std::vector<std::pair<int, float>>* values,
                   std::string* error);

}  // namespace vellicor::host
