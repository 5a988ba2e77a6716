// Libraries by name, their failure injection, and the program's module.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <string>

#include "tests/platform/PlatformTestUtil.h"
#include "tests/platform/win32/AnswersLibrary.h"

namespace {

using namespace win32;

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

class Libraries : public ::testing::Test {
 protected:
  void SetUp() override { ProvideAnswersLibrary(); }
  void TearDown() override {
    win32::testing::ResetLibraryFailures();
    while (win32::testing::LibraryLoadCount("answers.dll") > 0)
      FreeLibrary(GetModuleHandleA("answers.dll"));
  }
};

TEST_F(Libraries, FoundByNameWithoutCaseOrExtensionAndCounted) {
  HMODULE a = LoadLibraryA("ANSWERS.DLL");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(LoadLibraryA("Answers.dll"), a);
  EXPECT_EQ(LoadLibraryA("answers"), a);
  EXPECT_EQ(GetModuleHandleA("answers"), a);
  EXPECT_EQ(win32::testing::LibraryLoadCount("answers.dll"), 3);
  auto f = reinterpret_cast<int (*)()>(GetProcAddress(a, "Answer"));
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f(), 42);
  EXPECT_EQ(GetProcAddress(a, "answer"), nullptr);  // procedure names keep their case
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);

  char name[1024];
  const DWORD n = GetModuleFileNameA(a, name, sizeof name);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(n, std::strlen(name));
  const std::string lower = Lower(name);
  EXPECT_EQ(lower.substr(lower.size() - std::strlen("answers.dll")), "answers.dll");

  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(win32::testing::LibraryLoadCount("answers.dll"), 1);
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(win32::testing::LibraryLoadCount("answers.dll"), 0);
  EXPECT_EQ(GetModuleHandleA("answers.dll"), nullptr);  // no longer loaded
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_FALSE(FreeLibrary(a));
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST_F(Libraries, UnknownNamesFailWithTheSystemCodes) {
  EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(GetModuleHandleA(nullptr), "Answer"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
}

TEST_F(Libraries, FailureInjection) {
  win32::testing::FailLoadLibrary("Answers.DLL", ERROR_ACCESS_DENIED);
  EXPECT_EQ(LoadLibraryA("answers.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(win32::testing::LibraryLoadCount("answers.dll"), 0);
  win32::testing::FailLoadLibrary("answers.dll", 0);
  HMODULE a = LoadLibraryA("answers.dll");
  ASSERT_NE(a, nullptr);

  win32::testing::FailProcAddress("answers.dll", "Answer");
  EXPECT_EQ(GetProcAddress(a, "Answer"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  win32::testing::FailProcAddress("answers.dll", "Answer", false);
  EXPECT_NE(GetProcAddress(a, "Answer"), nullptr);

  // Failures for a library nobody has loaded yet wait for it.
  win32::testing::FailLoadLibrary("later.dll", 1234);
  EXPECT_EQ(LoadLibraryA("later.dll"), nullptr);
  EXPECT_EQ(GetLastError(), 1234u);
  win32::testing::ResetLibraryFailures();
  EXPECT_EQ(LoadLibraryA("later.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(Module, ProgramHandleAndPath) {
  EXPECT_NE(GetModuleHandleA(nullptr), nullptr);
  char path[4096];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  ASSERT_GT(n, 0u);
  EXPECT_TRUE(std::filesystem::path(path).is_absolute()) << path;
  EXPECT_NE(std::string(path).find("win32_tests"), std::string::npos);

  char small[8];
  SetLastError(0);
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(std::strlen(small), sizeof small - 1);
  EXPECT_EQ(std::string(small), std::string(path, sizeof small - 1));
}

}  // namespace
