// The proxies as child processes of the test.
#include "ProxyProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "StreamPeer.h"

namespace streampeer {

struct ProxyProcess::State {
  std::unique_ptr<Child> child;
  std::string dir;

  void Start(std::vector<std::string> argv, uint16_t port) {
    // Ended with this program even when it is killed before its destructors run.
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--pdeathsig", "TERM", "--"});
    // Its messages go to a file: its helper processes must not hold our output open.
    child.reset(new Child(argv, "/dev/null", "/dev/null", dir + "/proxy.log"));
    ASSERT_TRUE(WaitListening(port, 10000)) << argv[4] << " is not listening";
  }
};

ProxyProcess::ProxyProcess() : state_(new State) {
  char tmpl[] = "/tmp/vorlanx-proxy-XXXXXX";
  if (mkdtemp(tmpl)) state_->dir = tmpl;
}

ProxyProcess::~ProxyProcess() {
  if (state_->child) {
    state_->child->Kill(SIGTERM);  // danted takes its helper processes down with it
    state_->child->Wait(5000);
  }
  const std::string& dir = state_->dir;
  if (!dir.empty() && std::system(("rm -rf '" + dir + "'").c_str()) != 0)
    ADD_FAILURE() << "cannot remove " << dir;
}

void ProxyProcess::StartMicrosocks(const std::string& user, const std::string& password) {
  port_ = RefusingPort();
  std::vector<std::string> argv = {"/usr/bin/microsocks", "-i", "127.0.0.1", "-p",
                                   std::to_string(port_)};
  if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", password});
  state_->Start(argv, port_);
}

void ProxyProcess::StartDanted() {
  const std::string& dir = state_->dir;
  ASSERT_FALSE(dir.empty());
  port_ = RefusingPort();
  std::ofstream(dir + "/danted.conf")
      << "logoutput: " << dir << "/danted.log\n"
      << "internal: 127.0.0.1 port = " << port_ << "\n"
      << "external: 127.0.0.1\n"
      << "clientmethod: none\n"
      << "socksmethod: none\n"
      << "user.unprivileged: nobody\n"
      << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
      << "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n";
  state_->Start({"/usr/sbin/danted", "-N", "1", "-f", dir + "/danted.conf", "-p",
                 dir + "/danted.pid"},
                port_);
}

}  // namespace streampeer
