// VORLANX, headless (no display): started from a copy of the binary with its
// settings file beside it, pointing at the recorder's port by device index.
#include <jack/jack.h>
#include <sys/stat.h>

#include <fstream>

#include "ProcStats.h"
#include "Recorder.h"
#include "Relay.h"

namespace relaybench {
namespace {

// Its MIDI output devices are the JACK MIDI inputs of other clients, in the
// server's port order.
int DeviceIndexOf(jack_client_t* Client, const std::string& Port) {
  const char** ports = jack_get_ports(Client, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  if (ports == nullptr) return -1;
  int index = -1, n = 0;
  for (const char** p = ports; *p != nullptr; ++p) {
    if (std::string(*p).rfind("vorlanx:", 0) == 0) continue;
    if (Port == *p) index = n;
    ++n;
  }
  jack_free(ports);
  return index;
}

bool CopyExecutable(const std::string& From, const std::string& To) {
  std::ifstream in(From, std::ios::binary);
  std::ofstream out(To, std::ios::binary | std::ios::trunc);
  out << in.rdbuf();
  out.close();
  return in && out && chmod(To.c_str(), 0755) == 0;
}

class TVorlanx : public TRelay {
 public:
  TVorlanx(std::string Binary, const char* Name) : FBinary(std::move(Binary)), FName(Name) {}

  const char* Name() const override { return FName; }

  std::string Missing() const override {
    struct stat st;
    return !FBinary.empty() && stat(FBinary.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? ""
                                                                                      : "not built";
  }

  bool Start(TRecorder& Recorder, const std::string& WorkDir, std::string* Error) override {
    const std::string exe = WorkDir + "/vorlanx";
    if (!CopyExecutable(FBinary, exe)) {
      if (Error) *Error = "cannot copy " + FBinary + " to " + exe;
      return false;
    }
    const int device = DeviceIndexOf(Recorder.Client(), Recorder.PortName());
    if (device < 0) {
      if (Error) *Error = "the recorder's port is not among the JACK MIDI inputs";
      return false;
    }
    FAddress = "127.0.0.1";
    FPort = FreeUdpPort();
    std::ofstream ini(WorkDir + "/VORLANX.INI", std::ios::trunc);
    ini << "[Window]\nTop=158\nLeft=213\n[Data]\nAdress=" << FAddress << "\nPort=" << FPort
        << "\nMIDI-Out=" << device << "\n";
    ini.close();
    FCommand = "env -u DISPLAY " + exe + "   # " + WorkDir + "/VORLANX.INI: Adress=" + FAddress +
               " Port=" + std::to_string(FPort) + " MIDI-Out=" + std::to_string(device);
    if (!StartChild({exe}, {"HOME=" + WorkDir}, WorkDir, WorkDir + "/vorlanx.log", Error))
      return false;
    if (!WaitUntil([&] { return (Recorder.Connections() > 0 && UdpPortBound(FPort)) || !Alive(); },
                   StartTimeoutMs()) ||
        !Alive()) {
      if (Error)
        *Error = "VORLANX did not listen on UDP port " + std::to_string(FPort) +
                 " and connect to the recorder in time: " + Log();
      return false;
    }
    return true;
  }

 private:
  std::string FBinary;
  const char* FName;
};

}  // namespace

std::unique_ptr<TRelay> MakeVorlanx(const std::string& Binary, const char* Name) {
  return std::unique_ptr<TRelay>(new TVorlanx(Binary, Name));
}

}  // namespace relaybench
