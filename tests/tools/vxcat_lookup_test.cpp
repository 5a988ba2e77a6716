// vxcat --resolve and --reverse, answered from the private hosts file this
// test program runs under (tests/support/PrivateResolver.cpp).
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "StreamPeer.h"
#include "tests/support/PrivateResolver.h"

namespace {

struct TRun {
  int status;
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

TRun Vxcat(const std::vector<std::string>& args) {
  char dir[] = "/tmp/vxcat-lookup-XXXXXX";
  if (!mkdtemp(dir)) return {-1, "", "mkdtemp failed"};
  const std::string out = std::string(dir) + "/out", err = std::string(dir) + "/err";
  std::vector<std::string> argv{VXCAT_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  streampeer::Child child(argv, "/dev/null", out, err);
  TRun r{child.Wait(30000), ReadFile(out), ReadFile(err)};
  unlink(out.c_str());
  unlink(err.c_str());
  rmdir(dir);
  return r;
}

class VxcatLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testresolver::PrivateResolverReady())
      GTEST_SKIP() << "no private hosts file: " << testresolver::PrivateResolverError();
  }
};

TEST_F(VxcatLookup, PrintsEveryAddressOrTheName) {
  TRun r = Vxcat({"--resolve", "vx-three.test"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "10.77.0.31\n10.77.0.32\n10.77.0.33\n");
  EXPECT_EQ(r.err, "");

  r = Vxcat({"--resolve=010.1.1.1"});  // answered without a lookup, parts read as decimal
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "10.1.1.1\n");

  r = Vxcat({"--reverse", "10.77.0.1"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "vx-one.test\n");
}

TEST_F(VxcatLookup, FailuresExitOneWithTheComponentsText) {
  for (const char* name : {"nosuch.test", "bad..host"}) {
    TRun r = Vxcat({"--resolve", name});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "vxcat: Error 11001 in function DnsLookup\r\nHost not found\n");
  }
  TRun r = Vxcat({"--reverse", "10.77.9.9"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vxcat: Error 11001 in function ReverseDnsLookup\r\nHost not found\n");

  r = Vxcat({"--resolve", ""});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "vxcat: DNS lookup: invalid host name.\n");
  // Not an address: refused before anything is looked up.
  for (const char* text : {"", "notanaddress", "10.77.0"}) {
    r = Vxcat({"--reverse", text});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "vxcat: --reverse takes an IPv4 address such as 192.168.1.10, not '" +
                         std::string(text) + "'\nvxcat: try vxcat --help\n");
  }

  r = Vxcat({"--resolve", "vx-one.test", "80"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("vxcat: --resolve and --reverse take no other arguments\n", 0), 0u);
}

}  // namespace
