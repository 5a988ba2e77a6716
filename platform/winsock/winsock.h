// Windows Sockets 1.1 on BSD sockets: the procedures, records, option numbers and
// error codes as Winsock defines them. Option numbers are Winsock's own and are
// translated to Linux inside this layer; errors are the 10000-range codes.
//
// RegisterWinsockLibrary makes the layer the library "wsock32.dll"
// (win32::LoadLibraryA), so callers can bind it by name at run time.
//
// On Windows the same declarations are thin forwards to the real wsock32.dll.
//
// Several names below are also macros in the Linux socket headers and in
// <windows.h>/<winsock.h>; this header protects its own declarations, but code
// that uses these names must not include those headers in the same file.
#pragma once

#include <cstdint>

#include "platform/win32/win32.h"

#pragma push_macro("AF_INET")
#pragma push_macro("PF_INET")
#pragma push_macro("SOCK_STREAM")
#pragma push_macro("SOCK_DGRAM")
#pragma push_macro("SOCK_RAW")
#pragma push_macro("IPPROTO_IP")
#pragma push_macro("IPPROTO_TCP")
#pragma push_macro("IPPROTO_UDP")
#pragma push_macro("SOL_SOCKET")
#pragma push_macro("SO_REUSEADDR")
#pragma push_macro("SO_KEEPALIVE")
#pragma push_macro("SO_BROADCAST")
#pragma push_macro("SO_LINGER")
#pragma push_macro("SO_SNDBUF")
#pragma push_macro("SO_RCVBUF")
#pragma push_macro("SO_ERROR")
#pragma push_macro("SO_TYPE")
#pragma push_macro("TCP_NODELAY")
#pragma push_macro("IP_MULTICAST_IF")
#pragma push_macro("IP_MULTICAST_TTL")
#pragma push_macro("IP_MULTICAST_LOOP")
#pragma push_macro("IP_ADD_MEMBERSHIP")
#pragma push_macro("IP_DROP_MEMBERSHIP")
#pragma push_macro("FIONREAD")
#pragma push_macro("FIONBIO")
#pragma push_macro("MSG_OOB")
#pragma push_macro("MSG_PEEK")
#pragma push_macro("SD_RECEIVE")
#pragma push_macro("SD_SEND")
#pragma push_macro("SD_BOTH")
#pragma push_macro("INADDR_ANY")
#pragma push_macro("INADDR_NONE")
#pragma push_macro("INADDR_LOOPBACK")
#pragma push_macro("INADDR_BROADCAST")
#pragma push_macro("SOMAXCONN")
#pragma push_macro("INVALID_SOCKET")
#pragma push_macro("SOCKET_ERROR")
#pragma push_macro("FD_READ")
#pragma push_macro("FD_WRITE")
#pragma push_macro("FD_OOB")
#pragma push_macro("FD_ACCEPT")
#pragma push_macro("FD_CONNECT")
#pragma push_macro("FD_CLOSE")
#pragma push_macro("WSAMAKESELECTREPLY")
#pragma push_macro("WSAMAKEASYNCREPLY")
#pragma push_macro("WSAGETSELECTEVENT")
#pragma push_macro("WSAGETSELECTERROR")
#pragma push_macro("WSAGETASYNCERROR")
#pragma push_macro("WSAGETASYNCBUFLEN")
#pragma push_macro("WSABASEERR")
#pragma push_macro("WSAEINTR")
#pragma push_macro("WSAEBADF")
#pragma push_macro("WSAEACCES")
#pragma push_macro("WSAEFAULT")
#pragma push_macro("WSAEINVAL")
#pragma push_macro("WSAEMFILE")
#pragma push_macro("WSAEWOULDBLOCK")
#pragma push_macro("WSAEINPROGRESS")
#pragma push_macro("WSAEALREADY")
#pragma push_macro("WSAENOTSOCK")
#pragma push_macro("WSAEDESTADDRREQ")
#pragma push_macro("WSAEMSGSIZE")
#pragma push_macro("WSAEPROTOTYPE")
#pragma push_macro("WSAENOPROTOOPT")
#pragma push_macro("WSAEPROTONOSUPPORT")
#pragma push_macro("WSAESOCKTNOSUPPORT")
#pragma push_macro("WSAEOPNOTSUPP")
#pragma push_macro("WSAEPFNOSUPPORT")
#pragma push_macro("WSAEAFNOSUPPORT")
#pragma push_macro("WSAEADDRINUSE")
#pragma push_macro("WSAEADDRNOTAVAIL")
#pragma push_macro("WSAENETDOWN")
#pragma push_macro("WSAENETUNREACH")
#pragma push_macro("WSAENETRESET")
#pragma push_macro("WSAECONNABORTED")
#pragma push_macro("WSAECONNRESET")
#pragma push_macro("WSAENOBUFS")
#pragma push_macro("WSAEISCONN")
#pragma push_macro("WSAENOTCONN")
#pragma push_macro("WSAESHUTDOWN")
#pragma push_macro("WSAETOOMANYREFS")
#pragma push_macro("WSAETIMEDOUT")
#pragma push_macro("WSAECONNREFUSED")
#pragma push_macro("WSAELOOP")
#pragma push_macro("WSAENAMETOOLONG")
#pragma push_macro("WSAEHOSTDOWN")
#pragma push_macro("WSAEHOSTUNREACH")
#pragma push_macro("WSAENOTEMPTY")
#pragma push_macro("WSAEPROCLIM")
#pragma push_macro("WSAEUSERS")
#pragma push_macro("WSAEDQUOT")
#pragma push_macro("WSAESTALE")
#pragma push_macro("WSAEREMOTE")
#pragma push_macro("WSASYSNOTREADY")
#pragma push_macro("WSAVERNOTSUPPORTED")
#pragma push_macro("WSANOTINITIALISED")
#pragma push_macro("WSAHOST_NOT_FOUND")
#pragma push_macro("WSATRY_AGAIN")
#pragma push_macro("WSANO_RECOVERY")
#pragma push_macro("WSANO_DATA")
#pragma push_macro("WSADESCRIPTION_LEN")
#pragma push_macro("WSASYS_STATUS_LEN")
#pragma push_macro("MAXGETHOSTSTRUCT")
#pragma push_macro("h_addr")
#pragma push_macro("s_addr")
#undef AF_INET
#undef PF_INET
#undef SOCK_STREAM
#undef SOCK_DGRAM
#undef SOCK_RAW
#undef IPPROTO_IP
#undef IPPROTO_TCP
#undef IPPROTO_UDP
#undef SOL_SOCKET
#undef SO_REUSEADDR
#undef SO_KEEPALIVE
#undef SO_BROADCAST
#undef SO_LINGER
#undef SO_SNDBUF
#undef SO_RCVBUF
#undef SO_ERROR
#undef SO_TYPE
#undef TCP_NODELAY
#undef IP_MULTICAST_IF
#undef IP_MULTICAST_TTL
#undef IP_MULTICAST_LOOP
#undef IP_ADD_MEMBERSHIP
#undef IP_DROP_MEMBERSHIP
#undef FIONREAD
#undef FIONBIO
#undef MSG_OOB
#undef MSG_PEEK
#undef SD_RECEIVE
#undef SD_SEND
#undef SD_BOTH
#undef INADDR_ANY
#undef INADDR_NONE
#undef INADDR_LOOPBACK
#undef INADDR_BROADCAST
#undef SOMAXCONN
#undef INVALID_SOCKET
#undef SOCKET_ERROR
#undef FD_READ
#undef FD_WRITE
#undef FD_OOB
#undef FD_ACCEPT
#undef FD_CONNECT
#undef FD_CLOSE
#undef WSAMAKESELECTREPLY
#undef WSAMAKEASYNCREPLY
#undef WSAGETSELECTEVENT
#undef WSAGETSELECTERROR
#undef WSAGETASYNCERROR
#undef WSAGETASYNCBUFLEN
#undef WSABASEERR
#undef WSAEINTR
#undef WSAEBADF
#undef WSAEACCES
#undef WSAEFAULT
#undef WSAEINVAL
#undef WSAEMFILE
#undef WSAEWOULDBLOCK
#undef WSAEINPROGRESS
#undef WSAEALREADY
#undef WSAENOTSOCK
#undef WSAEDESTADDRREQ
#undef WSAEMSGSIZE
#undef WSAEPROTOTYPE
#undef WSAENOPROTOOPT
#undef WSAEPROTONOSUPPORT
#undef WSAESOCKTNOSUPPORT
#undef WSAEOPNOTSUPP
#undef WSAEPFNOSUPPORT
#undef WSAEAFNOSUPPORT
#undef WSAEADDRINUSE
#undef WSAEADDRNOTAVAIL
#undef WSAENETDOWN
#undef WSAENETUNREACH
#undef WSAENETRESET
#undef WSAECONNABORTED
#undef WSAECONNRESET
#undef WSAENOBUFS
#undef WSAEISCONN
#undef WSAENOTCONN
#undef WSAESHUTDOWN
#undef WSAETOOMANYREFS
#undef WSAETIMEDOUT
#undef WSAECONNREFUSED
#undef WSAELOOP
#undef WSAENAMETOOLONG
#undef WSAEHOSTDOWN
#undef WSAEHOSTUNREACH
#undef WSAENOTEMPTY
#undef WSAEPROCLIM
#undef WSAEUSERS
#undef WSAEDQUOT
#undef WSAESTALE
#undef WSAEREMOTE
#undef WSASYSNOTREADY
#undef WSAVERNOTSUPPORTED
#undef WSANOTINITIALISED
#undef WSAHOST_NOT_FOUND
#undef WSATRY_AGAIN
#undef WSANO_RECOVERY
#undef WSANO_DATA
#undef WSADESCRIPTION_LEN
#undef WSASYS_STATUS_LEN
#undef MAXGETHOSTSTRUCT
#undef h_addr
#undef s_addr

