// Sending: the send blocks, the queue, Send and its events, partial sends
// resumed on FD_WRITE, connection errors met while sending, and the flush.
#include <gtest/gtest.h>

#include <thread>

#include "StreamTestUtil.h"
#include "tests/support/Loopback.h"
#include "net/WSockBuf.h"

namespace {

using nettest::PumpUntil;
using nettest::Settle;
using nettest::SocketErrorOf;
using streamtest::Connected;
using streamtest::Events;

TEST(SendBlock, FillsDrainsAndRewinds) {
  TBuffer fallback(0);
  EXPECT_EQ(fallback.Capacity, 1514);
  EXPECT_EQ(TBuffer(-3).Capacity, 1514);

  TBuffer b(8);
  int32_t len = -1;
  EXPECT_EQ(b.PendingData(len), nullptr);
  EXPECT_EQ(len, 0);
  EXPECT_EQ(b.Append("abcdef", 6), 6);
  EXPECT_EQ(b.Append("ghijk", 5), 2);  // only what fits
  EXPECT_EQ(b.Append("x", 1), 0);      // full
  EXPECT_EQ(b.Consume(3), 3);
  uint8_t* p = b.PendingData(len);
  ASSERT_EQ(len, 5);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(p), 5), "defgh");
  EXPECT_EQ(b.Consume(100), 5);  // no more than is pending
  EXPECT_EQ(b.ReadPos, 0);       // drained: both positions rewind
  EXPECT_EQ(b.WritePos, 0);
  EXPECT_EQ(b.Consume(1), 0);
  EXPECT_EQ(b.Append("12345678", 8), 8);  // a drained block takes bytes from its start

  b.Consume(2);
  b.SetCapacity(16);  // keeps what was written, consumed bytes included
  EXPECT_EQ(b.Capacity, 16);
  p = b.PendingData(len);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(p), static_cast<size_t>(len)), "345678");
}

// 3000 bytes into an empty queue: 1460 + 1460 + 80, one Winsock call each; the
// lone drained block stays for the next Send; OnDataSent comes once, later.
TEST(SendQueue, SplitsIntoBlocksAndReusesTheLoneBlock) {
  Connected c;
  std::string data = streampeer::Pattern(3000);
  EXPECT_EQ(c.sock.Send(data.data(), 3000), 3000);
  EXPECT_EQ(c.events.sendData, (std::vector<int32_t>{1460, 1460, 80}));
  ASSERT_EQ(c.sock.SendQueue.size(), 1u);
  TBuffer* lone = c.sock.SendQueue.front();
  EXPECT_EQ(lone->Capacity, 1460);
  EXPECT_TRUE(c.sock.SendQueueDrained);
  EXPECT_EQ(c.events.dataSent, 0);  // posted, not fired by Send itself
  ASSERT_TRUE(PumpUntil([&] { return c.events.dataSent > 0; }));
  Settle();
  // The drained queue posts its own FD_WRITE; the kernel's, re-armed by a send
  // that would have blocked, may land beside it, and each reports the empty queue.
  const int first = c.events.dataSent;
  EXPECT_LE(first, 2);
  EXPECT_EQ(c.peer.Read(3000, 3000), data);

  EXPECT_EQ(c.sock.SendText("more"), 4);
  EXPECT_EQ(c.sock.SendQueue.size(), 1u);
  EXPECT_EQ(c.sock.SendQueue.front(), lone);  // reused, no new block
  ASSERT_TRUE(PumpUntil([&] { return c.events.dataSent > first; }));
  Settle();
  EXPECT_EQ(c.events.dataSent, first + 1);  // one for this Send
  EXPECT_EQ(c.peer.Read(4, 3000), "more");
}

TEST(SendQueue, NothingToSend) {
  Connected c;
  // No block yet: nothing is queued and nothing posted; the flag stays false.
  EXPECT_EQ(c.sock.Send("x", 0), 0);
  EXPECT_TRUE(c.sock.SendQueue.empty());
  EXPECT_FALSE(c.sock.SendQueueDrained);
  c.sock.FlushSendQueue();  // must not wait for a drain that cannot come
  Settle();
  EXPECT_EQ(c.events.dataSent, 0);

  EXPECT_EQ(c.sock.SendText(""), 0);
  EXPECT_EQ(c.sock.SendText("a"), 1);  // now the queue has its block
  ASSERT_TRUE(PumpUntil([&] { return c.events.dataSent > 0; }));
  Settle();
  EXPECT_EQ(c.events.dataSent, 1);
  EXPECT_EQ(c.sock.Send("x", -5), 0);  // with a block: the posted FD_WRITE still reports
  ASSERT_TRUE(PumpUntil([&] { return c.events.dataSent > 1; }));
  Settle();
  EXPECT_EQ(c.events.dataSent, 2);
  EXPECT_EQ(c.peer.Read(2, 500), "a");  // and nothing else went out
}

