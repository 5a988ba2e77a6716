// Host look-ups through the system resolver, and their Winsock-layout entries.
#include "platform/winsock/linux/HostEntry.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>

namespace winsock::internal {

namespace {

int ErrorFromResolver(int eai) {
  switch (eai) {
    case EAI_NONAME:
      return WSAHOST_NOT_FOUND;
    case EAI_AGAIN:
      return WSATRY_AGAIN;
#ifdef EAI_NODATA
    case EAI_NODATA:
      return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
      return WSANO_DATA;
#endif
    case EAI_MEMORY:
      return WSAENOBUFS;
    default:
      return WSANO_RECOVERY;
  }
}

size_t Align(size_t n) { return (n + alignof(char*) - 1) & ~(alignof(char*) - 1); }

}  // namespace

bool IsValidHostName(const char* name) {
  if (!name) return false;
  size_t len = std::strlen(name);
  if (len > 0 && name[len - 1] == '.') --len;  // a fully qualified name
  if (len == 0 || len > 253) return false;
  size_t label = 0;
  for (size_t i = 0; i < len; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (c <= ' ' || c == 0x7F) return false;
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (++label > 63) {
      return false;
    }
  }
  return label > 0;
}

int ResolveHostByName(const char* name, HostRecord* out) {
  if (!IsValidHostName(name)) return WSAHOST_NOT_FOUND;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one answer per address
  hints.ai_flags = AI_CANONNAME;
  addrinfo* list = nullptr;
  int r = getaddrinfo(name, nullptr, &hints, &list);
  if (r != 0) return ErrorFromResolver(r);
  out->name = list->ai_canonname ? list->ai_canonname : name;
  out->aliases.clear();
  out->addresses.clear();
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || ai->ai_addrlen < sizeof(::sockaddr_in)) continue;
    ::sockaddr_in sa;
    std::memcpy(&sa, ai->ai_addr, sizeof sa);
    if (std::find(out->addresses.begin(), out->addresses.end(), sa.sin_addr.s_addr) ==
        out->addresses.end())
      out->addresses.push_back(sa.sin_addr.s_addr);
  }
  freeaddrinfo(list);
  return out->addresses.empty() ? WSANO_DATA : 0;
}

int ResolveHostByAddr(uint32_t addressNet, HostRecord* out) {
  ::sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = addressNet;
  char host[NI_MAXHOST];
  int r = getnameinfo(reinterpret_cast<::sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0,
                      NI_NAMEREQD);
  if (r != 0) return ErrorFromResolver(r);
  out->name = host;
  out->aliases.clear();
  out->addresses.assign(1, addressNet);
  return 0;
}

// Layout: hostent, alias pointers, address pointers, addresses, then texts.
size_t HostEntrySize(const HostRecord& record) {
  size_t size = Align(sizeof(hostent));
  size += (record.aliases.size() + 1) * sizeof(char*);
  size += (record.addresses.size() + 1) * sizeof(char*);
  size += record.addresses.size() * 4;
  size += record.name.size() + 1;
  for (const std::string& alias : record.aliases) size += alias.size() + 1;
  return size;
}

// Written with memcpy throughout: the caller's buffer need not be aligned.
void PackHostEntry(const HostRecord& record, char* buf) {
  char* aliasTable = buf + Align(sizeof(hostent));
  char* addrTable = aliasTable + (record.aliases.size() + 1) * sizeof(char*);
  char* addrs = addrTable + (record.addresses.size() + 1) * sizeof(char*);
  char* text = addrs + record.addresses.size() * 4;
  char* const null = nullptr;

  hostent he{};
  he.h_addrtype = static_cast<int16_t>(ws::kAfInet);
  he.h_length = 4;
  he.h_name = text;
  he.h_aliases = reinterpret_cast<char**>(aliasTable);
  he.h_addr_list = reinterpret_cast<char**>(addrTable);
  std::memcpy(buf, &he, sizeof he);

  std::memcpy(text, record.name.c_str(), record.name.size() + 1);
  text += record.name.size() + 1;
  for (size_t i = 0; i < record.aliases.size(); ++i) {
    std::memcpy(aliasTable + i * sizeof(char*), &text, sizeof(char*));
    std::memcpy(text, record.aliases[i].c_str(), record.aliases[i].size() + 1);
    text += record.aliases[i].size() + 1;
  }
  std::memcpy(aliasTable + record.aliases.size() * sizeof(char*), &null, sizeof(char*));
  for (size_t i = 0; i < record.addresses.size(); ++i) {
    char* at = addrs + i * 4;
    std::memcpy(at, &record.addresses[i], 4);
    std::memcpy(addrTable + i * sizeof(char*), &at, sizeof(char*));
  }
  std::memcpy(addrTable + record.addresses.size() * sizeof(char*), &null, sizeof(char*));
}

}  // namespace winsock::internal
