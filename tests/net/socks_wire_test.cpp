// The SOCKS wire functions without sockets: request bytes, reply verdicts,
// the refusal table, and the bound that every incomplete reply can still grow.
#include <gtest/gtest.h>

#include "net/SocksWire.h"

namespace {

using namespace sockswire;

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += static_cast<char>(c);
  return s;
}

TReplyDecision Judge(TReplyKind k, const std::string& s) {
  return JudgeReply(k, reinterpret_cast<const uint8_t*>(s.data()), static_cast<int32_t>(s.size()));
}

TEST(SocksWire, RequestBytes) {
  EXPECT_EQ(Socks5Greeting(2), Bytes({5, 1, 2}));
  EXPECT_EQ(AuthRequest("ab", ""), Bytes({1, 2, 'a', 'b', 0}));
  // SOCKS4 with an empty user id: 9 bytes; the address is copied as given (network order).
  const uint32_t addr = 0x0100007F;  // 127.0.0.1 as it lies in memory on this machine
  EXPECT_EQ(Socks4Request(0x1234, addr, ""), Bytes({4, 1, 0x12, 0x34, 127, 0, 0, 1, 0}));
  EXPECT_EQ(Socks4aRequest(80, "u", "abc"),
            Bytes({4, 1, 0, 80, 0, 0, 0, 1, 'u', 0, 'a', 'b', 'c', 0}));
  // A dotted address still goes out as a domain name.
  EXPECT_EQ(Socks5ConnectRequest("10.0.0.1", 443),
            Bytes({5, 1, 0, 3, 8}) + "10.0.0.1" + Bytes({1, 0xBB}));
  const std::string longest(255, 'h');
  EXPECT_EQ(Socks5ConnectRequest(longest, 1).size(), 262u);
  EXPECT_EQ(static_cast<uint8_t>(Socks5ConnectRequest(longest, 1)[4]), 255);
}

TEST(SocksWire, FieldsTheProtocolCannotCarry) {
  EXPECT_EQ(FieldProblem("host name", std::string(255, 'x'), true), "");
  EXPECT_EQ(FieldProblem("host name", std::string(256, 'x'), false),
            "host name is longer than 255 bytes (256)");
  EXPECT_EQ(FieldProblem("socks user code", std::string("a\0b", 3), true),
            "socks user code contains a zero byte");
  EXPECT_EQ(FieldProblem("socks password", std::string("a\0b", 3), false), "");
}

TEST(SocksWire, RefusalTable) {
  const char* texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                         "network unreachable",          "host unreachable",
                         "connection refused",           "time to live expired",
                         "command not supported",        "address type not supported"};
  for (int code = 1; code <= 8; ++code) {
    TReplyDecision d = Judge(TReplyKind::Socks5Connect, Bytes({5, code}));
    EXPECT_EQ(d.Verdict, TVerdict::Fail);
    EXPECT_EQ(d.Error, 20003 + code);
    EXPECT_EQ(d.Msg, texts[code - 1]);
  }
  EXPECT_EQ(Judge(TReplyKind::Socks5Connect, Bytes({5, 9})).Msg, "unassigned error #9");
  EXPECT_EQ(Judge(TReplyKind::Socks5Connect, Bytes({5, 255})).Error, 20012);
  auto s4 = [](int status) {
    return Judge(TReplyKind::Socks4Connect, Bytes({0, status, 0, 0, 0, 0, 0, 0}));
  };
  EXPECT_EQ(s4(91).Error, 20016);
  EXPECT_EQ(s4(91).Msg, "request rejected or failed");
  EXPECT_EQ(s4(92).Error, 20008);
  EXPECT_EQ(s4(93).Msg, "authentification failed");
  EXPECT_EQ(s4(1).Msg, "unassigned error #1");
  EXPECT_EQ(s4(90).Verdict, TVerdict::Granted);
  EXPECT_EQ(Judge(TReplyKind::Socks4Connect, Bytes({4, 90, 0, 0, 0, 0, 0, 0})).Error, 20002);
  EXPECT_EQ(Judge(TReplyKind::MethodSelection, Bytes({5, 0xFF})).Error, 20003);
  EXPECT_EQ(Judge(TReplyKind::MethodSelection, Bytes({4, 0})).Error, 20002);
  EXPECT_EQ(Judge(TReplyKind::AuthStatus, Bytes({1, 0, 9})).Msg, "too much data availaible");
  EXPECT_EQ(Judge(TReplyKind::AuthStatus, Bytes({1, 1})).Msg, "socks authentication failed");
  EXPECT_EQ(Judge(TReplyKind::AuthStatus, Bytes({2})).Error, 20002);  // decided on the first byte
  EXPECT_EQ(Judge(TReplyKind::Socks5Connect, Bytes({5, 0, 0, 4, 0})).Error, 20011);  // IPv6
}

// A reply with a 255-byte bound domain, judged at every length: it waits
// while incomplete (with room left to read), and is granted at full length.
TEST(SocksWire, LongestReplyAssemblesAtEveryLength) {
  std::string reply = Bytes({5, 0, 0, 3, 255}) + std::string(255, 'd') + Bytes({0x1F, 0x90});
  ASSERT_EQ(reply.size(), static_cast<size_t>(kMaxReply));
  for (size_t n = 0; n < reply.size(); ++n) {
    EXPECT_EQ(Judge(TReplyKind::Socks5Connect, reply.substr(0, n)).Verdict, TVerdict::NeedMore);
    EXPECT_GT(ReplyReadLimit(TReplyKind::Socks5Connect, static_cast<int32_t>(n)), 0);
  }
  TReplyDecision d = Judge(TReplyKind::Socks5Connect, reply + "banner");
  EXPECT_EQ(d.Verdict, TVerdict::Granted);
  EXPECT_EQ(d.Length, kMaxReply);
  EXPECT_EQ(d.BoundAddr, std::string(255, 'd'));
  EXPECT_EQ(d.BoundPort, "8080");
  d = Judge(TReplyKind::Socks5Connect, Bytes({5, 0, 0, 1, 10, 1, 2, 3, 0xFF, 0xFF}));
  EXPECT_EQ(d.BoundAddr, "10.1.2.3");
  EXPECT_EQ(d.BoundPort, "65535");
  // SOCKS4 replies are read exactly: nothing after them is taken from the socket.
  EXPECT_EQ(ReplyReadLimit(TReplyKind::Socks4Connect, 3), 5);
  EXPECT_EQ(ReplyReadLimit(TReplyKind::Socks4Connect, 8), 0);
}

}  // namespace
