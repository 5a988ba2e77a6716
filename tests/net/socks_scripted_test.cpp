// The SOCKS layer against a scripted proxy on loopback, for what real proxies
// never do: replies split at every byte, every refusal code, wrong versions,
// closes in each phase, a 255-byte bound domain, bytes after the reply; and the
// exact request bytes of each level.
#include <gtest/gtest.h>

#include "SocksTestUtil.h"

namespace {

using nettest::PumpUntil;
using nettest::SocketErrorOf;
using sockstest::Aim;
using sockstest::Log;
using streamtest::Events;

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += static_cast<char>(c);
  return s;
}

const std::string kConnected = Events::State(wsConnecting, wsConnected);
const std::string kClosed = Events::State(wsConnected, wsClosed);

// The proxy's end: one accepted connection, driven step by step.
struct Proxy {
  streampeer::Listener listener;
  streampeer::Conn conn;

  uint16_t Port() const { return listener.Port(); }
  void Accept(TWSocket& s) {
    conn = listener.Accept();
    ASSERT_TRUE(PumpUntil([&] { return s.State() != wsConnecting; }));
  }
  // Pumps until n bytes from the client are waiting and reads them.
  std::string Await(size_t n) {
    PumpUntil([&] { return conn.Available() >= n; });
    return conn.Read(n, 100);
  }
  // Everything the client sent for the current step.
  std::string AwaitAny() {
    PumpUntil([&] { return conn.Available() > 0; });
    return conn.Read(conn.Available(), 100);
  }
  // Each byte arrives, and is handled, on its own.
  void Trickle(const std::string& bytes) {
    for (char c : bytes) {
      conn.Write(std::string(1, c));
      ASSERT_TRUE(nettest::DispatchOneReadEvent());
    }
  }
};

// SOCKS5 with user and password: exact request bytes, each reply a byte at a
// time, a bound address given as a 255-byte domain, and a banner in the same
// read as the reply's last byte, which the application reads first.
TEST(SocksScripted, Socks5WithPasswordBytewise) {
  Proxy proxy;
  Log log;
  TWSocket s(nullptr);
  log.AttachSocks(s);
  Aim(s, proxy.Port(), "5");
  s.SetSocksAuthentication(socksAuthenticateUsercode);
  s.SetSocksUsercode("ann");
  s.SetSocksPassword("pw");
  s.Connect();
  log.items.clear();
  proxy.Accept(s);
  EXPECT_EQ(proxy.Await(3), Bytes({5, 1, 2}));
  proxy.Trickle(Bytes({5, 2}));
  EXPECT_EQ(proxy.Await(8), Bytes({1, 3, 'a', 'n', 'n', 2, 'p', 'w'}));
  proxy.Trickle(Bytes({1, 0}));
  EXPECT_EQ(proxy.Await(18), Bytes({5, 1, 0, 3, 11}) + "target.test" + Bytes({0x10, 0xE1}));
  const std::string domain(255, 'b');
  const std::string reply = Bytes({5, 0, 0, 3, 255}) + domain + Bytes({0x1F, 0x90});
  proxy.Trickle(reply.substr(0, reply.size() - 1));
  EXPECT_EQ(s.SocksPhase, spRequesting);
  proxy.conn.Write(reply.substr(reply.size() - 1) + "banner");
  ASSERT_TRUE(PumpUntil([&] { return log.received == "banner"; }));
  EXPECT_EQ(log.items, (std::vector<std::string>{kConnected, "socksconnected 0", "auth 0", "auth 1",
                                                 "connected 0", "data 0"}));
  EXPECT_EQ(log.firstRcvdCount, 6);
  EXPECT_EQ(s.SocksReplyAddr, domain);
  EXPECT_EQ(s.SocksReplyPort, "8080");
  // From now on the connection is the application's, both ways.
  s.SendText("ping");
  EXPECT_EQ(proxy.Await(4), "ping");
  proxy.conn.Write("pong");
  ASSERT_TRUE(PumpUntil([&] { return log.received == "bannerpong"; }));
}

