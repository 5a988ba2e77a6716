// Shared by the fuzz targets: a private scratch file, and a check that stops
// the run (libFuzzer then keeps the input) with a message saying what broke.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline void Check(bool Holds, const char* What, const std::string& Detail = "") {
  if (Holds) return;
  std::fprintf(stderr, "fuzz check failed: %s %s\n", What, Detail.c_str());
  std::abort();
}

// A file of this process in /dev/shm (memory, not disk), removed at exit.
inline const std::string& ScratchPath(const char* Name) {
  static const std::string path = [Name] {
    std::string p = "/dev/shm/vorlanx-fuzz-" + std::to_string(::getpid()) + "-" + Name;
    static std::string forExit;
    forExit = p;
    std::atexit([] { ::unlink(forExit.c_str()); });
    return p;
  }();
  return path;
}

inline bool WriteFile(const std::string& Path, const std::string& Content) {
  FILE* f = std::fopen(Path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(Content.data(), 1, Content.size(), f) == Content.size();
  return std::fclose(f) == 0 && ok;
}

inline std::string ReadFile(const std::string& Path) {
  std::string s;
  FILE* f = std::fopen(Path.c_str(), "rb");
  if (!f) return s;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

}  // namespace fuzz
