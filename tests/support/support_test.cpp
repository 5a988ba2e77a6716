// The launcher and the loopback sockets that every test and benchmark builds on.
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/Loopback.h"
#include "tests/support/Process.h"

namespace {

using support::TLaunch;
using support::TProcess;

std::string ReadAll(int fd) {
  std::string out;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
  return out;
}

// Pipes both ways, the environment changed over ours, the working directory,
// standard error joined to standard output.
TEST(Process, StreamsEnvironmentAndDirectory) {
  ::setenv("VX_SUPPORT_DROPPED", "still here", 1);
  TLaunch launch;
  launch.Argv = {"sh", "-c",
                 "read line; echo \"got $line\"; echo \"$VX_SET ${VX_SUPPORT_DROPPED-gone}\"; "
                 "pwd; echo oops >&2"};
  launch.Env = {"VX_SET=set", "VX_SUPPORT_DROPPED"};
  launch.Dir = "/tmp";
  launch.Stdin = launch.Stdout = TLaunch::kPipe;
  launch.Stderr = TLaunch::kToStdout;
  TProcess p;
  ASSERT_TRUE(p.Start(launch));
  EXPECT_TRUE(p.WriteIn("hello\n"));
  p.CloseIn();
  EXPECT_EQ(ReadAll(p.Out()), "got hello\nset gone\n/tmp\noops\n");
  EXPECT_EQ(p.Wait(5000), 0);
  EXPECT_EQ(p.Pid(), -1);
  EXPECT_FALSE(p.Running());
}

// A program exec cannot run ends with 127; a file that cannot be opened as
// a stream fails the start itself.
TEST(Process, FailuresToStart) {
  TProcess p;
  TLaunch missing;
  missing.Argv = {"/nonexistent/vx-program"};
  ASSERT_TRUE(p.Start(missing));
  EXPECT_EQ(p.Wait(5000), 127);
  TLaunch badStdin;
  badStdin.Argv = {"true"};
  badStdin.Stdin = "/nonexistent/input";
  std::string error;
  EXPECT_FALSE(p.Start(badStdin, &error));
  EXPECT_NE(error.find("/nonexistent/input"), std::string::npos) << error;
}

// A wait that times out leaves the child running; Stop asks, then kills one
// that does not listen.
TEST(Process, TimeoutsAndStopping) {
  TLaunch launch;
  launch.Argv = {"sh", "-c", "trap '' TERM; echo ready; while :; do sleep 1; done"};
  launch.Stdout = TLaunch::kPipe;
  TProcess p;
  ASSERT_TRUE(p.Start(launch));
  char c;
  ASSERT_EQ(::read(p.Out(), &c, 1), 1);  // the trap is set
  EXPECT_EQ(p.Wait(100), -1);
  EXPECT_TRUE(p.Running());
  int status = p.Stop(300);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;

  launch.Argv = {"sleep", "30"};
  launch.Stdout = "/dev/null";
  ASSERT_TRUE(p.Start(launch));
  EXPECT_EQ(WTERMSIG(p.Stop()), SIGTERM);
  EXPECT_EQ(p.Stop(), -1);  // nothing left to stop
}

TEST(Loopback, DatagramsAndConnections) {
  loopback::UdpHolder receiver;
  ASSERT_NE(receiver.Port(), 0);
  loopback::SendUdp(receiver.Port(), "one");
  char buf[16];
  EXPECT_EQ(::recv(receiver.Fd(), buf, sizeof buf, 0), 3);

  uint16_t port = 0;
  int listener = loopback::ListenTcp(4, &port);
  ASSERT_GE(listener, 0);
  int client = loopback::ConnectTcp(port);
  ASSERT_GE(client, 0);
  EXPECT_EQ(loopback::PeerPort(client), port);
  int server = ::accept(listener, nullptr, nullptr);
  EXPECT_EQ(loopback::PeerPort(server), loopback::LocalPort(client));
  for (int fd : {server, client, listener}) ::close(fd);
  EXPECT_LT(loopback::ConnectTcp(port), 0);  // nothing listens there now
}

// Tests side by side take ports for their programs in turn from the stage's
// counter, below the kernel's ephemeral ports, skipping one already bound.
TEST(Loopback, PortsForProgramsComeInTurnFromTheStagesCounter) {
  char dir[] = "/tmp/vorlanx-ports-XXXXXX";
  ASSERT_NE(::mkdtemp(dir), nullptr);
  const std::string counter = std::string(dir) + "/ports";
  // Far along the range, where the stage's own tests never get.
  { std::ofstream(counter) << "15000\n"; }
  const uint16_t first = loopback::kFirstReservedPort + 15000;
  const char* before = std::getenv(loopback::kReservedPortsVariable);
  const std::string saved = before ? before : "";
  ::setenv(loopback::kReservedPortsVariable, counter.c_str(), 1);
  uint16_t held = first;  // whatever holds a port of the range is skipped
  const int holder = loopback::BindUdp(&held);
  const uint16_t a = loopback::FreeUdpPort(), b = loopback::FreeTcpPort();
  if (before)
    ::setenv(loopback::kReservedPortsVariable, saved.c_str(), 1);
  else
    ::unsetenv(loopback::kReservedPortsVariable);
  ASSERT_GE(holder, 0);
  ::close(holder);
  EXPECT_EQ(a, first + 1);
  EXPECT_EQ(b, first + 2);
  std::string next;
  std::getline(std::ifstream(counter), next);
  EXPECT_EQ(next, "15003");
  ::unlink(counter.c_str());
  ::rmdir(dir);
}

}  // namespace
