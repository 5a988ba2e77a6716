#include "StreamPeer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, timeoutMs) > 0;
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
    ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("send");
    at += static_cast<size_t>(n);
  }
}

size_t Conn::Available() const {
  int n = 0;
  return ioctl(fd_, FIONREAD, &n) == 0 && n > 0 ? static_cast<size_t>(n) : 0;
}

std::string Conn::Read(size_t n, int timeoutMs) {
  std::string out;
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  char buf[65536];
  while (out.size() < n && WaitReadable(fd_, MsLeft(deadline))) {
    ssize_t r = ::recv(fd_, buf, std::min(sizeof(buf), n - out.size()), 0);
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
    ssize_t r = ::recv(fd_, buf, sizeof(buf), 0);
    if (r <= 0) {
      if (eof) *eof = r == 0;
      break;
    }
    out.append(buf, static_cast<size_t>(r));
  }
  return out;
}

void Conn::ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

void Conn::SetReceiveBuffer(int bytes) {
  setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof(bytes));
}

void Conn::Reset() {
  linger l{1, 0};
  setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof(l));
  Close();
}

void Conn::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Listener::Listener(int backlog, int rcvbuf) { fd_ = OpenListener(backlog, &port_, rcvbuf); }

Listener::~Listener() {
  if (fd_ >= 0) ::close(fd_);
}

Conn Listener::Accept(int timeoutMs) {
  if (!WaitReadable(fd_, timeoutMs)) return Conn();
  return Conn(::accept(fd_, nullptr, nullptr));
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
      ssize_t r = ::recv(c.Fd(), buf, sizeof(buf), 0);
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

uint16_t RefusingPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = loopback::Address(0);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  uint16_t port = loopback::LocalPort(fd);
  ::close(fd);  // bound, never listening: nothing answers there now
  return port;
}

SilentListener::SilentListener() {
  fd_ = OpenListener(0, &port_);
  // Fill the accept queue: once it is full the listener drops new handshakes.
  for (int i = 0; i < 8; ++i) {
    int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a = loopback::Address(port_);
    ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    fillers_.push_back(c);
    pollfd p{c, POLLOUT, 0};
    if (::poll(&p, 1, 300) == 0) break;  // this one got no answer: the queue is full
  }
}

SilentListener::~SilentListener() {
  for (int c : fillers_) ::close(c);
  if (fd_ >= 0) ::close(fd_);
}

Child::Child(const std::vector<std::string>& argv, const std::string& stdinPath,
             const std::string& stdoutPath, const std::string& stderrPath) {
  support::TLaunch launch;
  launch.Argv = argv;
  launch.Stdin = stdinPath.empty() ? support::TLaunch::kPipe : stdinPath;
  launch.Stdout = stdoutPath;
  launch.Stderr = stderrPath.empty() ? support::TLaunch::kInherit : stderrPath;
  std::string error;
  if (!Start(launch, &error)) throw std::runtime_error("cannot start " + argv[0] + ": " + error);
}

void Child::WriteStdin(const std::string& bytes) {
  if (!WriteIn(bytes)) throw std::runtime_error("write to child");
}

namespace {
// Whether /proc/net/tcp shows a socket listening on 127.0.0.1 or any address at port.
bool ShowsListening(uint16_t port) {
  FILE* f = std::fopen("/proc/net/tcp", "r");
  if (!f) return false;
  char line[512];
  bool found = false;
  unsigned addr = 0, lport = 0, state = 0;
  while (!found && std::fgets(line, sizeof(line), f))
    if (std::sscanf(line, " %*d: %8X:%4X %*8X:%*4X %2X", &addr, &lport, &state) == 3)
      found = lport == port && state == 0x0A;  // TCP_LISTEN
  std::fclose(f);
  return found;
}
}  // namespace

bool WaitListening(uint16_t port, int timeoutMs) {
  // Looks without connecting: a peer that serves one connection must not see a probe.
  auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Clock::now() < deadline) {
    if (ShowsListening(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
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
