// Under Wine the proxies run on the Linux side, started by the test program's
// launcher (run-private.sh --proxies), which names their ports in the
// environment; nothing is started or stopped here.
#include "ProxyProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace streampeer {

struct ProxyProcess::State {};

namespace {

uint16_t PortFrom(const char* name) {
  const char* text = std::getenv(name);
  EXPECT_NE(text, nullptr) << name << " is not set: run under run-private.sh --proxies";
  return text ? static_cast<uint16_t>(std::atoi(text)) : 0;
}

}  // namespace

ProxyProcess::ProxyProcess() : state_(new State) {}
ProxyProcess::~ProxyProcess() = default;

void ProxyProcess::StartMicrosocks(const std::string& user, const std::string& password) {
  if (user.empty()) {
    port_ = PortFrom("VORLANX_TEST_MICROSOCKS_PORT");
    return;
  }
  // The launcher's second microsocks takes this user only.
  ASSERT_EQ(user + "/" + password, "ann/secret");
  port_ = PortFrom("VORLANX_TEST_MICROSOCKS_AUTH_PORT");
}

void ProxyProcess::StartDanted() { port_ = PortFrom("VORLANX_TEST_DANTED_PORT"); }

}  // namespace streampeer
