// Asynchronous host-name lookups, answered from the private hosts file the test
// program enters (tests/support/PrivateResolver.cpp).
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "NetTestUtil.h"
#include "net/WSocket.h"
#include "tests/support/PrivateResolver.h"
#include "tests/support/Wine.h"

namespace {

using nettest::SocketErrorOf;

constexpr int kLookupTimeoutMs = 20000;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class DnsLookups : public ::testing::Test {
 protected:
  void SetUp() override {
    s.OnDnsLookupDone = [this](TObject* sender, uint16_t error) {
      EXPECT_EQ(sender, &s);
      done.push_back(error);
    };
  }
  bool Finished() {
    return nettest::PumpUntil([&] { return !done.empty(); }, kLookupTimeoutMs);
  }
  std::vector<std::string> Results() {
    std::vector<std::string> all;
    for (int i = 0; i < s.DnsResultList()->Count(); ++i)
      all.push_back(s.DnsResultList()->Strings(i));
    return all;
  }
  std::vector<uint16_t> done;
  TWSocket s{nullptr};
};

class PrivateNames : public DnsLookups {
 protected:
  void SetUp() override {
    if (!testresolver::PrivateResolverReady())
      GTEST_SKIP() << "no private hosts file: " << testresolver::PrivateResolverError();
    DnsLookups::SetUp();
  }
};

TEST_F(DnsLookups, DottedAddressesAreAnsweredBeforeDnsLookupReturns) {
  // Parts are decimal: a leading zero is not an octal prefix.
  const std::pair<const char*, const char*> cases[] = {{"192.168.1.10", "192.168.1.10"},
                                                       {"010.1.1.1", "10.1.1.1"},
                                                       {"08.1.1.1", "8.1.1.1"},
                                                       {"  1.2.3.4 ", "1.2.3.4"},
                                                       {"0.0.0.0", "0.0.0.0"}};
  for (const auto& [text, answer] : cases) {
    done.clear();
    s.DnsLookup(text);
    EXPECT_EQ(done, std::vector<uint16_t>{0}) << text;
    EXPECT_EQ(s.LookupHandle, 0) << text;
    EXPECT_EQ(s.DnsResult(), answer);
    EXPECT_EQ(Results(), std::vector<std::string>{answer});
  }
  // Converts to INADDR_NONE, so it is asked for like a name.
  done.clear();
  s.DnsLookup("255.255.255.255");
  EXPECT_TRUE(done.empty());
  EXPECT_NE(s.LookupHandle, 0);
  EXPECT_EQ(s.DnsResult(), "");
  ASSERT_TRUE(Finished());
  EXPECT_EQ(done, std::vector<uint16_t>{0});
  EXPECT_EQ(s.DnsResult(), "255.255.255.255");
}

TEST_F(PrivateNames, ForwardLookupListsEveryAddressInTheEntrysOrder) {
  s.DnsLookup("vx-three.test");
  EXPECT_NE(s.LookupHandle, 0);
  EXPECT_TRUE(done.empty());
  ASSERT_TRUE(Finished());
  EXPECT_EQ(done, std::vector<uint16_t>{0});
  EXPECT_EQ(s.LookupHandle, 0);
  EXPECT_EQ(s.DnsResult(), "10.77.0.31");
  EXPECT_EQ(Results(), (std::vector<std::string>{"10.77.0.31", "10.77.0.32", "10.77.0.33"}));

  // A failure leaves both results empty, the last answer included.
  for (const char* missing : {"nosuch.test", "bad..host"}) {
    done.clear();
    s.DnsLookup(missing);
    ASSERT_TRUE(Finished());
    EXPECT_EQ(done, std::vector<uint16_t>{11001}) << missing;
    EXPECT_EQ(s.DnsResult(), "");
    EXPECT_TRUE(Results().empty());
  }
  // Closing the socket keeps the answer.
  done.clear();
  s.DnsLookup("vx-one.test");
  ASSERT_TRUE(Finished());
  s.Close();
  EXPECT_EQ(s.DnsResult(), "10.77.0.1");
}

TEST_F(PrivateNames, ReverseLookupGivesTheOneHostName) {
  s.ReverseDnsLookup("10.77.0.1");
  ASSERT_TRUE(Finished());
  EXPECT_EQ(done, std::vector<uint16_t>{0});
  EXPECT_EQ(s.DnsResult(), "vx-one.test");
  EXPECT_EQ(Results(), std::vector<std::string>{"vx-one.test"});

  // Decimal parts here too.
  done.clear();
  s.ReverseDnsLookup("010.077.0.01");
  ASSERT_TRUE(Finished());
  EXPECT_EQ(done, std::vector<uint16_t>{0});
  EXPECT_EQ(s.DnsResult(), "vx-one.test");

  // Anything but a dotted address is asked about as 255.255.255.255, which has
  // no name here; a text of 256 characters is still accepted.
  for (const std::string& text : {std::string("10.77.1"), std::string(256, '1')}) {
    done.clear();
    s.ReverseDnsLookup(text);
    EXPECT_NE(s.LookupHandle, 0);
    ASSERT_TRUE(Finished());
    EXPECT_EQ(done, std::vector<uint16_t>{11001});
    EXPECT_EQ(s.DnsResult(), "");
    EXPECT_TRUE(Results().empty());
  }
}

TEST_F(DnsLookups, BadNamesAreRefused) {
  EXPECT_EQ(SocketErrorOf([&] { s.DnsLookup(""); }), "DNS lookup: invalid host name.");
  EXPECT_EQ(SocketErrorOf([&] { s.ReverseDnsLookup(std::string(257, '1')); }),
            "ReverseDnsLookup: Invalid host name.");
  EXPECT_TRUE(done.empty());  // the raise leaves before the event
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  s.DnsLookup("");
  s.ReverseDnsLookup("");
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(done, (std::vector<uint16_t>{10022, 10022}));
}

// Without a window nothing can be told of the answer: the lookup cannot start.
TEST_F(DnsLookups, LookupsThatCannotStartSayWhy) {
  const win32::HWND own = s.HiddenWindow;
  s.HiddenWindow = nullptr;
  EXPECT_EQ(SocketErrorOf([&] { s.DnsLookup("vx-one.test"); }), "DnsLookup: Window not assigned");
  EXPECT_EQ(SocketErrorOf([&] { s.ReverseDnsLookup("10.77.0.1"); }),
            "ReverseDnsLookup: Window not assigned");
  s.HiddenWindow = own;
  EXPECT_EQ(s.LookupHandle, 0);
  EXPECT_TRUE(done.empty());
}

TEST_F(DnsLookups, LookupsTheServiceRefusesSayWhy) {
  if (support::UnderWine())
    GTEST_SKIP() << "Wine starts a lookup for any window handle (Winsock names no error for one)";
  const win32::HWND own = s.HiddenWindow;
  s.HiddenWindow = nullptr;
  // Reported to OnError instead, the lookup is still tried, and refused.
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  s.DnsLookup("vx-one.test");
  EXPECT_EQ(errors, 2);
  s.OnError = nullptr;
  s.HiddenWindow = reinterpret_cast<win32::HWND>(0x7654321);  // no window
  EXPECT_EQ(SocketErrorOf([&] { s.DnsLookup("vx-one.test"); }),
            "vx-one.test: can't start DNS lookup, error #10022");
  EXPECT_EQ(SocketErrorOf([&] { s.ReverseDnsLookup("10.77.0.1"); }),
            "10.77.0.1: can't start DNS lookup, error #10022");
  s.HiddenWindow = own;
  EXPECT_EQ(s.LookupHandle, 0);
  EXPECT_TRUE(done.empty());
}

TEST_F(PrivateNames, ANewLookupOrAStopCancelsThePendingOneForGood) {
  if (support::UnderWine())
    GTEST_SKIP() << "Wine's WSACancelAsyncRequest is a stub: the cancelled lookup still "
                    "completes, into the same buffer";
  s.StopDnsLookup();  // nothing pending: nothing happens
  EXPECT_TRUE(done.empty());

  // Only the second lookup reports, whatever state the first had reached: a
  // late report of a first one would come before or instead of a later round's.
  constexpr size_t kRounds = 20;
  for (size_t round = 0; round < kRounds; ++round) {
    s.DnsLookup("vx-three.test");
    if (round % 2) Sleep(2);  // the first may have finished, its answer queued
    s.DnsLookup("vx-one.test");
    ASSERT_TRUE(nettest::PumpUntil([&] { return done.size() > round; }, kLookupTimeoutMs));
    EXPECT_EQ(Results(), std::vector<std::string>{"10.77.0.1"}) << round;
  }
  nettest::Settle();
  EXPECT_EQ(done, std::vector<uint16_t>(kRounds, 0));

  done.clear();
  s.DnsLookup("vx-three.test");
  s.StopDnsLookup();
  EXPECT_EQ(done, std::vector<uint16_t>{10004});
  EXPECT_EQ(s.LookupHandle, 0);
  nettest::Settle();
  EXPECT_EQ(done, std::vector<uint16_t>{10004});
  EXPECT_EQ(s.DnsResult(), "");

  done.clear();
  s.ReverseDnsLookup("10.77.0.1");
  s.Abort();
  EXPECT_EQ(done, std::vector<uint16_t>{10004});
}

TEST_F(PrivateNames, ACompletionForAnotherHandleIsIgnored) {
  s.DnsLookup("vx-one.test");
  ASSERT_NE(s.LookupHandle, 0);
  TWSocketMessage stale{WM_SOCKET_HOSTBYNAME_DONE, static_cast<win32::WPARAM>(s.LookupHandle + 1),
                        0, 0};
  s.HandleWindowMessage(stale);
  EXPECT_TRUE(done.empty());
  EXPECT_NE(s.LookupHandle, 0);
  ASSERT_TRUE(Finished());
  EXPECT_EQ(done, std::vector<uint16_t>{0});
}

TEST(DnsLookupsOnDestruction, APendingLookupIsCancelledSilently) {
  int events = 0;
  for (int i = 0; i < 10; ++i) {
    auto* s = new TWSocket(nullptr);
    s->OnDnsLookupDone = [&](TObject*, uint16_t) { ++events; };
    s->DnsLookup("localhost");
    if (i % 2) Sleep(2);  // sometimes the answer waits in the queue
    delete s;
  }
  nettest::Settle();
  EXPECT_EQ(events, 0);
}

}  // namespace
