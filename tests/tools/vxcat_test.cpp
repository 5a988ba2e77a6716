// vxcat end to end: its messages and exit status, and transfers in both
// directions against socat and plain sockets on loopback.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "ScratchDirTest.h"
#include "StreamPeer.h"
#include "tests/support/Loopback.h"

namespace {

using streampeer::Child;
using Clock = std::chrono::steady_clock;

const std::string kVxcat = VXCAT_PATH;
const std::string kSocat = "/usr/bin/socat";

uint64_t Fnv(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
  return h;
}

class Vxcat : public ScratchDirTest {
 protected:
  Vxcat() : ScratchDirTest("vxcat-test") {}
  // Starts vxcat; stdin from the named file, or a pipe when name is empty.
  std::unique_ptr<Child> Start(std::vector<std::string> args, const std::string& stdinName = "") {
    args.insert(args.begin(), kVxcat);
    return std::unique_ptr<Child>(
        new Child(args, stdinName.empty() ? "" : Path(stdinName), Path("out"), Path("err")));
  }
  // The port a listening vxcat -v reports.
  uint16_t ListeningPort() const {
    if (!WaitFor("err", "listening on 127.0.0.1:")) return 0;
    std::string err = Read("err");
    return static_cast<uint16_t>(std::atoi(err.c_str() + err.find("127.0.0.1:") + 10));
  }

  // A socat address that sends the file `from`, then writes all it receives to
  // `to`. A peer that stopped sending first would end the connection: the
  // component takes the peer's end of sending (FD_CLOSE) as the end.
  std::string SendThenReceive(const std::string& from, const std::string& to) const {
    return "SYSTEM:cat " + Path(from) + "; cat > " + Path(to);
  }
};

TEST_F(Vxcat, HelpAndUsage) {
  Write("empty", "");
  auto help = Start({"--help"}, "empty");
  EXPECT_EQ(help->Wait(5000), 0);
  EXPECT_NE(Read("out").find("--eof=MODE"), std::string::npos);
  EXPECT_NE(Read("out").find("half"), std::string::npos);
  // Each error names what is wrong, and nothing is opened or sent.
  for (const auto& c : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"127.0.0.1"}, "connecting needs a host and a port"},
           {{"127.0.0.1", "80", "extra"},
            "unexpected argument 'extra': connecting takes a host and a port"},
           {{"-l", "0.0.0.0", "80", "x"},
            "unexpected argument 'x': -l takes an address and a port at most"},
           {{"127.0.0.1", "abc"},
            "port 'abc' is not a number from 0 to 65535 nor a tcp service name"},
           {{"-u", "127.0.0.1", " 53"},
            "port ' 53' is not a number from 0 to 65535 nor a udp service name"},
           {{"--listen=1", "80"}, "--listen takes no value"},
           {{"-ulz", "80"}, "unknown option -z"},
           {{"--nosuch", "h", "80"}, "unknown option --nosuch"},
           {{"h", "80", "--eof"}, "--eof needs MODE"},
           {{"--line", "--echo", "--eof=half", "h", "80"},
            "--eof=half cannot go with --echo: the echo needs sending"}}) {
    auto bad = Start(c.first, "empty");
    EXPECT_EQ(bad->Wait(5000), 2) << c.second;
    EXPECT_EQ(Read("err"), "vxcat: " + c.second + "\nvxcat: try vxcat --help\n");
  }
  // A service name the services database knows is a port (discard: 9).
  Write("x", "x");
  auto named = Start({"-u", "-v", "127.0.0.1", "discard"}, "x");
  EXPECT_EQ(named->Wait(5000), 0) << Read("err");
  // A number the socket would cut to 16 bits or to its leading digits is refused
  // before anything is opened.
  for (std::vector<std::string> args : {std::vector<std::string>{"127.0.0.1", "99999"},
                                        {"-u", "-l", "65536"},
                                        {"-p", "80x", "127.0.0.1", "80"},
                                        {"--proxy", "127.0.0.1:1080000", "127.0.0.1", "80"}}) {
    auto port = Start(args, "empty");
    EXPECT_EQ(port->Wait(5000), 2) << args.back();
    EXPECT_NE(Read("err").find("is not a number from 0 to 65535"), std::string::npos)
        << Read("err");
  }
}

// A refusal and a name that does not resolve: status 1 and the component's texts.
TEST_F(Vxcat, RefusedAndUnresolvable) {
  Write("empty", "");
  streampeer::RefusingPort refusing;
  auto refused = Start({"127.0.0.1", std::to_string(refusing.Port())}, "empty");
  EXPECT_EQ(refused->Wait(5000), 1);
  EXPECT_EQ(Read("err"), "vxcat: Error 10061 in function Connect\r\nConnection refused\n");
  EXPECT_EQ(Read("out"), "");

  auto unresolved = Start({"bad..host", "80"}, "empty");
  EXPECT_EQ(unresolved->Wait(5000), 1);
  EXPECT_EQ(
      Read("err").rfind(
          "vxcat: connect: WSocketResolveHost: Cannot convert host address 'bad..host', Error #",
          0),
      0u)
      << Read("err");
}

