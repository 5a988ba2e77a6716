// The integer rules on arbitrary text, each against a reference written out
// plainly here: the runtime's conversion (blanks, sign, decimal or hex after
// "$", "x", "X", "0x", "0X"), the settings file's "0x" rule, and the resolvers'
// leading number (blanks, then digits, modulo 2^32).
#include <cstdint>
#include <string>

#include "app/uEditorSettings.h"
#include "fuzz/FuzzSupport.h"
#include "net/WSocket.h"
#include "rtl/Object.h"
#include "rtl/SysUtils.h"

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The runtime's conversion, by its description.
bool Reference(const std::string& S, int32_t& Value) {
  size_t i = S.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  bool negative = S[i] == '-';
  if (S[i] == '-' || S[i] == '+') ++i;
  std::string rest = S.substr(i);
  bool hex = false;
  if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X')) {
    hex = true;
    rest.erase(0, 1);
  } else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
    hex = true;
    rest.erase(0, 2);
  }
  if (rest.empty() || (hex && rest.size() > 8)) return false;
  unsigned __int128 v = 0;
  for (char c : rest) {
    int d = hex ? HexValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
    if (d < 0) return false;
    v = v * (hex ? 16 : 10) + static_cast<unsigned>(d);
    if (v > (static_cast<unsigned __int128>(1) << 40)) v = static_cast<unsigned __int128>(1) << 40;
  }
  if (hex) {
    uint32_t u = static_cast<uint32_t>(v);
    Value = static_cast<int32_t>(negative ? 0u - u : u);
    return true;
  }
  if (v > (negative ? 2147483648u : 2147483647u)) return false;
  Value = negative ? static_cast<int32_t>(-static_cast<int64_t>(v)) : static_cast<int32_t>(v);
  return true;
}

void CheckConversion(const std::string& S) {
  int32_t got = 0x5A5A5A5A, want = 0x5A5A5A5A;
  bool ok = TryStrToInt(S, got);
  fuzz::Check(ok == Reference(S, want) && (!ok || got == want), "conversion differs",
              "'" + S + "'");
  int32_t thrown = 0;
  try {
    thrown = StrToInt(S);
    fuzz::Check(ok && thrown == got, "StrToInt converted what TryStrToInt did not");
  } catch (const Exception& e) {
    fuzz::Check(!ok, "StrToInt raised for a valid text");
  }
  fuzz::Check(StrToIntDef(S, 77) == (ok ? got : 77), "StrToIntDef differs");
  if (ok) {
    int32_t again = 0;
    fuzz::Check(TryStrToInt(IntToStr(got), again) && again == got,
                "IntToStr does not convert back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  const std::string s(reinterpret_cast<const char*>(Data), Size);
  CheckConversion(s);

  // The resolvers' leading number.
  uint32_t lead = 0;
  size_t i = s.find_first_not_of(' ');
  for (; i != std::string::npos && i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i)
    lead = lead * 10u + static_cast<uint32_t>(s[i] - '0');
  fuzz::Check(ParseLeadingNumber(s) == static_cast<int32_t>(lead), "leading number differs");

  // The settings file's rule, for a value the file can hold on one line.
  if (s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return 0;
  const std::string& path = fuzz::ScratchPath("integers.ini");
  fuzz::Check(fuzz::WriteFile(path, "[Data]\nPort=" + s + "\n"), "cannot write the scratch file");
  // The file gives the value without blanks around it.
  std::string v = settings::ReadString(path, "Data", "Port", "");
  int32_t want = -12345;
  bool hexPrefix = v.size() > 2 && v[0] == '0' && (v[1] == 'x' || v[1] == 'X');
  int32_t converted = 0;
  if (hexPrefix ? Reference("$" + v.substr(2), converted) : Reference(v, converted))
    want = converted;
  fuzz::Check(settings::ReadInteger(path, "Data", "Port", -12345) == want, "settings rule differs",
              "'" + v + "'");
  return 0;
}
