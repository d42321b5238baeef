// The controller-map file (*.mmp): the controller bound to each of the learnable parameters
// (the first param::kLearnableCount indices), one line each, as controller / 255 in the
// fixed-width number form of our text files (patch/text_number.h), every line ended by CR LF. No
// header, no count, no version: the format other tools and older saves already use.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "parameters/parameter_table.h"

namespace vellicor::controller_map {

// Lines in a file: the map slots an editor request can address (slot = round(255 * value)).
constexpr int kFileEntries = param::kLearnableCount;
// A file larger than this is not a map file; reading stops there.
constexpr size_t kMaxFileBytes = 64 * 1024;

// Controller numbers 0..127, or kNoController (255) for none, for the learnable parameters.
using Entries = std::array<int, kFileEntries>;
// What a file asks for each slot: the controller as a fraction, limited to 0..1, exactly what
// the editor sends as the controller of an assign request.
using FileValues = std::array<float, kFileEntries>;

// The factory map's first 256 entries (the same assignments the plug-in makes at construction).
Entries FactoryEntries();

// The file's bytes for a map.
std::string Format(const Entries& entries);

// The values of a file: nothing when it has fewer than 256 lines or any of the first 256 is not
// a number. Lines past the 256th are ignored; each value is limited to 0..1, so no request made
// from it can name a controller outside 0..255.
std::optional<FileValues> Parse(std::string_view text);

// The controller the plug-in binds for a sent value: round(255 * value).
int ControllerOf(float value);

}  // namespace vellicor::controller_map
