// Window tests skip on a machine without a display. The test command always provides one and
// says so (VELLICOR_TEST_DISPLAY=1): there a window or tool that cannot be had fails the test,
// so a window backend that stopped making windows cannot pass unseen as a row of skips.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

inline bool DisplayPromised() {
  return std::getenv("VELLICOR_TEST_DISPLAY") != nullptr;
}

#define VELLICOR_SKIP_UNLESS(available, what)                        \
  do {                                                               \
    if (available) break;                                            \
    if (DisplayPromised()) FAIL() << what << " in the test command"; \
    GTEST_SKIP() << what;                                            \
  } while (false)
