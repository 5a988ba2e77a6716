// The minimal relay (minimal_relay.cpp): unicast on 127.0.0.1, playing into the
// recorder's port, which it connects to itself; with its blocking receive, or
// inside the smallest epoll or io_uring loop.
#include <sys/stat.h>

#include "ProcStats.h"
#include "Recorder.h"
#include "Relay.h"

namespace relaybench {
namespace {

class TMinimal : public TRelay {
 public:
  TMinimal(std::string Binary, std::string Loop)
      : FBinary(std::move(Binary)), FLoop(std::move(Loop)), FName("minimal") {
    if (!FLoop.empty()) FName += "-" + FLoop;
  }

  const char* Name() const override { return FName.c_str(); }

  std::string Missing() const override {
    struct stat st;
    return !FBinary.empty() && stat(FBinary.c_str(), &st) == 0 ? "" : "not built";
  }

  bool Start(TRecorder& Recorder, const std::string& WorkDir, std::string* Error) override {
    FAddress = "127.0.0.1";
    FPort = FreeUdpPort();
    std::vector<std::string> argv = {FBinary};
    if (!FLoop.empty()) argv.insert(argv.end(), {"--loop", FLoop});
    argv.insert(argv.end(), {FAddress, std::to_string(FPort), Recorder.PortName()});
    FCommand.clear();
    for (const auto& a : argv) FCommand += (FCommand.empty() ? "" : " ") + a;
    if (!StartChild(argv, {}, WorkDir, WorkDir + "/minimal.log", Error)) return false;
    if (!WaitUntil([&] { return (Recorder.Connections() > 0 && UdpPortBound(FPort)) || !Alive(); },
                   StartTimeoutMs()) ||
        !Alive()) {
      if (Error) *Error = FName + " did not start: " + Log();
      return false;
    }
    return true;
  }

 private:
  std::string FBinary;
  std::string FLoop;  // empty: the blocking receive
  std::string FName;
};

}  // namespace

std::unique_ptr<TRelay> MakeMinimal(const std::string& Binary, const std::string& Loop) {
  return std::unique_ptr<TRelay>(new TMinimal(Binary, Loop));
}

}  // namespace relaybench
