// The core's state reader: whatever bytes a host hands back, a state is either taken whole (and
// then every value is in range and the instance still renders finite, bounded samples) or
// refused with nothing changed.
#include <cmath>
#include <memory>
#include <span>
#include <vector>

#include "core/synth.h"
#include "tests/fuzz/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace vellicor;
  static Synth* synth = new Synth();
  const std::vector<uint8_t> before = synth->SaveState();
  if (!synth->LoadState(std::span<const uint8_t>(bytes, size))) {
    fuzz::Check(synth->SaveState() == before, "a refused state changed the instance");
    return 0;
  }
  for (int i = 0; i < param::kPatchSize; ++i) {
    const float v = synth->Value(i);
    fuzz::Check(v >= 0.0f && v <= 1.0f, "a value outside 0..1 at index", i);
  }
  fuzz::Check(state::Decode(synth->SaveState()).has_value(), "a taken state saves unreadable");
  float left[256], right[256];
  const MidiEvent chord[] = {{0, {0x90, 48, 100}}, {17, {0x90, 64, 100}}, {100, {0x90, 67, 90}}};
  synth->Process(left, right, 256, false, chord);
  for (int i = 0; i < 256; ++i) {
    fuzz::Check(std::isfinite(left[i]) && std::isfinite(right[i]), "a sample not finite", i);
    fuzz::Check(std::fabs(left[i]) <= 1.0f && std::fabs(right[i]) <= 1.0f, "a sample past 1", i);
  }
  const uint8_t all_off[] = {0xB0, 126, 0};
  synth->Midi(all_off, 3);
  return 0;
}
