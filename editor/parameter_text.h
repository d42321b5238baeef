// Every parameter as text, the way the editor shows it, and back: what a format lists for a
// host, and the value of a text the host's user types. Plain functions of their arguments, for
// any thread but the audio thread (they build strings).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vellicor::editor::logic {

// The text the editor shows for parameter `index` (0..1599) at `value`:
// - a dial's or slider's read-out value ("2dB", "120bpm", "12.3%", "1/2 qb"), for every LFO's and
//   envelope's index of a control that shows the one its panel shows;
// - a selector's label ("SAW", "LEGATO", "ENV3", "NONE", "2 OCT"); where the selector's plate is
//   blank (a value no menu writes), the choice's number counted from 1 ("15");
// - "On" or "Off" for a switch;
// - for what no control shows (envelope points, spare indices, requests) the value with three
//   decimals ("0.500").
// `filter_type` is the filter type's value. Only the filter frequency reads it: its slider shows
// the tuning ("-12 semitones") for the tuned ring modulator and the comb filter, the cutoff
// otherwise, as with the default. Empty outside 0..1599; otherwise at most a few dozen
// characters.
std::string ParameterText(int index, float value, float filter_type = 0.0f);

// The value in 0..1 of a text for parameter `index`, read as ParameterText writes it:
// - a number with the parameter's unit or none ("2dB", "2", "120 bpm", "1.5kHz"; any case): the
//   exact inverse where the text's value has one, else the value whose text is closest;
// - a label of a choice, a length or a switch (any case): the value the editor's menus write
//   for it; a blank plate's number names its choice;
// - a plain number for what no control shows, limited to 0..1.
// Nothing for a text that does not parse for the parameter (another unit, an unknown label,
// no number). ParameterText(i, ParameterValue(i, ParameterText(i, v))) is ParameterText(i, v).
std::optional<float> ParameterValue(int index, std::string_view text, float filter_type = 0.0f);

}  // namespace vellicor::editor::logic
