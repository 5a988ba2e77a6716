// Line mode against real peers on loopback: splitting, the limit, editing with
// echo, closing, and switching the mode while bytes are held.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "StreamTestUtil.h"

namespace {

using nettest::PumpUntil;

// A TWSocket in line mode connected to a plain peer; each offered line is
// recorded with the RcvdCount seen while it was offered.
struct LineSocket : streamtest::Connected {
  LineSocket() {
    sock.SetLineMode(true);
    sock.OnDataAvailable = [this](TObject*, uint16_t) { TakeLine(); };
  }
  void TakeLine() {
    counts.push_back(sock.RcvdCount());
    lines.push_back(sock.ReceiveText());
  }
  bool WaitLines(size_t n) {
    return PumpUntil([&] { return lines.size() >= n; });
  }
  bool WaitHeld(int32_t n) {
    return PumpUntil([&] { return sock.LineBufferCount == n; });
  }
  std::string Echo(size_t n) { return peer.Read(n, 3000); }

  std::vector<std::string> lines;
  std::vector<int32_t> counts;
};

using Lines = std::vector<std::string>;

TEST(LineSplitting, OneLinePerCallWithItsLengthAndTheRestHeld) {
  LineSocket c;
  c.peer.Write("abc\r\nde");
  ASSERT_TRUE(c.WaitLines(1));
  ASSERT_TRUE(c.WaitHeld(2));
  EXPECT_EQ(c.lines, Lines{"abc\r\n"});
  EXPECT_EQ(c.counts, std::vector<int32_t>{5});
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.sock.HeldBytes()), 3),
            std::string("de\0", 3));

  // Two lines in one read: both offered before the notification returns.
  c.peer.Write("f\r\ng\r\n");
  ASSERT_TRUE(nettest::DispatchOneReadEvent());
  EXPECT_EQ(c.lines, (Lines{"abc\r\n", "def\r\n", "g\r\n"}));
  EXPECT_EQ(c.sock.LineBufferCount, 0);
  EXPECT_TRUE(c.sock.LineArrived);
}

TEST(LineSplitting, TerminatorsOfAnyLengthSplitAcrossReads) {
  LineSocket c;
  c.peer.Write("ab\r");
  ASSERT_TRUE(c.WaitHeld(3));
  c.peer.Write("\nc");
  ASSERT_TRUE(c.WaitLines(1));
  EXPECT_EQ(c.lines[0], "ab\r\n");

  // Five bytes with a zero byte inside, compared like any other: the decoy
  // that only shares the part up to the zero byte is no terminator.
  c.sock.SetLineEnd(std::string("<E\0D>", 5));
  c.peer.Write(std::string("x<E\0X><E", 8));
  ASSERT_TRUE(c.WaitHeld(9));
  c.peer.Write(std::string("\0D", 2));
  ASSERT_TRUE(c.WaitHeld(11));
  c.peer.Write(">");
  ASSERT_TRUE(c.WaitLines(2));
  EXPECT_EQ(c.lines[1], std::string("cx<E\0X><E\0D>", 12));
  EXPECT_EQ(c.counts[1], 12);
}

TEST(LineSplitting, SmallReadsTakeTheLineInPiecesAndLeaveTheRestIntact) {
  LineSocket c;
  std::vector<std::string> pieces;
  c.sock.OnDataAvailable = [&](TObject*, uint16_t) {
    char buf[2];
    int32_t n = c.sock.Receive(buf, 2);
    pieces.emplace_back(buf, static_cast<size_t>(n));
  };
  c.peer.Write("hello\r\nnext");
  ASSERT_TRUE(PumpUntil([&] { return c.sock.LineBufferCount == 4 && pieces.size() == 4; }));
  EXPECT_EQ(pieces, (Lines{"he", "ll", "o\r", "\n"}));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(c.sock.HeldBytes()), 4), "next");
}

TEST(LineSplitting, ManyLinesOfEveryLengthArriveWhole) {
  LineSocket c;
  std::string all;
  Lines sent;
  for (size_t i = 0; all.size() < (1u << 20); ++i) {
    sent.push_back(streampeer::Pattern(i % 3000, static_cast<unsigned>(i)) + "\r\n");
    // A pattern may contain CR LF itself; split what was sent the same way.
    all += sent.back();
  }
  Lines expected;
  for (size_t from = 0, at; (at = all.find("\r\n", from)) != std::string::npos; from = at + 2)
    expected.push_back(all.substr(from, at + 2 - from));
  c.peer.Write(all);
  ASSERT_TRUE(PumpUntil([&] { return c.lines.size() >= expected.size(); }, 20000));
  EXPECT_TRUE(c.lines == expected);
}

