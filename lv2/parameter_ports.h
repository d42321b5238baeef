// The LV2 face of the instrument: port indices (the 1,599 host parameters first, named and
// symbolled by the parameter table), the URIs of the plug-in, its UI, its state and the
// messages between them, and the texts of the state written before the core had one.
#pragma once

#include <string>
#include <string_view>

#include "parameters/parameter_table.h"

namespace vellicor::lv2 {

// Port indices of the plug-in: the control ports come first, at the parameter's own index.
constexpr int kControlPortCount = param::kHostParameterCount;  // 0..1598
constexpr int kMidiInPort = kControlPortCount;
constexpr int kLeftOutPort = kControlPortCount + 1;
constexpr int kRightOutPort = kControlPortCount + 2;
constexpr int kNotifyPort = kControlPortCount + 3;
constexpr int kPortCount = kControlPortCount + 4;

constexpr char kPluginUri[] = "urn:quorrel:vellicor";
constexpr char kUiUri[] = "urn:quorrel:vellicor#ui";
// State keys and the message kinds between the plug-in and its UI. The state is the core's
// bytes under kStateUri; states saved before carry kProgramUri, kValuesUri, kProgramNamesUri.
constexpr char kStateUri[] = "urn:quorrel:vellicor#state";
constexpr char kValuesUri[] = "urn:quorrel:vellicor#values";
constexpr char kProgramUri[] = "urn:quorrel:vellicor#program";
constexpr char kProgramNamesUri[] = "urn:quorrel:vellicor#programNames";
constexpr char kControllerMapUri[] = "urn:quorrel:vellicor#controllerMap";
constexpr char kGetControllerMapUri[] = "urn:quorrel:vellicor#getControllerMap";

// The values as text: numbers in the fixed form of our text files, one blank apart, the same
// bytes in every locale (the presets carry them; states saved before the core had one too).
std::string ValuesText(const float* values, int count);
// Exactly `count` numbers, each finite; false (and `values` untouched) otherwise.
bool ParseValuesText(std::string_view text, float* values, int count);

}  // namespace vellicor::lv2