// The peer does not read until every kernel buffer is full; then it reads
// everything: each byte arrives once and in order, OnDataSent fires once after
// the FD_WRITE that empties the queue.
TEST(SendQueue, PartialSendsResumeOnWritable) {
  Connected c(4096);
  const size_t total = 3 * 1024 * 1024 + 77;
  std::string data = streampeer::Pattern(total, 7);
  for (size_t at = 0; at < total; at += 65536) {
    int32_t n = static_cast<int32_t>(std::min<size_t>(65536, total - at));
    ASSERT_EQ(c.sock.Send(data.data() + at, n), n);  // never blocks, always takes all
  }
  ASSERT_FALSE(c.sock.SendQueueDrained);
  ASSERT_GT(c.sock.SendQueue.size(), 100u);  // the kernel took only part
  Settle();
  EXPECT_EQ(c.events.dataSent, 0);

  // Now let it flow at loopback speed: tiny buffers would make the rest crawl.
  int32_t big = 1 << 20;
  winsock::setsockopt(c.sock.SocketHandle, winsock::SOL_SOCKET, winsock::SO_SNDBUF,
                      reinterpret_cast<char*>(&big), sizeof(big));
  c.peer.SetReceiveBuffer(big);
  std::string got;
  std::thread reader([&] { got = c.peer.Read(total + 1, 20000); });
  PumpUntil([&] { return c.sock.SendQueueDrained; }, 20000);
  c.sock.ShutdownSocket(winsock::SD_SEND);  // lets the reader see the end
  reader.join();
  ASSERT_EQ(got.size(), total);
  EXPECT_TRUE(got == data);
  ASSERT_TRUE(PumpUntil([&] { return c.events.dataSent > 0; }));
  Settle();
  EXPECT_EQ(c.events.dataSent, 1);
  int64_t sum = 0;
  for (int32_t n : c.events.sendData) {
    EXPECT_LE(n, 1460);
    sum += n;
  }
  EXPECT_EQ(sum, static_cast<int64_t>(total));
}

// A reset met by send itself: the socket closes first, then OnSessionClosed
// carries 10054, once; no exception reaches the caller.
TEST(SendQueue, ResetMetWhileSendingClosesOnce) {
  Connected c;
  c.peer.Reset();
  // The reset has arrived (the descriptor shows it); not yet dispatched.
  const unsigned seen =
      loopback::Wait(static_cast<int>(c.sock.SocketHandle), loopback::kReadable, 10000);
  ASSERT_NE(seen & loopback::kBroken, 0u);
  std::string data(5000, 'r');
  EXPECT_EQ(c.sock.Send(data.data(), 5000), 5000);  // accepted into the queue
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; }));
  Settle();
  EXPECT_EQ(c.events.Count("closed 10054"), 1);
  ASSERT_EQ(c.events.items.size(), 2u);
  EXPECT_EQ(c.events.items[0], Events::State(wsConnected, wsClosed));
  EXPECT_EQ(c.events.items[1], "closed 10054");
  EXPECT_EQ(c.events.dataSent, 0);
}

// The peer resets while the queue is full of bytes it never read.
TEST(SendQueue, PeerResetsWhileQueueIsFull) {
  Connected c(4096);
  std::string data(2 * 1024 * 1024, 'q');
  c.sock.Send(data.data(), static_cast<int32_t>(data.size()));
  ASSERT_FALSE(c.sock.SendQueueDrained);
  c.peer.Reset();
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; }));
  Settle();
  int closes = 0;
  for (const auto& i : c.events.items) closes += i.rfind("closed ", 0) == 0;
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(c.events.Count("closed 10054"), 1);

  // A new connection never carries the old queue.
  streampeer::Listener other;
  streamtest::Target(c.sock, other.Port());
  c.sock.SetLingerOnOff(wsLingerOff);
  c.sock.Connect();
  EXPECT_TRUE(c.sock.SendQueue.empty());
  streampeer::Conn peer2 = other.Accept();
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsConnected; }));
  c.sock.SendText("new");
  c.sock.Close();
  EXPECT_EQ(peer2.ReadToEnd(2000), "new");
}

