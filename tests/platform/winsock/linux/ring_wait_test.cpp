// The wait through io_uring: a datagram socket watched for reading only has
// its next datagram received by the thread's wait itself. Callers must see
// what they saw with epoll: one FD_READ, the same datagrams, sizes and senders
// in order; and a socket must be the kernel's alone between waits (a close
// frees its port at once) and back under epoll once the wait handle is given out.
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include "platform/win32/linux/QueueInternal.h"
#include "platform/win32/linux/ThreadQueue.h"
#include "platform/win32/linux/WaitRing.h"
#include "platform/winsock/linux/SocketTable.h"
#include "tests/platform/winsock/WinsockTestUtil.h"

namespace {

using namespace winsock;

constexpr win32::UINT kNotify = win32::WM_USER + 9;

class RingWait : public ptest::WinsockTest {
 protected:
  bool Quiet(const ptest::RecordingWindow& w, int ms = 100) {
    win32::MSG m;
    return !ptest::NextMessage(w.hwnd, kNotify, &m, ms);
  }
  static bool Ringing() { return win32::internal::RingDriving(win32::internal::CurrentQueue()); }
  // Each case on a thread of its own: a thread whose wait handle was handed
  // out (as other tests in this program do) has given the ring up for good.
  static void OnFreshThread(const std::function<void()>& body) { std::thread(body).join(); }
  static bool Rebind(uint16_t port) {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = ptest::Loopback(port);
    const bool ok = bind(s, ptest::AsAddr(a), sizeof a) == 0;
    closesocket(s);
    return ok;
  }
  // A datagram socket under FD_READ for w (and a peer to send to it, when
  // asked), and the thread's wait through the ring started (the first wait
  // that may block starts it).
  static void StartRinging(const ptest::RecordingWindow& w, SOCKET* s, SOCKET* peer = nullptr) {
    *s = ptest::BoundSocket(SOCK_DGRAM);
    if (peer) *peer = ptest::BoundSocket(SOCK_DGRAM);
    ASSERT_EQ(WSAAsyncSelect(*s, w.hwnd, kNotify, FD_READ), 0);
    EXPECT_FALSE(win32::WaitForQueue(20));
    ASSERT_TRUE(Ringing()) << "io_uring is refused here";
  }
  // Hands the socket layer a wait's outcome for s, as the wait does on return.
  static void TakeFromWait(SOCKET s, const win32::internal::RingDatagram* got, int count) {
    std::lock_guard<std::mutex> lock(internal::TableMutex());
    internal::SocketState& st = *internal::FindLocked(s);
    st.ringQueue.reset();
    internal::TakeRingDatagramsLocked(st, got, count, false);
  }
};

TEST_F(RingWait, DatagramsWaitedForArriveAsWithEpoll) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s, peer;
    ASSERT_NO_FATAL_FAILURE(StartRinging(w, &s, &peer));
    // Queued before the wait, more than its receives take: the rest is read
    // after them, in order.
    const std::vector<std::string> queued{"one", "second", "3rd", "", "fifth", "6"};
    static_assert(win32::internal::kRingBuffersPerSocket < 6, "more than one wait takes");
    for (const std::string& d : queued) ptest::SendTo(peer, ptest::PortOf(s), d);
    win32::MSG m;
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    EXPECT_EQ(ptest::EventOf(m), static_cast<unsigned>(FD_READ));
    char buf[16];
    winsock::u_long pending = 0;
    for (const std::string& expected : queued) {
      ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
      EXPECT_EQ(pending, expected.size());
      sockaddr_in from{};
      int fromlen = sizeof from;
      ASSERT_EQ(recvfrom(s, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromlen),
                static_cast<int>(expected.size()));
      EXPECT_EQ(std::string(buf, expected.size()), expected);
      EXPECT_EQ(ntohs(from.sin_port), ptest::PortOf(peer));
    }
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_TRUE(Quiet(w)) << "no FD_READ for datagrams already taken";

    // Arriving during the wait: one FD_READ, then nothing more held.
    std::thread sender([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      ptest::SendTo(peer, ptest::PortOf(s), "late");
    });
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    sender.join();
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 4);
    EXPECT_EQ(std::string(buf, 4), "late");
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    EXPECT_TRUE(Quiet(w));
    closesocket(s);
    closesocket(peer);
  });
}

