// The Winsock layer's own registration as a library.
#include <gtest/gtest.h>

#include "platform/win32/win32.h"
#include "platform/winsock/winsock.h"

namespace {

using namespace win32;

TEST(WinsockLibrary, RegisteredUnderItsNameWithEveryProcedure) {
  winsock::RegisterWinsockLibrary();
  HMODULE ws = LoadLibraryA(winsock::WINSOCK_LIBRARY);
  ASSERT_NE(ws, nullptr);
  const char* names[] = {"WSAStartup",
                         "WSACleanup",
                         "WSASetLastError",
                         "WSAGetLastError",
                         "WSACancelAsyncRequest",
                         "WSAAsyncGetHostByName",
                         "WSAAsyncGetHostByAddr",
                         "WSAAsyncSelect",
                         "getservbyname",
                         "getprotobyname",
                         "gethostbyname",
                         "socket",
                         "shutdown",
                         "setsockopt",
                         "sendto",
                         "send",
                         "ntohs",
                         "listen",
                         "ioctlsocket",
                         "inet_ntoa",
                         "inet_addr",
                         "htons",
                         "getsockname",
                         "getpeername",
                         "connect",
                         "closesocket",
                         "bind",
                         "accept",
                         "recv",
                         "recvfrom"};
  for (const char* name : names) EXPECT_NE(GetProcAddress(ws, name), nullptr) << name;
  EXPECT_EQ(GetProcAddress(ws, "recvfrom"), reinterpret_cast<void*>(&winsock::recvfrom));
  FreeLibrary(ws);
}

}  // namespace
