// Stream and datagram connections with real peers: Connect and its events,
// refusals and silent peers, the peer's close, the server path Accept/Dup, the
// peer names, the socket options a connect sets, and the exact failure texts.
#include <gtest/gtest.h>

#include "StreamTestUtil.h"
#include "tests/support/Wine.h"

namespace {

using nettest::PumpUntil;
using nettest::Settle;
using nettest::SocketErrorOf;
using streamtest::Events;
using streamtest::Target;

std::string St(TSocketState o, TSocketState n) { return Events::State(o, n); }

int32_t IntOption(TWSocket& s, int level, int name) {
  int32_t v = 0;
  int len = sizeof(v);
  winsock::getsockopt(s.SocketHandle, level, name, reinterpret_cast<char*>(&v), &len);
  return v;
}

winsock::linger LingerOf(TWSocket& s) {
  winsock::linger l = {};
  int len = sizeof(l);
  winsock::getsockopt(s.SocketHandle, winsock::SOL_SOCKET, winsock::SO_LINGER,
                      reinterpret_cast<char*>(&l), &len);
  return l;
}

TEST(StreamConnect, ConnectsReportsAndRefusesASecondConnect) {
  streampeer::Listener listener;
  Events log;
  TWSocket s(nullptr);
  log.Attach(s);
  Target(s, listener.Port());
  s.Connect();
  streampeer::Conn peer = listener.Accept();
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsConnected; }));
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsClosed, wsOpened), St(wsOpened, wsConnecting),
                                                 St(wsConnecting, wsConnected), "connected 0"}));
  EXPECT_EQ(s.PeerAddr(), "127.0.0.1");
  EXPECT_EQ(s.PeerPort(), std::to_string(listener.Port()));
  EXPECT_EQ(s.LocalPort(), "0");  // a stream connect binds only when asked
  EXPECT_EQ(s.BoundPortText(), std::to_string(peer.PeerPort()));
  // Options every stream connect sets, whatever ReuseAddr says; linger on, time 0.
  EXPECT_NE(IntOption(s, winsock::SOL_SOCKET, winsock::SO_REUSEADDR), 0);
  EXPECT_NE(IntOption(s, winsock::SOL_SOCKET, winsock::SO_KEEPALIVE), 0);
  EXPECT_EQ(LingerOf(s).l_onoff, 1);
  EXPECT_EQ(LingerOf(s).l_linger, 0);

  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: Socket already in use");
  EXPECT_EQ(s.State(), wsConnected);
  s.SendText("ping");
  EXPECT_EQ(peer.Read(4, 2000), "ping");
  peer.Write("pong");
  ASSERT_TRUE(PumpUntil([&] { return log.received == "pong"; }));
}

// A refusal is an event, not an exception, in this order.
TEST(StreamConnect, RefusedConnectionReportsInOrder) {
  Events log;
  TWSocket s(nullptr);
  log.Attach(s);
  streampeer::RefusingPort refusing;
  Target(s, refusing.Port());
  s.Connect();
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }));
  Settle();
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsClosed, wsOpened), St(wsOpened, wsConnecting),
                                                 St(wsConnecting, wsConnected), "connected 10061",
                                                 St(wsConnected, wsClosed), "closed 0"}));
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);
}

TEST(StreamConnect, PeerCloseDeliversDataThenClosesWhileConnected) {
  streampeer::Listener listener;
  Events log;
  TWSocket s(nullptr);
  log.Attach(s);
  TSocketState stateAtClose = wsInvalidState;
  s.OnSessionClosed = [&](TObject*, uint16_t e) {
    stateAtClose = s.State();
    log.items.push_back("closed " + std::to_string(e));
  };
  Target(s, listener.Port());
  s.Connect();
  streampeer::Conn peer = listener.Accept();
  peer.Write("bye");
  peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return s.State() == wsClosed; }));
  EXPECT_EQ(log.received, "bye");
  EXPECT_EQ(stateAtClose, wsConnected);
  ASSERT_GE(log.items.size(), 2u);
  EXPECT_EQ(log.items[log.items.size() - 2], "closed 0");
  EXPECT_EQ(log.items.back(), St(wsConnected, wsClosed));
}

// Connect to an address that does not answer: it stays connecting, without
// events, until closed.
TEST(StreamConnect, SilentPeerLeavesItConnecting) {
  streampeer::SilentListener silent;
  Events log;
  TWSocket s(nullptr);
  log.Attach(s);
  Target(s, silent.Port());
  s.Connect();
  Settle();
  EXPECT_EQ(s.State(), wsConnecting);
  EXPECT_EQ(log.items,
            (std::vector<std::string>{St(wsClosed, wsOpened), St(wsOpened, wsConnecting)}));
  EXPECT_EQ(s.PeerAddr(), "error");
  EXPECT_EQ(s.PeerPort(), "error");
  winsock::sockaddr_in name = {};
  EXPECT_EQ(s.GetPeerName(name, sizeof(name)), -1);
  s.Close();
  EXPECT_EQ(log.items.back(), "closed 0");
  EXPECT_EQ(s.State(), wsClosed);
}

