// vxcat through SOCKS proxies (microsocks, danted) started on loopback: a
// transfer both ways, a refusal in the proxy's own words, and the options'
// usage errors.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ProxyProcess.h"
#include "StreamPeer.h"
#include "ScratchDirTest.h"

namespace {

using streampeer::Child;

class VxcatProxy : public ScratchDirTest {
 protected:
  VxcatProxy() : ScratchDirTest("vxcat-proxy") {}
  void SetUp() override {
    ScratchDirTest::SetUp();
    std::ofstream(Path("empty"));
  }
  // Runs vxcat to its end (bounded); returns its exit status.
  int Run(std::vector<std::string> args, const std::string& stdinName = "empty") {
    args.insert(args.begin(), VXCAT_PATH);
    Child vx(args, Path(stdinName), Path("out"), Path("err"));
    return vx.Wait(60000);
  }
};

// microsocks ends both ways when one side ends its sending, so vxcat keeps
// its end open and the server (socat) closes once it has everything.
TEST_F(VxcatProxy, TransfersThroughMicrosocksWithPassword) {
  streampeer::ProxyProcess proxy;
  proxy.StartMicrosocks("ann", "se:cret");
  const std::string up = streampeer::Pattern(3 << 20, 5), down = streampeer::Pattern(2 << 20, 6);
  std::ofstream(Path("in"), std::ios::binary) << up;
  std::ofstream(Path("down"), std::ios::binary) << down;
  Child server({"/usr/bin/socat", "TCP4-LISTEN:0,bind=127.0.0.1",
                "SYSTEM:cat " + Path("down") + "; head -c " + std::to_string(up.size()) + " > " +
                    Path("got")});
  const uint16_t port = streampeer::ListeningPortOf(server.Pid());
  ASSERT_NE(port, 0) << "socat is not listening";
  EXPECT_EQ(Run({"-v", "--eof=keep", "--proxy", "127.0.0.1:" + std::to_string(proxy.Port()),
                 "--proxy-auth", "ann:se:cret", "vx-loop.test", std::to_string(port)},
                "in"),
            0)
      << Read("err");
  EXPECT_EQ(server.Wait(30000), 0);
  EXPECT_TRUE(Read("out") == down) << Read("out").size() << " of " << down.size() << " bytes";
  EXPECT_TRUE(Read("got") == up) << Read("got").size() << " of " << up.size() << " bytes";
  EXPECT_NE(Read("err").find("connected to vx-loop.test:" + std::to_string(port) +
                             " through 127.0.0.1:" + std::to_string(proxy.Port())),
            std::string::npos)
      << Read("err");
  streampeer::EchoServer echo;
  // The wrong password: the proxy's refusal, status 1.
  EXPECT_EQ(Run({"--proxy=127.0.0.1:" + std::to_string(proxy.Port()), "--proxy-auth=ann:x",
                 "127.0.0.1", std::to_string(echo.Port())}),
            1);
  EXPECT_EQ(Read("err"), "vxcat: proxy: socks authentication failed\n");
}

TEST_F(VxcatProxy, DantedLevel4TransfersAnd4ARefused) {
  streampeer::EchoServer echo;
  streampeer::ProxyProcess proxy;
  proxy.StartDanted();
  const std::string via = "--proxy=127.0.0.1:" + std::to_string(proxy.Port());
  const std::string data = streampeer::Pattern(1 << 20, 9);
  std::ofstream(Path("in"), std::ios::binary) << data;
  EXPECT_EQ(Run({via, "--proxy-type", "4", "vx-loop.test", std::to_string(echo.Port())}, "in"), 0)
      << Read("err");
  EXPECT_TRUE(Read("out") == data);
  EXPECT_EQ(Run({via, "--proxy-type", "4a", "vx-loop.test", std::to_string(echo.Port())}), 1);
  EXPECT_EQ(Read("err"), "vxcat: proxy: request rejected or failed\n");
}

// A proxy that is not there is named as the proxy, the error underneath.
TEST_F(VxcatProxy, UnreachableProxyIsNamed) {
  streampeer::RefusingPort refusing;
  const std::string proxy = "127.0.0.1:" + std::to_string(refusing.Port());
  EXPECT_EQ(Run({"--proxy", proxy, "127.0.0.1", "80"}), 1);
  EXPECT_EQ(Read("err"), "vxcat: the SOCKS proxy " + proxy +
                             " refused the connection\nvxcat: Error 10061 in function "
                             "Connect\r\nConnection refused\n");
  EXPECT_EQ(Run({"--proxy", "bad..host:1080", "127.0.0.1", "80"}), 1);
  EXPECT_EQ(Read("err").rfind("vxcat: the SOCKS proxy bad..host:1080 could not be reached\n"
                              "vxcat: WSocketResolveHost: Cannot convert host address 'bad..host'",
                              0),
            0u)
      << Read("err");
}

TEST_F(VxcatProxy, UsageErrors) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--proxy", "nohost", "h", "1"}, "--proxy takes HOST:PORT, not 'nohost'"},
      {{"--proxy", "p:1", "--proxy-type", "6", "h", "1"}, "--proxy-type takes 4, 4a or 5, not '6'"},
      {{"--proxy", "p:1", "--proxy-auth", "ann", "h", "1"}, "--proxy-auth takes USER:PASS"},
      {{"--proxy-type", "4", "h", "1"}, "--proxy-type and --proxy-auth go with --proxy"},
      {{"--proxy", "p:1", "-u", "h", "1"}, "--proxy goes with connecting over TCP only"},
      {{"--proxy", "p:nosuchservice", "h", "1"},
       "port 'nosuchservice' is not a number from 0 to 65535 nor a tcp service name"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Run(c.first), 2);
    EXPECT_NE(Read("err").find(c.second), std::string::npos) << Read("err");
  }
}

}  // namespace
