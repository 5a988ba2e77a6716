// The relay window: receives UDP datagrams on the shown address and port and
// plays each one of exactly three bytes (first byte not 0xFE) as a MIDI short
// message on the chosen output device. Keeps its settings in a file beside the
// executable.
#pragma once

#include <cstdint>
#include <string>

#include "app/RelayCounts.h"
#include "net/WSocket.h"
#include "platform/win32/win32.h"
#include "ui/ExtCtrls.h"
#include "ui/Forms.h"
#include "ui/Menus.h"
#include "ui/StdCtrls.h"

class TDeviceWatch;
class TServiceReport;

class TPluginEditorWindow : public TForm {
 public:
  // Device menu slots recorded at start-up.
  static constexpr int DeviceSlots = 33;
  // Asked of the kernel for the receiving socket (it doubles the figure for
  // its own bookkeeping).
  static constexpr int32_t ReceiveBufferBytes = 8 << 20;

  explicit TPluginEditorWindow(TComponent* AOwner);
  ~TPluginEditorWindow() override;

  // Components of the layout, in declaration order.
  TPanel* Panel2;
  TLabel* Label4;
  TPanel* Panel1;
  TPanel* Panel3;
  TLabel* title2;
  TLabel* title1;
  TLabel* port;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* ip;
  TPopupMenu* pop;
  TLabel* midiout;
  TLabel* l_port;

  void FormCreate(TObject* Sender);
  void FormDestroy(TObject* Sender);
  // Resolves the text, shows its dotted form in ip and re-binds.
  void SetReceiveAddress(const std::string& Address);
  // Clamps to 1024..65535, shows it in port and re-binds.
  void SetLocalPort(int32_t Port);
  void DeviceItemClick(TObject* Sender);
  void SocketDataAvailable(TObject* Sender, uint16_t Error);
  std::string SettingsFileName();
  // True while the socket receives; a failed start leaves it closed.
  bool Receiving() const;
  // What the relay does, for the service's log: "receiving on 0.0.0.0:55555,
  // playing on synth:in" (or that no MIDI output was found, or "waiting for
  // synth:in" while the device named is not there), with the port the socket
  // holds.
  std::string StatusText() const;

  void ipMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void portMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void midioutMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);

  TWSocket* FSocket = nullptr;
  int32_t FDeviceIndex = 0;
  TMenuItem* FDeviceItems[DeviceSlots] = {};
  std::string FSettingsFile;
  // The selected device's name, kept beside its index in the settings file so
  // that the device is found again when the devices come in another order or
  // come back after their server restarted.
  std::string FDeviceName;
  // What became of the datagrams received; told to the service report (when
  // there is one) after each.
  TRelayCounts FCounts;
  TServiceReport* FServiceReport = nullptr;

 private:
  void Rebind();
  void EnlargeReceiveBuffer();
  void SelectStoredDevice();
  // Device menu and output recovery (uEditorDevices.cpp).
  void BuildDeviceMenu();
  int DeviceByName(const std::string& Name) const;
  void ShowDeviceName(const std::string& Name);
  void ShowAwaitedDevice();
  // False when the message was dropped because no output could be reached.
  bool PlayDatagram(const std::string& Data);
  bool OutputGone() const;
  void SayOutputLost();
  bool ReopenOutput();
  bool LookForOutput();
  // For an arriving datagram: true at most once a second.
  bool LookNow();
  // The MIDI service said that destinations came or went.
  void DevicesChanged();
  void NoteDestination(uint32_t Result, uint32_t Losses);
  // Not playing: no device open, or not the one named in the settings (its
  // server went away, or it was not there at start). Datagrams and the
  // service's notifications look for it by name.
  bool FOutputLost = false;
  bool FReopenTried = false;
  uint32_t FLastReopen = 0;  // tick count of the last look
  // The open device's destination went away while its server stayed; the
  // service's notifications bring it back.
  bool FDestinationLost = false;
  uint32_t FLossesSeen = 0;
  TDeviceWatch* FWatch = nullptr;
  void SaveSettings();
};

extern TPluginEditorWindow* PluginEditorWindow;

// True for a dotted address of a multicast group (224.0.0.0 to 239.255.255.255).
bool IsMulticastAddress(const std::string& Address);

// Installed around each input dialog: lets every keystroke through to the
// dialog and does not call on, so hooks installed before it never see them.
extern win32::HHOOK KeyboardHook;
win32::LRESULT KeyboardHookProc(int Code, win32::WPARAM Key, win32::LPARAM Flags);
