// Checks that run Linux programs (python3, unzip, /bin/sh with ulimit): the
// Windows build, run under wine, cannot start them, so there the test is
// skipped by name and the Linux build runs it.
#pragma once

#include <gtest/gtest.h>

#ifdef _WIN32
#define SKIP_WITHOUT_OUTSIDE_TOOLS() \
  GTEST_SKIP() << "runs Linux programs (python3, unzip, sh), which the Linux build runs"
#else
#define SKIP_WITHOUT_OUTSIDE_TOOLS() static_cast<void>(0)
#endif
