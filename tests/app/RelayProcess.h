// The relay program as the tests run it: a copy of the binary in a directory of
// its own (so each test has its own settings file), started as a child process,
// with helpers to send it datagrams and to see which UDP sockets it holds.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Loopback.h"
#include "tests/support/JackTest.h"
#include "tests/ui/GuiTestSupport.h"

namespace relaytest {

class TRelay {
 public:
  // Name: the executable's file name in its directory.
  explicit TRelay(const std::string& Name = "vorlanx");
  ~TRelay();
  TRelay(const TRelay&) = delete;
  TRelay& operator=(const TRelay&) = delete;

  const std::string& Dir() const { return FDir; }
  // Remounts the directory read-only (in the test's private mount namespace),
  // so that even root cannot write the settings file.
  bool MakeReadOnly();
  void WriteFile(const std::string& Name, const std::string& Content) const;
  // The file's content; "<missing>" when it does not exist.
  std::string ReadFile(const std::string& Name = "VORLANX.INI") const;

  // Words run in front of the program (such as TNetNamespace::Enter()).
  std::vector<std::string> Prefix;
  // Starts the program; Env as guitest::TChild::Start (default: no display).
  bool Start(const std::vector<std::string>& Env = {"DISPLAY"});
  // Waits until the program holds a UDP socket bound to Addr:Port.
  bool WaitBound(const std::string& Addr, uint16_t Port, int TimeoutMs = 10000);
  // Sends Sig and returns the exit status (-1: did not end within 10 s).
  int Stop(int Sig = SIGTERM);
  guitest::TChild& Child() { return FChild; }

 private:
  std::string FDir, FBinary;
  bool FMounted = false;
  guitest::TChild FChild;
};

// A UDP socket the program holds, as the kernel lists it (in the program's
// own network namespace).
struct TUdpSocket {
  std::string Addr;
  uint16_t Port = 0;
  uint32_t RxQueue = 0;  // bytes waiting
  uint32_t Drops = 0;    // datagrams the kernel dropped for it
};
std::vector<TUdpSocket> UdpSockets(pid_t Pid);

using loopback::FreeUdpPort;
// Whether a UDP socket could be bound to 0.0.0.0:Port right now.
bool UdpPortFree(uint16_t Port);

// Sends datagrams to 127.0.0.1 from one socket.
class TSender {
 public:
  TSender();
  ~TSender();
  bool Send(uint16_t Port, const std::string& Bytes);
  // The port it sends from (0 before the first datagram).
  uint16_t LocalPort() const { return loopback::LocalPort(FFd); }

 private:
  int FFd;
};

// Holds a UDP port on 127.0.0.1 so that nobody else can bind it.
class TPortHolder {
 public:
  explicit TPortHolder(uint16_t Port);
  ~TPortHolder();
  bool Held() const { return FFd >= 0; }

 private:
  int FFd;
};

std::string Bytes(std::initializer_list<int> Values);
// How often Part occurs in Text.
size_t CountOf(const std::string& Text, const std::string& Part);

// A private JACK server with a receiving client "synth" whose two MIDI inputs
// "in_a" and "in_b" are the relay's devices 0 and 1.
class TRelayTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Waits until the relay's output is connected to input Index of synth.
  bool WaitConnected(int Index, int TimeoutMs = 10000);
  // Sends one datagram and expects exactly those bytes to arrive at synth.
  void ExpectRelayed(uint16_t Port, const std::string& Datagram, int Input = 0);
  // Plays notes and pedals that leave two notes held (channel 1 key 0x3C,
  // channel 2 key 0x40) and the pedal of channel 2 down, and waits until
  // input Input has heard them.
  void HoldNotes(uint16_t Port, int Input = 0);
  // Expects input Input to hear exactly the ends of what HoldNotes left, in
  // order: the note-offs, then the sustain-off; and no other input anything.
  void ExpectHeldNotesEnded(int Input = 0);

  testjack::TJackServer FServer;
  testjack::TMidiReceiver FSynth;
  TSender FSender;
};

}  // namespace relaytest
