// main() for test programs that start private JACK servers: enters a private
// /dev/shm before any thread exists, then runs the tests.
#include <gtest/gtest.h>

#include "tests/support/PrivateShm.h"
#include "tests/support/RunTests.h"

int main(int argc, char** argv) {
  testjack::EnterPrivateShm();
  testing::InitGoogleTest(&argc, argv);
  return testsupport::RunTests();
}
