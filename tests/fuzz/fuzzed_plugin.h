// The plug-in as the fuzz targets drive it: one instance reached only through its effect
// record, a host callback that answers like a plain host, and the promises every call keeps:
// samples finite and within +-1, parameters within 0..1, strings of at most 63 characters,
// the host's fields of the record untouched. A broken promise aborts, which libFuzzer reports
// with the input that did it.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <vector>

#include "tests/fuzz/check.h"
#include "vst/vst2.h"

namespace vellicor::fuzz {

// What the fuzzed host answers; the targets may change it between calls.
struct HostAnswers {
  intptr_t tempo_times_10000 = 1200000;
  bool has_time_info = true;
};

// Two instances live through the whole run like long host sessions, one with its editor open
// (off-screen) all along: making an instance or an editor takes tens of milliseconds, too long
// to do per input. So the values earlier inputs set stay; each input starts with all notes off,
// 44.1 kHz, 512 frames and the host's tempo 120.
class FuzzedPlugin {
 public:
  static FuzzedPlugin& Instance(bool editor_open);
  void StartInput();

  FuzzedPlugin(const FuzzedPlugin&) = delete;
  FuzzedPlugin& operator=(const FuzzedPlugin&) = delete;

  HostAnswers& host();

  intptr_t Dispatch(int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
  void SetParameter(int32_t index, float value);
  float GetParameter(int32_t index);  // checked: 0..1
  // Renders with processReplacing over garbage, or process over silence; checks every sample
  // and that nothing is written past `frames`.
  void Render(int32_t frames, bool replacing);

 private:
  explicit FuzzedPlugin(bool editor_open);
  void CheckRecord();

  vst::AEffect* effect_ = nullptr;
  std::vector<float> left_, right_;
};

// A well-formed event list (what any host sends) with fuzzed contents: MIDI events of any
// bytes, sizes and offsets, now and then a SysEx, an event of an unknown type or a null entry;
// now and then a count that is negative or absurd, where the plug-in must read none of it.
class FuzzedEvents {
 public:
  explicit FuzzedEvents(FuzzedDataProvider& data, int max_events = 48);
  vst::VstEvents* list() { return reinterpret_cast<vst::VstEvents*>(storage_.data()); }

 private:
  std::vector<vst::VstMidiEvent> events_;
  std::vector<uint64_t> storage_;  // the header and the pointer array, suitably aligned
};

// A float from the input: mostly within 0..1, sometimes any bit pattern (NaN, infinities).
float FuzzedValue(FuzzedDataProvider& data);

}  // namespace vellicor::fuzz
