#include "PlainLines.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/Loopback.h"

namespace plainlines {

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

namespace {

void SendLines(int fd, uint64_t total, size_t lineLength) {
  // One buffer of whole lines, sent again and again; the last send is cut to total.
  std::string line(lineLength - 2, 'x');
  line += "\r\n";
  std::string block;
  while (block.size() < 256 * 1024) block += line;
  char go;
  if (::recv(fd, &go, 1, 0) != 1) return;
  uint64_t sent = 0;
  while (sent < total) {
    // The block holds whole lines, so an offset into it keeps them whole.
    const size_t off = static_cast<size_t>(sent % block.size());
    size_t n = block.size() - off;
    if (total - sent < n) n = static_cast<size_t>(total - sent);
    ssize_t k = ::send(fd, block.data() + off, n, 0);
    if (k <= 0) return;
    sent += static_cast<uint64_t>(k);
  }
}

}  // namespace

Sender::Sender(uint64_t Total, size_t LineLength) {
  listenFd_ = loopback::ListenTcp(1, &port_);
  if (listenFd_ < 0) return;
  thread_ = std::thread([this, Total, LineLength] {
    int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) return;
    SendLines(fd, Total, LineLength);
    ::close(fd);
  });
}

Sender::~Sender() {
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
}

Count ReadPlain(uint16_t Port) {
  Count c;
  int fd = loopback::ConnectTcp(Port);
  if (fd < 0) return c;
  auto onLine = [&c](const char* line, size_t length) {
    ++c.lines;
    c.bytes += length;
    c.check += static_cast<unsigned char>(line[0]);
  };
  std::vector<char> buf(256 * 1024);
  size_t held = 0;  // bytes of an unfinished line at the front
  const double t0 = SteadySeconds();
  ::send(fd, "g", 1, 0);
  for (;;) {
    if (held == buf.size()) buf.resize(buf.size() * 2);
    ssize_t n = ::recv(fd, buf.data() + held, buf.size() - held, 0);
    if (n <= 0) break;
    const char* p = buf.data();
    const char* end = buf.data() + held + n;
    // A CR at the end of the last read may meet its LF now.
    const char* from = held > 0 ? p + held - 1 : p;
    while (const char* cr = static_cast<const char*>(std::memchr(from, '\r', end - from))) {
      if (cr + 1 >= end) break;
      if (cr[1] != '\n') {
        from = cr + 1;
        continue;
      }
      onLine(p, static_cast<size_t>(cr + 2 - p));
      p = from = cr + 2;
    }
    held = static_cast<size_t>(end - p);
    std::memmove(buf.data(), p, held);
  }
  if (held > 0) onLine(buf.data(), held);
  c.seconds = SteadySeconds() - t0;
  ::close(fd);
  return c;
}

}  // namespace plainlines
