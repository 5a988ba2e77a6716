// The settings file: where it lives and how its values are read and written.
#pragma once

#include <cstdint>
#include <string>

namespace settings {

// The settings file beside an executable: its name upper-cased and cut after
// the dot of its first ".EXE", then "INI" (no ".EXE": the upper-cased name +
// ".INI"). On Windows the whole path is upper-cased and the first ".EXE" may
// stand in a folder's name; on Linux the folder keeps its case and a file in
// it whose name matches case-insensitively is used instead, the exact name first.
std::string PathFor(const std::string& ExecutablePath);

// A value as text (at most 2047 characters); Default when missing.
std::string ReadString(const std::string& File, const char* Section, const char* Key,
                       const std::string& Default);
// "0x"/"0X" followed by something is read as hexadecimal, anything else with
// the runtime's conversion; text that does not convert, or a missing key, gives Default.
int32_t ReadInteger(const std::string& File, const char* Section, const char* Key, int32_t Default);
// Raise Exception "Unable to write to <File>" when the file cannot be written.
void WriteString(const std::string& File, const char* Section, const char* Key,
                 const std::string& Value);
void WriteInteger(const std::string& File, const char* Section, const char* Key, int32_t Value);

}  // namespace settings
