// Plain BSD-socket TCP peers on loopback for the connection and sending tests,
// and child processes (socat) as peers. Kept apart from the socket unit's
// header, which does not mix with the system socket headers.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/Process.h"

namespace streampeer {

// One end of a TCP connection; closes on destruction.
class Conn {
 public:
  explicit Conn(int fd = -1) : fd_(fd) {}
  ~Conn();
  Conn(Conn&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
  Conn& operator=(Conn&& o) noexcept;
  bool Valid() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  uint16_t LocalPort() const;
  uint16_t PeerPort() const;
  void Write(const std::string& bytes);
  // Bytes waiting to be read.
  size_t Available() const;
  // Reads until n bytes, end of stream or timeoutMs; returns what came.
  std::string Read(size_t n, int timeoutMs);
  // Reads until end of stream or timeoutMs; eof tells which.
  std::string ReadToEnd(int timeoutMs, bool* eof = nullptr);
  void ShutdownWrite();
  void SetReceiveBuffer(int bytes);
  // Closes with a reset (linger on, time 0).
  void Reset();
  void Close();

 private:
  int fd_;
};

// A listener on 127.0.0.1 at a port the system picks.
class Listener {
 public:
  // rcvbuf > 0 makes accepted connections start with that receive buffer.
  explicit Listener(int backlog = 16, int rcvbuf = 0);
  ~Listener();
  uint16_t Port() const { return port_; }
  Conn Accept(int timeoutMs = 3000);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A server on 127.0.0.1 that echoes each connection, one at a time, until the
// client ends its sending; then it ends its own. Runs on a thread of its own.
class EchoServer {
 public:
  EchoServer();
  ~EchoServer();
  uint16_t Port() const { return listener_.Port(); }

 private:
  void Serve();
  Listener listener_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A blocking connect to 127.0.0.1:port.
Conn ConnectTo(uint16_t port);

// A loopback port that refuses connections for as long as this lives: a TCP
// socket is bound there and never listens, so no other program can take it.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A listener whose backlog is full: connection attempts get no answer.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  std::vector<int> fillers_;
};

// A child process, started at construction (raises std::runtime_error when it
// cannot be); killed and reaped on destruction. Its standard input comes from
// stdinPath, or from a pipe when stdinPath is empty; standard output and error
// go to the given paths (an empty stderrPath keeps ours).
class Child : public support::TProcess {
 public:
  explicit Child(const std::vector<std::string>& argv, const std::string& stdinPath = "/dev/null",
                 const std::string& stdoutPath = "/dev/null", const std::string& stderrPath = "");
  void Kill(int sig) { Signal(sig); }
  // The write end of the stdin pipe (-1 without one).
  int StdinFd() const { return In(); }
  void WriteStdin(const std::string& bytes);  // raises std::runtime_error when it cannot
  void CloseStdin() { CloseIn(); }
};

// Waits (bounded) until process pid listens on a TCP port, and returns it (0:
// it did not). For a child told to listen on port 0, or on a port it may not get.
uint16_t ListeningPortOf(int pid, int timeoutMs = 10000);

// A deterministic byte pattern of n bytes.
std::string Pattern(size_t n, unsigned seed = 1);

}  // namespace streampeer
