// qmidinet, headless: receives UDP multicast on loopback, plays on its JACK
// MIDI output "QmidiNet:out_1", which we connect to the recorder.
#include <jack/jack.h>
#include <sys/stat.h>

#include "Recorder.h"
#include "Relay.h"
#include "ProcStats.h"

namespace relaybench {
namespace {

constexpr const char* kGroup = "225.0.0.37";

std::string OutputPort(jack_client_t* Client) {
  std::string name;
  const char** ports =
      jack_get_ports(Client, "^QmidiNet:", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput);
  if (ports != nullptr) {
    if (ports[0] != nullptr) name = ports[0];
    jack_free(ports);
  }
  return name;
}

class TQmidinet : public TRelay {
 public:
  const char* Name() const override { return "qmidinet"; }

  std::string Missing() const override {
    struct stat st;
    return stat("/usr/bin/qmidinet", &st) == 0 ? "" : "not installed (make bench installs it)";
  }

  bool Start(TRecorder& Recorder, const std::string& WorkDir, std::string* Error) override {
    FAddress = kGroup;
    FPort = FreeUdpPort();
    const std::vector<std::string> argv = {"qmidinet", "-g", "-a",   "0",  "-j",
                                           "1",        "-u", kGroup, "-p", std::to_string(FPort),
                                           "-i",       "lo"};
    FCommand = "QT_QPA_PLATFORM=offscreen";
    for (const auto& a : argv) FCommand += " " + a;
    // Its settings and runtime files go to our folder, not to the user's home.
    const std::vector<std::string> env = {"QT_QPA_PLATFORM=offscreen", "HOME=" + WorkDir,
                                          "XDG_CONFIG_HOME=" + WorkDir,
                                          "XDG_RUNTIME_DIR=" + WorkDir};
    if (!StartChild(argv, env, WorkDir, WorkDir + "/qmidinet.log", Error)) return false;
    std::string port;
    if (!WaitUntil([&] { return !(port = OutputPort(Recorder.Client())).empty() || !Alive(); },
                   StartTimeoutMs()) ||
        port.empty()) {
      if (Error) *Error = "qmidinet registered no JACK MIDI output in time: " + Log();
      return false;
    }
    // Under valgrind the port can be there a while before its client is active.
    if (!WaitUntil(
            [&] {
              return jack_connect(Recorder.Client(), port.c_str(), Recorder.PortName().c_str()) ==
                         0 ||
                     !Alive();
            },
            StartTimeoutMs(), 200) ||
        !Alive()) {
      if (Error) *Error = "cannot connect " + port + " to " + Recorder.PortName();
      return false;
    }
    if (!WaitUntil([&] { return UdpPortBound(FPort) || !Alive(); }, StartTimeoutMs()) || !Alive()) {
      if (Error)
        *Error = "qmidinet is not listening on UDP port " + std::to_string(FPort) + ": " + Log();
      return false;
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<TRelay> MakeQmidinet() { return std::unique_ptr<TRelay>(new TQmidinet); }

}  // namespace relaybench