namespace winsock {

using u_char = uint8_t;
using u_short = uint16_t;
using u_int = uint32_t;
using u_long = uint32_t;  // Winsock's u_long is 32 bits
using SOCKET = uintptr_t;
using HANDLE = win32::LONG_PTR;

constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
constexpr int SOCKET_ERROR = -1;

constexpr const char* WINSOCK_LIBRARY = "wsock32.dll";

// Address families, socket types, protocols
constexpr int AF_INET = 2;
constexpr int PF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int SOCK_RAW = 3;
constexpr int IPPROTO_IP = 0;
constexpr int IPPROTO_TCP = 6;
constexpr int IPPROTO_UDP = 17;

// Option levels and names (Winsock 1.1 numbering)
constexpr int SOL_SOCKET = 0xFFFF;
constexpr int SO_REUSEADDR = 0x0004;
constexpr int SO_KEEPALIVE = 0x0008;
constexpr int SO_BROADCAST = 0x0020;
constexpr int SO_LINGER = 0x0080;
constexpr int SO_SNDBUF = 0x1001;
constexpr int SO_RCVBUF = 0x1002;
constexpr int SO_ERROR = 0x1007;
constexpr int SO_TYPE = 0x1008;
constexpr int TCP_NODELAY = 0x0001;
constexpr int IP_MULTICAST_IF = 2;
constexpr int IP_MULTICAST_TTL = 3;
constexpr int IP_MULTICAST_LOOP = 4;
constexpr int IP_ADD_MEMBERSHIP = 5;
constexpr int IP_DROP_MEMBERSHIP = 6;

// ioctlsocket commands
constexpr long FIONREAD = 0x4004667FL;
constexpr long FIONBIO = static_cast<long>(0x8004667EUL);

// send/recv flags
constexpr int MSG_OOB = 0x1;
constexpr int MSG_PEEK = 0x2;

// shutdown
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

constexpr u_long INADDR_ANY = 0x00000000u;
constexpr u_long INADDR_NONE = 0xFFFFFFFFu;
constexpr u_long INADDR_LOOPBACK = 0x7F000001u;
constexpr u_long INADDR_BROADCAST = 0xFFFFFFFFu;
constexpr int SOMAXCONN = 5;

// WSAAsyncSelect events
constexpr long FD_READ = 0x01;
constexpr long FD_WRITE = 0x02;
constexpr long FD_OOB = 0x04;
constexpr long FD_ACCEPT = 0x08;
constexpr long FD_CONNECT = 0x10;
constexpr long FD_CLOSE = 0x20;

constexpr win32::LPARAM WSAMAKESELECTREPLY(unsigned event, unsigned error) {
  return static_cast<win32::LPARAM>((static_cast<uint32_t>(error) << 16) | (event & 0xFFFFu));
}
constexpr win32::LPARAM WSAMAKEASYNCREPLY(unsigned buflen, unsigned error) {
  return static_cast<win32::LPARAM>((static_cast<uint32_t>(error) << 16) | (buflen & 0xFFFFu));
}
constexpr unsigned WSAGETSELECTEVENT(win32::LPARAM l) { return static_cast<uint32_t>(l) & 0xFFFFu; }
constexpr unsigned WSAGETSELECTERROR(win32::LPARAM l) {
  return (static_cast<uint32_t>(l) >> 16) & 0xFFFFu;
}
constexpr unsigned WSAGETASYNCERROR(win32::LPARAM l) {
  return (static_cast<uint32_t>(l) >> 16) & 0xFFFFu;
}
constexpr unsigned WSAGETASYNCBUFLEN(win32::LPARAM l) { return static_cast<uint32_t>(l) & 0xFFFFu; }

// Error codes
constexpr int WSABASEERR = 10000;
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAENOTEMPTY = 10066;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSAEUSERS = 10068;
constexpr int WSAEDQUOT = 10069;
constexpr int WSAESTALE = 10070;
constexpr int WSAEREMOTE = 10071;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// Records
struct in_addr {
  u_long s_addr;  // network byte order
};

struct sockaddr {
  u_short sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  int16_t sin_family;
  u_short sin_port;  // network byte order
  in_addr sin_addr;
  char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == 16, "IPv4 socket address is 16 bytes");

struct linger {
  u_short l_onoff;
  u_short l_linger;
};

struct ip_mreq {
  in_addr imr_multiaddr;
  in_addr imr_interface;
};

// Host, service and protocol entries with Winsock's field widths.
struct hostent {
  char* h_name;
  char** h_aliases;
  int16_t h_addrtype;
  int16_t h_length;
  char** h_addr_list;
};

// 64-bit Winsock puts s_proto before s_port (32-bit Winsock has them the other way).
struct servent {
  char* s_name;
  char** s_aliases;
  char* s_proto;
  int16_t s_port;  // network byte order
};

struct protoent {
  char* p_name;
  char** p_aliases;
  int16_t p_proto;
};

constexpr int WSADESCRIPTION_LEN = 256;
constexpr int WSASYS_STATUS_LEN = 128;
// 64-bit Winsock's order: the two counts and the vendor pointer come first, so
// szDescription sits at offset 16.
struct WSADATA {
  uint16_t wVersion;
  uint16_t wHighVersion;
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
};

// Buffer size that asynchronous lookups need at most (MAXGETHOSTSTRUCT).
constexpr int MAXGETHOSTSTRUCT = 1024;

// ---- The 30 procedures of the binding ----------------------------------------
int WSAStartup(uint16_t versionRequested, WSADATA* data);
int WSACleanup();
void WSASetLastError(int error);
int WSAGetLastError();
int WSACancelAsyncRequest(HANDLE asyncTaskHandle);
HANDLE WSAAsyncGetHostByName(win32::HWND hwnd, win32::UINT msg, const char* name, char* buf,
                             int buflen);
HANDLE WSAAsyncGetHostByAddr(win32::HWND hwnd, win32::UINT msg, const char* addr, int len, int type,
                             char* buf, int buflen);
int WSAAsyncSelect(SOCKET s, win32::HWND hwnd, win32::UINT msg, long events);
servent* getservbyname(const char* name, const char* proto);
protoent* getprotobyname(const char* name);
hostent* gethostbyname(const char* name);
SOCKET socket(int af, int type, int protocol);
int shutdown(SOCKET s, int how);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
int send(SOCKET s, const char* buf, int len, int flags);
u_short ntohs(u_short netshort);
int listen(SOCKET s, int backlog);
int ioctlsocket(SOCKET s, long cmd, u_long* argp);
char* inet_ntoa(in_addr in);
u_long inet_addr(const char* cp);
u_short htons(u_short hostshort);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int getpeername(SOCKET s, sockaddr* name, int* namelen);
int connect(SOCKET s, const sockaddr* name, int namelen);
int closesocket(SOCKET s);
int bind(SOCKET s, const sockaddr* name, int namelen);
SOCKET accept(SOCKET s, sockaddr* addr, int* addrlen);
int recv(SOCKET s, char* buf, int len, int flags);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);

