// vxcat servers whose standard input has ended at once (</dev/null, as under
// nohup, & or a service manager): each client is served fully, both ways,
// until it closes, with several clients at once.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "ScratchDirTest.h"
#include "StreamPeer.h"
#include "tests/support/Loopback.h"

namespace {

using streampeer::Child;
using streampeer::Conn;

class VxcatServer : public ScratchDirTest {
 protected:
  VxcatServer() : ScratchDirTest("vxcat-server") {}
  // Starts a listening vxcat with standard input /dev/null; returns its port.
  uint16_t Start(std::vector<std::string> options) {
    options.insert(options.begin(), VXCAT_PATH);
    for (const char* a : {"-v", "127.0.0.1", "0"}) options.push_back(a);
    vx_.reset(new Child(options, "/dev/null", Path("out"), Path("err")));
    if (!WaitFor("err", "listening on 127.0.0.1:")) return 0;
    std::string err = Read("err");
    return static_cast<uint16_t>(std::atoi(err.c_str() + err.find("127.0.0.1:") + 10));
  }
  // A client whose connection the server has taken.
  Conn Client(uint16_t port) {
    Conn c = streampeer::ConnectTo(port);
    EXPECT_TRUE(WaitFor("err", "connection from 127.0.0.1:" + std::to_string(c.LocalPort())));
    return c;
  }
  // Nothing from the server is waiting, not even its end: called after the
  // server has shown it handled the client's later bytes, so an end sent at
  // the connection's start would have arrived long before.
  static bool NotEnded(const Conn& c) {
    return loopback::Wait(c.Fd(), loopback::kReadable, 0) == 0;
  }

  std::unique_ptr<Child> vx_;
};

TEST_F(VxcatServer, LineServerEchoesAndEditsForEveryClient) {
  uint16_t port = Start({"-l", "-k", "--line", "--echo", "--edit"});
  ASSERT_NE(port, 0) << Read("err");
  std::vector<Conn> clients;
  for (int i = 0; i < 3; ++i) clients.push_back(Client(port));
  for (size_t i = 0; i < clients.size(); ++i) {
    const std::string c(1, static_cast<char>('x' + i));
    clients[i].Write("ab\b" + c + "\r\n");
    EXPECT_EQ(clients[i].Read(8, 5000), "ab\b \b" + c + "\r\n") << i;
    EXPECT_TRUE(WaitFor("out", "a" + c + "\r\n")) << Read("out");
  }
  // One leaves; the others and newcomers are served as before.
  clients[0].Close();
  ASSERT_TRUE(WaitFor("err", "connection closed"));
  clients.push_back(Client(port));
  for (size_t i = 1; i < clients.size(); ++i) {
    clients[i].Write("again\r\n");
    EXPECT_EQ(clients[i].Read(7, 5000), "again\r\n") << i;
  }
  EXPECT_EQ(Read("err").find("Error"), std::string::npos) << Read("err");
  EXPECT_EQ(vx_->Wait(100), -1);  // still serving
}

// Without -k too: one client, served until it closes, then vxcat ends.
TEST_F(VxcatServer, PlainServersKeepEveryConnectionOpen) {
  uint16_t port = Start({"-l", "-k"});
  ASSERT_NE(port, 0) << Read("err");
  Conn a = Client(port), b = Client(port);
  a.Write("from a\n");
  b.Write("from b\n");
  ASSERT_TRUE(WaitFor("out", "from a\n"));
  ASSERT_TRUE(WaitFor("out", "from b\n"));
  EXPECT_TRUE(NotEnded(a));
  EXPECT_TRUE(NotEnded(b));
  EXPECT_EQ(vx_->Wait(100), -1);

  vx_.reset();
  port = Start({"-l"});
  ASSERT_NE(port, 0) << Read("err");
  Conn c = Client(port);
  c.Write("only one\n");
  ASSERT_TRUE(WaitFor("out", "only one\n"));
  EXPECT_TRUE(NotEnded(c));
  c.Close();
  EXPECT_EQ(vx_->Wait(5000), 0) << Read("err");
}

// Asked for, the end of input still reaches each client, also one that
// connects after it.
TEST_F(VxcatServer, EofHalfIsKeptWhenAskedFor) {
  uint16_t port = Start({"-l", "-k", "--eof=half"});
  ASSERT_NE(port, 0) << Read("err");
  for (int i = 0; i < 2; ++i) {
    Conn c = Client(port);
    bool eof = false;
    EXPECT_EQ(c.ReadToEnd(5000, &eof), "");
    EXPECT_TRUE(eof) << i;
  }
}

}  // namespace
