// A SOCKS proxy from Debian (microsocks, danted) on a loopback port of its own.
// On Linux the test starts it as a child process, with its files in a private
// directory, and stops it by its process id; under Wine the proxies run on the
// Linux side, started beside the test program by its launcher, which names
// their ports in the environment.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace streampeer {

class ProxyProcess {
 public:
  ProxyProcess();
  ~ProxyProcess();
  ProxyProcess(const ProxyProcess&) = delete;
  ProxyProcess& operator=(const ProxyProcess&) = delete;
  uint16_t Port() const { return port_; }

  // SOCKS5; with a user, that user and password only. (Fails the test when
  // the proxy does not listen.)
  void StartMicrosocks(const std::string& user = "", const std::string& password = "");
  // SOCKS4, 4A and 5, CONNECT to loopback only.
  void StartDanted();

 private:
  struct State;
  std::unique_ptr<State> state_;
  uint16_t port_ = 0;
};

}  // namespace streampeer
