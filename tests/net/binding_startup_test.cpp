// The binding and the Winsock start-up: whether the library is started while
// loaded, a failing start-up, and the unloading at program end. Uses the Linux
// stand-in's start-up injection.
#include <gtest/gtest.h>

#include <cstdlib>

#include "NetTestUtil.h"
#include "net/WSocket.h"

namespace {

using nettest::SocketErrorOf;

class WinsockStartup : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LiveSocketCount(), 0);
    UnloadWinsock();
  }
  void TearDown() override {
    winsock::testing::FailStartup(0);
    UnloadWinsock();
  }
};

TEST_F(WinsockStartup, StartedWhileLoadedOnly) {
  EXPECT_FALSE(winsock::testing::Started());
  EXPECT_EQ(LookupWinsockProc(""), nullptr);
  EXPECT_TRUE(winsock::testing::Started());
  UnloadWinsock();
  EXPECT_FALSE(winsock::testing::Started());
}

TEST_F(WinsockStartup, StartupFailureKeepsTheLibraryLoadedAndIsNotRetried) {
  winsock::testing::FailStartup(winsock::WSASYSNOTREADY);
  EXPECT_EQ(SocketErrorOf([] { LookupWinsockProc("socket"); }),
            "wsock32.dll: WSAStartup error #10091");
  EXPECT_TRUE(WinsockLoaded());
  EXPECT_FALSE(winsock::testing::Started());

  // The next call finds the library loaded and only looks its procedure up.
  winsock::testing::FailStartup(0);
  EXPECT_NE(LookupWinsockProc("socket"), nullptr);
  EXPECT_FALSE(winsock::testing::Started());
  // Winsock itself now refuses, with its own code.
  EXPECT_EQ(WSocket_socket(winsock::AF_INET, winsock::SOCK_DGRAM, 17), winsock::INVALID_SOCKET);
  EXPECT_EQ(WSocket_WSAGetLastError(), winsock::WSANOTINITIALISED);

  // After unloading, the next use starts afresh.
  UnloadWinsock();
  EXPECT_NE(LookupWinsockProc("socket"), nullptr);
  EXPECT_TRUE(winsock::testing::Started());
}

// Runs after the unit's own handler, which is registered later: handlers run in reverse.
void ExitWithWinsockState() { std::_Exit(WinsockLoaded() || winsock::testing::Started() ? 8 : 7); }

TEST(WinsockBindingAtExit, ALibraryLoadedByAResolverIsUnloadedAtProgramEnd) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";  // a fresh process
  EXPECT_EXIT(
      {
        std::atexit(ExitWithWinsockState);
        WSocketResolveHost("localhost");
        if (!WinsockLoaded()) std::_Exit(9);
        std::exit(0);
      },
      ::testing::ExitedWithCode(7), "");
}

}  // namespace
