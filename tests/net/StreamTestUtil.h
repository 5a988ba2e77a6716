// Shared by the sending and connection tests: an event recorder and a TWSocket
// connected to a plain loopback peer.
#pragma once

#include <string>
#include <vector>

#include "NetTestUtil.h"
#include "StreamPeer.h"
#include "net/WSocket.h"

namespace streamtest {

// Records the object's events as text, in order.
struct Events {
  std::vector<std::string> items;
  std::vector<int32_t> sendData;  // OnSendData arguments
  int dataSent = 0;               // OnDataSent calls with error 0
  std::string received;           // what OnDataAvailable read

  void Attach(TWSocket& s, bool receive = true) {
    s.OnChangeState = [this](TObject*, TSocketState o, TSocketState n) {
      items.push_back(State(o, n));
    };
    s.OnSessionConnected = [this](TObject*, uint16_t e) {
      items.push_back("connected " + std::to_string(e));
    };
    s.OnSessionClosed = [this](TObject*, uint16_t e) {
      items.push_back("closed " + std::to_string(e));
    };
    s.OnSendData = [this](TObject*, int32_t n) { sendData.push_back(n); };
    s.OnDataSent = [this](TObject*, uint16_t e) {
      if (e == 0)
        ++dataSent;
      else
        items.push_back("datasent " + std::to_string(e));
    };
    if (receive)
      s.OnDataAvailable = [this, &s](TObject*, uint16_t) { received += s.ReceiveText(); };
  }
  int Count(const std::string& item) const {
    int n = 0;
    for (const auto& i : items) n += i == item;
    return n;
  }
  static std::string State(TSocketState o, TSocketState n) {
    return "state " + std::to_string(o) + "->" + std::to_string(n);
  }
};

// Points s at 127.0.0.1:port over TCP.
inline void Target(TWSocket& s, uint16_t port, const std::string& proto = "tcp") {
  s.SetProto(proto);
  s.SetAddr("127.0.0.1");
  s.SetPort(std::to_string(port));
}

// A TWSocket connected to a plain peer; the first FD_WRITE has been handled.
struct Connected {
  // smallBuffers > 0: the socket's send buffer and the peer's receive buffer.
  explicit Connected(int smallBuffers = 0) : listener(16, smallBuffers) {
    events.Attach(sock);
    Target(sock, listener.Port());
    sock.Connect();
    if (smallBuffers > 0) {
      // Small buffers on both ends: the kernel soon takes no more.
      int32_t size = smallBuffers;
      winsock::setsockopt(sock.SocketHandle, winsock::SOL_SOCKET, winsock::SO_SNDBUF,
                          reinterpret_cast<char*>(&size), sizeof(size));
    }
    peer = listener.Accept();
    nettest::PumpUntil([&] { return sock.State() == wsConnected && events.dataSent > 0; });
    events.items.clear();
    events.dataSent = 0;
  }
  Events events;  // first in, last out: the socket reports into it while it closes
  streampeer::Listener listener;
  TWSocket sock{nullptr};
  streampeer::Conn peer;
};

}  // namespace streamtest
