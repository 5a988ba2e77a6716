// What only the Linux stand-in has: its start-up with failure injection, and
// receive buffers beyond the system's default limit.
#include <unistd.h>

#include "WinsockTestUtil.h"

namespace {

using namespace winsock;

TEST(WinsockStartup, CallsBeforeStartupFailAndCountsBalance) {
  ASSERT_FALSE(winsock::testing::Started());
  EXPECT_EQ(socket(AF_INET, SOCK_DGRAM, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(gethostbyname("localhost"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(WSACleanup(), SOCKET_ERROR);
  EXPECT_EQ(htons(0x1234), 0x3412);  // conversions need no start-up
  EXPECT_EQ(inet_addr("1.2.3.4"), htonl(0x01020304));

  WSADATA data;
  EXPECT_EQ(WSAStartup(0x0001, &data), WSAVERNOTSUPPORTED);
  winsock::testing::FailStartup(WSASYSNOTREADY);
  EXPECT_EQ(WSAStartup(0x0101, &data), WSASYSNOTREADY);
  EXPECT_FALSE(winsock::testing::Started());
  winsock::testing::FailStartup(0);
  ASSERT_EQ(WSAStartup(0x0202, &data), 0);
  EXPECT_EQ(data.wVersion, 0x0101);
  EXPECT_EQ(data.wHighVersion, 0x0101);
  ASSERT_EQ(WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_TRUE(winsock::testing::Started());
  // The last clean-up closes what is left open, as Winsock does.
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(WSACleanup(), 0);
  EXPECT_FALSE(winsock::testing::Started());
  ASSERT_EQ(WSAStartup(0x0101, &data), 0);
  EXPECT_EQ(closesocket(s), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  EXPECT_EQ(WSACleanup(), 0);
}

TEST(WinsockBuffers, ReceiveBufferBeyondTheDefaultLimitWhereTheProcessMay) {
  WSADATA data;
  ASSERT_EQ(WSAStartup(0x0101, &data), 0);
  SOCKET u = socket(AF_INET, SOCK_DGRAM, 0);
  int value = 32 << 20;  // the default limit is a few hundred KiB
  EXPECT_EQ(setsockopt(u, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&value),
                       sizeof value),
            0);
  int len = sizeof value;
  value = 0;
  EXPECT_EQ(getsockopt(u, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&value), &len), 0);
  if (geteuid() == 0) {
    EXPECT_GE(value, 32 << 20);
  }
  EXPECT_EQ(WSACleanup(), 0);
}

}  // namespace
