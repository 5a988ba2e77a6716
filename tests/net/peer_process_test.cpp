// A stream peer that is another process (socat) and is killed under the
// connection: the close still comes through, once.
#include <gtest/gtest.h>

#include <csignal>

#include "StreamTestUtil.h"

namespace {

using nettest::PumpUntil;
using nettest::Settle;
using streamtest::Events;
using streamtest::Target;

// A process that echoes and then vanishes (killed).
TEST(StreamConnect, EchoPeerThatVanishes) {
  streampeer::Child socat({"/usr/bin/socat", "TCP4-LISTEN:0,bind=127.0.0.1", "PIPE"});
  const uint16_t port = streampeer::ListeningPortOf(socat.Pid());
  ASSERT_NE(port, 0) << "socat is not listening";
  Events log;
  TWSocket s(nullptr);
  log.Attach(s);
  Target(s, port);
  s.Connect();
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
  std::string data = streampeer::Pattern(200000, 9);
  s.Send(data.data(), static_cast<int32_t>(data.size()));
  ASSERT_TRUE(PumpUntil([&] { return log.received.size() >= data.size(); }, 10000));
  EXPECT_TRUE(log.received == data);
  socat.Kill(SIGKILL);
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }));
  Settle();
  EXPECT_EQ(log.Count("closed 0"), 1);
}

}  // namespace
