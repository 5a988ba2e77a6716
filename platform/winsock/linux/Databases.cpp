// gethostbyname, getservbyname, getprotobyname: thread-local records in
// Winsock's layout. Services and protocols fall back to a small built-in table
// when the system has no /etc/services or /etc/protocols.
#include "platform/winsock/linux/HostEntry.h"

#include <netdb.h>

#include <cstring>
#include <string>
#include <vector>

namespace winsock {

using namespace internal;

namespace {

struct KnownService {
  const char* name;
  int port;
};

const KnownService kKnownServices[] = {
    {"echo", 7},   {"discard", 9},  {"daytime", 13}, {"ftp-data", 20}, {"ftp", 21},
    {"ssh", 22},   {"telnet", 23},  {"smtp", 25},    {"time", 37},     {"domain", 53},
    {"tftp", 69},  {"gopher", 70},  {"finger", 79},  {"http", 80},     {"www", 80},
    {"pop3", 110}, {"sunrpc", 111}, {"nntp", 119},   {"ntp", 123},     {"imap", 143},
    {"snmp", 161}, {"ldap", 389},   {"https", 443},  {"syslog", 514},  {"socks", 1080},
};

struct KnownProtocol {
  const char* name;
  const char* alias;
  int number;
};

const KnownProtocol kKnownProtocols[] = {
    {"ip", "IP", 0}, {"icmp", "ICMP", 1}, {"tcp", "TCP", 6}, {"udp", "UDP", 17}};

// Storage behind the records handed out; valid until the thread's next call.
struct ThreadRecords {
  std::vector<char> hostBuffer;
  servent service{};
  std::string serviceName, serviceProto;
  std::vector<std::string> serviceAliasTexts;
  std::vector<char*> serviceAliases;
  protoent protocol{};
  std::string protocolName;
  std::vector<std::string> protocolAliasTexts;
  std::vector<char*> protocolAliases;
};

ThreadRecords& Records() {
  static thread_local ThreadRecords records;
  return records;
}

void KeepAliases(char** source, std::vector<std::string>* texts, std::vector<char*>* table) {
  texts->clear();
  for (; source && *source; ++source) texts->emplace_back(*source);
  table->clear();
  for (std::string& t : *texts) table->push_back(&t[0]);
  table->push_back(nullptr);
}

}  // namespace

hostent* gethostbyname(const char* name) {
  if (!CheckStarted()) return nullptr;
  if (!name) {
    WSASetLastError(WSAEFAULT);
    return nullptr;
  }
  HostRecord record;
  if (int err = ResolveHostByName(name, &record)) {
    WSASetLastError(err);
    return nullptr;
  }
  std::vector<char>& buffer = Records().hostBuffer;
  buffer.resize(HostEntrySize(record));
  PackHostEntry(record, buffer.data());
  return reinterpret_cast<hostent*>(buffer.data());
}

servent* getservbyname(const char* name, const char* proto) {
  if (!CheckStarted()) return nullptr;
  if (!name) {
    WSASetLastError(WSAEFAULT);
    return nullptr;
  }
  ThreadRecords& r = Records();
  ::servent found{};
  ::servent* result = nullptr;
  char scratch[4096];
  getservbyname_r(name, proto, &found, scratch, sizeof scratch, &result);
  if (result) {
    r.serviceName = result->s_name;
    r.serviceProto = result->s_proto ? result->s_proto : "";
    KeepAliases(result->s_aliases, &r.serviceAliasTexts, &r.serviceAliases);
    r.service.s_port = static_cast<int16_t>(result->s_port);  // already network order
  } else {
    const KnownService* known = nullptr;
    const bool protoKnown =
        !proto || std::strcmp(proto, "tcp") == 0 || std::strcmp(proto, "udp") == 0;
    for (const KnownService& k : kKnownServices)
      if (protoKnown && std::strcmp(k.name, name) == 0) known = &k;
    if (!known) {
      WSASetLastError(WSANO_DATA);
      return nullptr;
    }
    r.serviceName = known->name;
    r.serviceProto = proto ? proto : "tcp";
    KeepAliases(nullptr, &r.serviceAliasTexts, &r.serviceAliases);
    r.service.s_port = static_cast<int16_t>(htons(static_cast<u_short>(known->port)));
  }
  r.service.s_name = &r.serviceName[0];
  r.service.s_proto = &r.serviceProto[0];
  r.service.s_aliases = r.serviceAliases.data();
  return &r.service;
}

protoent* getprotobyname(const char* name) {
  if (!CheckStarted()) return nullptr;
  if (!name) {
    WSASetLastError(WSAEFAULT);
    return nullptr;
  }
  ThreadRecords& r = Records();
  ::protoent found{};
  ::protoent* result = nullptr;
  char scratch[1024];
  getprotobyname_r(name, &found, scratch, sizeof scratch, &result);
  if (result) {
    r.protocolName = result->p_name;
    KeepAliases(result->p_aliases, &r.protocolAliasTexts, &r.protocolAliases);
    r.protocol.p_proto = static_cast<int16_t>(result->p_proto);
  } else {
    const KnownProtocol* known = nullptr;
    for (const KnownProtocol& k : kKnownProtocols)
      if (std::strcmp(k.name, name) == 0 || std::strcmp(k.alias, name) == 0) known = &k;
    if (!known) {
      WSASetLastError(WSANO_DATA);
      return nullptr;
    }
    r.protocolName = known->name;
    char* aliases[] = {const_cast<char*>(known->alias), nullptr};
    KeepAliases(aliases, &r.protocolAliasTexts, &r.protocolAliases);
    r.protocol.p_proto = static_cast<int16_t>(known->number);
  }
  r.protocol.p_name = &r.protocolName[0];
  r.protocol.p_aliases = r.protocolAliases.data();
  return &r.protocol;
}

}  // namespace winsock
