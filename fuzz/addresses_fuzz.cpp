// The address and port texts on arbitrary bytes: IsDottedAddress against a
// reference, a dotted text resolves to its four parts, and no text the name
// service would refuse ever reaches it. The name service is FakeNameService.cpp,
// linked in place of the C library's, so no query leaves the process.
#include <cstdint>
#include <string>

#include "fuzz/FakeNameService.h"
#include "fuzz/FuzzSupport.h"
#include "net/WSocket.h"

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Blanks, four decimal parts of 0..255 joined by dots, blanks.
bool ReferenceDotted(const std::string& S, uint32_t& Host) {
  size_t b = S.find_first_not_of(' ');
  if (b == std::string::npos) return false;
  size_t e = S.find_last_not_of(' ') + 1;
  std::string t = S.substr(b, e - b);
  Host = 0;
  size_t at = 0;
  for (int part = 0; part < 4; ++part) {
    size_t start = at;
    uint32_t v = 0;
    while (at < t.size() && IsDigit(t[at])) {
      v = v * 10 + static_cast<uint32_t>(t[at] - '0');
      if (v > 255) return false;
      ++at;
    }
    if (at == start) return false;
    Host = Host << 8 | v;
    if (part < 3) {
      if (at >= t.size() || t[at] != '.') return false;
      ++at;
    }
  }
  return at == t.size();
}

// What the name service may be asked: letters, digits, '-', '_' and dots;
// labels of 1 to 63 bytes; at most 253 bytes (a final dot aside).
bool Plausible(const std::string& Name) {
  std::string n = Name;
  if (!n.empty() && n.back() == '.') n.pop_back();
  if (n.empty() || n.size() > 253) return false;
  size_t label = 0;
  for (char c : n) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
               c == '_') {
      if (++label > 63) return false;
    } else {
      return false;
    }
  }
  return label > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  const std::string s(reinterpret_cast<const char*>(Data) + 1, Size - 1);
  uint32_t host = 0;
  bool dotted = ReferenceDotted(s, host);
  fuzz::Check(IsDottedAddress(s) == dotted, "IsDottedAddress differs", "'" + s + "'");

  // A text over 256 bytes is refused as a host name before it is looked at,
  // dotted or not (blanks around four parts can make it that long).
  const bool tooLong = s.size() > 256;
  fakens::Queries = 0;
  try {
    uint32_t addr = WSocketResolveHost(s);
    fuzz::Check(!tooLong, "a text over 256 bytes was accepted", "'" + s + "'");
    if (dotted)
      fuzz::Check(addr == __builtin_bswap32(host), "a dotted address resolved to another");
  } catch (const ESocketException& E) {
    if (tooLong)
      fuzz::Check(E.Message() == "WSocketResolveHost: '" + s + "' Invalid Hostname.",
                  "a text over 256 bytes was refused for another reason", E.Message());
    else
      fuzz::Check(!dotted, "a dotted address did not resolve", "'" + s + "'");
  }
  if (fakens::Queries) {
    fuzz::Check(!dotted, "a dotted address was looked up");
    fuzz::Check(Plausible(fakens::Asked), "the name service was asked for a name it would refuse",
                "'" + fakens::Asked + "'");
  }

  // Ports and protocols: numbers, or names from the local databases.
  if (Data[0] % 4 == 0 && Size < 40) {
    try {
      uint16_t port = WSocketResolvePort(s, Data[0] % 8 ? "tcp" : "udp");
      if (!s.empty() && IsDigit(s[0]))
        fuzz::Check(port == static_cast<uint16_t>(ParseLeadingNumber(s) & 0xFFFF),
                    "numeric port differs");
    } catch (const ESocketException&) {
      fuzz::Check(s.empty() || !IsDigit(s[0]) || s.size() >= 32, "a numeric port was refused");
    }
    try {
      WSocketResolveProto(s);
    } catch (const ESocketException&) {
    }
  }
  return 0;
}
