// Standard output and standard error of vxcat. Kept apart from the socket unit:
// its header and the system headers do not mix.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/netcat/Endpoint.h"

namespace vxcat {

bool WriteOut(const char* Data, size_t Len) {
  while (Len > 0) {
    ssize_t n = ::write(STDOUT_FILENO, Data, Len);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    Data += n;
    Len -= static_cast<size_t>(n);
  }
  return true;
}

void Report(const std::string& Text) {
  std::string line = "vxcat: " + Text + "\n";
  const char* p = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = ::write(STDERR_FILENO, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    p += n;
    left -= static_cast<size_t>(n);
  }
}

void ReportOutputFailure(THost& Host) {
  Report(std::string("standard output: ") + std::strerror(errno));
  Host.Finish(1);
}

}  // namespace vxcat
