// The socket component's lookups: one socket object per name, as a program
// that looks many names up at once would hold them.
#include <memory>

#include "LookupRuns.h"
#include "net/WSocket.h"

namespace dnsbench {

TRunResult RunVorlanx(const std::vector<std::string>& Names, bool CancelEveryOther) {
  TRunResult r;
  std::vector<std::unique_ptr<TWSocket>> sockets;
  int due = 0;
  for (size_t i = 0; i < Names.size(); ++i) {
    sockets.emplace_back(new TWSocket(nullptr));
    sockets.back()->OnDnsLookupDone = [&r, &due](TObject*, uint16_t Error) {
      if (Error == winsock::WSAEINTR) {
        ++r.Cancelled;
        return;
      }
      --due;
      if (Error == 0)
        ++r.Answered;
      else
        ++r.Failed;
    };
  }
  TThreadSampler sampler;
  const double start = NowSeconds();
  for (size_t i = 0; i < Names.size(); ++i) {
    sockets[i]->DnsLookup(Names[i]);
    ++due;
  }
  if (CancelEveryOther)
    for (size_t i = 1; i < Names.size(); i += 2) {
      sockets[i]->StopDnsLookup();
      --due;
    }
  while (due > 0) {
    win32::MSG msg;
    if (win32::GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
    win32::DispatchMessageA(&msg);
  }
  r.Seconds = NowSeconds() - start;
  r.PeakThreads = sampler.Stop();
  return r;
}

}  // namespace dnsbench
