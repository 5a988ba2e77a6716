// The run-time binding of the Winsock library: loading, look-ups, unloading,
// and their failure texts (the library's own start-up: binding_startup_test).
#include <gtest/gtest.h>

#include "NetTestUtil.h"
#include "net/WSocket.h"

namespace {

using nettest::SocketErrorOf;

class WinsockBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LiveSocketCount(), 0);
    UnloadWinsock();
  }
  void TearDown() override {
    win32::testing::ResetLibraryFailures();
    UnloadWinsock();
  }
};

TEST_F(WinsockBinding, LoadsAndStartsOnFirstCallAndUnloadsCleanly) {
  EXPECT_FALSE(WinsockLoaded());
  EXPECT_EQ(LookupWinsockProc(""), nullptr);  // only loads
  EXPECT_TRUE(WinsockLoaded());
  EXPECT_EQ(win32::testing::LibraryLoadCount("wsock32.dll"), 1);
  EXPECT_NE(LookupWinsockProc("recvfrom"), nullptr);
  EXPECT_EQ(win32::testing::LibraryLoadCount("wsock32.dll"), 1);  // no second load

  UnloadWinsock();
  EXPECT_FALSE(WinsockLoaded());
  EXPECT_EQ(win32::testing::LibraryLoadCount("wsock32.dll"), 0);
  UnloadWinsock();  // nothing loaded: harmless
}

TEST_F(WinsockBinding, LoadFailureIsReportedAndRetriedOnTheNextCall) {
  win32::testing::FailLoadLibrary("wsock32.dll", 126);
  EXPECT_EQ(SocketErrorOf([] { LookupWinsockProc("socket"); }),
            "Unable to load wsock32.dll Error #126");
  EXPECT_EQ(SocketErrorOf([] { WSocket_WSAGetLastError(); }),
            "Unable to load wsock32.dll Error #126");
  EXPECT_FALSE(WinsockLoaded());
  // A resolver that needs Winsock raises the same text, unchanged.
  EXPECT_EQ(SocketErrorOf([] { WSocketResolveHost("127.0.0.1"); }),
            "Unable to load wsock32.dll Error #126");

  win32::testing::FailLoadLibrary("wsock32.dll", 0);
  EXPECT_EQ(WSocketResolveHost("127.0.0.1"), winsock::htonl(0x7F000001u));
  EXPECT_TRUE(WinsockLoaded());
}

TEST_F(WinsockBinding, MissingProcedureIsReportedAndLookedUpAgainNextTime) {
  win32::testing::FailProcAddress("wsock32.dll", "socket");
  EXPECT_EQ(SocketErrorOf([] { WSocket_socket(winsock::AF_INET, winsock::SOCK_DGRAM, 17); }),
            "Procedure socket not found in wsock32.dll Error #127");
  EXPECT_TRUE(WinsockLoaded());
  win32::testing::FailProcAddress("wsock32.dll", "socket", false);
  winsock::SOCKET s = WSocket_socket(winsock::AF_INET, winsock::SOCK_DGRAM, 17);
  EXPECT_NE(s, winsock::INVALID_SOCKET);
  EXPECT_EQ(WSocket_closesocket(s), 0);

  // A missing WSAStartup fails the start-up itself.
  UnloadWinsock();
  win32::testing::FailProcAddress("wsock32.dll", "WSAStartup");
  EXPECT_EQ(SocketErrorOf([] { LookupWinsockProc("bind"); }),
            "Procedure WSAStartup not found in wsock32.dll Error #127");
}

TEST_F(WinsockBinding, EachProcedureIsLookedUpOncePerLoading) {
  EXPECT_EQ(WSocket_htons(0x1234), winsock::htons(0x1234));
  // Once cached, a failing look-up no longer matters...
  win32::testing::FailProcAddress("wsock32.dll", "htons");
  EXPECT_EQ(WSocket_htons(0x1234), winsock::htons(0x1234));
  // ...until the library is unloaded and every entry is looked up again.
  UnloadWinsock();
  EXPECT_EQ(SocketErrorOf([] { WSocket_htons(1); }),
            "Procedure htons not found in wsock32.dll Error #127");
}

TEST_F(WinsockBinding, LastSocketObjectUnloadsTheLibraryAndTheWindowClass) {
  win32::WNDCLASSA wc;
  auto classRegistered = [&] {
    return win32::GetClassInfoA(win32::GetModuleHandleA(nullptr), "XSocketWindowClass", &wc) != 0;
  };
  auto* a = new TWSocket(nullptr);
  auto* b = new TWSocket(nullptr);
  EXPECT_EQ(LiveSocketCount(), 2);
  EXPECT_FALSE(WinsockLoaded());  // constructing touches no Winsock
  EXPECT_TRUE(classRegistered());
  nettest::ListenUdp(*a);
  nettest::ListenUdp(*b);
  EXPECT_EQ(win32::testing::LibraryLoadCount("wsock32.dll"), 1);

  delete a;
  EXPECT_EQ(LiveSocketCount(), 1);
  EXPECT_TRUE(WinsockLoaded());
  EXPECT_TRUE(classRegistered());
  delete b;
  EXPECT_EQ(LiveSocketCount(), 0);
  EXPECT_FALSE(WinsockLoaded());
  EXPECT_FALSE(classRegistered());

  // The next object starts everything again.
  TWSocket c(nullptr);
  nettest::ListenUdp(c);
  EXPECT_EQ(c.State(), wsConnected);
}

TEST(SocketErrorDesc, GivesTheTextOfEachCode) {
  EXPECT_EQ(SocketErrorDesc(0), "No Error");
  EXPECT_EQ(SocketErrorDesc(10035), "Operation would block");
  EXPECT_EQ(SocketErrorDesc(10048), "Address already in use");
  EXPECT_EQ(SocketErrorDesc(10058), "Can't send after socket shutdown");
  EXPECT_EQ(SocketErrorDesc(10093), "WinSock not initialized");
  EXPECT_EQ(SocketErrorDesc(11004), "No Data");
  for (int unknown : {10000, 10001, 10072, 10090, 11000, 11005, -1, 1})
    EXPECT_EQ(SocketErrorDesc(unknown), "Not a WinSock error") << unknown;
}

}  // namespace
