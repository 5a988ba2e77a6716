// WSAStartup and WSACleanup: a count of start-ups; the last clean-up closes
// whatever sockets and lookups are left, as Winsock does.
#include "platform/winsock/linux/Internal.h"

#include <atomic>
#include <cstring>
#include <mutex>

namespace winsock {

namespace {

std::mutex g_mu;
int g_startups = 0;
std::atomic<bool> g_started{false};
std::atomic<int> g_failStartup{0};

void CopyText(char* dest, size_t size, const char* text) {
  std::strncpy(dest, text, size - 1);
  dest[size - 1] = '\0';
}

}  // namespace

int WSAStartup(uint16_t versionRequested, WSADATA* data) {
  if (int code = g_failStartup.load()) return code;
  const unsigned major = versionRequested & 0xFFu;
  const unsigned minor = versionRequested >> 8;
  if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
  if (!data) return WSAEFAULT;
  std::memset(data, 0, sizeof *data);
  data->wVersion = 0x0101;
  data->wHighVersion = 0x0101;
  CopyText(data->szDescription, sizeof data->szDescription, "Windows Sockets 1.1 on Linux sockets");
  CopyText(data->szSystemStatus, sizeof data->szSystemStatus, "Running");
  data->iMaxSockets = 32767;
  data->iMaxUdpDg = 65467;
  std::lock_guard<std::mutex> lock(g_mu);
  ++g_startups;
  g_started = true;
  return 0;
}

int WSACleanup() {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    if (g_startups == 0) return internal::Fail(WSANOTINITIALISED);
    if (--g_startups > 0) return 0;
    g_started = false;
  }
  internal::CancelAllLookups();
  internal::CloseAllSockets();
  return 0;
}

namespace internal {

bool CheckStarted() {
  if (g_started.load(std::memory_order_relaxed)) return true;
  WSASetLastError(WSANOTINITIALISED);
  return false;
}

}  // namespace internal

namespace testing {
void FailStartup(int errorCode) { g_failStartup = errorCode; }
bool Started() { return g_started.load(); }
}  // namespace testing

}  // namespace winsock
