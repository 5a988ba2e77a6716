// VORLANX: relays UDP datagrams of three bytes to a MIDI output as short messages.
//
// Start-up and shut-down keep a fixed order: the window is built (FormCreate)
// and shown, also after a failed start; at exit it is destroyed first, which
// saves the settings and releases the device and the socket, and only then are
// the MIDI registry and the socket library released.
#include "app/uEditor.h"
#include "midi/Midi.h"
#include "net/WSocket.h"
#include "ui/Forms.h"

int main() {
  // The title follows the executable's name: up to its first ".", all but the
  // first character in lower case ("vorlanx" stays "vorlanx", VORLANX.EXE gives
  // "Vorlanx"). It titles the error box and the headless error lines.
  TApplication App;
  App.Initialize();
  App.CreateForm(PluginEditorWindow);
  App.Run();
  App.DestroyForms();
  FinalizeMidiOutput();
  UnloadWinsock();
  return 0;
}
