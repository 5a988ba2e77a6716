// vxcat as a UDP sender, as a shell runs it: it ends once its input has gone
// out, --datagram cuts a file into notes and --hex sends one datagram a line,
// skipping and reporting the lines that are not byte pairs.
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <vector>

#include "ScratchDirTest.h"
#include "StreamPeer.h"
#include "tests/support/Loopback.h"

namespace {

using streampeer::Child;

class VxcatUdp : public ScratchDirTest {
 protected:
  VxcatUdp() : ScratchDirTest("vxcat-udp") {}
  // Runs a command line under sh (dash) to its end; its exit status.
  int Shell(const std::string& Command) {
    Child sh({"/bin/sh", "-c", Command}, "/dev/null", Path("out"), Path("err"));
    return sh.Wait(20000);
  }
  std::string Vxcat() const { return std::string(VXCAT_PATH) + " -u"; }
  std::string To() const { return " 127.0.0.1 " + std::to_string(receiver_.Port()); }
  // The datagrams that came, each whole, until none came for a while.
  std::vector<std::string> Received(size_t Expected) {
    std::vector<std::string> got;
    char buf[65536];
    while (loopback::Wait(receiver_.Fd(), loopback::kReadable, got.size() < Expected ? 5000 : 50)) {
      long n = ::recv(receiver_.Fd(), buf, sizeof buf, 0);
      if (n < 0) break;
      got.emplace_back(buf, static_cast<size_t>(n));
    }
    return got;
  }
  loopback::UdpHolder receiver_;
};

TEST_F(VxcatUdp, ASenderEndsWhenItsInputHasGoneOut) {
  EXPECT_EQ(Shell("printf 'one datagram' | " + Vxcat() + To()), 0) << Read("err");
  EXPECT_EQ(Received(1), std::vector<std::string>{"one datagram"});
  // Asked to keep receiving, it does not end by itself.
  // vxcat itself is the child (exec), so that ending the child ends it.
  Write("x", "x");
  Child keep({"/bin/sh", "-c", "exec " + Vxcat() + " --eof=keep" + To() + " < " + Path("x")},
             "/dev/null", Path("out"), Path("err"));
  EXPECT_EQ(Received(1), std::vector<std::string>{"x"});
  EXPECT_EQ(keep.Wait(200), -1);
}

TEST_F(VxcatUdp, DatagramSizeSendsAFileOneNoteADatagram) {
  std::string notes;
  for (int i = 0; i < 150; ++i) notes += std::string{'\x90', static_cast<char>(i % 128), '\x64'};
  Write("notes.bin", notes + "\xF8\xFE");
  EXPECT_EQ(Shell(Vxcat() + " --datagram 3" + To() + " < " + Path("notes.bin")), 0) << Read("err");
  std::vector<std::string> got = Received(151);
  ASSERT_EQ(got.size(), 151u);
  for (size_t i = 0; i < 150; ++i) EXPECT_EQ(got[i], notes.substr(3 * i, 3)) << i;
  EXPECT_EQ(got[150], "\xF8\xFE");  // the last one shorter
}

// A file is read 64 KiB at a time, and 65536 * k is a multiple of 17 only for
// every 17th read: the piece of a datagram held between reads must not hold the
// reading back, or it stops at the read-ahead limit (1 MiB) for ever.
TEST_F(VxcatUdp, APieceHeldBetweenReadsDoesNotStopTheReading) {
  Write("big", streampeer::Pattern(2 * 1024 * 1024, 7));
  EXPECT_EQ(Shell(Vxcat() + " --datagram 17" + To() + " < " + Path("big")), 0) << Read("err");
}

TEST_F(VxcatUdp, HexLinesAreDatagramsAndBadLinesAreSkipped) {
  Write("in",
        "90 3c 64\n"
        "80 3C 00   # note off\r\n"
        "\n"
        "# a comment\n"
        "9g 00\n"
        "903c6\n"
        "f07e7f 06 01 f7\n"
        "c0 05");  // no line end
  EXPECT_EQ(Shell(Vxcat() + " --hex" + To() + " < " + Path("in")), 1);
  EXPECT_EQ(Read("err"),
            "vxcat: line 5: not hexadecimal byte pairs: 9g 00, skipped\n"
            "vxcat: line 6: not hexadecimal byte pairs: 903c6, skipped\n");
  EXPECT_EQ(Received(4), (std::vector<std::string>{"\x90\x3c\x64", std::string("\x80\x3c\x00", 3),
                                                   "\xf0\x7e\x7f\x06\x01\xf7", "\xc0\x05"}));
}

TEST_F(VxcatUdp, UsageErrors) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {" --datagram 0", "--datagram takes a size from 1 to 65507, not '0'"},
      {" --datagram 65508", "--datagram takes a size from 1 to 65507, not '65508'"},
      {" --datagram 3 --hex", "one of --datagram and --hex at a time"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Shell("printf x | " + Vxcat() + c.first + To()), 2) << c.first;
    EXPECT_EQ(Read("err"), "vxcat: " + c.second + "\nvxcat: try vxcat --help\n");
  }
  EXPECT_EQ(Shell("printf x | " + std::string(VXCAT_PATH) + " --hex" + To()), 2);
  EXPECT_EQ(Read("err"), "vxcat: --datagram and --hex go with -u only\nvxcat: try vxcat --help\n");
  EXPECT_TRUE(Received(0).empty());
}

}  // namespace
