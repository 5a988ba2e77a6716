// What the stand-in does with a profile file beyond the values: every other
// line kept byte for byte (Wine's writer rewrites the whole file), and the file
// system's permissions and links.
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/platform/win32/ProfileTestUtil.h"

namespace {

using ptest::ProfileTest;

// Root writes read-only files regardless, so under root the permission checks
// run as an ordinary user (nobody): real and effective ids, with root's kept as
// the saved ones to take back; the folder and file are handed to that user first.
class TOrdinaryUser {
 public:
  TOrdinaryUser(const std::string& Dir, const std::string& File) {
    if (::geteuid() != 0) return;
    FSwitched = ::chown(Dir.c_str(), kNobody, kNobody) == 0 &&
                ::chown(File.c_str(), kNobody, kNobody) == 0 &&
                ::setresgid(kNobody, kNobody, 0) == 0 && ::setresuid(kNobody, kNobody, 0) == 0;
  }
  ~TOrdinaryUser() {
    if (!FSwitched) return;
    if (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0) std::abort();
  }
  bool Ready() const { return FSwitched || ::geteuid() != 0; }

 private:
  static constexpr uid_t kNobody = 65534;
  bool FSwitched = false;
};

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

TEST_F(ProfileTest, ReadOnlyFileIsNotWrittenAndKeepsItsContent) {
  Put("[Data]\nPort=80\n");
  TOrdinaryUser user(dir, file);
  ASSERT_TRUE(user.Ready()) << "could not take an ordinary user's ids";
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

}  // namespace
