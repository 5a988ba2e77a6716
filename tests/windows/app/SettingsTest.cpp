// The settings file on Windows: where it lies beside the program, and its
// values through the system's own profile functions.
#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <sstream>
#include <string>

#include "app/uEditorSettings.h"
#include "rtl/Object.h"

namespace {

TEST(SettingsPathTest, UpperCasedPathCutAtTheFirstExe) {
  EXPECT_EQ(settings::PathFor("C:\\Tools\\Vorlanx.exe"), "C:\\TOOLS\\VORLANX.INI");
  // The first ".EXE" wins, even in a folder's name.
  EXPECT_EQ(settings::PathFor("D:\\APP.EXE.OLD\\VORLANX.EXE"), "D:\\APP.INI");
  // Only a to z change; other bytes stay (a code-page letter here).
  EXPECT_EQ(settings::PathFor("C:\\Mus\xe9" "e\\v.exe"), "C:\\MUS\xe9" "E\\V.INI");
  // No ".EXE": still beside the program.
  EXPECT_EQ(settings::PathFor("C:\\bin\\relay"), "C:\\BIN\\RELAY.INI");
}

class SettingsFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH, dir);
    FFile = std::string(dir) + "vorlanx-settings-" + std::to_string(GetCurrentProcessId()) + ".ini";
    DeleteFileA(FFile.c_str());
  }
  void TearDown() override { DeleteFileA(FFile.c_str()); }
  std::string Contents() const {
    std::ifstream in(FFile, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string FFile;
};

TEST_F(SettingsFileTest, ValuesAsTheRelayWritesAndReadsThem) {
  settings::WriteInteger(FFile, "Window", "Top", 158);
  settings::WriteInteger(FFile, "Window", "Left", -7);
  settings::WriteString(FFile, "Data", "Adress", "0.0.0.0");
  settings::WriteString(FFile, "Data", "Port", "55555");
  const std::string text = Contents();
  EXPECT_LT(text.find("[Window]"), text.find("[Data]")) << text;
  EXPECT_NE(text.find("Left=-7"), std::string::npos) << text;

  EXPECT_EQ(settings::ReadInteger(FFile, "Window", "Top", 0), 158);
  EXPECT_EQ(settings::ReadInteger(FFile, "Window", "Left", 0), -7);
  EXPECT_EQ(settings::ReadString(FFile, "Data", "Port", ""), "55555");
  EXPECT_EQ(settings::ReadInteger(FFile, "Window", "Width", 191), 191);  // missing key
  EXPECT_EQ(settings::ReadString(FFile, "Nothing", "Here", "dflt"), "dflt");

  // Integer rules: 0x... is hexadecimal, the runtime's conversion otherwise.
  settings::WriteString(FFile, "Data", "MIDI-Out", "0x2");
  EXPECT_EQ(settings::ReadInteger(FFile, "Data", "MIDI-Out", 0), 2);
  settings::WriteString(FFile, "Data", "MIDI-Out", "$1F");
  EXPECT_EQ(settings::ReadInteger(FFile, "Data", "MIDI-Out", 0), 31);
  settings::WriteString(FFile, "Data", "MIDI-Out", "abc");
  EXPECT_EQ(settings::ReadInteger(FFile, "Data", "MIDI-Out", 0), 0);
  // Replaced in place: one entry, the last value.
  EXPECT_EQ(Contents().find("MIDI-Out=0x2"), std::string::npos);
}

TEST_F(SettingsFileTest, LongValueIsCutTo2047Characters) {
  settings::WriteString(FFile, "Data", "Adress", std::string(3000, 'a'));
  EXPECT_EQ(settings::ReadString(FFile, "Data", "Adress", ""), std::string(2047, 'a'));
}

TEST_F(SettingsFileTest, UnwritableFileNamesItself) {
  const std::string file = FFile + ".missing\\VORLANX.INI";
  try {
    settings::WriteInteger(file, "Window", "Top", 1);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + file);
  }
}

}  // namespace
