// The lanes' loop reading the waves' band-limited copies (the alias-free mode) for steady runs
// without FM, pulse-width modulation, noise waves or fades: most runs of a held chord, and the
// loop with the least code to keep in the registers.
#include "engine/lanes_run.h"

namespace vellicor {

VELLICOR_RUN_LANES_SIMPLE(1, true)
VELLICOR_RUN_LANES_SIMPLE(2, true)

}  // namespace vellicor
