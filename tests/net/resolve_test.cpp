// The resolvers and the address test. Every text a user can type reaches them:
// each bad one must fail with its text, locally, without a name-service query
// leaving the machine.
#include <gtest/gtest.h>

#include "NetTestUtil.h"
#include "net/WSocket.h"

namespace {

using nettest::SocketErrorOf;

uint32_t Net(uint32_t hostOrder) { return winsock::htonl(hostOrder); }

TEST(IsDottedAddress, AcceptsFourPartsWithBlanksOnlyAround) {
  for (const char* yes : {"0.0.0.0", "255.255.255.255", "127.0.0.1", "  10.1.2.3", "10.1.2.3   ",
                          " 1.2.3.4 ", "010.001.000.099", "000000000000001.2.3.4"})
    EXPECT_TRUE(IsDottedAddress(yes)) << yes;
  for (const char* no : {"",
                         " ",
                         "1.2.3",
                         "1.2.3.4.5",
                         "1..2.3",
                         "1.2.3.",
                         ".1.2.3",
                         " .1.2.3.4",
                         "256.1.1.1",
                         "1.2.3.256",
                         "999.1.1.1",
                         "1.2.3.4x",
                         "1.2.3.4 5",
                         "1 .2.3.4",
                         "1. 2.3.4",
                         "a.b.c.d",
                         "1.2.3.-4",
                         "\t1.2.3.4",
                         "1.2.3.4\t",
                         "99999999999999999999.1.1.1",
                         "1.2.3.99999999999"})
    EXPECT_FALSE(IsDottedAddress(no)) << '"' << no << '"';
}

TEST(ParseLeadingNumber, ReadsLeadingDigitsOnly) {
  EXPECT_EQ(ParseLeadingNumber("80"), 80);
  EXPECT_EQ(ParseLeadingNumber("   80abc"), 80);
  EXPECT_EQ(ParseLeadingNumber(""), 0);
  EXPECT_EQ(ParseLeadingNumber("abc"), 0);
  EXPECT_EQ(ParseLeadingNumber("-5"), 0);
  EXPECT_EQ(ParseLeadingNumber("70000"), 70000);
  // Long digit runs wrap modulo 2^32 instead of overflowing.
  EXPECT_EQ(ParseLeadingNumber("4294967297"), 1);
  EXPECT_EQ(ParseLeadingNumber("99999999999999999999"), 1661992959);  // (10^20 - 1) mod 2^32
}

TEST(WSocketResolveHost, ConvertsAddressesAndLocalNames) {
  EXPECT_EQ(WSocketResolveHost("0.0.0.0"), 0u);
  EXPECT_EQ(WSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(WSocketResolveHost("127.0.0.1"), Net(0x7F000001));
  EXPECT_EQ(WSocketResolveHost("  192.168.1.10  "), Net(0xC0A8010A));
  EXPECT_EQ(WSocketResolveHost("localhost"), Net(0x7F000001));
  EXPECT_EQ(WSocketResolveHost(" localhost\t"), Net(0x7F000001));
  // Short numeric forms are addresses, not names.
  EXPECT_EQ(WSocketResolveHost("127.1"), Net(0x7F000001));
  // A dotted address reads decimal parts: a leading zero is no octal prefix.
  EXPECT_EQ(WSocketResolveHost("010.1.1.1"), Net(0x0A010101));
  EXPECT_EQ(WSocketResolveHost(" 08.09.010.255"), Net(0x0809 << 16 | 0x0AFF));
}

TEST(WSocketResolveHost, RefusesBadTextsWithTheirMessages) {
  std::string long257(257, 'a');
  EXPECT_EQ(SocketErrorOf([] { WSocketResolveHost(""); }),
            "WSocketResolveHost: '' Invalid Hostname.");
  EXPECT_EQ(SocketErrorOf([&] { WSocketResolveHost(long257); }),
            "WSocketResolveHost: '" + long257 + "' Invalid Hostname.");

  // Texts that are no host name fail as a name that is not found.
  const std::string notFound[] = {
      std::string(256, 'a'),
      std::string(63, 'a') + "." + std::string(63, 'b') + "." + std::string(63, 'c') + "." +
          std::string(64, 'd'),
      "1.2.3.4.5",
      "999.1.1.1",
      "1..2.3",
      "bad..host",
      ".leadingdot",
      "a\x01"
      "b",
      "tab\there",
      "two words",
      "caf\xC3\xA9.example",
      "\xFF\xFE",
      std::string("nul\0inside", 10),
      "   ",
      "100%",
      "..",
  };
  for (const std::string& text : notFound) {
    EXPECT_EQ(SocketErrorOf([&] { WSocketResolveHost(text); }),
              "WSocketResolveHost: Cannot convert host address '" + text + "', Error #11001")
        << text;
  }
}

TEST(WSocketResolvePort, NumbersWrapAndNamesAreLookedUp) {
  EXPECT_EQ(WSocketResolvePort("55555", "udp"), 55555);
  EXPECT_EQ(WSocketResolvePort("70000", "udp"), 4464);
  EXPECT_EQ(WSocketResolvePort("80abc", "tcp"), 80);
  EXPECT_EQ(WSocketResolvePort("0", "tcp"), 0);
  EXPECT_EQ(WSocketResolvePort("domain", "udp"), 53);
  EXPECT_EQ(WSocketResolvePort(" domain ", " udp "), 53);

  EXPECT_EQ(SocketErrorOf([] { WSocketResolvePort("", "udp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(SocketErrorOf([] { WSocketResolvePort(std::string(32, '1'), "udp"); }),
            "WSocketResolvePort: Invalid Port.");
  EXPECT_EQ(SocketErrorOf([] { WSocketResolvePort("80", ""); }),
            "WSocketResolvePort: Invalid Proto.");
  EXPECT_EQ(SocketErrorOf([] { WSocketResolvePort("80", std::string(32, 'u')); }),
            "WSocketResolvePort: Invalid Proto.");
  // 31 digits still count as a number.
  EXPECT_NO_THROW(WSocketResolvePort(std::string(31, '9'), "udp"));

  for (const std::string text : {"nosuchservice", " ", "\x01\x02", "\xC3\xA9t\xC3\xA9", "-1"}) {
    std::string msg = SocketErrorOf([&] { WSocketResolvePort(text, "udp"); });
    EXPECT_EQ(msg.rfind("WSocketResolvePort: Cannot convert port '" + text + "', Error #", 0), 0u)
        << msg;
  }
}

TEST(WSocketResolveProto, NamesAndNumbers) {
  EXPECT_EQ(WSocketResolveProto("udp"), 17);
  EXPECT_EQ(WSocketResolveProto("17"), 17);
  EXPECT_EQ(WSocketResolveProto(" tcp "), 6);
  EXPECT_EQ(WSocketResolveProto("6"), 6);
  EXPECT_EQ(WSocketResolveProto("17abc"), 17);

  EXPECT_EQ(SocketErrorOf([] { WSocketResolveProto(""); }),
            "WSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(SocketErrorOf([] { WSocketResolveProto(std::string(32, 'u')); }),
            "WSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(SocketErrorOf([] { WSocketResolveProto("   "); }),
            "WSocketResolveProto: Invalid Protocol.");
  std::string msg = SocketErrorOf([] { WSocketResolveProto(" nosuchproto\x01"); });
  EXPECT_EQ(msg.rfind("WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #", 0), 0u)
      << msg;
}

}  // namespace