TEST(StreamConnect, FailureTexts) {
  TWSocket s(nullptr);
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No Port Specified");
  s.SetPort("80");
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No IP Address Specified");
  s.SetAddr("127.0.0.1");
  s.SetProto(" ");
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No Protocol Specified");
  s.SetProto("tcp");
  s.SetAddr("bad..host");
  std::string text = SocketErrorOf([&] { s.Connect(); });
  EXPECT_EQ(text.rfind(
                "connect: WSocketResolveHost: Cannot convert host address 'bad..host', Error #", 0),
            0u)
      << text;
  s.SetAddr("127.0.0.1");
  s.SetPort("no-such-service");
  text = SocketErrorOf([&] { s.Connect(); });
  EXPECT_EQ(
      text.rfind("connect: WSocketResolvePort: Cannot convert port 'no-such-service', Error #", 0),
      0u)
      << text;
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);  // no handle before the names resolve
  EXPECT_EQ(s.State(), wsClosed);

  // After a close every text must be assigned again, although it still shows.
  streampeer::Listener listener;
  Target(s, listener.Port());
  s.Connect();
  s.Close();
  EXPECT_EQ(s.Port(), std::to_string(listener.Port()));
  EXPECT_EQ(SocketErrorOf([&] { s.Connect(); }), "Connect: No Port Specified");

  // A handler that closes the socket as it opens.
  s.OnChangeState = [&](TObject*, TSocketState, TSocketState n) {
    if (n == wsOpened) s.Close();
  };
  Target(s, listener.Port());
  EXPECT_EQ(
      SocketErrorOf([&] { s.Connect(); }),
      "Error 10022 in function Connect (Invalid operation in OnChangeState)\r\nInvalid argument");
  EXPECT_EQ(s.LastError(), 10022);
}

TEST(StreamConnect, LocalBindAndItsFailure) {
  streampeer::Listener listener;
  TWSocket s(nullptr);
  Target(s, listener.Port());
  s.SetLocalAddr("127.0.0.1");
  s.SetLingerOnOff(wsLingerNoSet);
  s.Connect();
  EXPECT_NE(s.LocalPort(), "0");      // the port the system chose
  EXPECT_EQ(LingerOf(s).l_onoff, 0);  // left untouched
  streampeer::Conn peer = listener.Accept();
  EXPECT_EQ(std::to_string(peer.PeerPort()), s.LocalPort());
  s.Close();

  // The local port is taken by a listener.
  Target(s, listener.Port());
  s.SetLocalAddr("127.0.0.1");
  s.SetLocalPort(std::to_string(listener.Port()));
  const std::string failure = SocketErrorOf([&] { s.Connect(); });
  // Winsock: WSAEADDRINUSE (Wine says WSAEACCES).
  EXPECT_EQ(failure, support::UnderWine() ? "winsock.bind failed, error #10013"
                                          : "winsock.bind failed, error #10048");
  EXPECT_EQ(s.State(), wsOpened);  // the handle stays until closed
  s.Close();
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);
}

// The server path: Listen, Accept in OnSessionAvailable, Dup into a fresh
// object, several connections at once.
TEST(StreamServer, AcceptAndDupServeSeveralClients) {
  TWSocket listener(nullptr);
  std::vector<TWSocket*> served;
  std::vector<Events*> logs;
  std::vector<std::string> acceptedFrom;
  listener.OnSessionAvailable = [&](TObject*, uint16_t e) {
    ASSERT_EQ(e, 0);
    winsock::SOCKET h = listener.Accept();
    ASSERT_NE(h, winsock::INVALID_SOCKET);
    EXPECT_EQ(h, listener.LastAcceptedHandle);
    acceptedFrom.push_back(std::to_string(winsock::ntohs(listener.SockAddr.sin_port)));
    auto* s = new TWSocket(nullptr);
    auto* log = new Events;
    log->Attach(*s);
    s->Dup(h);
    served.push_back(s);
    logs.push_back(log);
  };
  listener.SetProto("tcp");
  listener.SetAddr("127.0.0.1");
  listener.SetPort("0");
  listener.Listen();
  uint16_t port = nettest::BoundPort(listener);

  streampeer::Conn a = streampeer::ConnectTo(port);
  streampeer::Conn b = streampeer::ConnectTo(port);
  ASSERT_TRUE(PumpUntil([&] { return served.size() == 2; }));
  EXPECT_EQ(listener.State(), wsListening);
  EXPECT_EQ(acceptedFrom, (std::vector<std::string>{std::to_string(a.LocalPort()),
                                                    std::to_string(b.LocalPort())}));
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(served[i]->State(), wsConnected);
    EXPECT_EQ(logs[i]->items,
              (std::vector<std::string>{St(wsClosed, wsConnected)}));  // no OnSessionConnected
    EXPECT_EQ(served[i]->PeerAddr(), "127.0.0.1");
  }
  EXPECT_EQ(served[0]->PeerPort(), std::to_string(a.LocalPort()));
  EXPECT_EQ(served[1]->PeerPort(), std::to_string(b.LocalPort()));
  served[0]->SendText("to a");
  served[1]->SendText("to b");
  b.Write("from b");
  EXPECT_EQ(a.Read(4, 2000), "to a");
  EXPECT_EQ(b.Read(4, 2000), "to b");
  ASSERT_TRUE(PumpUntil([&] { return logs[1]->received == "from b"; }));
  EXPECT_EQ(logs[0]->received, "");

  a.Close();
  ASSERT_TRUE(PumpUntil([&] { return served[0]->State() == wsClosed; }));
  EXPECT_EQ(served[1]->State(), wsConnected);
  for (TWSocket* s : served) delete s;
  for (Events* l : logs) delete l;
}

