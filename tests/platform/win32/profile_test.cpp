// Private profile files: reading with defaults, writing in place, garbage.
#include <filesystem>
#include <string>

#include "tests/platform/win32/ProfileTestUtil.h"

namespace {

using ptest::ProfileTest;

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
  win32::DWORD n = 0;
  EXPECT_EQ(Read("Data", "Port", "55555", 2048, &n), "55555");
  EXPECT_EQ(n, 5u);
  Put("[Data]\nPort=80\n");
  EXPECT_EQ(Read("Window", "Top", "158"), "158");
  EXPECT_EQ(Read("Data", "Adress", "0.0.0.0"), "0.0.0.0");
  EXPECT_EQ(Read("Data", "Adress", nullptr), "");
  // The default is truncated like a value: size - 1 bytes and the count copied.
  EXPECT_EQ(Read("Data", "Adress", "0.0.0.0", 4, &n), "0.0");
  EXPECT_EQ(n, 3u);
}

TEST_F(ProfileTest, LookupIgnoresCaseAndBlanksAndTruncates) {
  Put("[window]\r\n  TOP = 158  \r\nleft=\"213\"\r\n[Data]\r\nPort=80\r\n");
  EXPECT_EQ(Read("Window", "Top", "x"), "158");
  EXPECT_EQ(Read("WINDOW", "Left", "x"), "213");
  EXPECT_EQ(Read("data", "PORT", "x"), "80");
  win32::DWORD n = 0;
  EXPECT_EQ(Read("Window", "Top", "x", 3, &n), "15");
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(Read("Window", "Top", "x", 1, &n), "");
  EXPECT_EQ(n, 0u);
}

// Blanks around a section name count no more than around a key: a value
// written under " Data " is read back, and a second write adds no section.
TEST_F(ProfileTest, BlanksAroundASectionNameAreNotPartOfIt) {
  ASSERT_TRUE(Write(" Data ", "Port", "1"));
  ASSERT_TRUE(Write(" Data ", "Port", "2"));
  EXPECT_EQ(Lines(), "[Data]\nPort=2\n");
  EXPECT_EQ(Read(" data\t", "Port", "x"), "2");
}

TEST_F(ProfileTest, WritingCreatesFileSectionsAndKeysInOrder) {
  const char* keys[][3] = {{"Window", "Top", "158"},      {"Window", "Left", "213"},
                           {"Window", "Width", "191"},    {"Window", "Height", "182"},
                           {"Data", "Adress", "0.0.0.0"}, {"Data", "Port", "55555"},
                           {"Data", "MIDI-Out", "0"}};
  for (auto& k : keys) ASSERT_TRUE(Write(k[0], k[1], k[2])) << k[1];
  EXPECT_EQ(Lines(),
            "[Window]\nTop=158\nLeft=213\nWidth=191\nHeight=182\n[Data]\nAdress=0.0.0.0\nPort="
            "55555\nMIDI-Out=0\n");
  EXPECT_EQ(Read("Data", "MIDI-Out", "x"), "0");
}

TEST_F(ProfileTest, DeletesKeysAndSectionsWithNull) {
  Put("[A]\nx=1\ny=2\n[B]\nz=3\n");
  ASSERT_TRUE(Write("A", "x", nullptr));
  ASSERT_TRUE(Write("B", nullptr, nullptr));
  ASSERT_TRUE(Write("Missing", "k", nullptr));
  EXPECT_EQ(Lines(), "[A]\ny=2\n");
}

TEST_F(ProfileTest, ListsSectionsAndKeys) {
  Put("[A]\nx=1\ny=2\n[B]\n");
  std::string buf(64, '#');
  win32::DWORD n = win32::GetPrivateProfileStringA(nullptr, nullptr, "", &buf[0], 64, file.c_str());
  EXPECT_EQ(std::string(buf.data(), n + 1), std::string("A\0B\0", 5));
  n = win32::GetPrivateProfileStringA("A", nullptr, "", &buf[0], 64, file.c_str());
  EXPECT_EQ(std::string(buf.data(), n + 1), std::string("x\0y\0", 5));
  // Cut short, the list still ends in two zeros.
  n = win32::GetPrivateProfileStringA("A", nullptr, "", &buf[0], 3, file.c_str());
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(std::string(buf.data(), 3), std::string("x\0\0", 3));
}

TEST_F(ProfileTest, RefusesWritesItCannotDo) {
  // A value with a line break would add lines to the file.
  EXPECT_FALSE(Write("Data", "Port", "1\n[Evil]"));
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Write("Da\nta", "Port", "1"));
  EXPECT_FALSE(Write("Data", "a=b", "1"));

  // A directory in the way, and a directory that does not exist.
  ASSERT_TRUE(std::filesystem::create_directory(file));
  EXPECT_FALSE(Write("Data", "Port", "1"));
  EXPECT_NE(win32::GetLastError(), 0u);
  std::string missing = dir + "/no/such/dir/X.INI";
  EXPECT_EQ(win32::WritePrivateProfileStringA("Data", "Port", "1", missing.c_str()), win32::FALSE);
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_PATH_NOT_FOUND);
}

TEST_F(ProfileTest, AByteOrderMarkIsReadAsNoneAndKept) {
  const std::string bom = "\xEF\xBB\xBF";
  Put(bom + "[Window]\r\nTop=7\r\n[Data]\r\nPort=80\r\n");
  EXPECT_EQ(Read("Window", "Top", "158"), "7");
  EXPECT_EQ(std::string(Read(nullptr, nullptr, "").c_str()), "Window");
  ASSERT_TRUE(Write("Window", "Top", "9"));
  ASSERT_TRUE(Write("Data", "Adress", "0.0.0.0"));
  // No second section of the same name: the first one was found.
  EXPECT_EQ(Content(), bom + "[Window]\r\nTop=9\r\n[Data]\r\nPort=80\r\nAdress=0.0.0.0\r\n");
  // Only a mark at the very start is one.
  Put("[Data]\n" + bom + "Port=80\n");
  EXPECT_EQ(Read("Data", "Port", "1"), "1");
}

}  // namespace
