// Compile-time proof that the project's Winsock declarations are the real
// ones: every record the upper layers use has the real size and field offsets,
// and every constant the real value of Winsock 1.1 (wsock32.dll). The project's
// values are taken before <winsock.h>, whose names are macros.
#include <cstddef>
#include <cstdint>

#include "platform/winsock/winsock.h"

// Constants as the real <winsock.h> names them.
#define WINSOCK_CONSTANTS(X)                                                                    \
  X(AF_INET) X(PF_INET) X(SOCK_STREAM) X(SOCK_DGRAM) X(SOCK_RAW) X(IPPROTO_IP) X(IPPROTO_TCP)   \
  X(IPPROTO_UDP) X(SOL_SOCKET) X(SO_REUSEADDR) X(SO_KEEPALIVE) X(SO_BROADCAST) X(SO_LINGER)     \
  X(SO_SNDBUF) X(SO_RCVBUF) X(SO_ERROR) X(SO_TYPE) X(TCP_NODELAY) X(IP_MULTICAST_IF)            \
  X(IP_MULTICAST_TTL) X(IP_MULTICAST_LOOP) X(IP_ADD_MEMBERSHIP) X(IP_DROP_MEMBERSHIP)           \
  X(FIONREAD) X(FIONBIO) X(MSG_OOB) X(MSG_PEEK) X(INADDR_ANY) X(INADDR_NONE) X(INADDR_LOOPBACK) \
  X(INADDR_BROADCAST) X(SOMAXCONN) X(SOCKET_ERROR) X(FD_READ) X(FD_WRITE) X(FD_OOB)             \
  X(FD_ACCEPT) X(FD_CONNECT) X(FD_CLOSE) X(MAXGETHOSTSTRUCT) X(WSADESCRIPTION_LEN)              \
  X(WSASYS_STATUS_LEN) X(WSABASEERR) X(WSAEINTR) X(WSAEBADF) X(WSAEACCES) X(WSAEFAULT)          \
  X(WSAEINVAL) X(WSAEMFILE) X(WSAEWOULDBLOCK) X(WSAEINPROGRESS) X(WSAEALREADY) X(WSAENOTSOCK)   \
  X(WSAEDESTADDRREQ) X(WSAEMSGSIZE) X(WSAEPROTOTYPE) X(WSAENOPROTOOPT) X(WSAEPROTONOSUPPORT)    \
  X(WSAESOCKTNOSUPPORT) X(WSAEOPNOTSUPP) X(WSAEPFNOSUPPORT) X(WSAEAFNOSUPPORT)                  \
  X(WSAEADDRINUSE) X(WSAEADDRNOTAVAIL) X(WSAENETDOWN) X(WSAENETUNREACH) X(WSAENETRESET)         \
  X(WSAECONNABORTED) X(WSAECONNRESET) X(WSAENOBUFS) X(WSAEISCONN) X(WSAENOTCONN)                \
  X(WSAESHUTDOWN) X(WSAETOOMANYREFS) X(WSAETIMEDOUT) X(WSAECONNREFUSED) X(WSAELOOP)             \
  X(WSAENAMETOOLONG) X(WSAEHOSTDOWN) X(WSAEHOSTUNREACH) X(WSAENOTEMPTY) X(WSAEPROCLIM)          \
  X(WSAEUSERS) X(WSAEDQUOT) X(WSAESTALE) X(WSAEREMOTE) X(WSASYSNOTREADY) X(WSAVERNOTSUPPORTED)  \
  X(WSANOTINITIALISED) X(WSAHOST_NOT_FOUND) X(WSATRY_AGAIN) X(WSANO_RECOVERY) X(WSANO_DATA)

namespace ours {
// Compared as 32-bit patterns: the real headers mix int, long and unsigned.
#define WINSOCK_TAKE(name) constexpr uint32_t name##_value = static_cast<uint32_t>(winsock::name);
WINSOCK_CONSTANTS(WINSOCK_TAKE)
#undef WINSOCK_TAKE
constexpr uint64_t INVALID_SOCKET_value = winsock::INVALID_SOCKET;
constexpr int SD_RECEIVE_value = winsock::SD_RECEIVE;
constexpr int SD_SEND_value = winsock::SD_SEND;
constexpr int SD_BOTH_value = winsock::SD_BOTH;
constexpr uint32_t select_reply = static_cast<uint32_t>(winsock::WSAMAKESELECTREPLY(0x20, 10054));
constexpr unsigned select_event = winsock::WSAGETSELECTEVENT(0x27460020);
constexpr unsigned select_error = winsock::WSAGETSELECTERROR(0x27460020);
constexpr unsigned async_length = winsock::WSAGETASYNCBUFLEN(0x2AFC0400);
constexpr unsigned async_error = winsock::WSAGETASYNCERROR(0x2AFC0400);
constexpr size_t in_addr_s_addr_offset = offsetof(winsock::in_addr, s_addr);
constexpr size_t in_addr_s_addr_size = sizeof(winsock::in_addr::s_addr);
}  // namespace ours

#include <winsock.h>

