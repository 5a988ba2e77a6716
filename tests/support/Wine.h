// Whether the test program runs under Wine. Where Wine's Winsock departs from
// Winsock's documented behaviour, a test keeps Winsock's and skips under Wine,
// saying why.
#pragma once

#include "platform/win32/win32.h"

namespace support {

inline bool UnderWine() {
  win32::HMODULE ntdll = win32::GetModuleHandleA("ntdll.dll");
  return ntdll && win32::GetProcAddress(ntdll, "wine_get_version");
}

}  // namespace support
