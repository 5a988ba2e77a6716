// The synchronous wait: what ends it, and that it sleeps rather than spins.
#include <gtest/gtest.h>
#include <time.h>

#include <chrono>

#include "StreamTestUtil.h"
#include "rtl/Application.h"

namespace {

double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

TEST(SyncWait, TimesOutAsleep) {
  streamtest::Connected c;
  c.sock.WaitTimeout = 2000;
  bool flag = false;
  const double cpu = ThreadCpuMs();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(c.sock.WaitForFlag(flag), 12001);
  const auto waited = std::chrono::steady_clock::now() - start;
  // A bound, not a timing: a spinning wait burns the whole two seconds (most
  // of them on a loaded machine). Windows counts thread CPU time in scheduler
  // ticks of 10 to 16 ms, so the bound is well above one tick.
  EXPECT_LT(ThreadCpuMs() - cpu, 200.0);
  EXPECT_GE(waited, std::chrono::milliseconds(1990));
}

TEST(SyncWait, ALineSetsTheFlagFromInsideTheWait) {
  streamtest::Connected c;
  c.sock.SetLineMode(true);
  std::string line;
  c.sock.OnDataAvailable = [&](TObject*, uint16_t) { line = c.sock.ReceiveText(); };
  c.sock.WaitTimeout = 10000;
  // Sent from the message loop once the wait runs.
  int32_t result = c.sock.RunAndWait([&] { c.peer.Write("pong\r\n"); }, c.sock.LineArrived);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(line, "pong\r\n");

  // A flag already true ends the wait at once; RunAndWait clears it first.
  EXPECT_EQ(c.sock.WaitForFlag(c.sock.LineArrived), 0);
  c.sock.WaitTimeout = 1;
  EXPECT_EQ(c.sock.RunAndWait(nullptr, c.sock.LineArrived), 12001);
  EXPECT_FALSE(c.sock.LineArrived);
}

TEST(SyncWait, TheConnectionsEndAlsoSetsLineArrived) {
  streamtest::Connected c;
  c.sock.WaitTimeout = 10000;
  c.peer.Close();
  EXPECT_EQ(c.sock.WaitForFlag(c.sock.LineArrived), 0);
  EXPECT_EQ(c.sock.State(), wsClosed);
}

TEST(SyncWait, ApplicationEndAndQuitMessageEndTheWait) {
  streamtest::Connected c;
  bool flag = false;
  // Without a timeout: only the end of the application stops it.
  win32::PostQuitMessage(0);
  EXPECT_EQ(c.sock.WaitForFlag(flag), 12001);
  EXPECT_TRUE(Application->Terminated());
  Application->SetTerminated(false);

  c.sock.SetMultiThreaded(true);
  win32::PostQuitMessage(0);
  EXPECT_EQ(c.sock.WaitForFlag(flag), 12001);
  EXPECT_TRUE(c.sock.QuitReceived);
}

TEST(SyncWait, AHandlerThatDestroysTheSocketEndsTheWait) {
  auto* c = new streamtest::Connected;
  c->sock.SetLineMode(true);
  c->sock.OnDataAvailable = [&](TObject*, uint16_t) {
    auto* victim = c;  // the handler goes with the socket: nothing of it is used after
    c = nullptr;
    delete victim;
  };
  c->peer.Write("x\r\n");
  bool flag = false;
  EXPECT_EQ(c->sock.WaitForFlag(flag), 12001);
  EXPECT_EQ(c, nullptr);
}

}  // namespace