TEST_F(RingWait, NothingReceivesBetweenWaitsSoACloseFreesThePort) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
    const uint16_t port = ptest::PortOf(s);
    ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
    EXPECT_FALSE(win32::WaitForQueue(50));  // armed, timed out, cancelled
    ASSERT_TRUE(Ringing()) << "io_uring is refused here";
    ASSERT_EQ(closesocket(s), 0);
    EXPECT_TRUE(Rebind(port));

    // The same after its notifications were turned off first.
    s = ptest::BoundSocket(SOCK_DGRAM);
    const uint16_t port1 = ptest::PortOf(s);
    ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
    EXPECT_FALSE(win32::WaitForQueue(20));
    ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, 0, 0), 0);
    ASSERT_EQ(closesocket(s), 0);
    EXPECT_TRUE(Rebind(port1));

    // Closed on another thread during the wait: the wait ends and lets go.
    s = ptest::BoundSocket(SOCK_DGRAM);
    const uint16_t port2 = ptest::PortOf(s);
    ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
    std::atomic<bool> rebound{false};
    std::thread closer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      closesocket(s);
      const int64_t deadline = ptest::NowMs() + 3000;
      while (!(rebound = Rebind(port2)) && ptest::NowMs() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      win32::PostMessageA(w.hwnd, win32::WM_USER + 50, 0, 0);  // wakes the pump to see it
    });
    const int64_t start = ptest::NowMs();
    ptest::PumpUntil([&] { return rebound.load(); }, 5000);
    closer.join();
    EXPECT_TRUE(rebound);
    EXPECT_LT(ptest::NowMs() - start, 4000);
  });
}

// A receive of the wait's chain that failed took the socket's error: it is
// The ring's receive stays armed across waits but takes nothing between them:
// what arrives then waits in the kernel's queue, for a receive of the
// thread's own or for the next wait, in order.
TEST_F(RingWait, BetweenWaitsTheArmedReceiveTakesNothing) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s, peer;
    ASSERT_NO_FATAL_FAILURE(StartRinging(w, &s, &peer));
    {
      std::lock_guard<std::mutex> lock(internal::TableMutex());
      ASSERT_TRUE(internal::FindLocked(s)->ringQueue);
    }
    ptest::SendTo(peer, ptest::PortOf(s), "first");
    ptest::SendTo(peer, ptest::PortOf(s), "2nd");
    winsock::u_long pending = 0;
    ASSERT_EQ(ioctlsocket(s, FIONREAD, &pending), 0);
    EXPECT_EQ(pending, 5u) << "the kernel's queue still has both";
    char buf[8];
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 5);
    EXPECT_EQ(std::string(buf, 5), "first");
    win32::MSG m;
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 3);
    EXPECT_EQ(std::string(buf, 3), "2nd");
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    closesocket(s);
    closesocket(peer);
  });
}

// A socket the ring stops serving (here it now waits to write too) has its
// receive ended by the next wait and is heard through epoll again; what the
// receive took before is not lost, and closing it frees its port.
TEST_F(RingWait, ASocketNoLongerServedIsHeardThroughEpollWithNothingLost) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s, peer;
    ASSERT_NO_FATAL_FAILURE(StartRinging(w, &s, &peer));
    const uint16_t port = ptest::PortOf(s);
    ptest::SendTo(peer, port, "taken");
    win32::MSG m;
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));  // held, FD_READ pending
    ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ | FD_WRITE), 0);
    do ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    while (ptest::EventOf(m) != static_cast<unsigned>(FD_WRITE));
    win32::WaitForQueue(20);
    {
      std::lock_guard<std::mutex> lock(internal::TableMutex());
      EXPECT_FALSE(internal::FindLocked(s)->ringQueue) << "ended by the wait";
    }
    ptest::SendTo(peer, port, "late");
    char buf[8];
    std::string got;
    for (int i = 0; i < 2; ++i) {
      int n = recv(s, buf, sizeof buf, 0);
      if (n == SOCKET_ERROR) {
        ASSERT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
        ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
        n = recv(s, buf, sizeof buf, 0);
      }
      ASSERT_GT(n, 0);
      got += std::string(buf, static_cast<size_t>(n)) + " ";
    }
    EXPECT_EQ(got, "taken late ");
    ASSERT_EQ(closesocket(s), 0);
    EXPECT_TRUE(Rebind(port));
    closesocket(peer);
  });
}

