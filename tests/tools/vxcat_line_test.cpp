// vxcat --line: a line server that a terminal types into (socat on a pty in
// raw mode, the way telnet in character mode sends keys), with echo and
// editing; and the terminator and line limit with a plain peer.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "ScratchDirTest.h"
#include "StreamPeer.h"

namespace {

using streampeer::Child;
using Clock = std::chrono::steady_clock;

class VxcatLine : public ScratchDirTest {
 protected:
  VxcatLine() : ScratchDirTest("vxcat-line") {}
  // A listening vxcat with the given options; returns its port (0: none).
  uint16_t StartServer(std::vector<std::string> options) {
    options.insert(options.begin(), VXCAT_PATH);
    for (const char* a : {"-l", "-v", "127.0.0.1", "0"}) options.push_back(a);
    vx_.reset(new Child(options, "", Path("out"), Path("err")));
    if (!WaitFor("err", "listening on 127.0.0.1:")) return 0;
    std::string err = Read("err");
    return static_cast<uint16_t>(std::atoi(err.c_str() + err.find("127.0.0.1:") + 10));
  }

  std::string dir_;
  std::unique_ptr<Child> vx_;
};

// Reads from fd until n bytes came or timeoutMs passed.
std::string ReadFd(int fd, size_t n, int timeoutMs) {
  std::string got;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (got.size() < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[256];
    ssize_t k = ::read(fd, buf, std::min(sizeof buf, n - got.size()));
    if (k <= 0) break;
    got.append(buf, static_cast<size_t>(k));
  }
  return got;
}

TEST_F(VxcatLine, TerminalTypingWithBackspacesAndTabs) {
  uint16_t port = StartServer({"--line", "--echo", "--edit", "-k"});
  ASSERT_NE(port, 0) << Read("err");
  // socat owns a pty in raw mode and carries its bytes to vxcat and back.
  const std::string tty = Path("tty");
  Child socat({"/usr/bin/socat", "PTY,link=" + tty + ",raw,echo=0",
               "TCP4:127.0.0.1:" + std::to_string(port)});
  ASSERT_TRUE(WaitFor("err", "connection from 127.0.0.1:"));
  int fd = ::open(tty.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  auto type = [fd](const std::string& keys) {
    for (char c : keys) ASSERT_EQ(::write(fd, &c, 1), 1);  // one key at a time
  };
  type("ab\b\tc\r\n");
  EXPECT_EQ(ReadFd(fd, 15, 5000), "ab\b \b       c\r\n");
  ASSERT_TRUE(WaitFor("out", "a       c\r\n"));
  // A backspace at the start of a line erases nothing and is not echoed.
  type("\bxy\b\bz\r\n");
  EXPECT_EQ(ReadFd(fd, 11, 5000), "xy\b \b\b \bz\r\n");
  ASSERT_TRUE(WaitFor("out", "a       c\r\nz\r\n"));
  ::close(fd);
}

TEST_F(VxcatLine, OwnTerminatorLastLineAndDroppedLongLine) {
  uint16_t port = StartServer({"--line", "--line-end", "\\x00\\n"});
  ASSERT_NE(port, 0) << Read("err");
  streampeer::Conn peer = streampeer::ConnectTo(port);
  ASSERT_TRUE(WaitFor("err", "connection from"));
  peer.Write(std::string(70000, 'x'));
  ASSERT_TRUE(WaitFor("err", "bytes without a line end"));
  std::string err = Read("err");
  const size_t dropped = std::strtoul(err.c_str() + err.find("dropped ") + 8, nullptr, 10);
  EXPECT_GT(dropped, 65536u);
  peer.Write(std::string("one\0\ntwo", 8));
  peer.Close();
  EXPECT_EQ(vx_->Wait(5000), 0) << Read("err");
  EXPECT_EQ(Read("out"), std::string(70000 - dropped, 'x') + std::string("one\0\ntwo", 8));
}

TEST_F(VxcatLine, OptionsThatNeedLineMode) {
  vx_.reset(
      new Child({VXCAT_PATH, "--echo", "127.0.0.1", "1"}, "/dev/null", Path("out"), Path("err")));
  EXPECT_EQ(vx_->Wait(5000), 2);
  EXPECT_NE(Read("err").find("--line-end, --echo and --edit go with --line"), std::string::npos);
}

}  // namespace
