// main() of the documents' tests: lookups answered from a private hosts file
// that also knows the names the examples use, and a private /dev/shm for the
// JACK server, both entered before any thread starts.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "DocsFixture.h"
#include "tests/support/PrivateResolver.h"
#include "tests/support/PrivateShm.h"

int main(int argc, char** argv) {
  if (!testresolver::EnterPrivateResolver(std::string(testresolver::kTestHosts) + "\n" +
                                          docs::kDocHosts))
    std::fprintf(stderr, "note: no private hosts file (%s)\n",
                 testresolver::PrivateResolverError().c_str());
  testjack::EnterPrivateShm();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
