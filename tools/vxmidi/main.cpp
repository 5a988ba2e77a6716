// vxmidi: the MIDI outputs as the relay sees them, and a test note on one, so
// a set-up can be checked without the window (before running the relay
// headless, for instance).
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "midi/Midi.h"
#include "tools/vxmidi/Devices.h"

namespace {

const char kHelp[] =
    "usage: vxmidi --list\n"
    "       vxmidi --play DEVICE\n"
    "\n"
    "  --list          print the MIDI outputs, one a line: the number the relay's menu\n"
    "                  and its MIDI-Out setting use, the name in the menu, the full name\n"
    "  --play DEVICE   play a short test note (middle C, channel 1) on DEVICE, given by\n"
    "                  its number or its name (full, or as in the menu)\n"
    "  -h, --help      show this text\n";

int Usage(const std::string& Problem) {
  std::fprintf(stderr, "vxmidi: %s\ntry vxmidi --help\n", Problem.c_str());
  return 2;
}

int Fail(const char* Text) {
  std::fprintf(stderr, "vxmidi: %s\n", Text);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) return Usage("say --list or --play DEVICE");
  const std::string& command = args[0];
  if (command == "-h" || command == "--help") {
    std::fputs(kHelp, stdout);
    return 0;
  }
  std::string device;
  if (command == "--list") {
    if (args.size() != 1) return Usage("--list takes nothing more");
  } else if (command == "--play") {
    if (args.size() != 2) return Usage("--play needs one DEVICE, a number or a name");
    device = args[1];
  } else if (command.rfind("--play=", 0) == 0) {
    if (args.size() != 1) return Usage("--play needs one DEVICE, a number or a name");
    device = command.substr(std::strlen("--play="));
  } else {
    return Usage("unknown option " + command);
  }

  int status = 0;
  try {
    if (command == "--list") {
      if (vxmidi::ListDevices() == 0) std::fprintf(stderr, "vxmidi: no MIDI outputs found\n");
    } else {
      const std::string name = vxmidi::PlayTestNote(vxmidi::FindDevice(device), 60, 300);
      std::printf("played a test note on %s\n", name.c_str());
    }
  } catch (const std::exception& E) {
    status = Fail(E.what());
  }
  std::fflush(stdout);
  FinalizeMidiOutput();
  return status;
}
