// The layer as the library "wsock32.dll": whoever loads it by name registers
// it first (the socket component does on its first load).
#include "platform/winsock/winsock.h"

namespace winsock {

namespace {

template <typename F>
win32::LibraryExport Export(const char* name, F* proc) {
  return {name, reinterpret_cast<void*>(proc)};
}

}  // namespace

void RegisterWinsockLibrary() {
  static const win32::LibraryExport exports[] = {
      Export("WSAStartup", &WSAStartup),
      Export("WSACleanup", &WSACleanup),
      Export("WSASetLastError", &WSASetLastError),
      Export("WSAGetLastError", &WSAGetLastError),
      Export("WSACancelAsyncRequest", &WSACancelAsyncRequest),
      Export("WSAAsyncGetHostByName", &WSAAsyncGetHostByName),
      Export("WSAAsyncGetHostByAddr", &WSAAsyncGetHostByAddr),
      Export("WSAAsyncSelect", &WSAAsyncSelect),
      Export("getservbyname", &getservbyname),
      Export("getprotobyname", &getprotobyname),
      Export("gethostbyname", &gethostbyname),
      Export("socket", &socket),
      Export("shutdown", &shutdown),
      Export("setsockopt", &setsockopt),
      Export("sendto", &sendto),
      Export("send", &send),
      Export("ntohs", &ntohs),
      Export("listen", &listen),
      Export("ioctlsocket", &ioctlsocket),
      Export("inet_ntoa", &inet_ntoa),
      Export("inet_addr", &inet_addr),
      Export("htons", &htons),
      Export("getsockname", &getsockname),
      Export("getpeername", &getpeername),
      Export("connect", &connect),
      Export("closesocket", &closesocket),
      Export("bind", &bind),
      Export("accept", &accept),
      Export("recv", &recv),
      Export("recvfrom", &recvfrom),
      Export("getsockopt", &getsockopt),
      Export("htonl", &htonl),
      Export("ntohl", &ntohl),
  };
  win32::RegisterLibrary(WINSOCK_LIBRARY, exports, sizeof exports / sizeof exports[0]);
}

}  // namespace winsock