// reported after the datagrams taken before it, not lost.
TEST_F(RingWait, AnErrorTheWaitTookIsReportedAfterTheDatagramsBeforeIt) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
    ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
    win32::internal::RingDatagram got[2];
    got[0].result = 2;
    got[0].data = "ab";
    got[1].result = -ECONNREFUSED;
    TakeFromWait(s, got, 2);
    char buf[4];
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 2);
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), SOCKET_ERROR);
    EXPECT_EQ(WSAGetLastError(), WSAEWOULDBLOCK);
    closesocket(s);
  });
}

// Another thread receiving while the owner's wait receives for the socket
// takes one datagram and leaves the read-ahead empty, so that what the wait
// brings all finds room.
TEST_F(RingWait, AReceiveFromAnotherThreadDuringTheWaitLeavesRoomForWhatItBrings) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s = ptest::BoundSocket(SOCK_DGRAM);
    SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
    ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
    for (const char* d : {"k1", "k2", "k3"}) ptest::SendTo(peer, ptest::PortOf(s), d);
    {
      std::lock_guard<std::mutex> lock(internal::TableMutex());
      internal::FindLocked(s)->ringQueue = internal::FindLocked(s)->queue;  // as inside the owner's wait
    }
    char buf[4];
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 2);
    EXPECT_EQ(std::string(buf, 2), "k1");
    constexpr int kBrought = win32::internal::kRingBuffersPerSocket;
    const char* brought[kBrought] = {"w1", "w2", "w3", "w4"};
    win32::internal::RingDatagram got[kBrought];
    for (int k = 0; k < kBrought; ++k) {
      got[k].result = 2;
      got[k].data = brought[k];
    }
    TakeFromWait(s, got, kBrought);
    for (const char* expected : {"w1", "w2", "w3", "w4", "k2", "k3"}) {
      ASSERT_EQ(recv(s, buf, sizeof buf, 0), 2) << expected;
      EXPECT_EQ(std::string(buf, 2), expected);
    }
    closesocket(s);
    closesocket(peer);
  });
}

// A signal ends the kernel's wait early; the queue's wait goes on until
// something comes, as epoll's does.
TEST_F(RingWait, ASignalDoesNotEndAWaitThatHasNothingToShow) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s, peer;
    ASSERT_NO_FATAL_FAILURE(StartRinging(w, &s, &peer));
    struct sigaction quiet {}, old{};
    quiet.sa_handler = [](int) {};
    sigemptyset(&quiet.sa_mask);  // no SA_RESTART: the wait is interrupted
    ASSERT_EQ(sigaction(SIGUSR1, &quiet, &old), 0);
    const pthread_t waiter = pthread_self();
    std::atomic<bool> sent{false};
    std::thread other([&] {
      for (int i = 0; i < 20; ++i) {
        pthread_kill(waiter, SIGUSR1);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      sent = true;
      ptest::SendTo(peer, ptest::PortOf(s), "x");
    });
    const bool woke = win32::WaitForQueue(-1);
    const bool afterTheDatagram = sent.load();
    other.join();
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_TRUE(afterTheDatagram) << "the wait ended on a signal";
    EXPECT_TRUE(woke);
    win32::MSG m;
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    char buf[4];
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 1);
    closesocket(s);
    closesocket(peer);
  });
}

