// The Winsock procedures: error codes, options, address texts and the host,
// service and protocol databases. Run against the Linux stand-in and, under
// Wine, against the real wsock32.dll: both must answer alike.
#include <cstring>
#include <string>

#include "WinsockTestUtil.h"

namespace {

using namespace winsock;

class Winsock : public ptest::WinsockTest {};

TEST_F(Winsock, ErrorsComeInTheWinsockRange) {
  SOCKET a = ptest::BoundSocket(SOCK_DGRAM);
  ASSERT_NE(a, INVALID_SOCKET);
  SOCKET b = socket(AF_INET, SOCK_DGRAM, 0);
  ptest::NonBlocking(b);
  sockaddr_in taken = ptest::Loopback(ptest::PortOf(a));
  EXPECT_EQ(bind(b, ptest::AsAddr(taken), sizeof taken), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRINUSE);
  EXPECT_EQ(bind(b, ptest::AsAddr(taken), 8), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEFAULT);

  EXPECT_EQ(socket(99, SOCK_DGRAM, 0), INVALID_SOCKET);  // no family of any Winsock
  EXPECT_EQ(WSAGetLastError(), WSAEAFNOSUPPORT);
  EXPECT_EQ(closesocket(987654), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  char c;
  EXPECT_EQ(recv(b, &c, 1, 0), SOCKET_ERROR);  // nothing waiting, and never blocking
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  sockaddr_in name{};
  int len = sizeof name;
  EXPECT_EQ(getsockname(b, reinterpret_cast<sockaddr*>(&name), &len), SOCKET_ERROR);  // never bound
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);

}

TEST_F(Winsock, CallsOnTheWrongKindOfSocketSayWhy) {
  if (ptest::UnderWine())
    GTEST_SKIP() << "Wine answers WSAECONNRESET and WSAEINVAL where Winsock says WSAENOTCONN "
                    "and WSAEOPNOTSUPP";
  SOCKET t = socket(AF_INET, SOCK_STREAM, 0);
  EXPECT_EQ(send(t, "x", 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTCONN);
  SOCKET u = socket(AF_INET, SOCK_DGRAM, 0);
  EXPECT_EQ(listen(u, 5), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEOPNOTSUPP);
}

TEST_F(Winsock, BindingAForeignAddressIsRefused) {
  if (ptest::UnderWine()) GTEST_SKIP() << "Wine binds the socket to any address instead";
  SOCKET b = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in foreign = ptest::Loopback(0);
  foreign.sin_addr.s_addr = inet_addr("192.0.2.1");  // not an address of this machine
  EXPECT_EQ(bind(b, ptest::AsAddr(foreign), sizeof foreign), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEADDRNOTAVAIL);
}

TEST_F(Winsock, SocketsStartBlocking) {
  // A stream connect to a listener completes inside the call.
  SOCKET listener = ptest::BoundSocket(SOCK_STREAM);
  ASSERT_EQ(listen(listener, 5), 0);
  SOCKET c = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to = ptest::Loopback(ptest::PortOf(listener));
  EXPECT_EQ(connect(c, ptest::AsAddr(to), sizeof to), 0);
  // WSAAsyncSelect makes a socket non-blocking: nothing waits, nothing blocks.
  ptest::RecordingWindow w;
  ASSERT_EQ(WSAAsyncSelect(c, w.hwnd, win32::WM_USER, FD_READ), 0);
  char byte;
  EXPECT_EQ(recv(c, &byte, 1, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
}

TEST_F(Winsock, OptionsAreTranslated) {
  SOCKET u = socket(AF_INET, SOCK_DGRAM, 0);
  SOCKET t = socket(AF_INET, SOCK_STREAM, 0);
  auto setInt = [](SOCKET s, int level, int name, int value) {
    return setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value);
  };
  auto getInt = [](SOCKET s, int level, int name) {
    int value = 0;  // Windows fills some Boolean options as one byte
    int len = sizeof value;
    EXPECT_EQ(getsockopt(s, level, name, reinterpret_cast<char*>(&value), &len), 0)
        << level << "/" << name;
    return value;
  };
  EXPECT_EQ(getInt(u, SOL_SOCKET, SO_REUSEADDR), 0);
  EXPECT_EQ(setInt(u, SOL_SOCKET, SO_REUSEADDR, -1), 0);  // all bits set, as callers pass TRUE
  EXPECT_EQ(getInt(u, SOL_SOCKET, SO_REUSEADDR), 1);
  EXPECT_EQ(setInt(u, SOL_SOCKET, SO_BROADCAST, 1), 0);
  EXPECT_EQ(getInt(u, SOL_SOCKET, SO_BROADCAST), 1);
  EXPECT_EQ(setInt(t, SOL_SOCKET, SO_KEEPALIVE, 1), 0);
  EXPECT_EQ(getInt(t, SOL_SOCKET, SO_KEEPALIVE), 1);
  EXPECT_EQ(setInt(t, IPPROTO_TCP, TCP_NODELAY, 1), 0);
  EXPECT_EQ(getInt(t, IPPROTO_TCP, TCP_NODELAY), 1);
  EXPECT_EQ(setInt(u, IPPROTO_IP, IP_MULTICAST_TTL, 5), 0);
  EXPECT_EQ(getInt(u, IPPROTO_IP, IP_MULTICAST_TTL), 5);
  EXPECT_EQ(setInt(u, SOL_SOCKET, SO_RCVBUF, 65536), 0);
  EXPECT_GE(getInt(u, SOL_SOCKET, SO_RCVBUF), 65536);
  EXPECT_EQ(getInt(u, SOL_SOCKET, SO_TYPE), SOCK_DGRAM);
  EXPECT_EQ(getInt(t, SOL_SOCKET, SO_ERROR), 0);

  // The linger record is two 16-bit fields.
  linger l{1, 5};
  EXPECT_EQ(setsockopt(t, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&l), sizeof l), 0);
  linger back{};
  int len = sizeof back;
  EXPECT_EQ(getsockopt(t, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&back), &len), 0);
  EXPECT_EQ(len, 4);
  EXPECT_EQ(back.l_onoff, 1);
  EXPECT_EQ(back.l_linger, 5);

  // Membership of a group on the loopback interface.
  ip_mreq join{};
  join.imr_multiaddr.s_addr = inet_addr("239.255.1.2");
  join.imr_interface.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(setsockopt(u, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&join),
                       sizeof join),
            0)
      << WSAGetLastError();
  EXPECT_EQ(setsockopt(u, IPPROTO_IP, IP_ADD_MEMBERSHIP, reinterpret_cast<const char*>(&join), 4),
            SOCKET_ERROR);
  // Winsock: WSAEFAULT for too short a record (Wine says WSAEINVAL).
  if (!ptest::UnderWine()) {
    EXPECT_EQ(WSAGetLastError(), WSAEFAULT);
  }