// Several megabytes each way, with vxcat connecting and socat listening.
TEST_F(Vxcat, ClientTransfersBothWays) {
  std::string toPeer = streampeer::Pattern(5 * 1024 * 1024 + 11, 21);
  std::string fromPeer = streampeer::Pattern(3 * 1024 * 1024 + 5, 22);
  Write("a", toPeer);
  Write("b", fromPeer);
  Child socat({kSocat, "-t", "30", "TCP4-LISTEN:0,bind=127.0.0.1",
               SendThenReceive("b", "socat-out")});
  const uint16_t port = streampeer::ListeningPortOf(socat.Pid());
  ASSERT_NE(port, 0) << "socat is not listening";
  auto vx = Start({"127.0.0.1", std::to_string(port)}, "a");
  EXPECT_EQ(vx->Wait(60000), 0) << Read("err");
  EXPECT_EQ(socat.Wait(30000), 0);
  std::string got = Read("out");
  EXPECT_EQ(got.size(), fromPeer.size());
  EXPECT_EQ(Fnv(got), Fnv(fromPeer));
  std::string sent = Read("socat-out");
  EXPECT_EQ(sent.size(), toPeer.size());
  EXPECT_EQ(Fnv(sent), Fnv(toPeer));
}

// The same with vxcat listening (Accept and Dup) and socat connecting.
TEST_F(Vxcat, ServerTransfersBothWays) {
  std::string toPeer = streampeer::Pattern(4 * 1024 * 1024 + 3, 31);
  std::string fromPeer = streampeer::Pattern(6 * 1024 * 1024 + 1, 32);
  Write("a", toPeer);
  Write("b", fromPeer);
  auto vx = Start({"-l", "-v", "127.0.0.1", "0"}, "a");
  uint16_t port = ListeningPort();
  ASSERT_NE(port, 0) << Read("err");
  Child socat({kSocat, "-t", "30", "TCP4:127.0.0.1:" + std::to_string(port),
               SendThenReceive("b", "socat-out")});
  EXPECT_EQ(socat.Wait(60000), 0);
  EXPECT_EQ(vx->Wait(30000), 0) << Read("err");
  EXPECT_EQ(Fnv(Read("out")), Fnv(fromPeer));
  EXPECT_EQ(Fnv(Read("socat-out")), Fnv(toPeer));
  EXPECT_NE(Read("err").find("connection from 127.0.0.1:"), std::string::npos);
}

// -k: several connections at once; stdin goes to each, each one's bytes come out.
// -k with 1,500 connections at once: descriptors far above 1024 (the limit
// raised here is inherited), every one accepted, served and answered.
TEST_F(Vxcat, KeepOpenServesFifteenHundredAtOnce) {
  const size_t kClients = 1500;
  rlimit limit;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  if (limit.rlim_max < 2 * kClients + 256) GTEST_SKIP() << "descriptor limit " << limit.rlim_max;
  limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 2 * kClients + 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);

  auto vx = Start({"-l", "-k", "-v", "127.0.0.1", "0"});
  uint16_t port = ListeningPort();
  ASSERT_NE(port, 0) << Read("err");
  std::vector<streampeer::Conn> clients;
  for (size_t i = 0; i < kClients; ++i) {
    clients.push_back(streampeer::ConnectTo(port));
    ASSERT_TRUE(clients.back().Valid()) << i;
  }
  auto accepted = [&] {
    std::string err = Read("err");
    size_t n = 0;
    for (size_t at = 0; (at = err.find("connection from", at)) != std::string::npos; ++at) ++n;
    return n;
  };
  auto deadline = Clock::now() + std::chrono::seconds(60);
  while (accepted() < kClients && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(accepted(), kClients) << Read("err").substr(0, 2000);

  clients.back().Write("from the newest\n");
  clients.front().Write("from the first\n");
  EXPECT_TRUE(WaitFor("out", "from the newest\n", 10000));
  EXPECT_TRUE(WaitFor("out", "from the first\n", 10000));
  vx->WriteStdin("to all\n");
  size_t answered = 0;
  for (streampeer::Conn& c : clients) answered += c.Read(7, 10000) == "to all\n";
  EXPECT_EQ(answered, kClients);
  EXPECT_EQ(vx->Wait(100), -1);  // still serving
}

