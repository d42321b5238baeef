// Envelope files (*.env): one envelope as 64 text lines, each ended by CR LF. Lines 1 to 3 are
// the last point, loop start and loop end as plain integers; line 4 the envelope's length value
// as stored in the patch (0..1); then time, level and curve of each of the twenty point slots,
// whatever the number of points. Reals take the fixed 23-character scientific form of
// patch/text_number.h, so a file reads the same on every target.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "patch/envelope_edit.h"

namespace vellicor::envelope_file {

constexpr int kLines = 64;
// Larger files are no envelope files; they are not read at all.
constexpr size_t kMaxBytes = 64 * 1024;

struct EnvelopeFile {
  envelope_edit::Envelope envelope;
  float length = 0.0f;  // the length value, 0..1
};

std::string Format(const envelope_edit::Envelope& envelope, float length);

// The envelope of a file's text, every value limited to what the editor itself could store:
// last point 1..19, loop points within 0..last with start <= end, point 0 at time 0 and the
// last at time 1 with the times between increasing, levels, curves and the length in 0..1.
// Nothing for a text of fewer than 64 lines or with a line that is not a number.
std::optional<EnvelopeFile> Parse(std::string_view text);

}  // namespace vellicor::envelope_file
