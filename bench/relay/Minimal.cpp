// The minimal relay (minimal_relay.cpp): unicast on 127.0.0.1, playing into the
// recorder's port, which it connects to itself.
#include <sys/stat.h>

#include "ProcStats.h"
#include "Recorder.h"
#include "Relay.h"

namespace relaybench {
namespace {

class TMinimal : public TRelay {
 public:
  explicit TMinimal(std::string Binary) : FBinary(std::move(Binary)) {}

  const char* Name() const override { return "minimal"; }

  std::string Missing() const override {
    struct stat st;
    return !FBinary.empty() && stat(FBinary.c_str(), &st) == 0 ? "" : "not built";
  }

  bool Start(TRecorder& Recorder, const std::string& WorkDir, std::string* Error) override {
    FAddress = "127.0.0.1";
    FPort = FreeUdpPort();
    const std::vector<std::string> argv = {FBinary, FAddress, std::to_string(FPort),
                                           Recorder.PortName()};
    FCommand.clear();
    for (const auto& a : argv) FCommand += (FCommand.empty() ? "" : " ") + a;
    if (!StartChild(argv, {}, WorkDir, WorkDir + "/minimal.log", Error)) return false;
    if (!WaitUntil([&] { return (Recorder.Connections() > 0 && UdpPortBound(FPort)) || !Alive(); },
                   StartTimeoutMs()) ||
        !Alive()) {
      if (Error) *Error = "the minimal relay did not start: " + Log();
      return false;
    }
    return true;
  }

 private:
  std::string FBinary;
};

}  // namespace

std::unique_ptr<TRelay> MakeMinimal(const std::string& Binary) {
  return std::unique_ptr<TRelay>(new TMinimal(Binary));
}

}  // namespace relaybench