// A wait arms a few sockets at most; the others stay under epoll, so that a
// thread with many datagram sockets hears each of them.
TEST_F(RingWait, SocketsBeyondWhatOneWaitArmsAreStillHeard) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    constexpr int kCount = win32::internal::WaitRing::kMaxArmed + 3;
    SOCKET sockets[kCount];
    for (SOCKET& s : sockets) {
      s = ptest::BoundSocket(SOCK_DGRAM);
      ASSERT_EQ(WSAAsyncSelect(s, w.hwnd, kNotify, FD_READ), 0);
    }
    EXPECT_FALSE(win32::WaitForQueue(20));
    ASSERT_TRUE(Ringing()) << "io_uring is refused here";
    SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
    for (int round = 0; round < 2; ++round) {
      bool heard[kCount] = {};
      for (SOCKET s : sockets) ptest::SendTo(peer, ptest::PortOf(s), "x");
      for (int i = 0; i < kCount; ++i) {
        win32::MSG m;
        ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000))
            << "round " << round << ": heard " << i << " of " << kCount;
        char buf[4];
        const SOCKET s = static_cast<SOCKET>(m.wParam);
        EXPECT_EQ(recv(s, buf, sizeof buf, 0), 1);
        for (int j = 0; j < kCount; ++j)
          if (sockets[j] == s) heard[j] = true;
      }
      for (int j = 0; j < kCount; ++j) EXPECT_TRUE(heard[j]) << "socket " << j;
    }
    for (SOCKET s : sockets) closesocket(s);
    closesocket(peer);
  });
}

TEST_F(RingWait, HandingOutTheWaitHandlePutsSocketsBackUnderEpoll) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s, peer;
    ASSERT_NO_FATAL_FAILURE(StartRinging(w, &s, &peer));
    win32::GetQueueWaitHandle();
    EXPECT_FALSE(Ringing());
    ptest::SendTo(peer, ptest::PortOf(s), "seen");
    EXPECT_TRUE(ptest::WaitHandleReadable(3000));
    win32::MSG m;
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    char buf[8];
    EXPECT_EQ(recv(s, buf, sizeof buf, 0), 4);
    EXPECT_FALSE(win32::WaitForQueue(20));
    EXPECT_FALSE(Ringing()) << "given up for good";
    closesocket(s);
    closesocket(peer);
  });
}

// What the thread queues itself while it waits through the ring (a message it
// posts, a datagram it announces) costs no eventfd write, since its wait looks
// first, yet shows on the wait handle once the handle is given out, so an
// outside loop never sleeps on a queued message.
TEST_F(RingWait, WhatItQueuesItselfWakesNothingUntilTheHandleIsGivenOut) {
  OnFreshThread([&] {
    ptest::RecordingWindow w;
    SOCKET s;
    ASSERT_NO_FATAL_FAILURE(StartRinging(w, &s));
    const int eventFd = win32::internal::CurrentQueue().eventFd;
    auto readable = [](int fd) {
      pollfd p{fd, POLLIN, 0};
      return ::poll(&p, 1, 0) == 1;
    };
    // A receive that leaves a datagram held announces it to the queue: no
    // write either; the wait runs the announcement before it blocks.
    SOCKET peer = ptest::BoundSocket(SOCK_DGRAM);
    ptest::SendTo(peer, ptest::PortOf(s), "a");
    ptest::SendTo(peer, ptest::PortOf(s), "b");
    win32::MSG m;
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    char buf[4];
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 1);
    EXPECT_FALSE(readable(eventFd));
    ASSERT_TRUE(ptest::NextMessage(w.hwnd, kNotify, &m, 3000));
    EXPECT_EQ(ptest::EventOf(m), static_cast<unsigned>(FD_READ));
    ASSERT_EQ(recv(s, buf, sizeof buf, 0), 1);
    EXPECT_EQ(buf[0], 'b');

    ASSERT_TRUE(win32::PostMessageA(w.hwnd, kNotify + 1, 1, 0));
    ASSERT_TRUE(win32::PostMessageA(w.hwnd, kNotify + 1, 2, 0));
    EXPECT_FALSE(readable(eventFd));
    EXPECT_TRUE(win32::WaitForQueue(3000));
    ASSERT_TRUE(win32::PeekMessageA(&m, w.hwnd, kNotify + 1, kNotify + 1, win32::PM_REMOVE));
    EXPECT_EQ(m.wParam, 1u);
    EXPECT_FALSE(readable(eventFd)) << "one still queued, and still no write";

    const int handle = win32::GetQueueWaitHandle();
    EXPECT_TRUE(readable(handle));
    ASSERT_TRUE(win32::PeekMessageA(&m, w.hwnd, kNotify + 1, kNotify + 1, win32::PM_REMOVE));
    EXPECT_EQ(m.wParam, 2u);
    closesocket(s);
    closesocket(peer);
  });
}

}  // namespace