// Not part of the 30, but part of Winsock 1.1 and handy to callers.
int getsockopt(SOCKET s, int level, int optname, char* optval, int* optlen);
u_long htonl(u_long hostlong);
u_long ntohl(u_long netlong);

// Registers the layer as "wsock32.dll" with win32's library registry, before
// it is first loaded by name. Idempotent. On Windows a no-op: the system's
// loader finds the real library.
void RegisterWinsockLibrary();

// Test-only failure injection, in the Linux stand-in only (the real library's
// start-up cannot be made to fail, nor its balance read): tests that use it
// are Linux tests.
namespace testing {
// The next WSAStartup calls fail with this code (0: succeed again).
void FailStartup(int errorCode);
// Whether WSAStartup has succeeded and WSACleanup not yet balanced it.
bool Started();
}  // namespace testing

}  // namespace winsock

#pragma pop_macro("AF_INET")
#pragma pop_macro("PF_INET")
#pragma pop_macro("SOCK_STREAM")
#pragma pop_macro("SOCK_DGRAM")
#pragma pop_macro("SOCK_RAW")
#pragma pop_macro("IPPROTO_IP")
#pragma pop_macro("IPPROTO_TCP")
#pragma pop_macro("IPPROTO_UDP")
#pragma pop_macro("SOL_SOCKET")
#pragma pop_macro("SO_REUSEADDR")
#pragma pop_macro("SO_KEEPALIVE")
#pragma pop_macro("SO_BROADCAST")
#pragma pop_macro("SO_LINGER")
#pragma pop_macro("SO_SNDBUF")
#pragma pop_macro("SO_RCVBUF")
#pragma pop_macro("SO_ERROR")
#pragma pop_macro("SO_TYPE")
#pragma pop_macro("TCP_NODELAY")
#pragma pop_macro("IP_MULTICAST_IF")
#pragma pop_macro("IP_MULTICAST_TTL")
#pragma pop_macro("IP_MULTICAST_LOOP")
#pragma pop_macro("IP_ADD_MEMBERSHIP")
#pragma pop_macro("IP_DROP_MEMBERSHIP")
#pragma pop_macro("FIONREAD")
#pragma pop_macro("FIONBIO")
#pragma pop_macro("MSG_OOB")
#pragma pop_macro("MSG_PEEK")
#pragma pop_macro("SD_RECEIVE")
#pragma pop_macro("SD_SEND")
#pragma pop_macro("SD_BOTH")
#pragma pop_macro("INADDR_ANY")
#pragma pop_macro("INADDR_NONE")
#pragma pop_macro("INADDR_LOOPBACK")
#pragma pop_macro("INADDR_BROADCAST")
#pragma pop_macro("SOMAXCONN")
#pragma pop_macro("INVALID_SOCKET")
#pragma pop_macro("SOCKET_ERROR")
#pragma pop_macro("FD_READ")
#pragma pop_macro("FD_WRITE")
#pragma pop_macro("FD_OOB")
#pragma pop_macro("FD_ACCEPT")
#pragma pop_macro("FD_CONNECT")
#pragma pop_macro("FD_CLOSE")
#pragma pop_macro("WSAMAKESELECTREPLY")
#pragma pop_macro("WSAMAKEASYNCREPLY")
#pragma pop_macro("WSAGETSELECTEVENT")
#pragma pop_macro("WSAGETSELECTERROR")
#pragma pop_macro("WSAGETASYNCERROR")
#pragma pop_macro("WSAGETASYNCBUFLEN")
#pragma pop_macro("WSABASEERR")
#pragma pop_macro("WSAEINTR")
#pragma pop_macro("WSAEBADF")
#pragma pop_macro("WSAEACCES")
#pragma pop_macro("WSAEFAULT")
#pragma pop_macro("WSAEINVAL")
#pragma pop_macro("WSAEMFILE")
#pragma pop_macro("WSAEWOULDBLOCK")
#pragma pop_macro("WSAEINPROGRESS")
#pragma pop_macro("WSAEALREADY")
#pragma pop_macro("WSAENOTSOCK")
#pragma pop_macro("WSAEDESTADDRREQ")
#pragma pop_macro("WSAEMSGSIZE")
#pragma pop_macro("WSAEPROTOTYPE")
#pragma pop_macro("WSAENOPROTOOPT")
#pragma pop_macro("WSAEPROTONOSUPPORT")
#pragma pop_macro("WSAESOCKTNOSUPPORT")
#pragma pop_macro("WSAEOPNOTSUPP")
#pragma pop_macro("WSAEPFNOSUPPORT")
#pragma pop_macro("WSAEAFNOSUPPORT")
#pragma pop_macro("WSAEADDRINUSE")
#pragma pop_macro("WSAEADDRNOTAVAIL")
#pragma pop_macro("WSAENETDOWN")
#pragma pop_macro("WSAENETUNREACH")
#pragma pop_macro("WSAENETRESET")
#pragma pop_macro("WSAECONNABORTED")
#pragma pop_macro("WSAECONNRESET")
#pragma pop_macro("WSAENOBUFS")
#pragma pop_macro("WSAEISCONN")
#pragma pop_macro("WSAENOTCONN")
#pragma pop_macro("WSAESHUTDOWN")
#pragma pop_macro("WSAETOOMANYREFS")
#pragma pop_macro("WSAETIMEDOUT")
#pragma pop_macro("WSAECONNREFUSED")
#pragma pop_macro("WSAELOOP")
#pragma pop_macro("WSAENAMETOOLONG")
#pragma pop_macro("WSAEHOSTDOWN")
#pragma pop_macro("WSAEHOSTUNREACH")
#pragma pop_macro("WSAENOTEMPTY")
#pragma pop_macro("WSAEPROCLIM")
#pragma pop_macro("WSAEUSERS")
#pragma pop_macro("WSAEDQUOT")
#pragma pop_macro("WSAESTALE")
#pragma pop_macro("WSAEREMOTE")
#pragma pop_macro("WSASYSNOTREADY")
#pragma pop_macro("WSAVERNOTSUPPORTED")
#pragma pop_macro("WSANOTINITIALISED")
#pragma pop_macro("WSAHOST_NOT_FOUND")
#pragma pop_macro("WSATRY_AGAIN")
#pragma pop_macro("WSANO_RECOVERY")
#pragma pop_macro("WSANO_DATA")
#pragma pop_macro("WSADESCRIPTION_LEN")
#pragma pop_macro("WSASYS_STATUS_LEN")
#pragma pop_macro("MAXGETHOSTSTRUCT")
#pragma pop_macro("h_addr")
#pragma pop_macro("s_addr")
