// The lanes' loop reading the waves' band-limited copies (the alias-free mode), for steady runs of
// five to eight voices (two groups of lanes). The alias-free loop's instantiations are the slowest
// code to compile, so they are spread over several files that compile side by side.
#include "engine/lanes_run.h"

namespace vellicor {

VELLICOR_RUN_LANES_KINDS(2, true, true)

}  // namespace vellicor
