// The socket object's states, events, property rules, Listen and its failures,
// closing and destruction.
#include <gtest/gtest.h>

#include <vector>

#include "tests/support/Loopback.h"
#include "NetTestUtil.h"
#include "net/WSocket.h"

namespace {

using nettest::SocketErrorOf;

// Records the object's events as text, in order.
struct EventLog {
  std::vector<std::string> items;
  void Attach(TWSocket& s) {
    s.OnChangeState = [this](TObject*, TSocketState o, TSocketState n) {
      items.push_back("state " + std::to_string(o) + "->" + std::to_string(n));
    };
    s.OnSessionConnected = [this](TObject*, uint16_t e) {
      items.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [this](TObject*, uint16_t e) {
      items.push_back("closed " + std::to_string(e));
    };
  }
};

std::string St(TSocketState o, TSocketState n) {
  return "state " + std::to_string(o) + "->" + std::to_string(n);
}

class SocketLifecycle : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(LiveSocketCount(), 0); }
};

TEST_F(SocketLifecycle, DatagramListenAndCloseReportStatesInOrder) {
  EventLog log;  // outlives the socket, whose destruction still reports
  TWSocket s(nullptr);
  log.Attach(s);
  EXPECT_EQ(s.State(), wsClosed);
  s.Close();  // never opened: nothing happens
  EXPECT_TRUE(log.items.empty());

  nettest::ListenUdp(s);
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsClosed, wsBound), St(wsBound, wsListening),
                                                 St(wsListening, wsConnected), "connected 0"}));
  EXPECT_EQ(s.SocketType, winsock::SOCK_DGRAM);
  EXPECT_EQ(s.BoundAddrText(), "127.0.0.1");
  EXPECT_GT(nettest::BoundPort(s), 0);

  log.items.clear();
  s.Close();
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsConnected, wsClosed), "closed 0"}));
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);
  EXPECT_EQ(s.BoundPortText(), "error");
  EXPECT_EQ(s.BoundAddrText(), "error");
  // Per-opening fields are back at their defaults; the texts stay.
  EXPECT_EQ(s.Proto(), "tcp");
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  EXPECT_EQ(s.Port(), "0");
  EXPECT_FALSE(s.AddrAssigned);
  EXPECT_FALSE(s.PortAssigned);
  log.items.clear();
  s.Close();
  EXPECT_TRUE(log.items.empty());
}

TEST_F(SocketLifecycle, ListenAfterCloseNeedsPortAndAddressAgain) {
  TWSocket s(nullptr);
  nettest::ListenUdp(s);
  s.Close();
  EXPECT_EQ(SocketErrorOf([&] { s.Listen(); }),
            "Error 10022 in function listen: port not assigned\r\nInvalid argument");
  EXPECT_EQ(s.LastError(), 10022);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);

  s.SetPort("0");
  EXPECT_EQ(SocketErrorOf([&] { s.Listen(); }),
            "Error 10022 in function listen: address not assigned\r\nInvalid argument");
  s.SetAddr("");  // an empty text unassigns, too
  EXPECT_FALSE(s.AddrAssigned);
  s.SetAddr("127.0.0.1");
  s.SetProto("");
  EXPECT_EQ(SocketErrorOf([&] { s.Listen(); }),
            "Error 10022 in function listen: protocol not assigned\r\nInvalid argument");

  // With OnError the failure is reported there and the operation just stops.
  int errors = 0;
  s.OnError = [&](TObject* sender) {
    EXPECT_EQ(sender, &s);
    ++errors;
  };
  s.Listen();
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.LastError(), 10022);
  EXPECT_EQ(s.State(), wsClosed);
}

TEST_F(SocketLifecycle, ResolverFailuresInListenArePrefixed) {
  TWSocket s(nullptr);
  s.SetProto("udp");
  s.SetAddr("bad..host");
  s.SetPort("0");
  EXPECT_EQ(SocketErrorOf([&] { s.Listen(); }),
            "listen: WSocketResolveHost: Cannot convert host address 'bad..host', Error #11001");
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);

  s.SetAddr("127.0.0.1");
  s.SetPort("nosuchservice");
  EXPECT_EQ(SocketErrorOf([&] {
              s.Listen();
            }).rfind("listen: WSocketResolvePort: Cannot convert port 'nosuchservice', Error #", 0),
            0u);
  s.SetPort("0");
  s.SetProto("nosuchproto");
  EXPECT_EQ(
      SocketErrorOf([&] {
        s.Listen();
      }).rfind("listen: WSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #", 0),
      0u);
  s.SetProto("udp");
  s.Listen();
  EXPECT_EQ(s.State(), wsConnected);
}

