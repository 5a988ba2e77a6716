// The stand-in's in-process libraries: found whatever directory a name gives,
// replaced by a later registration, and gone from their handle once freed.
#include <cstring>

#include "tests/platform/PlatformTestUtil.h"
#include "tests/platform/win32/AnswersLibrary.h"

namespace {

using namespace win32;

int Other() { return 7; }

TEST(LibraryRegistry, DirectoriesDoNotMatterAndRegisteringAgainReplacesTheProcedures) {
  ProvideAnswersLibrary();
  HMODULE a = LoadLibraryA("answers.dll");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(LoadLibraryA("C:\\Windows\\System32\\Answers.dll"), a);
  char name[64];
  EXPECT_EQ(GetModuleFileNameA(a, name, sizeof name), std::strlen("answers.dll"));
  EXPECT_STREQ(name, "answers.dll");

  const LibraryExport replaced[] = {{"Other", reinterpret_cast<void*>(&Other)}};
  RegisterLibrary("Answers.dll", replaced, 1);
  EXPECT_EQ(GetProcAddress(a, "Answer"), nullptr);
  EXPECT_NE(GetProcAddress(a, "Other"), nullptr);
  EXPECT_EQ(win32::testing::LibraryLoadCount("answers.dll"), 2);

  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(GetProcAddress(a, "Other"), nullptr);  // a freed handle is no longer valid
  EXPECT_EQ(LoadLibraryA(""), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  ProvideAnswersLibrary();  // as the other tests expect it
}

}  // namespace
