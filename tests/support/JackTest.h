// For tests that need a private JACK server (link vorlanx_test_jack_main).
#pragma once

#include <gtest/gtest.h>

#include "tests/support/JackServer.h"
#include "tests/support/MidiReceiver.h"
#include "tests/support/PrivateShm.h"

// Skips the test where no private /dev/shm could be had (not root, no user
// namespaces); as root, as in CI, the tests always run.
#define VORLANX_REQUIRE_PRIVATE_SHM()                                              \
  do {                                                                             \
    if (!testjack::PrivateShmReady()) GTEST_SKIP() << testjack::PrivateShmError(); \
  } while (0)
