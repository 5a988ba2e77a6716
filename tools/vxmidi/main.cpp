// vxmidi: the MIDI outputs as the relay sees them, and a test note on one, so
// a set-up can be checked without the window (before running the relay
// headless, for instance).
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "midi/Midi.h"
#include "rtl/SysUtils.h"
#include "tools/vxmidi/Devices.h"

namespace {

const char kHelp[] =
    "usage: vxmidi --list\n"
    "       vxmidi --play DEVICE [--hold MS]\n"
    "\n"
    "  --list          print the MIDI outputs, one a line: the number the relay's menu\n"
    "                  and its MIDI-Out setting use, the name in the menu, the full name\n"
    "  --play DEVICE   play a short test note (middle C, channel 1) on DEVICE, given by\n"
    "                  its number or its name (full, or as in the menu)\n"
    "  --hold MS       how long the test note sounds, 1 to 60000 ms (default 300)\n"
    "  -h, --help      show this text\n"
    "\n"
    "Ctrl+C while the note sounds ends it early: the note is stopped and the device\n"
    "closed, and the exit status is 130.\n";

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
  size_t next = 1;  // the first argument after the command and its device
  if (command == "--list") {
    if (args.size() != 1) return Usage("--list takes nothing more");
  } else if (command == "--play") {
    if (args.size() < 2 || args[1].rfind("--hold", 0) == 0)
      return Usage("--play needs one DEVICE, a number or a name");
    device = args[1];
    next = 2;
  } else if (command.rfind("--play=", 0) == 0) {
    device = command.substr(std::strlen("--play="));
  } else {
    return Usage("unknown option " + command);
  }
  int32_t holdMs = 300;
  if (next < args.size()) {
    std::string hold;
    if (args[next] == "--hold" && next + 2 == args.size()) {
      hold = args[next + 1];
    } else if (args[next].rfind("--hold=", 0) == 0 && next + 1 == args.size()) {
      hold = args[next].substr(std::strlen("--hold="));
    } else {
      return Usage("--play needs one DEVICE, a number or a name, and may take --hold MS");
    }
    if (!TryStrToInt(hold, holdMs) || holdMs < 1 || holdMs > 60000)
      return Usage("--hold takes 1 to 60000 milliseconds, not " + hold);
  }

  int status = 0;
  try {
    if (command == "--list") {
      if (vxmidi::ListDevices() == 0) std::fprintf(stderr, "vxmidi: no MIDI outputs found\n");
    } else {
      bool interrupted = false;
      const std::string name = vxmidi::PlayTestNote(vxmidi::FindDevice(device), 60,
                                                    static_cast<unsigned>(holdMs), interrupted);
      if (interrupted) {
        std::fprintf(stderr, "vxmidi: interrupted; the note on %s was ended\n", name.c_str());
        status = 130;
      } else {
        std::printf("played a test note on %s\n", name.c_str());
      }
    }
  } catch (const std::exception& E) {
    status = Fail(E.what());
  }
  std::fflush(stdout);
  FinalizeMidiOutput();
  return status;
}