// SOCKS4 resolves the target itself; SOCKS4A hands the name to the proxy.
// A SOCKS4 reply is read exactly: what follows it arrives as ordinary data.
TEST(SocksScripted, Socks4And4ARequestBytes) {
  struct Case {
    const char* level;
    const char* user;
    const char* addr;
    std::string request;
  } cases[] = {
      {"4", "u", "127.0.0.9", Bytes({4, 1, 0x10, 0xE1, 127, 0, 0, 9, 'u', 0})},
      {"4", "", "127.0.0.9", Bytes({4, 1, 0x10, 0xE1, 127, 0, 0, 9, 0})},
      {"4a", "", "abc", Bytes({4, 1, 0x10, 0xE1, 0, 0, 0, 1, 0, 'a', 'b', 'c', 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    Proxy proxy;
    Log log;
    TWSocket s(nullptr);
    log.AttachSocks(s);
    Aim(s, proxy.Port(), c.level, c.addr);
    s.SetSocksUsercode(c.user);
    s.Connect();
    log.items.clear();
    proxy.Accept(s);
    EXPECT_EQ(proxy.Await(c.request.size()), c.request);
    proxy.Trickle(Bytes({0, 90, 0, 0, 0, 0, 0}));
    proxy.conn.Write(Bytes({0}) + "hello");
    ASSERT_TRUE(PumpUntil([&] { return log.received == "hello"; }));
    EXPECT_EQ(log.items[0], kConnected);
    EXPECT_EQ(log.items[1], "socksconnected 0");
    EXPECT_EQ(log.items[2], "connected 0");
    EXPECT_EQ(log.items[3], "data 0");
    EXPECT_EQ(s.SocksReplyAddr, "");
  }
}

// Each refusal: the code three times, in this order, and the settings reset.
TEST(SocksScripted, RefusalsAndWrongVersions) {
  struct Case {
    const char* level;
    bool auth;
    std::vector<std::string> replies;  // one per step; the last one fails
    int32_t code;
    std::string msg;
  };
  const std::string granted4 = Bytes({0, 90, 0, 0, 0, 0, 0, 0});
  std::vector<Case> cases = {
      {"5", false, {Bytes({4, 0})}, 20002, "socks version error"},
      {"5", false, {Bytes({5, 0xFF})}, 20003, "authentification method not acceptable"},
      {"5", true, {Bytes({5, 2}), Bytes({2, 0})}, 20002, "socks version error"},
      {"5", true, {Bytes({5, 2}), Bytes({1, 1})}, 20015, "socks authentication failed"},
      {"5", true, {Bytes({5, 2}), Bytes({1, 0, 0})}, 20001, "too much data availaible"},
      {"5", false, {Bytes({5, 0}), Bytes({6, 0})}, 20002, "socks version error"},
      {"5", false, {Bytes({5, 0}), Bytes({5, 0, 0, 4, 0})}, 20011, "address type not supported"},
      {"4", false, {Bytes({1, 90, 0, 0, 0, 0, 0, 0})}, 20002, "socks version error"},
      {"4", false, {Bytes({0, 91, 0, 0, 0, 0, 0, 0})}, 20016, "request rejected or failed"},
      {"4", false, {Bytes({0, 92, 0, 0, 0, 0, 0, 0})}, 20008, "connection refused"},
      {"4A", false, {Bytes({0, 93, 0, 0, 0, 0, 0, 0})}, 20015, "authentification failed"},
      {"4", false, {Bytes({0, 1, 0, 0, 0, 0, 0, 0})}, 20012, "unassigned error #1"},
  };
  const char* codes[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                         "network unreachable",          "host unreachable",
                         "connection refused",           "time to live expired",
                         "command not supported",        "address type not supported"};
  // A refusal code fails on the reply's second byte: the rest never comes.
  for (int code = 1; code <= 9; ++code)
    cases.push_back({"5",
                     false,
                     {Bytes({5, 0}), Bytes({5, code})},
                     code <= 8 ? 20003 + code : 20012,
                     code <= 8 ? codes[code - 1] : "unassigned error #9"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.msg + " at level " + c.level);
    Proxy proxy;
    Log log;
    TWSocket s(nullptr);
    log.AttachSocks(s);
    Aim(s, proxy.Port(), c.level, c.level[0] == '4' && c.level[1] == 0 ? "127.0.0.9" : "abc");
    if (c.auth) s.SetSocksAuthentication(socksAuthenticateUsercode);
    s.Connect();
    proxy.Accept(s);
    for (const std::string& reply : c.replies) {
      proxy.AwaitAny();
      proxy.conn.Write(reply);
    }
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }));
    const std::string code = std::to_string(c.code);
    std::vector<std::string> tail(log.items.end() - 4, log.items.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"sockserror " + code + " " + c.msg,
                                              "connected " + code, kClosed, "closed " + code}));
    EXPECT_EQ(log.Count("auth 2"), 0);
    EXPECT_EQ(s.SocksServer(), "");
    EXPECT_EQ(s.SocksPhase, spIdle);
  }
}