TEST_F(SocketLifecycle, SettersRefuseChangesWhileOpen) {
  TWSocket s(nullptr);
  nettest::ListenUdp(s);
  s.SetProto("udp");  // the same text: no change, whatever the state
  s.SetAddr("127.0.0.1");
  s.SetPort("0");
  EXPECT_EQ(SocketErrorOf([&] { s.SetProto("tcp"); }), "Cannot change Proto if not closed");
  EXPECT_EQ(SocketErrorOf([&] { s.SetProto(" udp"); }), "Cannot change Proto if not closed");
  EXPECT_EQ(SocketErrorOf([&] { s.SetPort("1"); }), "Cannot change Port if not closed");
  EXPECT_EQ(SocketErrorOf([&] { s.SetAddr("0.0.0.0"); }), "Cannot change Addr if not closed");
  EXPECT_EQ(SocketErrorOf([&] { s.SetLocalPort("0"); }), "Cannot change LocalPort if not closed");
  EXPECT_EQ(SocketErrorOf([&] { s.SetLocalAddr("0.0.0.0"); }),
            "Cannot change LocalAddr if not closed");
  EXPECT_EQ(s.Proto(), "udp");
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  EXPECT_EQ(s.State(), wsConnected);

  s.Close();
  s.SetProto("  udp\t");  // stored trimmed
  EXPECT_EQ(s.Proto(), "udp");
  s.SetLocalAddr("");
  EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
  s.SetLocalPort(" 5 ");  // stored as given
  EXPECT_EQ(s.LocalPort(), " 5 ");
}

TEST_F(SocketLifecycle, ProtocolChoosesTheSocketType) {
  TWSocket s(nullptr);
  for (const char* proto : {"udp", "17"}) {
    nettest::ListenUdp(s);
    s.Close();
    s.SetProto(proto);
    s.SetAddr("127.0.0.1");
    s.SetPort("0");
    s.Listen();
    EXPECT_EQ(s.SocketType, winsock::SOCK_DGRAM) << proto;
    EXPECT_EQ(s.State(), wsConnected) << proto;
    s.Close();
  }
  for (const char* proto : {"tcp", "6"}) {
    EventLog log;
    log.Attach(s);
    s.SetProto(proto);
    s.SetAddr("127.0.0.1");
    s.SetPort("0");
    s.Listen();
    EXPECT_EQ(s.SocketType, winsock::SOCK_STREAM) << proto;
    EXPECT_EQ(s.State(), wsListening) << proto;
    EXPECT_EQ(log.items,
              (std::vector<std::string>{St(wsClosed, wsBound), St(wsBound, wsListening)}));
    s.Close();
  }
}

TEST_F(SocketLifecycle, PortInUseFailsInBindAndLeavesNothingOpen) {
  loopback::UdpHolder holder;
  EventLog log;  // outlives the socket, whose destruction still reports
  TWSocket s(nullptr);
  log.Attach(s);
  s.SetProto("udp");
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(holder.Port()));
  EXPECT_EQ(SocketErrorOf([&] { s.Listen(); }),
            "Error 10048 in function Bind\r\nAddress already in use");
  EXPECT_EQ(s.LastError(), 10048);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);
  EXPECT_TRUE(log.items.empty());

  s.Close();
  nettest::ListenUdp(s);
  EXPECT_EQ(s.State(), wsConnected);
}

TEST_F(SocketLifecycle, AFailedMulticastJoinLeavesTheHandleForClose) {
  EventLog log;
  TWSocket s(nullptr);
  log.Attach(s);
  s.SetMultiCast(true);
  for (const std::string& group : {std::string("not a group"), std::string(257, '1')}) {
    s.SetMultiCastAddrStr(group);
    log.items.clear();
    EXPECT_EQ(SocketErrorOf([&] { nettest::ListenUdp(s); }),
              "Error 10022 in function setsockopt(IP MULTICAST)\r\nInvalid argument");
    EXPECT_EQ(s.State(), wsBound);
    EXPECT_NE(s.SocketHandle, winsock::INVALID_SOCKET);
    s.Close();
    EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);
    EXPECT_EQ(log.items,
              (std::vector<std::string>{St(wsClosed, wsBound), St(wsBound, wsClosed), "closed 0"}));
  }
}

TEST_F(SocketLifecycle, ListenOnAnOpenSocketIsRefused) {
  TWSocket s(nullptr);
  nettest::ListenUdp(s);
  winsock::SOCKET handle = s.SocketHandle;
  EXPECT_EQ(SocketErrorOf([&] { s.Listen(); }), "Listen: Socket already in use");
  EXPECT_EQ(s.SocketHandle, handle);
  EXPECT_EQ(s.State(), wsConnected);
}

