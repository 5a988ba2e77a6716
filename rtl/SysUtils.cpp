#include "rtl/SysUtils.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "rtl/Object.h"

std::string Format(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, fmt, ap);
  va_end(ap);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(&out[0], out.size(), fmt, ap2);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  return out;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool TryStrToInt(const std::string& S, int32_t& Value) {
  size_t i = 0, n = S.size();
  while (i < n && S[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (S[i] == '+' || S[i] == '-')) {
    negative = S[i] == '-';
    ++i;
  }
  bool hex = false;
  if (i < n && (S[i] == '$' || S[i] == 'x' || S[i] == 'X')) {
    hex = true;
    ++i;
  } else if (i + 1 < n && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i >= n) return false;
  if (hex) {
    uint32_t v = 0;
    size_t digits = 0;
    for (; i < n; ++i, ++digits) {
      int d = HexDigit(S[i]);
      if (d < 0 || digits >= 8) return false;
      v = (v << 4) | static_cast<uint32_t>(d);
    }
    if (negative) v = 0u - v;
    Value = static_cast<int32_t>(v);
    return true;
  }
  int64_t v = 0;
  for (; i < n; ++i) {
    if (S[i] < '0' || S[i] > '9') return false;
    v = v * 10 + (S[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  Value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(const std::string& S) {
  int32_t v = 0;
  if (!TryStrToInt(S, v))
    throw EConvertError(Format("'%s' is not a valid integer value", S.c_str()));
  return v;
}

int32_t StrToIntDef(const std::string& S, int32_t Default) {
  int32_t v = 0;
  return TryStrToInt(S, v) ? v : Default;
}

static bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string Trim(const std::string& S) { return TrimRight(TrimLeft(S)); }

std::string TrimLeft(const std::string& S) {
  size_t i = 0;
  while (i < S.size() && IsBlank(S[i])) ++i;
  return S.substr(i);
}

std::string TrimRight(const std::string& S) {
  size_t n = S.size();
  while (n > 0 && IsBlank(S[n - 1])) --n;
  return S.substr(0, n);
}

std::string UpperCase(const std::string& S) {
  std::string r = S;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string ShortenMiddle(const std::string& S, size_t MaxBytes) {
  if (S.size() <= MaxBytes) return S;
  auto continuation = [&S](size_t i) { return i < S.size() && (S[i] & 0xC0) == 0x80; };
  static const std::string kMarker = "\xE2\x80\xA6";  // U+2026
  size_t head, tail;
  if (MaxBytes < kMarker.size() + 2) {
    head = MaxBytes;
    tail = 0;
  } else {
    const size_t budget = MaxBytes - kMarker.size();
    tail = budget / 2;
    head = budget - tail;
  }
  while (head > 0 && continuation(head)) --head;
  size_t tailStart = S.size() - tail;
  while (continuation(tailStart)) ++tailStart;
  if (tail == 0) return S.substr(0, head);
  return S.substr(0, head) + kMarker + S.substr(tailStart);
}

std::string LowerCase(const std::string& S) {
  std::string r = S;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}