#define WINSOCK_CHECK(name) \
  static_assert(ours::name##_value == static_cast<uint32_t>(name), #name " differs from Winsock's");
WINSOCK_CONSTANTS(WINSOCK_CHECK)
#undef WINSOCK_CHECK
static_assert(ours::INVALID_SOCKET_value == INVALID_SOCKET, "INVALID_SOCKET");
// The shutdown directions are Winsock 2 names with the values Winsock 1.1 takes.
static_assert(ours::SD_RECEIVE_value == 0 && ours::SD_SEND_value == 1 && ours::SD_BOTH_value == 2,
              "shutdown directions");
static_assert(ours::select_reply == static_cast<uint32_t>(WSAMAKESELECTREPLY(0x20, 10054)),
              "WSAMAKESELECTREPLY");
static_assert(ours::select_event == WSAGETSELECTEVENT(0x27460020), "WSAGETSELECTEVENT");
static_assert(ours::select_error == WSAGETSELECTERROR(0x27460020), "WSAGETSELECTERROR");
static_assert(ours::async_length == WSAGETASYNCBUFLEN(0x2AFC0400), "WSAGETASYNCBUFLEN");
static_assert(ours::async_error == WSAGETASYNCERROR(0x2AFC0400), "WSAGETASYNCERROR");

// Scalar types passed to and returned by the procedures.
static_assert(sizeof(winsock::SOCKET) == sizeof(::SOCKET), "SOCKET");
static_assert(sizeof(winsock::u_long) == sizeof(::u_long), "u_long");
static_assert(sizeof(winsock::u_short) == sizeof(::u_short), "u_short");
static_assert(sizeof(winsock::HANDLE) == sizeof(::HANDLE), "HANDLE");
static_assert(sizeof(win32::HWND) == sizeof(::HWND), "HWND");
static_assert(sizeof(long) == sizeof(__LONG32), "the event mask and ioctl command are 32 bits");

// Records: the same size, and each field at the same offset with the same size.
#define WINSOCK_RECORD(ours_type, real_type) \
  static_assert(sizeof(winsock::ours_type) == sizeof(real_type), #ours_type " size");
#define WINSOCK_FIELD(ours_type, real_type, field)                                     \
  static_assert(offsetof(winsock::ours_type, field) == offsetof(real_type, field),     \
                #ours_type "." #field " offset");                                     \
  static_assert(sizeof(winsock::ours_type::field) == sizeof(real_type::field),        \
                #ours_type "." #field " size");

WINSOCK_RECORD(in_addr, ::in_addr)
// The real in_addr is a union; its s_addr (a macro) names the whole 32 bits.
static_assert(ours::in_addr_s_addr_offset == offsetof(::in_addr, s_addr), "in_addr.s_addr offset");
static_assert(ours::in_addr_s_addr_size == sizeof(::in_addr{}.s_addr), "in_addr.s_addr size");

WINSOCK_RECORD(sockaddr, ::sockaddr)
WINSOCK_FIELD(sockaddr, ::sockaddr, sa_family)
WINSOCK_FIELD(sockaddr, ::sockaddr, sa_data)

WINSOCK_RECORD(sockaddr_in, ::sockaddr_in)
WINSOCK_FIELD(sockaddr_in, ::sockaddr_in, sin_family)
WINSOCK_FIELD(sockaddr_in, ::sockaddr_in, sin_port)
WINSOCK_FIELD(sockaddr_in, ::sockaddr_in, sin_addr)
WINSOCK_FIELD(sockaddr_in, ::sockaddr_in, sin_zero)

WINSOCK_RECORD(linger, ::linger)
WINSOCK_FIELD(linger, ::linger, l_onoff)
WINSOCK_FIELD(linger, ::linger, l_linger)

WINSOCK_RECORD(ip_mreq, ::ip_mreq)
WINSOCK_FIELD(ip_mreq, ::ip_mreq, imr_multiaddr)
WINSOCK_FIELD(ip_mreq, ::ip_mreq, imr_interface)

WINSOCK_RECORD(hostent, ::hostent)
WINSOCK_FIELD(hostent, ::hostent, h_name)
WINSOCK_FIELD(hostent, ::hostent, h_aliases)
WINSOCK_FIELD(hostent, ::hostent, h_addrtype)
WINSOCK_FIELD(hostent, ::hostent, h_length)
WINSOCK_FIELD(hostent, ::hostent, h_addr_list)

WINSOCK_RECORD(servent, ::servent)
WINSOCK_FIELD(servent, ::servent, s_name)
WINSOCK_FIELD(servent, ::servent, s_aliases)
WINSOCK_FIELD(servent, ::servent, s_port)
WINSOCK_FIELD(servent, ::servent, s_proto)

WINSOCK_RECORD(protoent, ::protoent)
WINSOCK_FIELD(protoent, ::protoent, p_name)
WINSOCK_FIELD(protoent, ::protoent, p_aliases)
WINSOCK_FIELD(protoent, ::protoent, p_proto)

WINSOCK_RECORD(WSADATA, ::WSADATA)
WINSOCK_FIELD(WSADATA, ::WSADATA, wVersion)
WINSOCK_FIELD(WSADATA, ::WSADATA, wHighVersion)
WINSOCK_FIELD(WSADATA, ::WSADATA, iMaxSockets)
WINSOCK_FIELD(WSADATA, ::WSADATA, iMaxUdpDg)
WINSOCK_FIELD(WSADATA, ::WSADATA, lpVendorInfo)
WINSOCK_FIELD(WSADATA, ::WSADATA, szDescription)
WINSOCK_FIELD(WSADATA, ::WSADATA, szSystemStatus)
static_assert(offsetof(winsock::WSADATA, szDescription) == 16, "64-bit WSADATA");
