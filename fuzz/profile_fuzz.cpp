// The settings file reader and writer on arbitrary file bytes: reading never
// goes past its buffer, a write changes only the line of its key (or adds it),
// every other line stays as it was, and a re-read gives the value written.
//
// Input: one byte choosing section and key, one byte the read buffer size, a
// value up to the first zero byte, then the file's content.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "platform/win32/win32.h"

namespace {

struct TLine {
  std::string Text, End;
};

std::vector<TLine> Lines(const std::string& Content) {
  std::vector<TLine> lines;
  for (size_t pos = 0; pos < Content.size();) {
    size_t nl = Content.find('\n', pos);
    TLine l;
    if (nl == std::string::npos) {
      l.Text = Content.substr(pos);
      pos = Content.size();
    } else {
      l.Text = Content.substr(pos, nl - pos);
      l.End = "\n";
      pos = nl + 1;
    }
    lines.push_back(l);
  }
  return lines;
}

const char* const kSections[] = {"Data", "Window", "data", " Window ", "Other"};
const char* const kKeys[] = {"Port", "Adress", "MIDI-Out", "Top", " left ", "Height"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 2) return 0;
  const char* section = kSections[Data[0] % 5];
  const char* key = kKeys[(Data[0] / 5) % 6];
  const uint32_t readSize = Data[1];
  std::string rest(reinterpret_cast<const char*>(Data) + 2, Size - 2);
  size_t zero = rest.find('\0');
  std::string value = rest.substr(0, zero == std::string::npos ? rest.size() : zero);
  std::string original = zero == std::string::npos ? "" : rest.substr(zero + 1);
  const std::string& path = fuzz::ScratchPath("profile.ini");
  fuzz::Check(fuzz::WriteFile(path, original), "cannot write the scratch file");

  // Reads stay inside the buffer and end in a zero.
  std::vector<char> buf(readSize + 1, '\x55');
  win32::DWORD n =
      win32::GetPrivateProfileStringA(section, key, "def", buf.data(), readSize, path.c_str());
  fuzz::Check(buf[readSize] == '\x55', "read past its buffer");
  if (readSize > 0) fuzz::Check(n < readSize && buf[n] == '\0', "value not cut to the buffer");
  n = win32::GetPrivateProfileStringA(nullptr, nullptr, "", buf.data(), readSize, path.c_str());
  fuzz::Check(buf[readSize] == '\x55', "section list past its buffer");
  n = win32::GetPrivateProfileStringA(section, nullptr, "", buf.data(), readSize, path.c_str());
  fuzz::Check(buf[readSize] == '\x55', "key list past its buffer");

  bool breaks = value.find_first_of("\r\n") != std::string::npos;
  bool written = win32::WritePrivateProfileStringA(section, key, value.c_str(), path.c_str());
  std::string after = fuzz::ReadFile(path);
  if (breaks) {
    fuzz::Check(!written && after == original, "a value with a line break was written");
    return 0;
  }
  fuzz::Check(written, "write failed");

  // Every line before is still there, in order, but for at most one (the key's
  // own), and at most two were added (a section and the key): what differs
  // lies between a common beginning and a common end.
  std::vector<TLine> was = Lines(original), now = Lines(after);
  auto same = [&](size_t i, size_t k) {
    return was[i].Text == now[k].Text && (i + 1 == was.size() || was[i].End == now[k].End);
  };
  size_t head = 0, tail = 0;
  while (head < was.size() && head < now.size() && same(head, head)) ++head;
  while (tail < was.size() - head && tail < now.size() - head &&
         same(was.size() - 1 - tail, now.size() - 1 - tail))
    ++tail;
  size_t missing = was.size() - head - tail;
  fuzz::Check(missing <= 1, "lines the program does not own were lost",
              std::to_string(missing) + " missing");
  fuzz::Check(now.size() <= was.size() + 2, "more lines were added than a section and a key");

  // What was written is what is read back (blanks around it and matching
  // quotes are not part of a value).
  std::string expected = value;
  size_t b = expected.find_first_not_of(" \t");
  expected = b == std::string::npos ? "" : expected.substr(b);
  while (!expected.empty() && (expected.back() == ' ' || expected.back() == '\t'))
    expected.pop_back();
  if (expected.size() >= 2 && (expected[0] == '"' || expected[0] == '\'') &&
      expected.back() == expected[0])
    expected = expected.substr(1, expected.size() - 2);
  std::vector<char> back(4096);
  n = win32::GetPrivateProfileStringA(section, key, "\x01", back.data(), 4096, path.c_str());
  if (expected.size() < 4095)
    fuzz::Check(std::string(back.data(), n) == expected, "re-read differs",
                "'" + std::string(back.data(), n) + "' for '" + expected + "'");
  return 0;
}
