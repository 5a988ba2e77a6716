// MIDI output devices on a JACK server: the MIDI input ports of other clients.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/winmm/linux/Backend.h"

namespace winmm {

class JackSession;

class JackBackend : public MidiBackend {
 public:
  // Appends one entry per MIDI input port of another client, in server order;
  // the Id is the port's full name. Connects to the server first when there is
  // no live connection; adds nothing when no server runs.
  void Enumerate(std::vector<DeviceEntry>& Devices) override;
  // Registers an output port (see OutputPortName) and connects it to the port Id.
  MMRESULT Open(const std::string& Id, std::unique_ptr<MidiSink>& Sink) override;
  // Closes the connection at process end (devices left open go with it).
  void CloseAtExit() override;

 private:
  // The live connection, made anew when there is none or the server went away.
  std::shared_ptr<JackSession> Session();

  std::shared_ptr<JackSession> FSession;
};

}  // namespace winmm
