// Asynchronous host-name lookups, on names this machine answers itself.
#include <gtest/gtest.h>

#include <vector>

#include "NetTestUtil.h"
#include "net/WSocket.h"

namespace {

using nettest::SocketErrorOf;

class DnsLookups : public ::testing::Test {
 protected:
  void SetUp() override {
    s.OnDnsLookupDone = [this](TObject* sender, uint16_t error) {
      EXPECT_EQ(sender, &s);
      done.push_back(error);
    };
  }
  std::vector<uint16_t> done;
  TWSocket s{nullptr};
};

TEST_F(DnsLookups, DottedAddressesAreAnsweredAtOnce) {
  s.DnsLookup("192.168.1.10");
  EXPECT_EQ(done, std::vector<uint16_t>{0});
  EXPECT_EQ(s.DnsResult(), "192.168.1.10");
  ASSERT_EQ(s.DnsResultList()->Count(), 1);
  EXPECT_EQ(s.DnsResultList()->Strings(0), "192.168.1.10");
  EXPECT_EQ(s.LookupHandle, 0);
}

TEST_F(DnsLookups, ForwardAndReverseLookupsComplete) {
  s.DnsLookup("localhost");
  EXPECT_NE(s.LookupHandle, 0);
  EXPECT_TRUE(done.empty());
  EXPECT_TRUE(nettest::PumpUntil([&] { return !done.empty(); }));
  EXPECT_EQ(done, std::vector<uint16_t>{0});
  EXPECT_EQ(s.DnsResult(), "127.0.0.1");
  EXPECT_GE(s.DnsResultList()->IndexOf("127.0.0.1"), 0);

  done.clear();
  s.ReverseDnsLookup("127.0.0.1");
  EXPECT_TRUE(nettest::PumpUntil([&] { return !done.empty(); }));
  EXPECT_EQ(done, std::vector<uint16_t>{0});
  EXPECT_EQ(s.DnsResult(), "localhost");
  EXPECT_EQ(s.DnsResultList()->Count(), 1);
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

TEST_F(DnsLookups, StoppingAndRestartingCancelThePendingLookup) {
  s.StopDnsLookup();  // nothing pending: nothing happens
  EXPECT_TRUE(done.empty());

  s.DnsLookup("localhost");
  s.DnsLookup("localhost");  // the first is cancelled without an event
  s.StopDnsLookup();
  EXPECT_EQ(done, std::vector<uint16_t>{10004});
  nettest::PumpFor(100);
  EXPECT_EQ(done, std::vector<uint16_t>{10004});

  done.clear();
  s.DnsLookup("localhost");
  s.Abort();
  EXPECT_EQ(done, std::vector<uint16_t>{10004});
}

TEST(DnsLookupsOnDestruction, APendingLookupIsCancelledSilently) {
  int events = 0;
  auto* s = new TWSocket(nullptr);
  s->OnDnsLookupDone = [&](TObject*, uint16_t) { ++events; };
  s->DnsLookup("localhost");
  delete s;
  nettest::PumpFor(100);
  EXPECT_EQ(events, 0);
}

}  // namespace
