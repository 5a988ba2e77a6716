// The SOCKS layer through real proxies from Debian, started here on loopback
// ports and stopped by process id: microsocks (SOCKS5, with and without a user
// and password) and danted (SOCKS4, 4A and 5). Each connection carries a few
// megabytes to an echo server of the test and back, compared by hash.
#include <gtest/gtest.h>

#include "ProxyProcess.h"
#include "SocksTestUtil.h"

namespace {

using nettest::PumpUntil;
using sockstest::Aim;
using sockstest::Log;

constexpr size_t kPayload = 4 << 20;

uint64_t Fnv(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

// One connection through the proxy to the echo server.
struct Client {
  Log log;
  TWSocket s{nullptr};
  std::string echoed;

  Client() {
    log.AttachSocks(s);
    s.OnDataAvailable = [this](TObject*, uint16_t) {
      char buf[65536];
      int32_t n;
      while ((n = s.Receive(buf, sizeof(buf))) > 0) echoed.append(buf, static_cast<size_t>(n));
    };
  }
  // Connects; true once the proxy has reported the target connected.
  bool Connect() {
    s.Connect();
    PumpUntil([&] { return s.State() == wsClosed || log.Count("connected 0") > 0; }, 10000);
    return log.Count("connected 0") > 0;
  }
  void EchoesPayload() {
    const std::string data = streampeer::Pattern(kPayload, 7);
    s.Send(data.data(), static_cast<int32_t>(data.size()));
    ASSERT_TRUE(PumpUntil([&] { return echoed.size() >= data.size(); }, 60000))
        << echoed.size() << " of " << data.size() << " bytes came back";
    EXPECT_EQ(echoed.size(), data.size());
    EXPECT_EQ(Fnv(echoed), Fnv(data));
  }
  bool Refused() {
    s.Connect();
    PumpUntil([&] { return s.State() == wsClosed; }, 10000);
    return s.State() == wsClosed;
  }
  std::string Events() const {
    std::string all;
    for (const std::string& i : log.items) all += i + "; ";
    return all;
  }
};

TEST(SocksProxy, MicrosocksWithAndWithoutPassword) {
  streampeer::EchoServer echo;
  {
    streampeer::ProxyProcess proxy;
    proxy.StartMicrosocks();
    Client c;
    Aim(c.s, proxy.Port(), "5", "vx-loop.test", std::to_string(echo.Port()));
    ASSERT_TRUE(c.Connect());
    c.EchoesPayload();
    EXPECT_EQ(c.s.SocksReplyPort.empty(), false);
  }
  streampeer::ProxyProcess proxy;
  proxy.StartMicrosocks("ann", "secret");
  {
    Client c;
    Aim(c.s, proxy.Port(), "5", "127.0.0.1", std::to_string(echo.Port()));
    c.s.SetSocksAuthentication(socksAuthenticateUsercode);
    c.s.SetSocksUsercode("ann");
    c.s.SetSocksPassword("secret");
    ASSERT_TRUE(c.Connect());
    EXPECT_EQ(c.log.Count("auth 0") + c.log.Count("auth 1"), 2);
    c.EchoesPayload();
  }
  {  // A wrong password, and no password offered where one is required.
    Client c;
    Aim(c.s, proxy.Port(), "5", "127.0.0.1", std::to_string(echo.Port()));
    c.s.SetSocksAuthentication(socksAuthenticateUsercode);
    c.s.SetSocksUsercode("ann");
    c.s.SetSocksPassword("wrong");
    ASSERT_TRUE(c.Refused()) << c.Events();
    EXPECT_EQ(c.log.Count("sockserror 20015 socks authentication failed"), 1) << c.Events();
    EXPECT_EQ(c.log.Count("connected 20015"), 1);
  }
  {
    Client c;
    Aim(c.s, proxy.Port(), "5", "127.0.0.1", std::to_string(echo.Port()));
    c.s.SetSocksAuthentication(socksNoAuthentication);
    ASSERT_TRUE(c.Refused()) << c.Events();
    EXPECT_EQ(c.log.Count("sockserror 20003 authentification method not acceptable"), 1)
        << c.Events();
  }
}

TEST(SocksProxy, DantedLevels4And5And4ARefused) {
  streampeer::EchoServer echo;
  streampeer::ProxyProcess proxy;
  proxy.StartDanted();
  for (const char* level : {"4", "5"}) {
    SCOPED_TRACE(level);
    Client c;
    Aim(c.s, proxy.Port(), level, "127.0.0.1", std::to_string(echo.Port()));
    c.s.SetSocksUsercode("ann");
    ASSERT_TRUE(c.Connect());
    c.EchoesPayload();
  }
  {  // danted does not take host names from SOCKS4A clients: status 91.
    Client c;
    Aim(c.s, proxy.Port(), "4A", "vx-loop.test", std::to_string(echo.Port()));
    ASSERT_TRUE(c.Refused()) << c.Events();
    EXPECT_EQ(c.log.Count("sockserror 20016 request rejected or failed"), 1) << c.Events();
    EXPECT_EQ(c.log.items.back(), "closed 20016");
  }
  {  // A target that refuses: the proxy says so with reply code 5.
    Client c;
    streampeer::RefusingPort refusing;
    Aim(c.s, proxy.Port(), "5", "127.0.0.1", std::to_string(refusing.Port()));
    ASSERT_TRUE(c.Refused()) << c.Events();
    EXPECT_EQ(c.log.Count("sockserror 20008 connection refused"), 1) << c.Events();
  }
}

}  // namespace