TEST_F(Vxcat, KeepOpenServesSeveralAtOnce) {
  auto vx = Start({"-l", "-k", "-v", "127.0.0.1", "0"});
  uint16_t port = ListeningPort();
  ASSERT_NE(port, 0) << Read("err");
  streampeer::Conn a = streampeer::ConnectTo(port);
  streampeer::Conn b = streampeer::ConnectTo(port);
  ASSERT_TRUE(WaitFor("err", "connection from 127.0.0.1:" + std::to_string(b.LocalPort())));
  ASSERT_TRUE(WaitFor("err", "connection from 127.0.0.1:" + std::to_string(a.LocalPort())));
  vx->WriteStdin("hello\n");
  EXPECT_EQ(a.Read(6, 3000), "hello\n");
  EXPECT_EQ(b.Read(6, 3000), "hello\n");
  a.Write("from a\n");
  b.Write("from b\n");
  EXPECT_TRUE(WaitFor("out", "from a\n"));
  EXPECT_TRUE(WaitFor("out", "from b\n"));

  a.Close();  // one ends; the others and the listening go on
  ASSERT_TRUE(WaitFor("err", "connection closed"));
  streampeer::Conn c = streampeer::ConnectTo(port);
  ASSERT_TRUE(WaitFor("err", "connection from 127.0.0.1:" + std::to_string(c.LocalPort())));
  vx->WriteStdin("again\n");
  EXPECT_EQ(b.Read(6, 3000), "again\n");
  EXPECT_EQ(c.Read(6, 3000), "again\n");

  // The end of input ends no connection of a -k server: each is served until it closes.
  vx->CloseStdin();
  ASSERT_TRUE(WaitFor("err", "end of standard input"));
  b.Write("after the end\n");
  EXPECT_TRUE(WaitFor("out", "after the end\n"));
  EXPECT_EQ(b.Available(), 0u);
  EXPECT_EQ(loopback::Wait(b.Fd(), loopback::kReadable, 0), 0u);  // no end came
  EXPECT_EQ(vx->Wait(200), -1);
}

// A peer that resets the connection: status 1 and the text of the reset.
TEST_F(Vxcat, PeerResetEndsWithError) {
  streampeer::Listener listener;
  auto vx = Start({"127.0.0.1", std::to_string(listener.Port())});
  streampeer::Conn peer = listener.Accept();
  ASSERT_TRUE(peer.Valid());
  peer.Write("partial");
  ASSERT_TRUE(WaitFor("out", "partial"));
  peer.Reset();
  EXPECT_EQ(vx->Wait(5000), 1);
  EXPECT_EQ(Read("err"), "vxcat: Error 10054 in function Session\r\nConnection reset by peer\n");
}

