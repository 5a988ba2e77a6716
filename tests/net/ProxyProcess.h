// A SOCKS proxy from Debian (microsocks, danted) as a child process on a
// loopback port of its own, with its files in a private directory; stopped by
// its process id.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "StreamPeer.h"

namespace streampeer {

// A proxy process listening on a loopback port of its own.
class ProxyProcess {
 public:
  ProxyProcess() {
    char tmpl[] = "/tmp/vorlanx-proxy-XXXXXX";
    if (mkdtemp(tmpl)) dir_ = tmpl;
  }
  ~ProxyProcess() {
    if (child_) {
      child_->Kill(SIGTERM);  // danted takes its helper processes down with it
      child_->Wait(5000);
    }
    if (!dir_.empty() && std::system(("rm -rf '" + dir_ + "'").c_str()) != 0)
      ADD_FAILURE() << "cannot remove " << dir_;
  }
  uint16_t Port() const { return port_; }

  void StartMicrosocks(const std::string& user = "", const std::string& password = "") {
    port_ = RefusingPort();
    std::vector<std::string> argv = {"/usr/bin/microsocks", "-i", "127.0.0.1", "-p",
                                     std::to_string(port_)};
    if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", password});
    Start(argv);
  }

  void StartDanted() {
    ASSERT_FALSE(dir_.empty());
    port_ = RefusingPort();
    std::ofstream(dir_ + "/danted.conf")
        << "logoutput: " << dir_ << "/danted.log\n"
        << "internal: 127.0.0.1 port = " << port_ << "\n"
        << "external: 127.0.0.1\n"
        << "clientmethod: none\n"
        << "socksmethod: none\n"
        << "user.unprivileged: nobody\n"
        << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
        << "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n";
    Start({"/usr/sbin/danted", "-N", "1", "-f", dir_ + "/danted.conf", "-p", dir_ + "/danted.pid"});
  }

 private:
  void Start(std::vector<std::string> argv) {
    // Ended with this program even when it is killed before its destructors run.
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--pdeathsig", "TERM", "--"});
    // Its messages go to a file: its helper processes must not hold our output open.
    child_.reset(new Child(argv, "/dev/null", "/dev/null", dir_ + "/proxy.log"));
    ASSERT_TRUE(WaitListening(port_, 10000)) << argv[4] << " is not listening";
  }
  std::unique_ptr<Child> child_;
  uint16_t port_ = 0;
  std::string dir_;
};

}  // namespace streampeer
