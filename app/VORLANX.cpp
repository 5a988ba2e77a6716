// VORLANX: relays UDP datagrams of three bytes to a MIDI output as short messages.
//
// Start-up and shut-down keep a fixed order: the window is built (FormCreate)
// and shown, also after a failed start; at exit it is destroyed first, which
// saves the settings and releases the device and the socket, and only then are
// the MIDI registry and the socket library released.
#include <string>

#include "app/uEditor.h"
#include "midi/Midi.h"
#include "net/WSocket.h"
#include "ui/Forms.h"

int main() {
  TApplication App;
  // The title is the executable's name up to its first ".", the rest of it in
  // lower case; Linux names programs in lower case, so its first letter is
  // made a capital, as the program's name is written: "vorlanx" gives "Vorlanx".
  std::string title = App.Title();
  if (!title.empty() && title[0] >= 'a' && title[0] <= 'z') title[0] = static_cast<char>(title[0] - 'a' + 'A');
  App.SetTitle(title);
  App.Initialize();
  App.CreateForm(PluginEditorWindow);
  App.Run();
  App.DestroyForms();
  FinalizeMidiOutput();
  UnloadWinsock();
  return 0;
}