// A peer that never reads: vxcat stops reading standard input instead of
// taking all of it into memory. When the peer then ends the connection, the
// input left unsent is reported.
TEST_F(Vxcat, PeerThatNeverReadsHoldsInputBack) {
  streampeer::Listener listener(16, 4096);
  auto vx = Start({"127.0.0.1", std::to_string(listener.Port())});
  streampeer::Conn peer = listener.Accept();
  ASSERT_TRUE(peer.Valid());
  fcntl(vx->StdinFd(), F_SETFL, O_NONBLOCK);
  std::string chunk(65536, 'z');
  size_t written = 0;
  auto deadline = Clock::now() + std::chrono::seconds(5);
  auto quietSince = Clock::now();
  while (Clock::now() < deadline && Clock::now() - quietSince < std::chrono::milliseconds(500)) {
    ssize_t n = ::write(vx->StdinFd(), chunk.data(), chunk.size());
    if (n > 0) {
      written += static_cast<size_t>(n);
      quietSince = Clock::now();
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  EXPECT_LT(written, 24u * 1024 * 1024);  // read-ahead, pipe and socket buffers
  EXPECT_EQ(vx->Wait(100), -1);           // still running, waiting for the peer

  // The peer stops sending: that ends the connection, and the input left is reported.
  peer.ShutdownWrite();
  EXPECT_EQ(vx->Wait(5000), 1);
  EXPECT_NE(Read("err").find("bytes of input unsent"), std::string::npos) << Read("err");
}

// Standard input that cannot be watched for readiness (a regular file,
// /dev/null) is read in steps: all of it goes out, then the end, and vxcat
// still prints what the peer sends afterwards. A directory fails the read: the
// error is reported and the connection is ended like any other end of input.
TEST_F(Vxcat, InputFromFilesAndDevices) {
  struct Case {
    std::string stdinPath, sent, err;
  };
  const std::string text = streampeer::Pattern(300 * 1024 + 7, 41);
  const Case cases[] = {{Write("in", text), text, "vxcat: end of standard input\n"},
                        {"/dev/null", "", "vxcat: end of standard input\n"},
                        {dir_, "", "vxcat: standard input: Is a directory\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stdinPath);
    streampeer::Listener listener;
    Child vx({kVxcat, "-v", "127.0.0.1", std::to_string(listener.Port())}, c.stdinPath, Path("out"),
             Path("err"));
    streampeer::Conn peer = listener.Accept();
    ASSERT_TRUE(peer.Valid());
    bool eof = false;
    std::string got = peer.ReadToEnd(10000, &eof);
    EXPECT_TRUE(eof);
    EXPECT_EQ(got.size(), c.sent.size());
    EXPECT_EQ(Fnv(got), Fnv(c.sent));
    peer.Write("after the end");
    peer.Close();
    EXPECT_EQ(vx.Wait(5000), 0) << Read("err");
    EXPECT_EQ(Read("out"), "after the end");
    EXPECT_NE(Read("err").find(c.err), std::string::npos) << Read("err");
  }
}

// A file is always ready, yet a peer that does not read still holds it back:
// vxcat's position in the file stays within the read-ahead and the buffers.
TEST_F(Vxcat, PeerThatNeverReadsHoldsFileInputBack) {
  streampeer::Listener listener(16, 4096);
  Write("big", std::string(48 * 1024 * 1024, 'f'));
  auto vx = Start({"127.0.0.1", std::to_string(listener.Port())}, "big");
  streampeer::Conn peer = listener.Accept();
  ASSERT_TRUE(peer.Valid());
  // The position settles once vxcat has stopped reading.
  const std::string fdinfo = "/proc/" + std::to_string(vx->Pid()) + "/fdinfo/0";
  auto position = [&] {
    std::ifstream f(fdinfo);
    std::string key;
    long long pos = -1;
    f >> key >> pos;
    return pos;
  };
  long long last = -1;
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    long long now = position();
    if (now == last) break;
    last = now;
  }
  EXPECT_GT(last, 0);
  EXPECT_LT(last, 24ll * 1024 * 1024);
  EXPECT_EQ(vx->Wait(100), -1);  // still running, waiting for the peer

  // Once the peer reads, the rest follows.
  bool eof = false;
  EXPECT_EQ(peer.ReadToEnd(30000, &eof).size(), 48u * 1024 * 1024);
  EXPECT_TRUE(eof);
  peer.Close();
  EXPECT_EQ(vx->Wait(5000), 0) << Read("err");
}

// A pipe: typed input goes out as it comes, and closing the pipe is the end
// of input (half close by default) while the peer's bytes still come through.
TEST_F(Vxcat, PipeInputAndItsEnd) {
  streampeer::Listener listener;
  auto vx = Start({"127.0.0.1", std::to_string(listener.Port())});
  streampeer::Conn peer = listener.Accept();
  ASSERT_TRUE(peer.Valid());
  vx->WriteStdin("first ");
  EXPECT_EQ(peer.Read(6, 5000), "first ");
  vx->WriteStdin("second");
  EXPECT_EQ(peer.Read(6, 5000), "second");
  vx->CloseStdin();
  bool eof = false;
  EXPECT_EQ(peer.ReadToEnd(5000, &eof), "");
  EXPECT_TRUE(eof);
  EXPECT_EQ(vx->Wait(100), -1);  // the peer may still answer
  peer.Write("answer");
  EXPECT_TRUE(WaitFor("out", "answer"));
  peer.Close();
  EXPECT_EQ(vx->Wait(5000), 0) << Read("err");
}

// UDP, both roles: a listening vxcat answers the last sender; a connecting one
// sends each read as datagrams and, with --eof=close, ends after the last.
TEST_F(Vxcat, DatagramsBothRoles) {
  auto server = Start({"-u", "-l", "-v", "127.0.0.1", "0"});
  uint16_t port = ListeningPort();
  ASSERT_NE(port, 0) << Read("err");
  int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_TRUE(loopback::SendUdp(fd, port, "ping", 4));
  EXPECT_TRUE(WaitFor("out", "ping"));
  server->WriteStdin("pong");
  pollfd p{fd, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 3000), 1);
  char buf[64];
  EXPECT_EQ(std::string(buf, static_cast<size_t>(::recv(fd, buf, sizeof(buf), 0))), "pong");

  // The plain socket listens; vxcat sends to it.
  Write("line", "hello over udp");
  auto client =
      Start({"-u", "--eof=close", "127.0.0.1", std::to_string(loopback::LocalPort(fd))}, "line");
  EXPECT_EQ(client->Wait(5000), 0) << Read("err");
  ASSERT_EQ(::poll(&p, 1, 3000), 1);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(::recv(fd, buf, sizeof(buf), 0))),
            "hello over udp");
  ::close(fd);
}

}  // namespace
