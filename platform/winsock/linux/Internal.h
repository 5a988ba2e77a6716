// Private to the winsock layer. Include this before any system socket header:
// several Winsock names are macros there, so the layer's own constants are
// taken here under names of their own.
#pragma once

#if defined(SOL_SOCKET) || defined(AF_INET) || defined(FIONREAD)
#error "include platform/winsock/linux/Internal.h before the system socket headers"
#endif

#include <cstddef>
#include <cstdint>

#include "platform/winsock/winsock.h"

namespace winsock::internal {

// Winsock's numbering, safe to use after the system headers are in.
namespace ws {
constexpr int kAfInet = AF_INET;
constexpr int kSockStream = SOCK_STREAM;
constexpr int kSockDgram = SOCK_DGRAM;
constexpr int kSockRaw = SOCK_RAW;
constexpr int kSolSocket = SOL_SOCKET;
constexpr int kIpprotoIp = IPPROTO_IP;
constexpr int kIpprotoTcp = IPPROTO_TCP;
constexpr int kSoDebug = 0x0001;
constexpr int kSoAcceptConn = 0x0002;
constexpr int kSoReuseAddr = SO_REUSEADDR;
constexpr int kSoKeepAlive = SO_KEEPALIVE;
constexpr int kSoDontRoute = 0x0010;
constexpr int kSoBroadcast = SO_BROADCAST;
constexpr int kSoLinger = SO_LINGER;
constexpr int kSoOobInline = 0x0100;
constexpr int kSoDontLinger = static_cast<int>(~0x0080u & 0xFFFFu);
constexpr int kSoSndBuf = SO_SNDBUF;
constexpr int kSoRcvBuf = SO_RCVBUF;
constexpr int kSoError = SO_ERROR;
constexpr int kSoType = SO_TYPE;
constexpr int kTcpNoDelay = TCP_NODELAY;
constexpr int kIpOptions = 1;
constexpr int kIpMulticastIf = IP_MULTICAST_IF;
constexpr int kIpMulticastTtl = IP_MULTICAST_TTL;
constexpr int kIpMulticastLoop = IP_MULTICAST_LOOP;
constexpr int kIpAddMembership = IP_ADD_MEMBERSHIP;
constexpr int kIpDropMembership = IP_DROP_MEMBERSHIP;
constexpr int kIpTtl = 7;
constexpr int kIpTos = 8;
constexpr long kFionread = FIONREAD;
constexpr long kFionbio = FIONBIO;
constexpr long kSiocatmark = 0x40047307L;
constexpr int kMsgOob = MSG_OOB;
constexpr int kMsgPeek = MSG_PEEK;
constexpr int kMsgDontRoute = 0x4;
constexpr u_long kInaddrNone = INADDR_NONE;
}  // namespace ws

// ---- Errors ----
// The Winsock code for a Linux errno value.
int ErrorFromErrno(int err);
// Sets the calling thread's Winsock error from errno and returns SOCKET_ERROR.
int FailWithErrno();
int Fail(int wsaError);

// ---- Start-up ----
// False (with WSANOTINITIALISED set) unless WSAStartup is in effect.
bool CheckStarted();
// Called when the last WSACleanup balances the first WSAStartup.
void CloseAllSockets();
void CancelAllLookups();

}  // namespace winsock::internal
