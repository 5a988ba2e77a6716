// VORLANX: relays UDP datagrams of three bytes to a MIDI output as short messages.
//
// Start-up and shut-down keep a fixed order: the window is built (FormCreate)
// and shown, also after a failed start; at exit it is destroyed first, which
// saves the settings and releases the device and the socket, and only then are
// the MIDI registry and the socket library released.
//
// Without a window the program is a service: it says on standard error what it
// receives and plays, and that it stopped; a start that cannot receive ends it
// with status 1, since nobody could mend the address or port from a window.
// A service manager that asked to be told (systemd's Type=notify) hears that
// it is ready, what it does and counts, and that it stops; SIGUSR1 writes the
// counts as one line on standard error.
#include "app/ProcessSetup.h"
#include "app/ServiceReport.h"
#include "app/uEditor.h"
#include "midi/Midi.h"
#include "net/WSocket.h"
#include "rtl/StderrLine.h"
#include "ui/Forms.h"
#include "ui/TerminateSignal.h"

int main() {
  PrepareProcess();
  // The title follows the executable's name: up to its first ".", all but the
  // first character in lower case ("vorlanx" stays "vorlanx", VORLANX.EXE gives
  // "Vorlanx"). It titles the error box and the headless error lines.
  TApplication App;
  App.Initialize();
  App.CreateForm(PluginEditorWindow);
  int status = 0;
  const bool service = App.Headless();
  if (service && !PluginEditorWindow->Receiving()) {
    status = 1;  // the error line is out already
  } else {
    TPluginEditorWindow* relay = PluginEditorWindow;
    if (service) WriteStderrLine(relay->StatusText());
    TServiceReport report(relay->FCounts, [relay] { return relay->StatusText(); });
    relay->FServiceReport = &report;
    ui::SetReportRequestHandler([relay] { WriteStderrLine(relay->FCounts.Text()); });
    report.Ready();
    App.Run();
    report.Stopping();
    ui::SetReportRequestHandler(nullptr);
    relay->FServiceReport = nullptr;
  }
  App.DestroyForms();
  FinalizeMidiOutput();
  UnloadWinsock();
  if (App.DisplayLost()) {
    WriteStderrLine("the display went away; settings saved, stopped");
    status = 1;
  } else if (service && status == 0) {
    WriteStderrLine("stopped");
  }
  return status;
}