TEST(StreamServer, AcceptAndDupRefuseBadInput) {
  Events log;
  TWSocket s(nullptr);
  log.Attach(s);
  EXPECT_EQ(SocketErrorOf([&] { s.Accept(); }),
            "Error 10022 in function not a listening socket\r\nInvalid argument");
  s.OnError = [](TObject*) {};
  EXPECT_EQ(s.Accept(), winsock::INVALID_SOCKET);
  s.OnError = nullptr;
  for (winsock::SOCKET bad : {winsock::SOCKET(0), winsock::INVALID_SOCKET}) {
    EXPECT_EQ(SocketErrorOf([&] { s.Dup(bad); }),
              "Error 10022 in function Dup\r\nInvalid argument");
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);
  }
  // A number that is no socket: refused, and not kept (nothing may close it later).
  std::string text = SocketErrorOf([&] { s.Dup(987654); });
  EXPECT_EQ(text,
            "Error 10038 in function setsockopt(SO_LINGER)\r\nSocket operation on non-socket");
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_TRUE(log.items.empty());
}

// Dup on an open object closes its old connection first, and bytes queued for
// it never reach the adopted one.
TEST(StreamServer, DupReplacesAnOpenConnection) {
  streamtest::Connected c(4096);
  std::string stale(1024 * 1024, 's');
  c.sock.Send(stale.data(), static_cast<int32_t>(stale.size()));
  ASSERT_FALSE(c.sock.SendQueueDrained);

  TWSocket acceptor(nullptr);
  acceptor.SetProto("tcp");
  acceptor.SetAddr("127.0.0.1");
  acceptor.SetPort("0");
  acceptor.Listen();
  winsock::SOCKET h = winsock::INVALID_SOCKET;
  acceptor.OnSessionAvailable = [&](TObject*, uint16_t) { h = acceptor.Accept(); };
  streampeer::Conn fresh = streampeer::ConnectTo(nettest::BoundPort(acceptor));
  ASSERT_TRUE(PumpUntil([&] { return h != winsock::INVALID_SOCKET; }));

  c.sock.SetLingerOnOff(wsLingerOff);  // a graceful close at the end
  c.sock.Dup(h);
  EXPECT_EQ(c.events.items,
            (std::vector<std::string>{St(wsConnected, wsClosed), St(wsClosed, wsConnected)}));
  EXPECT_TRUE(c.sock.SendQueue.empty());
  c.sock.SendText("fresh");
  c.sock.Close();
  EXPECT_EQ(fresh.ReadToEnd(3000), "fresh");
  EXPECT_EQ(c.peer.ReadToEnd(3000).find("fresh"), std::string::npos);
}

// Datagram clients: no connect call, connected at once, always bound.
TEST(DatagramConnect, BindsAtOnceAndSetsBroadcastOnlyForBroadcast) {
  TWSocket server(nullptr);
  nettest::ListenUdp(server);
  Events log;
  TWSocket s(nullptr);
  log.Attach(s);
  Target(s, nettest::BoundPort(server), "udp");
  s.Connect();
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsClosed, wsOpened), St(wsOpened, wsConnected),
                                                 "connected 0"}));
  EXPECT_NE(s.LocalPort(), "0");
  EXPECT_EQ(s.LocalPort(), s.BoundPortText());
  EXPECT_EQ(IntOption(s, winsock::SOL_SOCKET, winsock::SO_BROADCAST), 0);
  s.Close();

  // Only options are checked here: nothing is sent to the broadcast address.
  s.SetProto("udp");
  s.SetAddr("255.255.255.255");
  s.SetPort("9");
  s.Connect();
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_NE(IntOption(s, winsock::SOL_SOCKET, winsock::SO_BROADCAST), 0);
}

}  // namespace
