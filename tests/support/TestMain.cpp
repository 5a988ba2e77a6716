// main() of the test programs that need nothing entered first.
#include <gtest/gtest.h>

#include "tests/support/RunTests.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  return testsupport::RunTests();
}
