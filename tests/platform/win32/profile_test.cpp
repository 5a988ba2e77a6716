// Private profile files: reading with defaults, writing in place, garbage.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/win32/win32.h"

namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vorlanx-profile-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    file = dir + "/TEST.INI";
  }
  void TearDown() override { std::system(("chmod -R u+w " + dir + " && rm -rf " + dir).c_str()); }

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
  void Put(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

  std::string dir, file;
};

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
  EXPECT_EQ(Content(), "[Data]\nPort=2\n");
  EXPECT_EQ(Read(" data\t", "Port", "x"), "2");
}

TEST_F(ProfileTest, WritingCreatesFileSectionsAndKeysInOrder) {
  const char* keys[][3] = {{"Window", "Top", "158"},      {"Window", "Left", "213"},
                           {"Window", "Width", "191"},    {"Window", "Height", "182"},
                           {"Data", "Adress", "0.0.0.0"}, {"Data", "Port", "55555"},
                           {"Data", "MIDI-Out", "0"}};
  for (auto& k : keys) ASSERT_TRUE(Write(k[0], k[1], k[2])) << k[1];
  EXPECT_EQ(Content(),
            "[Window]\nTop=158\nLeft=213\nWidth=191\nHeight=182\n[Data]\nAdress=0.0.0.0\nPort="
            "55555\nMIDI-Out=0\n");
  EXPECT_EQ(Read("Data", "MIDI-Out", "x"), "0");
}

TEST_F(ProfileTest, ReplacesInPlaceAndLeavesEveryOtherLineAlone) {
  Put("; my settings\r\n[Window]\r\nTop=1\r\nleft=2\r\n\r\n[Other]\r\nkeep = "
      "this\r\n[Data]\r\nPort=80");
  ASSERT_TRUE(Write("window", "Left", "213"));
  ASSERT_TRUE(Write("Window", "Width", "191"));
  ASSERT_TRUE(Write("Data", "Port", "55555"));
  ASSERT_TRUE(Write("Data", "Adress", "0.0.0.0"));
  ASSERT_TRUE(Write("New", "Key", "v"));
  // The file's CR LF line ends are kept for new lines; a new key goes after the
  // section's last entry, before the blank line; the key keeps its spelling.
  EXPECT_EQ(Content(),
            "; my settings\r\n[Window]\r\nTop=1\r\nleft=213\r\nWidth=191\r\n\r\n[Other]\r\nkeep = "
            "this\r\n"
            "[Data]\r\nPort=55555\r\nAdress=0.0.0.0\r\n[New]\r\nKey=v\r\n");
}

TEST_F(ProfileTest, DeletesKeysAndSectionsWithNull) {
  Put("[A]\nx=1\ny=2\n[B]\nz=3\n");
  ASSERT_TRUE(Write("A", "x", nullptr));
  ASSERT_TRUE(Write("B", nullptr, nullptr));
  ASSERT_TRUE(Write("Missing", "k", nullptr));
  EXPECT_EQ(Content(), "[A]\ny=2\n");
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

TEST_F(ProfileTest, SurvivesGarbage) {
  std::string garbage;
  for (int i = 0; i < 70000; ++i) garbage += static_cast<char>((i * 7919) % 256);
  garbage += "\n[Data\n=\n==x\n[]\nPort\n";
  garbage += std::string(100000, 'k') + "=long\n[Data]\nPort=80\r\n\0\0\0";
  Put(garbage);
  EXPECT_EQ(Read("Data", "Port", "x"), "80");
  EXPECT_EQ(Read("Window", "Top", "158"), "158");
  std::string before = Content();
  ASSERT_TRUE(Write("Data", "Port", "55555"));
  ASSERT_TRUE(Write("Window", "Top", "158"));
  std::string after = Content();
  // Everything before the changed line is byte for byte what it was.
  size_t changed = before.find("Port=80\r\n");
  ASSERT_NE(changed, std::string::npos);
  EXPECT_EQ(after.substr(0, changed), before.substr(0, changed));
  EXPECT_EQ(Read("Data", "Port", "x"), "55555");
  EXPECT_EQ(Read("Window", "Top", "x"), "158");
}

TEST_F(ProfileTest, RefusesWritesItCannotDo) {
  // A value with a line break would add lines to the file.
  EXPECT_FALSE(Write("Data", "Port", "1\n[Evil]"));
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(Write("Da\nta", "Port", "1"));
  EXPECT_FALSE(Write("Data", "a=b", "1"));

  // A directory in the way, and a directory that does not exist.
  ASSERT_EQ(::mkdir(file.c_str(), 0755), 0);
  EXPECT_FALSE(Write("Data", "Port", "1"));
  EXPECT_NE(win32::GetLastError(), 0u);
  std::string missing = dir + "/no/such/dir/X.INI";
  EXPECT_EQ(win32::WritePrivateProfileStringA("Data", "Port", "1", missing.c_str()), win32::FALSE);
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_FILE_NOT_FOUND);
}

TEST_F(ProfileTest, ReadOnlyFileIsNotWrittenAndKeepsItsContent) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may write read-only files";
  Put("[Data]\nPort=80\n");
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_FALSE(Write("Data", "Port", "1"));
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_ACCESS_DENIED);
  EXPECT_EQ(Content(), "[Data]\nPort=80\n");
  // A read-only directory still lets a writable file be rewritten in place.
  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(dir.c_str(), 0555), 0);
  EXPECT_TRUE(Write("Data", "Port", "1"));
  EXPECT_EQ(Content(), "[Data]\nPort=1\n");
  std::string fresh = dir + "/NEW.INI";
  EXPECT_EQ(win32::WritePrivateProfileStringA("Data", "Port", "1", fresh.c_str()), win32::FALSE);
  EXPECT_EQ(win32::GetLastError(), win32::ERROR_ACCESS_DENIED);
}

TEST_F(ProfileTest, WritesThroughSymbolicLinksAndKeepsThePermissions) {
  Put("[Data]\nPort=80\n");
  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  std::string link = dir + "/LINK.INI";
  ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
  ASSERT_EQ(win32::WritePrivateProfileStringA("Data", "Port", "1", link.c_str()), win32::TRUE);
  struct stat st;
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Content(), "[Data]\nPort=1\n");
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
