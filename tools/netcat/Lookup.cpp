// vxcat --resolve and --reverse: one lookup through the socket component,
// answered on this thread's message loop.
#include "tools/netcat/Lookup.h"

#include "net/WSocket.h"
#include "tools/netcat/Endpoint.h"

namespace vxcat {

int RunLookup(const TOptions& Options) {
  const bool forward = Options.Lookup == TLookup::Forward;
  TWSocket socket(nullptr);
  bool done = false;
  uint16_t error = 0;
  socket.OnDnsLookupDone = [&](TObject*, uint16_t Error) {
    done = true;
    error = Error;
  };
  try {
    if (forward)
      socket.DnsLookup(Options.LookupText);
    else
      socket.ReverseDnsLookup(Options.LookupText);
  } catch (const Exception& E) {
    Report(E.Message());
    return 1;
  }
  // The resolver always answers, at worst after its own timeouts.
  while (!done) {
    win32::MSG msg;
    if (win32::GetMessageA(&msg, nullptr, 0, 0) <= 0) return 1;
    win32::TranslateMessage(&msg);
    win32::DispatchMessageA(&msg);
  }
  if (error != 0) {
    ReportSocketError(error, forward ? "DnsLookup" : "ReverseDnsLookup");
    return 1;
  }
  std::string lines;
  for (int i = 0; i < socket.DnsResultList()->Count(); ++i)
    lines += socket.DnsResultList()->Strings(i) + "\n";
  if (!WriteOut(lines.data(), lines.size())) {
    Report("standard output: cannot write");
    return 1;
  }
  return 0;
}

}  // namespace vxcat
