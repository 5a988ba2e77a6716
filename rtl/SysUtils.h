// Text helpers of the runtime: formatting, conversion, trimming, case.
#pragma once

#include <cstdint>
#include <string>

// printf-style formatting into a std::string ("%s" takes a const char*).
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string IntToStr(int64_t value);

// The runtime's standard signed 32-bit conversion: optional leading blanks and an
// optional sign, then decimal digits, or up to 8 hex digits after "$", "x", "X",
// "0x" or "0X". Nothing may follow. Decimal values outside 32 bits do not convert.
bool TryStrToInt(const std::string& S, int32_t& Value);
// As TryStrToInt; raises EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& S);
// As TryStrToInt; gives Default when the text does not convert.
int32_t StrToIntDef(const std::string& S, int32_t Default);

// Removes every character with code 0..32 from both ends.
std::string Trim(const std::string& S);
std::string TrimLeft(const std::string& S);
std::string TrimRight(const std::string& S);

// ASCII-only case mapping; all other bytes stay as they are.
std::string UpperCase(const std::string& S);
std::string LowerCase(const std::string& S);

// Text of at most MaxBytes bytes that stays recognisable: a longer text keeps
// its start and its end (where names keep their port or number) with "…"
// between them. Never splits a UTF-8 character.
std::string ShortenMiddle(const std::string& S, size_t MaxBytes);
