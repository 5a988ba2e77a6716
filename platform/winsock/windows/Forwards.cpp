// winsock:: on Windows: each procedure calls the real one in wsock32.dll,
// looked up by name on first use. On x86-64 Windows there is one calling
// convention, and the project's records have the real layout (Layout.cpp), so
// the real entry points are called through the project's own signatures.
#include "platform/winsock/winsock.h"

#include "platform/winsock/windows/Library.h"

static_assert(sizeof(void*) == 8, "the forwards rely on the single x86-64 calling convention");

namespace winsock {

namespace {

// What a forward gives when wsock32.dll or the procedure is missing (the last
// error says why): the usual failure value of its result type.
template <typename R>
R Failed() {
  return R{};
}
template <>
int Failed<int>() {
  return SOCKET_ERROR;
}
template <>
SOCKET Failed<SOCKET>() {
  return INVALID_SOCKET;
}
template <>
u_long Failed<u_long>() {
  return INADDR_NONE;
}
template <>
void Failed<void>() {}

template <typename F>
F Find(const char* name) {
  return reinterpret_cast<F>(mapping::Proc(name));
}

}  // namespace

// The entry point is looked up once (a thread-safe static) and then called.
#define WINSOCK_FORWARD(name, ...)                                                \
  static const auto proc = Find<decltype(&winsock::name)>(#name);                \
  if (!proc) return Failed<decltype(winsock::name(__VA_ARGS__))>();               \
  return proc(__VA_ARGS__)

int WSAStartup(uint16_t versionRequested, WSADATA* data) {
  static const auto proc = Find<decltype(&winsock::WSAStartup)>("WSAStartup");
  return proc ? proc(versionRequested, data) : WSASYSNOTREADY;
}
int WSACleanup() { WINSOCK_FORWARD(WSACleanup); }
void WSASetLastError(int error) { WINSOCK_FORWARD(WSASetLastError, error); }
int WSAGetLastError() {
  static const auto proc = Find<decltype(&winsock::WSAGetLastError)>("WSAGetLastError");
  return proc ? proc() : WSASYSNOTREADY;
}
int WSACancelAsyncRequest(HANDLE asyncTaskHandle) {
  WINSOCK_FORWARD(WSACancelAsyncRequest, asyncTaskHandle);
}
HANDLE WSAAsyncGetHostByName(win32::HWND hwnd, win32::UINT msg, const char* name, char* buf,
                             int buflen) {
  WINSOCK_FORWARD(WSAAsyncGetHostByName, hwnd, msg, name, buf, buflen);
}
HANDLE WSAAsyncGetHostByAddr(win32::HWND hwnd, win32::UINT msg, const char* addr, int len, int type,
                             char* buf, int buflen) {
  WINSOCK_FORWARD(WSAAsyncGetHostByAddr, hwnd, msg, addr, len, type, buf, buflen);
}
int WSAAsyncSelect(SOCKET s, win32::HWND hwnd, win32::UINT msg, long events) {
  WINSOCK_FORWARD(WSAAsyncSelect, s, hwnd, msg, events);
}
servent* getservbyname(const char* name, const char* proto) {
  WINSOCK_FORWARD(getservbyname, name, proto);
}
protoent* getprotobyname(const char* name) { WINSOCK_FORWARD(getprotobyname, name); }
hostent* gethostbyname(const char* name) { WINSOCK_FORWARD(gethostbyname, name); }
SOCKET socket(int af, int type, int protocol) { WINSOCK_FORWARD(socket, af, type, protocol); }
int shutdown(SOCKET s, int how) { WINSOCK_FORWARD(shutdown, s, how); }
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  WINSOCK_FORWARD(setsockopt, s, level, optname, optval, optlen);
}
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  WINSOCK_FORWARD(sendto, s, buf, len, flags, to, tolen);
}
int send(SOCKET s, const char* buf, int len, int flags) { WINSOCK_FORWARD(send, s, buf, len, flags); }
u_short ntohs(u_short netshort) { WINSOCK_FORWARD(ntohs, netshort); }
int listen(SOCKET s, int backlog) { WINSOCK_FORWARD(listen, s, backlog); }
int ioctlsocket(SOCKET s, long cmd, u_long* argp) { WINSOCK_FORWARD(ioctlsocket, s, cmd, argp); }
char* inet_ntoa(in_addr in) { WINSOCK_FORWARD(inet_ntoa, in); }
u_long inet_addr(const char* cp) { WINSOCK_FORWARD(inet_addr, cp); }
u_short htons(u_short hostshort) { WINSOCK_FORWARD(htons, hostshort); }
int getsockname(SOCKET s, sockaddr* name, int* namelen) {
  WINSOCK_FORWARD(getsockname, s, name, namelen);
}
int getpeername(SOCKET s, sockaddr* name, int* namelen) {
  WINSOCK_FORWARD(getpeername, s, name, namelen);
}
int connect(SOCKET s, const sockaddr* name, int namelen) {
  WINSOCK_FORWARD(connect, s, name, namelen);
}
int closesocket(SOCKET s) { WINSOCK_FORWARD(closesocket, s); }
int bind(SOCKET s, const sockaddr* name, int namelen) { WINSOCK_FORWARD(bind, s, name, namelen); }
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen) { WINSOCK_FORWARD(accept, s, addr, addrlen); }
int recv(SOCKET s, char* buf, int len, int flags) { WINSOCK_FORWARD(recv, s, buf, len, flags); }
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  WINSOCK_FORWARD(recvfrom, s, buf, len, flags, from, fromlen);
}
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen) {
  WINSOCK_FORWARD(getsockopt, s, level, optname, optval, optlen);
}
u_long htonl(u_long hostlong) { WINSOCK_FORWARD(htonl, hostlong); }
u_long ntohl(u_long netlong) { WINSOCK_FORWARD(ntohl, netlong); }

// The real library is found by the system's own loader: nothing to register.
void RegisterWinsockLibrary() {}

}  // namespace winsock
