// Byte order and the dotted address texts.
#include "platform/winsock/linux/Internal.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace winsock {

u_short htons(u_short v) { return __builtin_bswap16(v); }
u_short ntohs(u_short v) { return __builtin_bswap16(v); }
u_long htonl(u_long v) { return __builtin_bswap32(v); }
u_long ntohl(u_long v) { return __builtin_bswap32(v); }

// The classic rules: one to four parts, each decimal, octal (leading 0) or hex
// (leading 0x); the last part fills the bytes left. The text may end at a
// white-space character.
u_long inet_addr(const char* cp) {
  if (!cp) return internal::ws::kInaddrNone;
  uint32_t parts[4];
  int count = 0;
  const char* p = cp;
  for (;;) {
    if (!std::isdigit(static_cast<unsigned char>(*p))) return internal::ws::kInaddrNone;
    unsigned base = 10;
    if (*p == '0') {
      base = 8;
      ++p;
      if (*p == 'x' || *p == 'X') {
        base = 16;
        ++p;
      }
    }
    uint64_t value = 0;
    for (;; ++p) {
      const unsigned char c = static_cast<unsigned char>(*p);
      unsigned digit;
      if (std::isdigit(c))
        digit = c - '0';
      else if (base == 16 && std::isxdigit(c))
        digit = static_cast<unsigned>(std::tolower(c) - 'a' + 10);
      else
        break;
      if (digit >= base) return internal::ws::kInaddrNone;
      value = value * base + digit;
      if (value > 0xFFFFFFFFu) return internal::ws::kInaddrNone;
    }
    if (*p == '.') {
      if (count == 3 || value > 0xFF) return internal::ws::kInaddrNone;
      parts[count++] = static_cast<uint32_t>(value);
      ++p;
      continue;
    }
    parts[count++] = static_cast<uint32_t>(value);
    break;
  }
  if (*p && !std::isspace(static_cast<unsigned char>(*p))) return internal::ws::kInaddrNone;
  static const uint32_t lastLimit[4] = {0xFFFFFFFFu, 0xFFFFFFu, 0xFFFFu, 0xFFu};
  if (parts[count - 1] > lastLimit[count - 1]) return internal::ws::kInaddrNone;
  uint32_t address = parts[count - 1];
  for (int i = 0; i < count - 1; ++i) address |= parts[i] << (24 - 8 * i);
  return htonl(address);
}

char* inet_ntoa(in_addr in) {
  static thread_local char text[16];
  unsigned char b[4];
  std::memcpy(b, &in.s_addr, 4);
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

}  // namespace winsock
