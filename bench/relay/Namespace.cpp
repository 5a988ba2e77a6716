#include "Namespace.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <net/route.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tests/support/PrivateShm.h"

namespace relaybench {
namespace {

std::string Errno(const char* What) { return std::string(What) + ": " + std::strerror(errno); }

bool LoopbackUpWithMulticast(int Fd, std::string* Error) {
  ifreq ifr{};
  std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
  if (ioctl(Fd, SIOCGIFFLAGS, &ifr) != 0) return *Error = Errno("SIOCGIFFLAGS lo"), false;
  ifr.ifr_flags |= IFF_UP | IFF_MULTICAST;
  if (ioctl(Fd, SIOCSIFFLAGS, &ifr) != 0) return *Error = Errno("SIOCSIFFLAGS lo"), false;
  return true;
}

// 224.0.0.0/4 through lo, so that groups are joined and sent there.
bool MulticastRouteOnLoopback(int Fd, std::string* Error) {
  rtentry rt{};
  auto* dst = reinterpret_cast<sockaddr_in*>(&rt.rt_dst);
  auto* mask = reinterpret_cast<sockaddr_in*>(&rt.rt_genmask);
  dst->sin_family = AF_INET;
  dst->sin_addr.s_addr = htonl(0xE0000000u);
  mask->sin_family = AF_INET;
  mask->sin_addr.s_addr = htonl(0xF0000000u);
  rt.rt_gateway.sa_family = AF_INET;
  rt.rt_flags = RTF_UP;
  char dev[] = "lo";
  rt.rt_dev = dev;
  if (ioctl(Fd, SIOCADDRT, &rt) != 0 && errno != EEXIST)
    return *Error = Errno("SIOCADDRT 224.0.0.0/4 dev lo"), false;
  return true;
}

}  // namespace

bool EnterBenchNamespaces(std::string* Error) {
  if (unshare(CLONE_NEWNET) != 0)
    return *Error = Errno("unshare(CLONE_NEWNET) (run as root)"), false;
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return *Error = Errno("socket"), false;
  bool ok = LoopbackUpWithMulticast(fd, Error) && MulticastRouteOnLoopback(fd, Error);
  close(fd);
  if (!ok) return false;
  if (!testjack::EnterPrivateShm()) return *Error = testjack::PrivateShmError(), false;
  return true;
}

}  // namespace relaybench