TEST(SendQueue, SendOutsideAConnection) {
  Events log;
  TWSocket s(nullptr);
  log.Attach(s);
  EXPECT_EQ(SocketErrorOf([&] { s.SendText("x"); }),
            "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(log.items,
            (std::vector<std::string>{Events::State(wsClosed, wsClosed)}));  // no session to close
  bool reported = false;
  s.OnError = [&](TObject*) { reported = true; };
  EXPECT_EQ(s.Send("x", 1), -1);
  EXPECT_TRUE(reported);
  EXPECT_EQ(s.LastError(), 10057);

  // Still connecting: the send fails and closes the attempt.
  streampeer::SilentListener silent;
  Events clog;
  TWSocket c(nullptr);
  clog.Attach(c);
  streamtest::Target(c, silent.Port());
  c.Connect();
  ASSERT_EQ(c.State(), wsConnecting);
  EXPECT_EQ(SocketErrorOf([&] { c.SendText("x"); }),
            "Error 10057 in function Send\r\nSocket is not connected");
  EXPECT_EQ(c.State(), wsClosed);
  EXPECT_EQ(c.SocketHandle, winsock::INVALID_SOCKET);
  EXPECT_EQ(clog.Count("closed 10057"), 1);
}

TEST(SendQueue, FlushWaitsForTheSlowReaderAndReportsInside) {
  Connected c(4096);
  c.sock.FlushSendQueue();  // nothing queued: returns at once
  std::string data = streampeer::Pattern(1024 * 1024, 3);
  c.sock.Send(data.data(), static_cast<int32_t>(data.size()));
  ASSERT_FALSE(c.sock.SendQueueDrained);
  std::string got;
  std::thread reader([&] { got = c.peer.Read(data.size(), 20000); });
  c.sock.FlushSendQueue();
  EXPECT_TRUE(c.sock.SendQueueDrained);
  reader.join();
  EXPECT_TRUE(got == data);
  ASSERT_TRUE(PumpUntil([&] { return c.events.dataSent > 0; }));
  Settle();
  // The flush's own send may re-arm FD_WRITE while the kernel's earlier one is
  // still queued; each FD_WRITE that finds the queue empty reports it.
  EXPECT_GE(c.events.dataSent, 1);
  EXPECT_LE(c.events.dataSent, 2);

  TWSocket closed(nullptr);
  closed.SendQueueDrained = false;
  closed.FlushSendQueue();  // no handle: returns at once
}

TEST(SendQueue, UrgentFlagAndItsChecks) {
  TWSocket s(nullptr);
  EXPECT_EQ(s.SendFlags(), wsSendNormal);
  s.SetSendFlags(wsSendUrgent);
  EXPECT_EQ(s.SendFlagBits, 1u);
  EXPECT_EQ(s.SendFlags(), wsSendUrgent);
  EXPECT_EQ(SocketErrorOf([&] { s.SetSendFlags(static_cast<TSocketSendFlags>(5)); }),
            "Invalid SendFlags");
  EXPECT_EQ(s.SendFlagBits, 1u);
  s.SendFlagBits = 7;
  EXPECT_EQ(SocketErrorOf([&] { s.SendFlags(); }), "Invalid internal SendFlags");
  s.OnError = [](TObject*) {};
  EXPECT_EQ(s.SendFlags(), wsSendNormal);
}

// A datagram client sends through the same queue: one datagram per block.
// SendToAddress bypasses the queue and names its own destination.
TEST(SendQueue, DatagramsGoOutOneBlockEach) {
  TWSocket server(nullptr);
  std::vector<std::string> got;
  // No empty datagram is sent here: an empty read is a notification Winsock
  // repeated for data the loop had already taken.
  server.OnDataAvailable = [&](TObject*, uint16_t) {
    std::string text = server.ReceiveText();
    if (!text.empty()) got.push_back(text);
  };
  nettest::ListenUdp(server);
  Events log;
  TWSocket client(nullptr);
  log.Attach(client);
  streamtest::Target(client, nettest::BoundPort(server), "udp");
  client.Connect();
  std::string data = streampeer::Pattern(3000);
  EXPECT_EQ(client.Send(data.data(), 3000), 3000);
  ASSERT_TRUE(PumpUntil([&] { return got.size() == 3; }));
  EXPECT_EQ(got[0] + got[1] + got[2], data);
  EXPECT_EQ(got[2].size(), 80u);

  log.sendData.clear();
  TWSocket other(nullptr);
  std::string otherGot;
  other.OnDataAvailable = [&](TObject*, uint16_t) { otherGot += other.ReceiveText(); };
  nettest::ListenUdp(other);
  winsock::sockaddr_in to = {};
  to.sin_family = winsock::AF_INET;
  to.sin_port = winsock::htons(nettest::BoundPort(other));
  to.sin_addr.s_addr = winsock::htonl(winsock::INADDR_LOOPBACK);
  size_t queued = client.SendQueue.size();
  EXPECT_EQ(client.SendToAddress(to, sizeof(to), "direct", 6), 6);
  EXPECT_EQ(client.SendQueue.size(), queued);
  EXPECT_EQ(log.sendData, (std::vector<int32_t>{6}));
  ASSERT_TRUE(PumpUntil([&] { return otherGot == "direct"; }));
}

}  // namespace
