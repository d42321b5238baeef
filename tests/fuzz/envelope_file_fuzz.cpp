// Envelope files (*.env): whatever a file holds, what loads is an envelope the editor could
// have drawn.
#include <cmath>

#include "patch/envelope_file.h"
#include "tests/fuzz/check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  using namespace vellicor;
  return fuzz::ReadText(
      bytes, size, envelope_file::Parse, [](const envelope_file::EnvelopeFile& f) {
        const envelope_edit::Envelope& e = f.envelope;
        fuzz::Check(e.last >= 1 && e.last <= envelope_edit::kMaxLast, "last point", e.last);
        fuzz::Check(e.loop_start >= 0 && e.loop_start <= e.loop_end && e.loop_end <= e.last,
                    "loop points", e.loop_start * 100 + e.loop_end);
        fuzz::Check(f.length >= 0.0f && f.length <= 1.0f, "length");
        fuzz::Check(e.time[0] == 0.0f && e.time[e.last] == 1.0f, "end point times");
        for (int j = 0; j < envelope_edit::kPoints; ++j) {
          fuzz::Check(e.level[j] >= 0.0f && e.level[j] <= 1.0f, "level", j);
          fuzz::Check(e.curve[j] >= 0.0f && e.curve[j] <= 1.0f, "curve", j);
          fuzz::Check(e.time[j] >= 0.0f && e.time[j] <= 1.0f, "time", j);
          if (j > 0 && j <= e.last) fuzz::Check(e.time[j] > e.time[j - 1], "times increase", j);
        }
      });
}
