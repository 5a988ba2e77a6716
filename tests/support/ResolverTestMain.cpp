// main() of test programs that look names up: every lookup is answered from a
// private hosts file (see PrivateResolver.h), then GoogleTest runs.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/PrivateResolver.h"
#include "tests/support/RunTests.h"

int main(int argc, char** argv) {
  if (!testresolver::EnterPrivateResolver(testresolver::kTestHosts))
    std::fprintf(stderr, "note: lookups use the machine's own files (%s)\n",
                 testresolver::PrivateResolverError().c_str());
  testing::InitGoogleTest(&argc, argv);
  return testsupport::RunTests();
}
