// Private to the winsock layer: Winsock's 16-byte IPv4 address to Linux's and back.
#pragma once

#include "platform/winsock/linux/Internal.h"

#include <netinet/in.h>

#include <cstring>

namespace winsock::internal {

// Fails with WSAEFAULT for a short or missing record, WSAEAFNOSUPPORT for
// another family.
inline int ToLinuxAddress(const sockaddr* name, int namelen, ::sockaddr_in* out) {
  if (!name || namelen < static_cast<int>(sizeof(winsock::sockaddr_in))) return WSAEFAULT;
  winsock::sockaddr_in in;
  std::memcpy(&in, name, sizeof in);
  if (in.sin_family != ws::kAfInet) return WSAEAFNOSUPPORT;
  std::memset(out, 0, sizeof *out);
  out->sin_family = AF_INET;
  out->sin_port = in.sin_port;
  out->sin_addr.s_addr = in.sin_addr.s_addr;
  return 0;
}

// Fills name when namelen holds at least 16 (and sets it to 16); WSAEFAULT otherwise.
inline int FromLinuxAddress(const ::sockaddr_in& in, sockaddr* name, int* namelen) {
  if (!name || !namelen || *namelen < static_cast<int>(sizeof(winsock::sockaddr_in)))
    return WSAEFAULT;
  winsock::sockaddr_in out;
  std::memset(&out, 0, sizeof out);
  out.sin_family = ws::kAfInet;
  out.sin_port = in.sin_port;
  out.sin_addr.s_addr = in.sin_addr.s_addr;
  std::memcpy(name, &out, sizeof out);
  *namelen = sizeof out;
  return 0;
}

// A SOCKET value that can be a descriptor at all.
inline bool PlausibleSocket(SOCKET s) { return s <= 0x7FFFFFFF; }

}  // namespace winsock::internal
