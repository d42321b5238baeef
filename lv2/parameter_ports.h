// The LV2 face of the 1,599 host parameters: a name and a symbol per index. Indices the
// VST 2 frame names keep that name; the others get a descriptive one of ours from the record's
// layout. Symbols are the index ("p0042"), so they never change when a name is improved and a
// host's saved sessions keep working.
#pragma once

#include <string>
#include <string_view>

namespace vellicor::lv2 {

// Port indices of the plug-in: the control ports come first, at the parameter's own index.
constexpr int kControlPortCount = 1599;  // the host parameters, 0..1598
constexpr int kMidiInPort = 1599;
constexpr int kLeftOutPort = 1600;
constexpr int kRightOutPort = 1601;
constexpr int kNotifyPort = 1602;
constexpr int kPortCount = 1603;

constexpr char kPluginUri[] = "urn:quorrel:vellicor";
constexpr char kUiUri[] = "urn:quorrel:vellicor#ui";
// State keys and the message kinds between the plug-in and its UI.
constexpr char kValuesUri[] = "urn:quorrel:vellicor#values";
constexpr char kProgramUri[] = "urn:quorrel:vellicor#program";
constexpr char kProgramNamesUri[] = "urn:quorrel:vellicor#programNames";
constexpr char kControllerMapUri[] = "urn:quorrel:vellicor#controllerMap";
constexpr char kGetControllerMapUri[] = "urn:quorrel:vellicor#getControllerMap";

// The port's name ("Main volume", "Env 1 point 3 level", ...); index 0..1598.
std::string PortName(int index);
// "p0000".."p1598".
std::string PortSymbol(int index);

}  // namespace vellicor::lv2

namespace vellicor::lv2 {

// The state's texts. Values: numbers in the fixed form of our text files, one blank apart, the
// same bytes in every locale. Names: one per line.
std::string ValuesText(const float* values, int count);
// Exactly `count` numbers, each finite; false (and `values` untouched) otherwise.
bool ParseValuesText(std::string_view text, float* values, int count);
std::string NamesText(const std::string* names, int count);

}  // namespace vellicor::lv2
