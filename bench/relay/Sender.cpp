#include "Sender.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "Clock.h"
#include "SeqCodec.h"

namespace relaybench {
namespace {

void SleepUntil(int64_t Ns) {
  timespec t{static_cast<time_t>(Ns / 1000000000LL), static_cast<long>(Ns % 1000000000LL)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) {
  }
}

}  // namespace

bool TSender::Open(const std::string& Address, uint16_t Port, std::string* Error) {
  Close();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(Port);
  if (inet_pton(AF_INET, Address.c_str(), &to.sin_addr) != 1) {
    if (Error) *Error = "not an IPv4 address: " + Address;
    return false;
  }
  const uint32_t host = ntohl(to.sin_addr.s_addr);
  const bool multicast = (host >> 28) == 0xE;
  // Traffic stays on this machine: loopback, or a group sent through loopback.
  if ((host >> 24) != 127 && !multicast) {
    if (Error) *Error = "refusing a destination off loopback: " + Address;
    return false;
  }
  FFd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (FFd < 0) {
    if (Error) *Error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  int big = 4 << 20;
  setsockopt(FFd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
  if (multicast) {
    in_addr lo{};
    lo.s_addr = htonl(INADDR_LOOPBACK);
    unsigned char loop = 1;
    if (setsockopt(FFd, IPPROTO_IP, IP_MULTICAST_IF, &lo, sizeof lo) != 0 ||
        setsockopt(FFd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop) != 0) {
      if (Error) *Error = std::string("multicast options: ") + std::strerror(errno);
      Close();
      return false;
    }
  }
  std::memcpy(FTo, &to, sizeof to);
  // Finer sleeps, so that 50,000 per second can be paced.
  prctl(PR_SET_TIMERSLACK, 1000UL, 0, 0, 0);
  return true;
}

void TSender::Close() {
  if (FFd >= 0) close(FFd);
  FFd = -1;
}

bool TSender::SendOne(uint32_t Seq, int Parity, int64_t& SendNs) {
  const TSeqMessage m = EncodeSeq(Seq, Parity);
  for (int attempt = 0; attempt < 100; ++attempt) {
    SendNs = MonotonicNs();
    if (sendto(FFd, m.Bytes, 3, 0, reinterpret_cast<const sockaddr*>(FTo), sizeof(sockaddr_in)) ==
        3)
      return true;
    if (errno != ENOBUFS && errno != EAGAIN && errno != EINTR) break;
    usleep(100);  // the send buffer is momentarily full
  }
  SendNs = 0;
  return false;
}

TSendResult TSender::Send(uint32_t Count, double Rate, int Parity, int64_t* SendNs) {
  TSendResult r;
  if (FFd < 0 || Count == 0) return r;
  const int64_t start = MonotonicNs() + 1000000;  // a millisecond to settle
  const double spacing = Rate > 0 ? 1e9 / Rate : 0;
  if (Rate > 0) SleepUntil(start);
  for (uint32_t i = 0; i < Count; ++i) {
    if (Rate > 0) {
      const int64_t due = start + static_cast<int64_t>(spacing * i);
      // Behind schedule (a late wake-up): send what is due without sleeping.
      if (MonotonicNs() < due) SleepUntil(due);
    }
    if (SendOne(i, Parity, SendNs[i]))
      ++r.Sent;
    else
      ++r.Failed;
  }
  int64_t first = 0, last = 0;
  for (uint32_t i = 0; i < Count; ++i)
    if (SendNs[i] != 0) {
      if (first == 0) first = SendNs[i];
      last = SendNs[i];
    }
  r.Seconds = static_cast<double>(last - first) / 1e9;
  return r;
}

}  // namespace relaybench