TEST(LineSplitting, EmptyTerminatorDeliversUnsplit) {
  LineSocket c;
  c.sock.SetLineEnd("");
  c.peer.Write("no\r\nsplit");
  std::string got;
  ASSERT_TRUE(PumpUntil([&] {
    got.clear();
    for (auto& l : c.lines) got += l;
    return got.size() == 9;
  }));
  EXPECT_EQ(got, "no\r\nsplit");
  for (int32_t n : c.counts) EXPECT_EQ(n, 0);
}

// A handler that only looks is offered each line once: the socket does not
// offer it for ever.
TEST(LineSplitting, AHandlerThatTakesNothingSeesEachLineOnce) {
  LineSocket c;
  c.sock.OnDataAvailable = [&](TObject*, uint16_t) { c.counts.push_back(c.sock.RcvdCount()); };
  c.peer.Write("ab\r\ncde\r\nf");
  ASSERT_TRUE(PumpUntil([&] { return c.counts.size() == 2 && c.sock.LineBufferCount == 1; }));
  nettest::Settle();
  EXPECT_EQ(c.counts, (std::vector<int32_t>{4, 5}));
}

TEST(LineLimit, ClearDataEmptiesOrKeepsTheUnterminatedBytes) {
  LineSocket c;
  c.sock.SetLineLimit(10);
  std::vector<int32_t> exceeded;
  bool keep = true;
  c.sock.OnLineLimitExceeded = [&](TObject*, int32_t n, bool& clear) {
    EXPECT_TRUE(clear);
    exceeded.push_back(n);
    clear = !keep;
  };
  c.peer.Write("01234567890");
  ASSERT_TRUE(PumpUntil([&] { return exceeded.size() == 1; }));
  EXPECT_EQ(exceeded[0], 11);
  EXPECT_EQ(c.sock.LineBufferCount, 11);  // kept: asked again on the next read
  keep = false;
  c.peer.Write("ab");
  ASSERT_TRUE(PumpUntil([&] { return exceeded.size() == 2; }));
  EXPECT_EQ(exceeded[1], 13);
  EXPECT_EQ(c.sock.LineBufferCount, 0);
  EXPECT_FALSE(c.sock.LimitClearData);
  c.peer.Write("ok\r\n");
  ASSERT_TRUE(c.WaitLines(1));
  EXPECT_EQ(c.lines[0], "ok\r\n");

  // No limit: nothing is ever dropped.
  c.sock.SetLineLimit(0);
  std::string big(200000, 'z');
  c.peer.Write(big);
  ASSERT_TRUE(c.WaitHeld(200000));
  c.peer.Write("\r\n");
  ASSERT_TRUE(c.WaitLines(2));
  EXPECT_EQ(c.lines[1].size(), big.size() + 2);
  EXPECT_EQ(exceeded.size(), 2u);
}

TEST(LineEditing, BackspaceAndTabWithTheirExactEcho) {
  LineSocket c;
  c.sock.SetLineEdit(true);
  c.sock.SetLineEcho(true);
  c.peer.Write("ab\bc\r\n");
  ASSERT_TRUE(c.WaitLines(1));
  EXPECT_EQ(c.lines[0], "ac\r\n");
  EXPECT_EQ(c.Echo(8), "ab\b \bc\r\n");

  // A backspace with nothing held, or right after a complete line, erases nothing.
  c.peer.Write("\bz\r\n\b\by\r\n");
  ASSERT_TRUE(c.WaitLines(3));
  EXPECT_EQ(c.lines[1], "z\r\n");
  EXPECT_EQ(c.lines[2], "y\r\n");
  EXPECT_EQ(c.Echo(6), "z\r\ny\r\n");

  // Tabs fill to the next stop of 8 columns.
  c.peer.Write("\tx\r\nabc\ty\r\n");
  ASSERT_TRUE(c.WaitLines(5));
  EXPECT_EQ(c.lines[3], "        x\r\n");
  EXPECT_EQ(c.lines[4], "abc     y\r\n");
  EXPECT_EQ(c.Echo(22), "        x\r\nabc     y\r\n");

  // Bytes held from an earlier read can be erased.
  c.peer.Write("pq");
  ASSERT_TRUE(c.WaitHeld(2));
  EXPECT_EQ(c.Echo(2), "pq");
  c.peer.Write("\b\br\r\n");
  ASSERT_TRUE(c.WaitLines(6));
  EXPECT_EQ(c.lines[5], "r\r\n");
  EXPECT_EQ(c.Echo(9), "\b \b\b \br\r\n");
}

