// Shared by the SOCKS tests: an event log that also records the SOCKS events,
// and the settings that aim a socket at a proxy.
#pragma once

#include <string>

#include "StreamTestUtil.h"

namespace sockstest {

// Records every event as text; OnDataAvailable reads in small pieces, so bytes
// that came with a proxy's reply are taken in several parts.
struct Log : streamtest::Events {
  int32_t firstRcvdCount = -1;  // RcvdCount at the first data event

  void AttachSocks(TWSocket& s) {
    Attach(s, false);
    s.OnSocksConnected = [this](TObject*, uint16_t e) {
      items.push_back("socksconnected " + std::to_string(e));
    };
    s.OnSocksError = [this](TObject*, int32_t e, const std::string& m) {
      items.push_back("sockserror " + std::to_string(e) + " " + m);
    };
    s.OnSocksAuthState = [this](TObject*, TSocksAuthState a) {
      items.push_back("auth " + std::to_string(a));
    };
    s.OnDataAvailable = [this, &s](TObject*, uint16_t e) {
      items.push_back("data " + std::to_string(e));
      if (firstRcvdCount < 0) firstRcvdCount = s.RcvdCount();
      char piece[3];
      int32_t n;
      while ((n = s.Receive(piece, sizeof(piece))) > 0) received.append(piece, n);
    };
  }
};

// Proxy at 127.0.0.1:proxyPort, level and target as given.
inline void Aim(TWSocket& s, uint16_t proxyPort, const std::string& level,
                const std::string& addr = "target.test", const std::string& port = "4321") {
  s.SetSocksServer("127.0.0.1");
  s.SetSocksPort(std::to_string(proxyPort));
  s.SetSocksLevel(level);
  s.SetProto("tcp");
  s.SetAddr(addr);
  s.SetPort(port);
}

}  // namespace sockstest
