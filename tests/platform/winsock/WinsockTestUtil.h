// Helpers for the Winsock tests: Winsock started per test, loopback sockets
// through the layer. (No system socket headers here: they clash with Winsock's names.)
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/winsock/winsock.h"
#include "tests/platform/PlatformTestUtil.h"
#include "tests/support/Wine.h"

namespace ptest {

// Winsock started for the test's duration.
class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsock::WSADATA data;
    ASSERT_EQ(winsock::WSAStartup(0x0101, &data), 0);
  }
  void TearDown() override {
    // Leftovers of this test must not reach the next one.
    win32::MSG msg;
    while (win32::PeekMessageA(&msg, nullptr, 0, 0, win32::PM_REMOVE)) {
    }
    EXPECT_EQ(winsock::WSACleanup(), 0);
  }
};

inline winsock::sockaddr_in Loopback(uint16_t port) {
  winsock::sockaddr_in a{};
  a.sin_family = winsock::AF_INET;
  a.sin_port = winsock::htons(port);
  a.sin_addr.s_addr = winsock::htonl(winsock::INADDR_LOOPBACK);
  return a;
}

inline const winsock::sockaddr* AsAddr(const winsock::sockaddr_in& a) {
  return reinterpret_cast<const winsock::sockaddr*>(&a);
}

inline uint16_t PortOf(winsock::SOCKET s) {
  winsock::sockaddr_in a{};
  int len = sizeof a;
  if (winsock::getsockname(s, reinterpret_cast<winsock::sockaddr*>(&a), &len) != 0) return 0;
  return winsock::ntohs(a.sin_port);
}

// Sockets start blocking, as in Winsock; the tests never wait inside a call.
inline void NonBlocking(winsock::SOCKET s) {
  winsock::u_long on = 1;
  winsock::ioctlsocket(s, winsock::FIONBIO, &on);
}

// A non-blocking socket bound to 127.0.0.1 on a port the system picks.
inline winsock::SOCKET BoundSocket(int type) {
  winsock::SOCKET s = winsock::socket(winsock::AF_INET, type, 0);
  winsock::sockaddr_in a = Loopback(0);
  if (s == winsock::INVALID_SOCKET || winsock::bind(s, AsAddr(a), sizeof a) != 0)
    return winsock::INVALID_SOCKET;
  NonBlocking(s);
  return s;
}

using support::UnderWine;

inline void SendTo(winsock::SOCKET from, uint16_t port, const std::string& bytes) {
  winsock::sockaddr_in to = Loopback(port);
  ASSERT_EQ(
      winsock::sendto(from, bytes.data(), static_cast<int>(bytes.size()), 0, AsAddr(to), sizeof to),
      static_cast<int>(bytes.size()));
}

// A connected stream pair on loopback: client (connect) and server (accept).
struct StreamPair {
  winsock::SOCKET listener = winsock::INVALID_SOCKET;
  winsock::SOCKET client = winsock::INVALID_SOCKET;
  winsock::SOCKET server = winsock::INVALID_SOCKET;

  bool Open() {
    listener = BoundSocket(winsock::SOCK_STREAM);
    if (listener == winsock::INVALID_SOCKET || winsock::listen(listener, 5) != 0) return false;
    client = winsock::socket(winsock::AF_INET, winsock::SOCK_STREAM, 0);
    NonBlocking(client);
    winsock::sockaddr_in to = Loopback(PortOf(listener));
    if (winsock::connect(client, AsAddr(to), sizeof to) != 0 &&
        winsock::WSAGetLastError() != winsock::WSAEWOULDBLOCK)
      return false;
    const int64_t deadline = NowMs() + 3000;
    while ((server = winsock::accept(listener, nullptr, nullptr)) == winsock::INVALID_SOCKET) {
      if (winsock::WSAGetLastError() != winsock::WSAEWOULDBLOCK || NowMs() > deadline) return false;
      win32::Sleep(2);
    }
    NonBlocking(server);
    return true;
  }
};

// What one receive gives, or "error <code>".
inline std::string ReceiveText(winsock::SOCKET s, int size = 64) {
  std::string buf(static_cast<size_t>(size), '\0');
  int n = winsock::recv(s, &buf[0], size, 0);
  return n < 0 ? "error " + std::to_string(winsock::WSAGetLastError())
               : buf.substr(0, static_cast<size_t>(n));
}

inline unsigned EventOf(const win32::MSG& m) { return winsock::WSAGETSELECTEVENT(m.lParam); }
inline unsigned ErrorOf(const win32::MSG& m) { return winsock::WSAGETSELECTERROR(m.lParam); }

}  // namespace ptest