// A level 4 target that does not resolve: 20017 with the exception's class
// and text; the application never hears OnSessionConnected.
TEST(SocksScripted, Socks4TargetThatDoesNotResolve) {
  Proxy proxy;
  Log log;
  TWSocket s(nullptr);
  log.AttachSocks(s);
  Aim(s, proxy.Port(), "4", "bad..host");
  s.Connect();
  proxy.Accept(s);
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }));
  ASSERT_GE(log.items.size(), 3u);
  EXPECT_EQ(log.items[log.items.size() - 3].rfind(
                "sockserror 20017 ESocketException WSocketResolveHost: Cannot convert host "
                "address 'bad..host'",
                0),
            0u);
  EXPECT_EQ(log.items.back(), "closed 20017");
  EXPECT_EQ(log.Count("connected 20017"), 0);
}

// The proxy closing in each phase: OnSessionClosed without OnSessionConnected;
// in the user/password phase OnSocksAuthState reports the failure first. A
// reply cut short by the close (a 255-byte domain that never completes) ends
// the same way.
TEST(SocksScripted, ProxyClosesInEachPhase) {
  const std::string partial = Bytes({5, 0, 0, 3, 255}) + std::string(100, 'x');
  struct Case {
    const char* name;
    const char* level;
    std::vector<std::string> replies;  // answered before the close
    std::vector<std::string> expected;
  } cases[] = {
      {"greeting", "5", {}, {kConnected, "socksconnected 0", "closed 0", kClosed}},
      {"auth",
       "5",
       {Bytes({5, 2})},
       {kConnected, "socksconnected 0", "auth 0", "auth 2", "closed 0", kClosed}},
      {"request", "4A", {}, {kConnected, "socksconnected 0", "closed 0", kClosed}},
      {"partial reply",
       "5",
       {Bytes({5, 0}), partial},
       {kConnected, "socksconnected 0", "closed 0", kClosed}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Proxy proxy;
    Log log;
    TWSocket s(nullptr);
    log.AttachSocks(s);
    Aim(s, proxy.Port(), c.level);
    s.Connect();
    log.items.clear();
    proxy.Accept(s);
    for (const std::string& reply : c.replies) {
      proxy.AwaitAny();
      proxy.conn.Write(reply);
    }
    if (c.replies.empty() || c.replies.back() != partial) proxy.AwaitAny();  // read before closing
    proxy.conn.Close();
    ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }));
    EXPECT_EQ(log.items, c.expected);
  }
}

// A proxy that stops answering mid-reply: the time limit ends the negotiation
// like a refusal, with WSAETIMEDOUT. Earlier limits of the same object, from a
// negotiation that finished, do not touch a later one.
TEST(SocksScripted, StalledReplyEndsAtTheTimeLimit) {
  Proxy proxy;
  Log log;
  TWSocket s(nullptr);
  log.AttachSocks(s);
  Aim(s, proxy.Port(), "5");
  s.SetSocksTimeout(200);
  s.Connect();
  proxy.Accept(s);
  proxy.Await(3);
  proxy.conn.Write(Bytes({5, 0}));
  proxy.AwaitAny();
  proxy.conn.Write(Bytes({5, 0}));
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }, 5000));
  std::vector<std::string> tail(log.items.end() - 4, log.items.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"sockserror 10060 socks negotiation timed out",
                                            "connected 10060", kClosed, "closed 10060"}));

  // Granted well within its limit, the next negotiation is not cut short by it.
  Proxy second;
  Aim(s, second.Port(), "4");
  s.SetAddr("127.0.0.1");
  s.SetSocksTimeout(150);
  s.Connect();
  second.Accept(s);
  second.AwaitAny();
  second.conn.Write(Bytes({0, 90, 0, 0, 0, 0, 0, 0}));
  ASSERT_TRUE(PumpUntil([&] { return log.Count("connected 0") == 1; }));
  nettest::PumpFor(2 * s.SocksTimeout());  // well past the limit's end
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_EQ(s.SocksTimeout(), 150);
}

