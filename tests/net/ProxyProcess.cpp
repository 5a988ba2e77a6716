// The proxies as child processes of the test.
#include "ProxyProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "StreamPeer.h"
#include "tests/support/Loopback.h"

namespace streampeer {

struct ProxyProcess::State {
  std::unique_ptr<Child> child;
  std::string dir;

  // Starts the proxy and returns the port it listens on (0: none).
  uint16_t Start(std::vector<std::string> argv) {
    // Ended with this program even when it is killed before its destructors run.
    argv.insert(argv.begin(), {"/usr/bin/setpriv", "--pdeathsig", "TERM", "--"});
    // Its messages go to a file: its helper processes must not hold our output open.
    child.reset(new Child(argv, "/dev/null", "/dev/null", dir + "/proxy.log"));
    return ListeningPortOf(child->Pid());
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
  // Port 0: the system picks one, and it is found by the proxy's process id.
  std::vector<std::string> argv = {"/usr/bin/microsocks", "-i", "127.0.0.1", "-p", "0"};
  if (!user.empty()) argv.insert(argv.end(), {"-u", user, "-P", password});
  port_ = state_->Start(argv);
  ASSERT_NE(port_, 0) << "microsocks is not listening";
}

void ProxyProcess::StartDanted() {
  const std::string& dir = state_->dir;
  ASSERT_FALSE(dir.empty());
  // danted takes no port 0: a port free a moment ago, and the test fails if
  // danted is not the one listening there (make test runs in a network
  // namespace of its own, where nothing else can take it meanwhile).
  uint16_t port = 0;
  loopback::Close(loopback::BindTcp(&port));
  std::ofstream(dir + "/danted.conf")
      << "logoutput: " << dir << "/danted.log\n"
      << "internal: 127.0.0.1 port = " << port << "\n"
      << "external: 127.0.0.1\n"
      << "clientmethod: none\n"
      << "socksmethod: none\n"
      << "user.unprivileged: nobody\n"
      << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
      << "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 command: connect }\n";
  port_ = state_->Start(
      {"/usr/sbin/danted", "-N", "1", "-f", dir + "/danted.conf", "-p", dir + "/danted.pid"});
  ASSERT_EQ(port_, port) << "danted is not listening on port " << port;
}

}  // namespace streampeer
