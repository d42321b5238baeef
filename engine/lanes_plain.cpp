// The lanes' loop reading the waves as they are.
#include "engine/lanes_run.h"

namespace vellicor {

VELLICOR_RUN_LANES(false)

}  // namespace vellicor