// Settings: their refusals while open, their forms, and their reset by a close.
TEST(SocksScripted, SettingsRefusalsAndReset) {
  Proxy proxy;
  Log log;
  TWSocket s(nullptr);
  log.AttachSocks(s);
  s.SetSocksLevel("4a");
  EXPECT_EQ(s.SocksLevel(), "4A");
  for (const char* bad : {" 4", "4 ", "4B", ""})
    EXPECT_EQ(SocketErrorOf([&] { s.SetSocksLevel(bad); }),
              "Invalid socks level. Must be 4, 4A or 5.");
  EXPECT_EQ(s.SocksLevel(), "4A");
  s.SetSocksServer(" \t\r\n ");
  EXPECT_FALSE(s.SocksServerSet);
  s.SetSocksServer("  127.0.0.1\t ");
  EXPECT_EQ(s.SocksServer(), "127.0.0.1");
  EXPECT_TRUE(s.SocksServerSet);
  EXPECT_EQ(SocketErrorOf([&] { s.Listen(); }), "Listening is not supported thru socks server");
  s.SetProto("udp");
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }),
            "tcp is the only protocol supported thru socks server");

  // Values no request can carry are refused before any connection is made.
  Aim(s, proxy.Port(), "5", std::string(256, 'h'));
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }),
            "Connect: host name is longer than 255 bytes (256)");
  Aim(s, proxy.Port(), "4A", "abc");
  s.SetSocksUsercode(std::string("a\0b", 3));
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: socks user code contains a zero byte");
  Aim(s, proxy.Port(), "5");
  s.SetSocksAuthentication(socksAuthenticateUsercode);
  s.SetSocksPassword(std::string(300, 'p'));
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }),
            "Connect: socks password is longer than 255 bytes (300)");
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.SocksPhase, spIdle);

  // Upper-case TCP passes; the longest fields go out whole.
  const std::string user(255, 'u'), password(255, 'p');
  s.SetSocksUsercode(user);
  s.SetSocksPassword(password);
  s.SetProto("TCP");
  s.Connect();
  proxy.Accept(s);
  EXPECT_EQ(SocketErrorOf([&] { s.SetSocksLevel("4"); }), "Can't change socks level if not closed");
  EXPECT_EQ(SocketErrorOf([&] { s.SetSocksServer("x"); }),
            "Can't change socks server if not closed");
  EXPECT_EQ(SocketErrorOf([&] { s.SetSocksPort("1"); }), "Can't change socks port if not closed");
  EXPECT_EQ(s.SocksLevel(), "5");
  proxy.Await(3);
  proxy.conn.Write(Bytes({5, 2}));
  EXPECT_EQ(proxy.Await(513), Bytes({1, 255}) + user + Bytes({255}) + password);
  // A second Connect while negotiating is refused and leaves the negotiation alone.
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: Socket already in use");
  EXPECT_EQ(s.SocksPhase, spAuthenticating);
  proxy.conn.Write(Bytes({1, 0}));
  proxy.Await(18);
  proxy.conn.Write(Bytes({5, 0, 0, 1, 127, 0, 0, 1, 0, 80}));
  ASSERT_TRUE(PumpUntil([&] { return log.Count("connected 0") == 1; }));
  EXPECT_EQ(s.SocksReplyAddr, "127.0.0.1");
  EXPECT_EQ(s.SocksReplyPort, "80");

  s.Close();
  EXPECT_EQ(s.SocksServer(), "");
  EXPECT_EQ(s.SocksPort(), "");
  EXPECT_EQ(s.SocksLevel(), "5");
  EXPECT_FALSE(s.SocksServerSet);
  EXPECT_EQ(s.SocksUsercode(), user);
  EXPECT_EQ(s.SocksPassword(), password);
  EXPECT_EQ(s.SocksAuthentication(), socksAuthenticateUsercode);
}

}  // namespace
