// The profile tests' fixture: a fresh directory per test with TEST.INI in it.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32/win32.h"

namespace ptest {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    // Unique per process and test: the thread id and the clock.
    const fs::path path = fs::temp_directory_path() /
                          ("vorlanx-profile-" + std::to_string(win32::GetCurrentThreadId()) + "-" +
                           std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    ASSERT_TRUE(fs::create_directory(path));
    dir = path.string();
    file = (path / "TEST.INI").string();
  }
  void TearDown() override {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ec);
    for (const auto& entry : fs::recursive_directory_iterator(dir, ec))
      if (!entry.is_symlink())
        fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove_all(dir, ec);
  }

  std::string Read(const char* section, const char* key, const char* def, win32::DWORD size = 2048,
                   win32::DWORD* count = nullptr) {
    std::string buf(size + 1, '#');
    win32::DWORD n =
        win32::GetPrivateProfileStringA(section, key, def, &buf[0], size, file.c_str());
    if (count) *count = n;
    return std::string(buf.c_str());
  }
  bool Write(const char* section, const char* key, const char* value) {
    return win32::WritePrivateProfileStringA(section, key, value, file.c_str()) == win32::TRUE;
  }
  std::string Content() {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The content with CR LF read as LF: Windows writes CR LF line ends.
  std::string Lines() {
    std::string text = Content(), lines;
    for (size_t i = 0; i < text.size(); ++i)
      if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) lines += text[i];
    return lines;
  }
  void Put(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

  std::string dir, file;
};

}  // namespace ptest
