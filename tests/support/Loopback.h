// Plain sockets on loopback for tests and benchmarks: the peers, senders and
// receivers that stand beside the component. BSD sockets on Linux, Winsock 2
// on Windows (a SOCKET kept in an int: -1 is none). Includes no system socket
// header, so it mixes with the socket unit's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct sockaddr_in;

namespace loopback {

// 127.0.0.1:port (include <netinet/in.h> to use it).
sockaddr_in Address(uint16_t port);
// The local or the peer's port of a socket (0 when it has none).
uint16_t LocalPort(int fd);
uint16_t PeerPort(int fd);

// A UDP socket bound to 127.0.0.1:*port (0: one the system picks, stored
// back); -1 on failure.
int BindUdp(uint16_t* port);
// A TCP socket listening on 127.0.0.1 at a port the system picks (stored in
// *port); rcvbuf > 0 is the receive buffer that accepted connections start
// with. -1 on failure.
int ListenTcp(int backlog, uint16_t* port, int rcvbuf = 0);
// A blocking TCP connection to 127.0.0.1:port; -1 on failure.
int ConnectTcp(uint16_t port);

// One datagram from fd to 127.0.0.1:port; true when all of it went.
bool SendUdp(int fd, uint16_t port, const void* data, size_t len);
// Sends one UDP datagram to 127.0.0.1:port from a throw-away socket.
void SendUdp(uint16_t port, const std::string& bytes);

// A UDP port that nothing on this host is bound to just now, for a program
// that can only be told a port number (the relay reads it from its settings).
// Another process could take it before that program binds it. In make test
// none can: each stage runs in a network namespace of its own
// (scripts/test-stage), and tests run side by side there take these ports in
// turn from a range below the kernel's ephemeral ports (32768 and up), so
// neither another test's pick nor any socket bound to port 0 can take it.
uint16_t FreeUdpPort();
// The range, and the variable that names the file whose counter the tests of
// a stage share (scripts/test-stage sets it).
constexpr uint16_t kFirstReservedPort = 10000;
constexpr uint32_t kReservedPortCount = 20000;
constexpr const char* kReservedPortsVariable = "VORLANX_TEST_PORTS";
// The same for TCP, for a program told a port to listen on.
uint16_t FreeTcpPort();

// A TCP socket bound to 127.0.0.1 at a port the system picks, not listening.
int BindTcp(uint16_t* port);
// A non-blocking TCP connect to 127.0.0.1:port under way; -1 on failure.
int StartConnect(uint16_t port);
int Accept(int listener);
void Close(int fd);

// What Wait looks for and reports.
constexpr unsigned kReadable = 1;
constexpr unsigned kWritable = 2;
constexpr unsigned kBroken = 4;  // an error or a hang-up: always reported
// Waits up to timeoutMs for what (kReadable, kWritable); returns what fd
// reports (0 when nothing came in time).
unsigned Wait(int fd, unsigned what, int timeoutMs);

// Blocking transfers (no SIGPIPE); the byte count, or -1.
long Send(int fd, const void* data, size_t len);
long Receive(int fd, void* buf, size_t len);
// Bytes waiting to be read.
size_t Available(int fd);
void ShutdownWrite(int fd);
void SetReceiveBuffer(int fd, int bytes);
// Closes with a reset (linger on, time 0).
void Reset(int fd);

// A UDP socket bound to 127.0.0.1 on a port the system picks; closed on destruction.
class UdpHolder {
 public:
  UdpHolder();
  ~UdpHolder();
  UdpHolder(const UdpHolder&) = delete;
  UdpHolder& operator=(const UdpHolder&) = delete;
  uint16_t Port() const { return port_; }
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace loopback
