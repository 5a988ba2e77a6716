// Private profile (INI) files: "[Section]" lines and "key=value" lines.
//
// Every call reads the file afresh and every write goes to disk before it
// returns, so a program that writes several entries one at a time and then
// dies loses none of them. A write touches only the line it changes; every
// other byte of the file (comments, garbage, line ends) stays as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/win32/win32.h"

namespace win32 {
namespace {

struct Line {
  std::string text;  // without its line end
  std::string end;   // "\n", "\r\n" or "" for a last line without one
};

// A name in a directory that is not there is a missing path, as on Windows;
// only a missing file itself is ERROR_FILE_NOT_FOUND.
bool DirectoryMissing(const char* fileName) {
  const char* slash = std::strrchr(fileName, '/');
  if (!slash || slash == fileName) return false;
  struct stat st;
  return ::stat(std::string(fileName, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode);
}

DWORD ErrorFromErrno(int err, const char* fileName) {
  switch (err) {
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case ENOENT:
      return DirectoryMissing(fileName) ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
    case ENAMETOOLONG:
    case EISDIR:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_ACCESS_DENIED;
  }
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && (IsBlank(s[e - 1]) || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// Reads the whole file. A missing file is an empty one; other failures set err.
bool ReadFile(const char* fileName, std::string& content, int& err) {
  content.clear();
  err = 0;
  int fd = ::open(fileName, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    err = errno;
    return err == ENOENT;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      content.append(buf, static_cast<size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      err = errno;
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  return true;
}

// Some editors begin a file with the UTF-8 byte order mark. The file is read
// as if it had none, and the mark is written back in front.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

std::string TakeByteOrderMark(std::string& content) {
  if (content.compare(0, 3, kByteOrderMark) != 0) return "";
  content.erase(0, 3);
  return kByteOrderMark;
}

std::vector<Line> SplitLines(const std::string& content) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < content.size()) {
    size_t nl = content.find('\n', pos);
    Line l;
    if (nl == std::string::npos) {
      l.text = content.substr(pos);
      pos = content.size();
    } else {
      size_t e = nl;
      l.end = "\n";
      if (e > pos && content[e - 1] == '\r') {
        --e;
        l.end = "\r\n";
      }
      l.text = content.substr(pos, e - pos);
      pos = nl + 1;
    }
    lines.push_back(std::move(l));
  }
  return lines;
}

// "[Name]" (blanks allowed around the name and before the bracket).
bool SectionName(const std::string& text, std::string& name) {
  size_t b = 0;
  while (b < text.size() && IsBlank(text[b])) ++b;
  if (b >= text.size() || text[b] != '[') return false;
  size_t close = text.find(']', b + 1);
  if (close == std::string::npos) return false;
  name = TrimBlanks(text.substr(b + 1, close - b - 1));
  return true;
}

// "key=value": the key is what stands before the first "=", trimmed.
bool KeyOf(const std::string& text, std::string& key) {
  size_t eq = text.find('=');
  if (eq == std::string::npos) return false;
  key = TrimBlanks(text.substr(0, eq));
  return true;
}

std::string ValueOf(const std::string& text) {
  std::string v = TrimBlanks(text.substr(text.find('=') + 1));
  // A value in matching quotes is returned without them.
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return v;
}

// The range [first, last) of lines in the first section of that name; first is
// the header line. Returns false when there is no such section.
bool FindSection(const std::vector<Line>& lines, const std::string& section, size_t& first,
                 size_t& last) {
  std::string name;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!SectionName(lines[i].text, name) || !SameText(name, TrimBlanks(section))) continue;
    first = i;
    last = i + 1;
    while (last < lines.size() && !SectionName(lines[last].text, name)) ++last;
    return true;
  }
  return false;
}

// Copies a list of zero-terminated names ending in an extra zero; a list that
// does not fit is cut and still ends in two zeros, and reports size - 2.
DWORD CopyList(const std::vector<std::string>& names, char* out, DWORD size) {
  std::string all;
  for (const std::string& s : names) all += s + '\0';
  if (all.size() + 1 <= size) {
    std::memcpy(out, all.data(), all.size());
    out[all.size()] = '\0';
    if (all.size() + 2 <= size) out[all.size() + 1] = '\0';
    return static_cast<DWORD>(all.size());
  }
  if (size < 2) {
    out[0] = '\0';
    return 0;
  }
  std::memcpy(out, all.data(), size - 2);
  out[size - 2] = '\0';
  out[size - 1] = '\0';
  return size - 2;
}

DWORD CopyValue(const std::string& value, char* out, DWORD size) {
  if (size == 0) return 0;
  size_t n = value.size() < size - 1 ? value.size() : size - 1;
  std::memcpy(out, value.data(), n);
  out[n] = '\0';
  return static_cast<DWORD>(n);
}

std::string JoinLines(const std::vector<Line>& lines) {
  std::string out;
  for (const Line& l : lines) out += l.text + l.end;
  return out;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// Replaces the file's content. An existing file is replaced through a
// temporary file renamed over it, so a write that fails half-way leaves the old
// content whole; when the directory does not allow that, it is rewritten in place.
bool StoreFile(const char* fileName, const std::string& data, int& err) {
  std::string target = fileName;
  char resolved[PATH_MAX];
  if (::realpath(fileName, resolved)) target = resolved;  // write through symbolic links

  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      err = EISDIR;
      return false;
    }
    if (::access(target.c_str(), W_OK) != 0) {
      err = errno;
      return false;
    }
    std::string temp = target + ".XXXXXX";
    std::vector<char> tmpl(temp.begin(), temp.end());
    tmpl.push_back('\0');
    int fd = ::mkstemp(tmpl.data());
    if (fd >= 0) {
      (void)!::fchown(fd, st.st_uid, st.st_gid);
      bool ok = ::fchmod(fd, st.st_mode & 07777) == 0 && WriteAll(fd, data) && ::fsync(fd) == 0;
      ok = (::close(fd) == 0) && ok;
      if (ok && ::rename(tmpl.data(), target.c_str()) == 0) return true;
      ::unlink(tmpl.data());
    }
  }
  int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    err = errno;
    return false;
  }
  bool ok = WriteAll(fd, data);
  if (!ok) err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  return ok;
}

bool HasLineBreak(const char* s) { return s && (std::strchr(s, '\n') || std::strchr(s, '\r')); }

}  // namespace

DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                               char* returned, DWORD size, const char* fileName) {
  if (!returned || size == 0) return 0;
  std::string def = defaultValue ? defaultValue : "";
  while (!def.empty() && def.back() == ' ')
    def.pop_back();  // trailing blanks of the default are dropped

  std::string content;
  int err = 0;
  if (!fileName || !ReadFile(fileName, content, err)) {
    SetLastError(fileName ? ErrorFromErrno(err, fileName) : ERROR_INVALID_PARAMETER);
    if (!section || !key) return CopyList({}, returned, size);
    return CopyValue(def, returned, size);
  }
  TakeByteOrderMark(content);
  std::vector<Line> lines = SplitLines(content);
  std::string name;

  if (!section) {
    std::vector<std::string> names;
    for (const Line& l : lines)
      if (SectionName(l.text, name)) names.push_back(name);
    return CopyList(names, returned, size);
  }
  size_t first = 0, last = 0;
  bool found = FindSection(lines, section, first, last);
  if (!key) {
    std::vector<std::string> keys;
    for (size_t i = first + 1; found && i < last; ++i)
      if (KeyOf(lines[i].text, name) && !name.empty()) keys.push_back(name);
    return CopyList(keys, returned, size);
  }
  for (size_t i = first + 1; found && i < last; ++i)
    if (KeyOf(lines[i].text, name) && SameText(name, TrimBlanks(key)))
      return CopyValue(ValueOf(lines[i].text), returned, size);
  SetLastError(ERROR_FILE_NOT_FOUND);
  return CopyValue(def, returned, size);
}

BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                const char* fileName) {
  // A line break inside a name or value would smuggle extra lines into the file.
  if (!section || !fileName || !*fileName || HasLineBreak(section) || HasLineBreak(key) ||
      HasLineBreak(value) || (key && std::strchr(key, '='))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string content;
  int err = 0;
  if (!ReadFile(fileName, content, err)) {
    SetLastError(ErrorFromErrno(err, fileName));
    return FALSE;
  }
  const std::string mark = TakeByteOrderMark(content);
  std::vector<Line> lines = SplitLines(content);
  // New lines use the line end the file already uses; a new file gets "\n".
  std::string eol = "\n";
  for (const Line& l : lines)
    if (!l.end.empty()) {
      eol = l.end;
      break;
    }

  size_t first = 0, last = 0;
  bool found = FindSection(lines, section, first, last);
  std::string name;
  if (!key) {  // no key: remove the whole section
    if (!found) return TRUE;
    lines.erase(lines.begin() + static_cast<long>(first), lines.begin() + static_cast<long>(last));
  } else {
    std::string trimmedKey = TrimBlanks(key);
    size_t at = lines.size();
    for (size_t i = first + 1; found && i < last; ++i)
      if (KeyOf(lines[i].text, name) && SameText(name, trimmedKey)) {
        at = i;
        break;
      }
    if (at < lines.size()) {
      if (value) {
        // The key keeps its spelling in the file; only the value changes.
        lines[at].text = lines[at].text.substr(0, lines[at].text.find('=') + 1) + value;
      } else {
        lines.erase(lines.begin() + static_cast<long>(at));
      }
    } else if (value) {
      Line entry{trimmedKey + "=" + value, eol};
      if (!found) {
        if (!lines.empty() && lines.back().end.empty()) lines.back().end = eol;
        lines.push_back(Line{"[" + TrimBlanks(section) + "]", eol});
        lines.push_back(entry);
      } else {
        // After the section's last entry, before any blank lines that separate it from the next.
        size_t insert = last;
        while (insert > first + 1 && TrimBlanks(lines[insert - 1].text).empty()) --insert;
        if (lines[insert - 1].end.empty()) lines[insert - 1].end = eol;
        lines.insert(lines.begin() + static_cast<long>(insert), entry);
      }
    } else {
      return TRUE;  // deleting a key that is not there
    }
  }
  if (!StoreFile(fileName, mark + JoinLines(lines), err)) {
    SetLastError(ErrorFromErrno(err, fileName));
    return FALSE;
  }
  return TRUE;
}

}  // namespace win32