  EXPECT_EQ(setInt(u, SOL_SOCKET, 0x7777, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOPROTOOPT);
  EXPECT_EQ(setInt(u, 1234, SO_REUSEADDR, 1), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);

  // FIONBIO: back to blocking only while no notifications are selected.
  winsock::u_long blocking = 0;
  EXPECT_EQ(ioctlsocket(u, FIONBIO, &blocking), 0);
  winsock::u_long nonBlocking = 1;
  EXPECT_EQ(ioctlsocket(u, FIONBIO, &nonBlocking), 0);
  ptest::RecordingWindow w;
  ASSERT_EQ(WSAAsyncSelect(u, w.hwnd, win32::WM_USER, FD_READ), 0);
  EXPECT_EQ(ioctlsocket(u, FIONBIO, &blocking), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(ioctlsocket(u, 0x12345, &blocking), SOCKET_ERROR);
}

TEST_F(Winsock, StreamReceiveOfNothingSaysWhetherDataWaits) {
  ptest::StreamPair p;
  ASSERT_TRUE(p.Open());
  char c;
  EXPECT_EQ(recv(p.server, &c, 0, 0), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  ASSERT_EQ(send(p.client, "z", 1, 0), 1);
  winsock::u_long pending = 0;
  for (int i = 0; i < 200 && pending == 0; ++i) {
    ioctlsocket(p.server, FIONREAD, &pending);
    if (pending == 0) win32::Sleep(5);
  }
  EXPECT_EQ(recv(p.server, &c, 0, 0), 0);
  EXPECT_EQ(recv(p.server, &c, 1, 0), 1);
}

// closesocket with a linger time must not hold the loop: Winsock 1.1 answers
// WSAEWOULDBLOCK on a non-blocking socket until the data has gone out.
TEST_F(Winsock, LingeringCloseDoesNotBlock) {
  if (ptest::UnderWine())
    GTEST_SKIP() << "Wine closes at once and lingers in the background, without WSAEWOULDBLOCK";
  ptest::StreamPair p;
  ASSERT_TRUE(p.Open());
  int small = 4096;
  setsockopt(p.client, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&small), sizeof small);
  setsockopt(p.server, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<char*>(&small), sizeof small);
  linger l{1, 10};
  ASSERT_EQ(setsockopt(p.client, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&l), sizeof l), 0);
  std::string chunk(16384, 'q');
  int sent = 0;
  for (int i = 0; i < 20000; ++i) {
    int n = send(p.client, chunk.data(), static_cast<int>(chunk.size()), 0);
    if (n == SOCKET_ERROR) break;
    sent += n;
  }
  ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  const int64_t start = ptest::NowMs();
  EXPECT_EQ(closesocket(p.client), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
  EXPECT_LT(ptest::NowMs() - start, 5000);  // well short of the 10 s linger

  int got = 0;
  bool closed = false;
  for (int i = 0; i < 20000 && !closed; ++i) {
    char buf[65536];
    int n = recv(p.server, buf, sizeof buf, 0);
    if (n > 0) got += n;
    if (n <= 0) win32::Sleep(1);
    closed = closesocket(p.client) == 0;
  }
  EXPECT_TRUE(closed);
  // Everything arrives, then the orderly end.
  for (int i = 0; i < 2000; ++i) {
    char buf[65536];
    int n = recv(p.server, buf, sizeof buf, 0);
    if (n == 0) break;
    if (n > 0)
      got += n;
    else
      win32::Sleep(1);
  }
  EXPECT_EQ(got, sent);
}

TEST(InetAddr, ClassicParsing) {
  EXPECT_EQ(inet_addr("127.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(inet_addr("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(inet_addr("0.0.0.0"), 0u);
  EXPECT_EQ(inet_addr("127.1"), htonl(0x7F000001));
  EXPECT_EQ(inet_addr("10.1.2"), htonl(0x0A010002));
  EXPECT_EQ(inet_addr("0x7f.0.0.1"), htonl(0x7F000001));
  EXPECT_EQ(inet_addr("010.1.1.1"), htonl(0x08010101));  // octal
  EXPECT_EQ(inet_addr("3232235777"), htonl(0xC0A80101));
  EXPECT_EQ(inet_addr("1.2.3.4 trailing"), htonl(0x01020304));
  for (const char* bad : {"", " 1.2.3.4", "1.2.3.4.5", "256.1.1.1", "1.2.3.256", "1..2.3", "1.2.3.",
                          "a.b.c.d", "08.1.1.1", "1.2.3.4x", "4294967296"})
    EXPECT_EQ(inet_addr(bad), INADDR_NONE) << bad;
  EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);

  in_addr a;
  a.s_addr = htonl(0xC0A80A01);
  EXPECT_STREQ(inet_ntoa(a), "192.168.10.1");
  EXPECT_EQ(ntohl(htonl(0x01020304)), 0x01020304u);
}

TEST_F(Winsock, DatabasesGiveWinsockRecords) {
  protoent* p = getprotobyname("udp");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->p_proto, 17);
  EXPECT_STREQ(p->p_name, "udp");
  ASSERT_NE(getprotobyname("tcp"), nullptr);
  EXPECT_EQ(getprotobyname("tcp")->p_proto, 6);
  EXPECT_EQ(getprotobyname("nosuchproto"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSANO_DATA);

  servent* s = getservbyname("http", "tcp");
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(ntohs(static_cast<u_short>(s->s_port)), 80);
  EXPECT_STREQ(s->s_proto, "tcp");
  EXPECT_EQ(getservbyname("nosuchservice", "udp"), nullptr);
  EXPECT_EQ(WSAGetLastError(), WSANO_DATA);

  hostent* h = gethostbyname("localhost");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->h_addrtype, AF_INET);
  EXPECT_EQ(h->h_length, 4);
  ASSERT_NE(h->h_addr_list[0], nullptr);
  winsock::u_long first;
  std::memcpy(&first, h->h_addr_list[0], 4);
  EXPECT_EQ(first, htonl(INADDR_LOOPBACK));
  ASSERT_NE(h->h_aliases, nullptr);

  hostent* numeric = gethostbyname("127.0.0.2");
  ASSERT_NE(numeric, nullptr);
  std::memcpy(&first, numeric->h_addr_list[0], 4);
  EXPECT_EQ(first, inet_addr("127.0.0.2"));
}

// Malformed names fail here, before any resolver is asked.
TEST_F(Winsock, MalformedHostNamesFailLocally) {
  const std::string longLabel(64, 'a');
  std::string longName;
  for (int i = 0; i < 50; ++i) longName += "abcd.";
  // ("" is not among them: Winsock answers it with this host's own entry.)
  for (const std::string& bad : {std::string("bad..host"), std::string(".leading"),
                                 longLabel + ".example", longName, std::string("two words")}) {
    const int64_t start = ptest::NowMs();
    EXPECT_EQ(gethostbyname(bad.c_str()), nullptr) << bad;
    EXPECT_EQ(WSAGetLastError(), WSAHOST_NOT_FOUND) << bad;
    EXPECT_LT(ptest::NowMs() - start, 3000);  // a resolver asked would wait its 5 s
  }
}

}  // namespace
