// The resolvers: the texts a user types into what Winsock needs.
#include <cstring>

#include "net/WSocket.h"
#include "net/WSocketUnit.h"
#include "rtl/SysUtils.h"

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

[[noreturn]] void HostNotFound(const std::string& InAddr) {
  // Concatenated rather than formatted so that every byte of the text shows.
  throw ESocketException("WSocketResolveHost: Cannot convert host address '" + InAddr +
                         "', Error #" + IntToStr(WSocket_WSAGetLastError()));
}

// Whether a text can be a host name at all. Texts that cannot are refused here,
// as the name service would refuse them, so that no query for them ever leaves
// the machine: bytes outside letters, digits, '-', '_' and '.', empty labels,
// labels over 63 bytes, names over 253 bytes.
bool IsPlausibleHostName(const char* Name) {
  size_t len = std::strlen(Name);
  if (Name[len - 1] == '.') --len;  // a fully qualified name may end with a dot
  if (len == 0 || len > 253) return false;
  size_t label = 0;
  for (size_t i = 0; i < len; ++i) {
    char c = Name[i];
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
      continue;
    }
    bool ok =
        IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
    if (!ok || ++label > 63) return false;
  }
  return label > 0;
}

bool IsDigitsAndDots(const char* Name) {
  for (const char* p = Name; *p; ++p)
    if (!IsDigit(*p) && *p != '.') return false;
  return true;
}

// The dotted-address scan; with Address, also the four parts read as decimal
// numbers (a leading zero is a zero, not an octal prefix).
bool ScanDottedAddress(const std::string& S, uint32_t* Address) {
  const size_t len = S.size();
  size_t i = 0;
  while (i < len && S[i] == ' ') ++i;
  if (i < len && S[i] == '.') return false;
  int dots = 0;
  uint32_t part = 0;
  uint32_t value = 0;
  for (; i < len; ++i) {
    char c = S[i];
    if (IsDigit(c)) {
      part = part * 10 + static_cast<uint32_t>(c - '0');
      if (part > 255) part = 256;  // only "above 255" matters; keeps it from overflowing
    } else if (c == '.') {
      if (++dots > 3 || part > 255 || i == len - 1 || !IsDigit(S[i + 1])) return false;
      value = value << 8 | part;
      part = 0;
    } else {
      while (i < len && S[i] == ' ') ++i;
      if (i < len) return false;
      break;
    }
  }
  if (dots != 3 || part > 255) return false;
  if (Address) {
    value = value << 8 | part;
    const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                              uint8_t(value)};
    std::memcpy(Address, bytes, 4);  // network byte order
  }
  return true;
}

}  // namespace

int32_t ParseLeadingNumber(const std::string& S) {
  size_t i = 0;
  while (i < S.size() && S[i] == ' ') ++i;
  // Wraps modulo 2^32 like the original 32-bit accumulation, without overflow.
  uint32_t n = 0;
  for (; i < S.size() && IsDigit(S[i]); ++i) n = n * 10u + static_cast<uint32_t>(S[i] - '0');
  return static_cast<int32_t>(n);
}

bool IsDottedAddress(const std::string& S) { return ScanDottedAddress(S, nullptr); }

uint32_t WSocketDottedAddress(const std::string& S) {
  uint32_t address;
  return ScanDottedAddress(S, &address) ? address : winsock::INADDR_NONE;
}

uint32_t WSocketResolveHost(const std::string& InAddr) {
  if (InAddr.empty() || InAddr.size() > 256)
    throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid Hostname.");
  char buffer[257];
  std::string trimmed = Trim(InAddr);
  std::memcpy(buffer, trimmed.data(), trimmed.size());
  buffer[trimmed.size()] = '\0';
  if (IsDottedAddress(InAddr)) {
    // Read here, in decimal, but the library is loaded and started as by any
    // conversion, with its failures.
    LookupWinsockProc("");
    uint32_t r = WSocketDottedAddress(InAddr);
    if (r == winsock::INADDR_NONE && std::strcmp(buffer, "255.255.255.255") != 0)
      throw ESocketException("WSocketResolveHost: '" + InAddr + "' Invalid IP address.");
    return r;
  }
  // A zero byte inside the text would silently shorten the name looked up.
  if (buffer[0] == '\0' || trimmed.find('\0') != std::string::npos ||
      !IsPlausibleHostName(buffer)) {
    WSocket_WSASetLastError(winsock::WSAHOST_NOT_FOUND);
    HostNotFound(InAddr);
  }
  if (IsDigitsAndDots(buffer)) {
    // Numbers only: an address in one of the short forms or nothing; never a name to query.
    uint32_t r = WSocket_inet_addr(buffer);
    if (r != winsock::INADDR_NONE) return r;
    WSocket_WSASetLastError(winsock::WSAHOST_NOT_FOUND);
    HostNotFound(InAddr);
  }
  winsock::hostent* entry = WSocket_gethostbyname(buffer);
  if (!entry || !entry->h_addr_list || !entry->h_addr_list[0]) HostNotFound(InAddr);
  uint32_t addr;
  std::memcpy(&addr, entry->h_addr_list[0], sizeof(addr));
  return addr;
}

uint16_t WSocketResolvePort(const std::string& Port, const std::string& Proto) {
  if (Port.empty() || Port.size() >= 32)
    throw ESocketException("WSocketResolvePort: Invalid Port.");
  if (Proto.empty() || Proto.size() >= 32)
    throw ESocketException("WSocketResolvePort: Invalid Proto.");
  if (IsDigit(Port[0])) return static_cast<uint16_t>(ParseLeadingNumber(Port) & 0xFFFF);
  std::string port = Trim(Port);
  std::string proto = Trim(Proto);
  winsock::servent* entry =
      WSocket_getservbyname(port.c_str(), proto.empty() ? nullptr : proto.c_str());
  if (!entry)
    throw ESocketException("WSocketResolvePort: Cannot convert port '" + Port + "', Error #" +
                           IntToStr(WSocket_WSAGetLastError()));
  return WSocket_ntohs(static_cast<winsock::u_short>(entry->s_port));
}

int32_t WSocketResolveProto(const std::string& Proto) {
  if (Proto.empty() || Proto.size() >= 32)
    throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  std::string proto = Trim(Proto);
  // Only blanks: nothing is left to name a protocol.
  if (proto.empty()) throw ESocketException("WSocketResolveProto: Invalid Protocol.");
  if (IsDigit(proto[0])) return ParseLeadingNumber(proto);
  winsock::protoent* entry = WSocket_getprotobyname(proto.c_str());
  if (!entry)
    throw ESocketException("WSocketResolveProto: Cannot convert protocol '" + proto + "', Error #" +
                           IntToStr(WSocket_WSAGetLastError()));
  return entry->p_proto;
}

void CopyHostAddresses(const winsock::hostent* HostEntry, TStringList& List) {
  if (!HostEntry || !HostEntry->h_addr_list) return;
  for (char** p = HostEntry->h_addr_list; *p; ++p) {
    winsock::in_addr a;
    std::memcpy(&a.s_addr, *p, sizeof(a.s_addr));
    List.Add(WSocket_inet_ntoa(a));
  }
}
