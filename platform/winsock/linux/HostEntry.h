// Private to the winsock layer: host look-ups and host entries in Winsock's
// layout (pointers into the same buffer, 16-bit type and length).
#pragma once

#include "platform/winsock/linux/Internal.h"

#include <string>
#include <vector>

namespace winsock::internal {

struct HostRecord {
  std::string name;
  std::vector<std::string> aliases;
  std::vector<uint32_t> addresses;  // IPv4, network byte order
};

// A name the resolver could be asked about: 1 to 253 characters (one final dot
// allowed), labels of 1 to 63 characters, no blanks or control characters.
bool IsValidHostName(const char* name);

// Blocking look-ups. Return 0 or the Winsock code (WSAHOST_NOT_FOUND,
// WSATRY_AGAIN, WSANO_RECOVERY, WSANO_DATA, WSAENOBUFS). A malformed name fails
// with WSAHOST_NOT_FOUND without asking any resolver.
int ResolveHostByName(const char* name, HostRecord* out);
int ResolveHostByAddr(uint32_t addressNet, HostRecord* out);

// Bytes the entry takes in Winsock's layout.
size_t HostEntrySize(const HostRecord& record);
// Writes the entry at buf (HostEntrySize bytes); the hostent is at its start.
void PackHostEntry(const HostRecord& record, char* buf);

}  // namespace winsock::internal