TEST(LineEditing, EchoWithoutEditingSendsTheBytesAsTheyCame) {
  LineSocket c;
  c.sock.SetLineEcho(true);
  c.peer.Write("a\bb\tc\r\n");
  ASSERT_TRUE(c.WaitLines(1));
  EXPECT_EQ(c.lines[0], "a\bb\tc\r\n");
  EXPECT_EQ(c.Echo(7), "a\bb\tc\r\n");
}

TEST(LineClosing, UnterminatedRestIsTheLastLineBeforeSessionClosed) {
  LineSocket c;
  std::vector<std::string> order;
  c.sock.OnDataAvailable = [&](TObject*, uint16_t) { order.push_back(c.sock.ReceiveText()); };
  c.sock.OnSessionClosed = [&](TObject*, uint16_t) { order.push_back("closed"); };
  c.peer.Write("line\r\nseven!!");
  c.peer.Close();
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; }));
  EXPECT_EQ(order, (Lines{"line\r\n", "seven!!", "closed"}));
  EXPECT_EQ(c.sock.LineBuffer, nullptr);
}

TEST(LineClosing, CloseInsideADeliveryOffersTheRestThenEndsCleanly) {
  LineSocket c;
  std::vector<std::string> order;
  c.sock.OnDataAvailable = [&](TObject*, uint16_t) {
    order.push_back(c.sock.ReceiveText());
    if (order.back() == "bye\r\n") c.sock.Close();
  };
  c.sock.OnSessionClosed = [&](TObject*, uint16_t) { order.push_back("closed"); };
  c.peer.Write("x\r\nbye\r\nafter\r\nrest");
  ASSERT_TRUE(PumpUntil([&] { return c.sock.State() == wsClosed; }));
  EXPECT_EQ(order, (Lines{"x\r\n", "bye\r\n", "after\r\n", "rest", "closed"}));
}

TEST(LineClosing, ALineWhoseHandlerFailsIsDroppedAndTheNextOnesFollow) {
  LineSocket c;
  c.sock.OnDataAvailable = [&](TObject*, uint16_t) {
    if (c.sock.RcvdCount() == 6) throw std::runtime_error("boom");
    c.TakeLine();
  };
  c.peer.Write("a\r\nboom\r\nafter\r\n");
  ASSERT_TRUE(c.WaitLines(2));
  EXPECT_EQ(c.lines, (Lines{"a\r\n", "after\r\n"}));
  EXPECT_EQ(c.sock.State(), wsConnected);
}

TEST(LineSwitching, OffInsideAHandlerLeavesTheRestHeldAndServedFirst) {
  LineSocket c;
  std::string raw;
  bool takeNothing = true;
  c.sock.OnDataAvailable = [&](TObject*, uint16_t) {
    if (c.sock.LineMode()) {
      c.TakeLine();
      c.sock.SetLineMode(false);
      return;
    }
    // The first pass in the new mode reads nothing: the bytes stay held.
    if (takeNothing) {
      takeNothing = false;
      return;
    }
    char buf[3];
    int32_t n = c.sock.Receive(buf, sizeof(buf));
    if (n > 0) raw.append(buf, static_cast<size_t>(n));
  };
  c.peer.Write("cmd\r\nraw1\r\nraw2");
  ASSERT_TRUE(PumpUntil([&] { return !takeNothing; }));
  nettest::Settle();
  EXPECT_EQ(c.lines, Lines{"cmd\r\n"});
  EXPECT_EQ(c.sock.LineBufferCount, 10);
  c.peer.Write("SOCK");
  ASSERT_TRUE(PumpUntil([&] { return raw.size() == 14; }));
  EXPECT_EQ(raw, "raw1\r\nraw2SOCK");
}

TEST(LineSwitching, PartlyReadLineGoesOnInTheNewModeAndBackAgain) {
  LineSocket c;
  std::string raw;
  c.sock.OnDataAvailable = [&](TObject*, uint16_t) {
    if (c.sock.LineMode() && c.lines.empty()) {
      char buf[2];
      c.lines.emplace_back(buf, static_cast<size_t>(c.sock.Receive(buf, 2)));
      c.sock.SetLineMode(false);
    } else if (!c.sock.LineMode()) {
      // Back to lines without reading: the held lines are split from the message loop.
      c.sock.SetLineMode(true);
    } else {
      c.TakeLine();
    }
  };
  c.peer.Write("abcd\r\nsecond\r\nthird\r\n");
  ASSERT_TRUE(c.WaitLines(4));
  EXPECT_EQ(c.lines, (Lines{"ab", "cd\r\n", "second\r\n", "third\r\n"}));
  EXPECT_EQ(c.sock.LineBufferCount, 0);
}

}  // namespace