TEST_F(SocketLifecycle, ReuseAddrLetsTwoDatagramSocketsShareAPort) {
  TWSocket a(nullptr), b(nullptr);
  a.SetReuseAddr(true);
  nettest::ListenUdp(a);
  b.SetReuseAddr(true);
  b.SetProto("udp");
  b.SetAddr("127.0.0.1");
  b.SetPort(a.BoundPortText());
  b.Listen();
  EXPECT_EQ(b.State(), wsConnected);
}

TEST_F(SocketLifecycle, DestroyingAnOpenObjectClosesWithoutSessionClosed) {
  EventLog log;
  auto* s = new TWSocket(nullptr);
  log.Attach(*s);
  nettest::ListenUdp(*s);
  log.items.clear();
  delete s;
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsConnected, wsClosed)}));

  // Owned sockets go with their owner.
  TComponent owner(nullptr);
  auto* owned = new TWSocket(&owner);
  nettest::ListenUdp(*owned);
  EXPECT_EQ(LiveSocketCount(), 1);
}

TEST_F(SocketLifecycle, ConnectionLossInAReportClosesTheSocket) {
  EventLog log;  // outlives the socket, whose destruction still reports
  TWSocket s(nullptr);
  nettest::ListenUdp(s);
  log.Attach(s);
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  WSocket_WSASetLastError(winsock::WSAENOTCONN);
  s.RaiseSocketError("Test");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.LastError(), 10057);
  EXPECT_EQ(s.SocketHandle, winsock::INVALID_SOCKET);
  // OnSessionClosed comes first, while the state still reads connected.
  EXPECT_EQ(log.items, (std::vector<std::string>{"closed 10057", St(wsConnected, wsClosed)}));

  // Already closed: the state change is reported again, the session end is not.
  log.items.clear();
  WSocket_WSASetLastError(winsock::WSAECONNRESET);
  s.OnError = nullptr;
  EXPECT_EQ(SocketErrorOf([&] { s.RaiseSocketError("recv"); }),
            "Error 10054 in function recv\r\nConnection reset by peer");
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsClosed, wsClosed)}));
}

TEST_F(SocketLifecycle, AbortAndCloseLaterClose) {
  EventLog log;  // outlives the socket, whose destruction still reports
  TWSocket s(nullptr);
  nettest::ListenUdp(s);
  log.Attach(s);
  s.Abort();
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsConnected, wsClosed), "closed 0"}));

  log.items.clear();
  nettest::ListenUdp(s);
  log.items.clear();
  s.CloseLater();
  EXPECT_EQ(s.State(), wsConnected);  // only posted
  EXPECT_TRUE(nettest::PumpUntil([&] { return s.State() == wsClosed; }));
  EXPECT_EQ(log.items, (std::vector<std::string>{St(wsConnected, wsClosed), "closed 0"}));
}

TEST_F(SocketLifecycle, FreeLaterDestroysFromTheLoop) {
  auto* s = new TWSocket(nullptr);
  nettest::ListenUdp(*s);
  s->FreeLater();
  EXPECT_EQ(LiveSocketCount(), 1);
  EXPECT_TRUE(nettest::PumpUntil([] { return LiveSocketCount() == 0; }));
}

TEST_F(SocketLifecycle, MultiThreadedPumpDispatchesAndNotesAQuit) {
  TWSocket s(nullptr);
  s.SetMultiThreaded(true);
  nettest::ListenUdp(s);
  s.CloseLater();
  win32::PostQuitMessage(0);
  s.PumpMessages();
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_TRUE(s.QuitReceived);
}

TEST_F(SocketLifecycle, InactiveLayersPassThrough) {
  TWSocket s(nullptr);
  EXPECT_EQ(s.LineEnd(), "\r\n");
  EXPECT_FALSE(s.LineMode());
  EXPECT_EQ(s.LineLimit(), 65536);
  EXPECT_EQ(s.SocksLevel(), "5");
  s.SetSocksLevel("4a");
  EXPECT_EQ(s.SocksLevel(), "4A");
  EXPECT_EQ(SocketErrorOf([&] { s.SetSocksLevel(" 4"); }),
            "Invalid socks level. Must be 4, 4A or 5.");
  s.SetSocksServer("  proxy  ");
  EXPECT_EQ(s.SocksServer(), "proxy");
  EXPECT_EQ(SocketErrorOf([&] { nettest::ListenUdp(s); }),
            "Listening is not supported thru socks server");
  EXPECT_EQ(s.State(), wsClosed);
  s.SetSocksServer(" ");
  nettest::ListenUdp(s);
  EXPECT_EQ(SocketErrorOf([&] { s.SetSocksServer("proxy"); }),
            "Can't change socks server if not closed");
  s.Close();
  EXPECT_EQ(s.SocksLevel(), "5");  // back to its default after a close
}

}  // namespace
