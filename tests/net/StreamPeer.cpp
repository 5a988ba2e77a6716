// The peers on the plain sockets of tests/support/Loopback.h, so the same code
// serves on Linux and on Windows.
#include "StreamPeer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "tests/support/Loopback.h"

namespace streampeer {

namespace {

using Clock = std::chrono::steady_clock;

// A socket listening on 127.0.0.1 at a port the system picks.
int OpenListener(int backlog, uint16_t* port, int rcvbuf = 0) {
  int fd = loopback::ListenTcp(backlog, port, rcvbuf);
  if (fd < 0) throw std::runtime_error("bind/listen");
  return fd;
}

int MsLeft(Clock::time_point deadline) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return ms > 0 ? static_cast<int>(ms) : 0;
}

bool WaitReadable(int fd, int timeoutMs) {
  return loopback::Wait(fd, loopback::kReadable, timeoutMs) != 0;
}

}  // namespace

Conn::~Conn() { Close(); }

Conn& Conn::operator=(Conn&& o) noexcept {
  if (this != &o) {
    Close();
    fd_ = o.fd_;
    o.fd_ = -1;
  }
  return *this;
}

uint16_t Conn::LocalPort() const { return loopback::LocalPort(fd_); }
uint16_t Conn::PeerPort() const { return loopback::PeerPort(fd_); }

void Conn::Write(const std::string& bytes) {
  size_t at = 0;
  while (at < bytes.size()) {
    long n = loopback::Send(fd_, bytes.data() + at, bytes.size() - at);
    if (n <= 0) throw std::runtime_error("send");
    at += static_cast<size_t>(n);
  }
}

size_t Conn::Available() const { return loopback::Available(fd_); }

std::string Conn::Read(size_t n, int timeoutMs) {
  std::string out;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  char buf[65536];
  while (out.size() < n && WaitReadable(fd_, MsLeft(deadline))) {
    long r = loopback::Receive(fd_, buf, std::min(sizeof(buf), n - out.size()));
    if (r <= 0) break;
    out.append(buf, static_cast<size_t>(r));
  }
  return out;
}

std::string Conn::ReadToEnd(int timeoutMs, bool* eof) {
  std::string out;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  char buf[65536];
  if (eof) *eof = false;
  while (WaitReadable(fd_, MsLeft(deadline))) {
    long r = loopback::Receive(fd_, buf, sizeof(buf));
    if (r <= 0) {
      if (eof) *eof = r == 0;
      break;
    }
    out.append(buf, static_cast<size_t>(r));
  }
  return out;
}

void Conn::ShutdownWrite() { loopback::ShutdownWrite(fd_); }

void Conn::SetReceiveBuffer(int bytes) { loopback::SetReceiveBuffer(fd_, bytes); }

void Conn::Reset() {
  loopback::Reset(fd_);
  fd_ = -1;
}

void Conn::Close() {
  loopback::Close(fd_);
  fd_ = -1;
}

Listener::Listener(int backlog, int rcvbuf) { fd_ = OpenListener(backlog, &port_, rcvbuf); }

Listener::~Listener() { loopback::Close(fd_); }

Conn Listener::Accept(int timeoutMs) {
  if (!WaitReadable(fd_, timeoutMs)) return Conn();
  return Conn(loopback::Accept(fd_));
}

Conn ConnectTo(uint16_t port) { return Conn(loopback::ConnectTcp(port)); }

EchoServer::EchoServer() : thread_([this] { Serve(); }) {}

EchoServer::~EchoServer() {
  stop_ = true;
  thread_.join();
}

void EchoServer::Serve() {
  while (!stop_) {
    Conn c = listener_.Accept(100);
    if (!c.Valid()) continue;
    char buf[65536];
    while (!stop_) {
      if (!WaitReadable(c.Fd(), 100)) continue;
      long r = loopback::Receive(c.Fd(), buf, sizeof(buf));
      if (r <= 0) break;
      try {
        c.Write(std::string(buf, static_cast<size_t>(r)));
      } catch (const std::exception&) {
        break;  // the client went away
      }
    }
    c.ShutdownWrite();
  }
}

RefusingPort::RefusingPort() { fd_ = loopback::BindTcp(&port_); }
RefusingPort::~RefusingPort() { loopback::Close(fd_); }

SilentListener::SilentListener() {
  fd_ = OpenListener(0, &port_);
  // Fill the accept queue: once it is full the listener drops new handshakes.
  for (int i = 0; i < 8; ++i) {
    int c = loopback::StartConnect(port_);
    if (c < 0) break;
    fillers_.push_back(c);
    // This one got no answer: the queue is full.
    if (loopback::Wait(c, loopback::kWritable, 300) == 0) break;
  }
}

SilentListener::~SilentListener() {
  for (int c : fillers_) loopback::Close(c);
  loopback::Close(fd_);
}

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

}  // namespace streampeer
