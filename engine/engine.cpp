#include "engine/engine.h"

#include <cstring>

namespace vellicor {

Engine::Engine(EngineHost* host) : host_(host) {}

void Engine::SetDefaults() {
  sample_rate_ = 44100.0f;
  tempo_ = 120.0f;
}

void Engine::BuildWaveTables() {}

void Engine::InitControllerMap() {
  for (auto& entry : controller_map_) entry = kNoController;
}

void Engine::OnParameterChanged(int /*index*/) {}

void Engine::SetSampleRate(float sample_rate) {
  sample_rate_ = sample_rate;
}

void Engine::ResetForProgramChange() {}

void Engine::RebuildEnvelopeTables() {}

void Engine::HandleMidi(uint8_t /*status*/, uint8_t /*data1*/, uint8_t /*data2*/) {}

void Engine::Render(float* left, float* right, int32_t frames, bool accumulate) {
  if (frames <= 0 || accumulate) return;
  std::memset(left, 0, sizeof(float) * static_cast<size_t>(frames));
  std::memset(right, 0, sizeof(float) * static_cast<size_t>(frames));
}

void Engine::Suspend() {}

int Engine::ControllerMap(int index) const {
  if (index < 0 || index >= kControllerMapSize) return kNoController;
  return controller_map_[index];
}

}  // namespace vellicor
