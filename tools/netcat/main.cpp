// vxcat: a netcat-like tool on the socket component. It connects to or listens
// on a TCP or UDP endpoint and copies standard input to the network and the
// network to standard output, all on one thread's message loop (on Windows
// standard input is read on a thread of its own, which posts to the loop).
#include <cstdio>
#include <string>
#include <vector>

#include "tools/netcat/App.h"
#include "tools/netcat/Lookup.h"
#include "tools/netcat/Process.h"

int main(int argc, char** argv) {
  vxcat::PrepareProcess();
  std::vector<std::string> args(argv + 1, argv + argc);
  vxcat::TOptions options;
  try {
    options = vxcat::ParseOptions(args);
  } catch (const vxcat::EUsage& E) {
    vxcat::Report(E.what());
    vxcat::Report("try vxcat --help");
    return 2;
  }
  if (options.Help) {
    std::fputs(vxcat::HelpText().c_str(), stdout);
    return 0;
  }
  if (options.Lookup != vxcat::TLookup::None) return vxcat::RunLookup(options);
  try {
    vxcat::TApp app(options);
    return app.Run();
  } catch (const std::exception& E) {
    vxcat::Report(E.what());
    return 1;
  }
}
