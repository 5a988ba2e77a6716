#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "rtl/Application.h"
#include "rtl/Object.h"
#include "rtl/StderrLine.h"
#include "rtl/StringList.h"
#include "rtl/SysUtils.h"

namespace {

TEST(StrToInt, AcceptsDecimalHexSignsAndLeadingBlanks) {
  EXPECT_EQ(StrToInt("80"), 80);
  EXPECT_EQ(StrToInt("  -5"), -5);
  EXPECT_EQ(StrToInt("+7"), 7);
  EXPECT_EQ(StrToInt("$FFFF"), 65535);
  EXPECT_EQ(StrToInt("0x400"), 1024);
  EXPECT_EQ(StrToInt("0X10"), 16);
  EXPECT_EQ(StrToInt("x1f"), 31);
  EXPECT_EQ(StrToInt("X1F"), 31);
  EXPECT_EQ(StrToInt("-$10"), -16);
  EXPECT_EQ(StrToInt("$FFFFFFFF"), -1);
  EXPECT_EQ(StrToInt("2147483647"), 2147483647);
  EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
}

TEST(StrToInt, RefusesWithTheRuntimeText) {
  for (const char* bad : {"", " ", "-", "4000x", "80 ", "$", "0x", "$123456789", "2147483648",
                          "-2147483649", "99999999999999999999", "1.5", "abc"}) {
    int32_t v = 12345;
    EXPECT_FALSE(TryStrToInt(bad, v)) << bad;
    EXPECT_EQ(v, 12345) << bad;
    try {
      StrToInt(bad);
      ADD_FAILURE() << bad;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), std::string("'") + bad + "' is not a valid integer value");
      EXPECT_EQ(e.ClassName(), "EConvertError");
    }
  }
  EXPECT_EQ(StrToIntDef("abc", 3), 3);
}

TEST(Trim, RemovesControlCharactersAndBlanksOnly) {
  EXPECT_EQ(Trim(std::string("\t\r\n udp \x01\x20")), "udp");
  EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
  EXPECT_EQ(Trim("\x7F"
                 "a"),
            "\x7F"
            "a");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(UpperCase("c:\\tools\\vorlanx.exe\xE9"), "C:\\TOOLS\\VORLANX.EXE\xE9");
}

TEST(Format, FillsPlaceholders) {
  EXPECT_EQ(Format("%s: Device index out of bounds! (%d)", "TMidiOutput", -1),
            "TMidiOutput: Device index out of bounds! (-1)");
}

struct Tracked : TComponent {
  explicit Tracked(TComponent* owner, int* destroyed) : TComponent(owner), d(destroyed) {}
  ~Tracked() override { ++*d; }
  int* d;
};

TEST(TComponent, OwnerFreesWhatItOwnsAndMarksItself) {
  int destroyed = 0;
  auto* owner = new Tracked(nullptr, &destroyed);
  auto* a = new Tracked(owner, &destroyed);
  new Tracked(owner, &destroyed);
  EXPECT_EQ(owner->ComponentCount(), 2);
  delete a;  // an owned component freed on its own leaves its owner's list
  EXPECT_EQ(owner->ComponentCount(), 1);
  EXPECT_FALSE(owner->IsDestroying());
  delete owner;
  EXPECT_EQ(destroyed, 3);
}

TEST(TObject, ClassNameIsTheDeclaredName) {
  Exception e("x");
  EXPECT_EQ(e.ClassName(), "Exception");
  TStringList l;
  EXPECT_EQ(l.ClassName(), "TStringList");
}

TEST(TStringList, BoundsUseTheListText) {
  TStringList l;
  l.Add("a");
  l.Add("b");
  EXPECT_EQ(l[1], "b");
  EXPECT_EQ(l.Text(), "a\r\nb\r\n");
  try {
    l.Strings(2);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (2)");
  }
  EXPECT_THROW(l.Delete(-1), EListError);
}

TEST(Application, ErrorBoxTextAppendsDotAboveDot) {
  EXPECT_EQ(ErrorBoxText("abc"), "abc.");
  EXPECT_EQ(ErrorBoxText("abc."), "abc.");
  EXPECT_EQ(ErrorBoxText("abc!"), "abc!");
  EXPECT_EQ(ErrorBoxText("abc)"), "abc)");
  EXPECT_EQ(ErrorBoxText("port 0"), "port 0.");
  EXPECT_EQ(ErrorBoxText("x\r\n"), "x\r\n");
  EXPECT_EQ(ErrorBoxText(""), "");
}

int g_pending = 0;
bool FakePump(bool& quit) {
  if (g_pending == 0) return false;
  quit = (--g_pending == 0);
  return true;
}

TEST(Application, ProcessMessagesRunsThePumpUntilEmptyAndNotesQuit) {
  TApplicationCore core;
  TApplicationCore::SetProcessMessageHook(&FakePump);
  g_pending = 3;
  core.ProcessMessages();
  EXPECT_EQ(g_pending, 0);
  EXPECT_TRUE(core.Terminated());
  TApplicationCore::SetProcessMessageHook(nullptr);
}

TEST(StderrLine, LineBreaksBecomeSeparatorsOnOneLine) {
  EXPECT_EQ(OneLine("Error 10048 in function Bind\r\nAddress already in use."),
            "Error 10048 in function Bind: Address already in use.");
  EXPECT_EQ(OneLine("JACK server gone.\r\n\r\nWaiting\rfor it\n"),
            "JACK server gone. Waiting: for it");
  EXPECT_EQ(OneLine("\r\nplain\r\n"), "plain");
  EXPECT_EQ(OneLine(""), "");
}

// Through a file in place of standard error, read back as text (on Windows
// the runtime writes the line end as CR LF there).
TEST(StderrLine, WritesTitleAndMessageAsOneLine) {
  const std::string path =
      (std::filesystem::temp_directory_path() /
       ("vorlanx-stderr-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count())))
          .string();
  fflush(stderr);
  const int file = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
  ASSERT_GE(file, 0);
  const int saved = dup(2);
  dup2(file, 2);
  WriteStderrLine("vorlanx", "Error 1 in function Bind\r\nWhy");
  dup2(saved, 2);
  close(saved);
  close(file);
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  in.close();
  std::remove(path.c_str());
  EXPECT_EQ(text.str(), "vorlanx: Error 1 in function Bind: Why\n");
}

}  // namespace
