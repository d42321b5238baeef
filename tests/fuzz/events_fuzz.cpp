// Event lists as hosts send them, block after block, in every voice mode and arpeggiator
// setting: notes, controllers (learning, the all-off controller), bends and stray bytes, with
// the host's tempo moving. Every sample stays finite and within +-1.
#include "tests/fuzz/fuzzed_plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace vellicor::fuzz;
  FuzzedDataProvider data(bytes, size);
  FuzzedPlugin& plugin = FuzzedPlugin::Instance(false);
  plugin.StartInput();
  plugin.Dispatch(vst::effSetProgram, 0, data.ConsumeIntegralInRange(0, 15), nullptr, 0.0f);
  // Voice mode, tempo (below 0.025 follows the host), arpeggiator length, gate, order, octaves.
  for (int index : {0, 2, 5, 6, 7, 8}) plugin.SetParameter(index, data.ConsumeProbability<float>());
  for (int block = 0; block < 32 && data.remaining_bytes() > 0; ++block) {
    if (data.ConsumeIntegralInRange(0, 7) == 0) {
      plugin.SetParameter(data.ConsumeIntegralInRange(0, 15), data.ConsumeProbability<float>());
      plugin.host().tempo_times_10000 = data.ConsumeIntegral<int32_t>();
    }
    FuzzedEvents events(data);
    plugin.Dispatch(vst::effProcessEvents, 0, 0, events.list(), 0.0f);
    plugin.Render(data.ConsumeIntegralInRange<int32_t>(0, 1024), data.ConsumeBool());
  }
  plugin.Render(512, true);
  return 0;
}
