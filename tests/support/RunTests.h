// How every test program of the suite runs its tests: a skipped test is
// listed with its reason, and under CI=true it fails the program, so that a
// machine missing a package or a privilege cannot pass green.
#pragma once

namespace testsupport {

// RUN_ALL_TESTS(), after testing::InitGoogleTest(); its status, or 1 when
// CI=true and a test was skipped.
int RunTests();

}  // namespace testsupport
