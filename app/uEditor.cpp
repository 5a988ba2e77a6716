#include "app/uEditor.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>

#include "app/DeviceWatch.h"
#include "app/ServiceReport.h"
#include "app/uEditorLayout.h"
#include "app/uEditorSettings.h"
#include "midi/Midi.h"
#include "rtl/SysUtils.h"
#include "ui/Dialogs.h"
#include "ui/Layout.h"

TPluginEditorWindow* PluginEditorWindow = nullptr;
win32::HHOOK KeyboardHook = nullptr;

win32::LRESULT KeyboardHookProc(int, win32::WPARAM, win32::LPARAM) { return 0; }

namespace {

// The input dialog with this thread's keyboard hook around it; the hook is gone
// before the answer is used, whatever happens in the dialog.
std::string AskWithHook(const std::string& Caption, const std::string& Prompt,
                        const std::string& Current) {
  KeyboardHook =
      win32::SetWindowsHookExA(win32::WH_KEYBOARD, KeyboardHookProc,
                               win32::GetModuleHandleA(nullptr), win32::GetCurrentThreadId());
  struct TUnhook {
    ~TUnhook() {
      win32::UnhookWindowsHookEx(KeyboardHook);
      KeyboardHook = nullptr;
    }
  } unhook;
  return InputBox(Caption, Prompt, Current);
}

}  // namespace

bool IsMulticastAddress(const std::string& Address) {
  if (!IsDottedAddress(Address)) return false;
  const uint32_t first = static_cast<uint32_t>(winsock::ntohl(WSocketResolveHost(Address))) >> 24;
  return first >= 224 && first <= 239;
}

TPluginEditorWindow::TPluginEditorWindow(TComponent* AOwner) : TForm(AOwner) {
  using Handler = void (TPluginEditorWindow::*)(TObject*, TMouseButton, TShiftState, int, int);
  auto bind = [this](Handler h) -> TMouseEvent {
    return [this, h](TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y) {
      (this->*h)(Sender, Button, Shift, X, Y);
    };
  };
  BuildPluginEditorLayout(this, {{"ipMouseUp", bind(&TPluginEditorWindow::ipMouseUp)},
                                 {"portMouseUp", bind(&TPluginEditorWindow::portMouseUp)},
                                 {"midioutMouseUp", bind(&TPluginEditorWindow::midioutMouseUp)}});
  Panel2 = LayoutComponent<TPanel>(this, "Panel2");
  Label4 = LayoutComponent<TLabel>(this, "Label4");
  Panel1 = LayoutComponent<TPanel>(this, "Panel1");
  Panel3 = LayoutComponent<TPanel>(this, "Panel3");
  title2 = LayoutComponent<TLabel>(this, "title2");
  title1 = LayoutComponent<TLabel>(this, "title1");
  port = LayoutComponent<TLabel>(this, "port");
  Label1 = LayoutComponent<TLabel>(this, "Label1");
  Label2 = LayoutComponent<TLabel>(this, "Label2");
  ip = LayoutComponent<TLabel>(this, "ip");
  pop = LayoutComponent<TPopupMenu>(this, "pop");
  midiout = LayoutComponent<TLabel>(this, "midiout");
  l_port = LayoutComponent<TLabel>(this, "l_port");
  // Device names are shown exactly as the registry reports them.
  pop->SetAutoHotkeys(maManual);
  OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
  OnDestroy = [this](TObject* Sender) { FormDestroy(Sender); };
}

TPluginEditorWindow::~TPluginEditorWindow() {
  // FormDestroy needs the fields of this class, so it runs before they go.
  BeforeDestruction();
  delete FWatch;
  delete FSocket;
  if (PluginEditorWindow == this) PluginEditorWindow = nullptr;
}

void TPluginEditorWindow::FormCreate(TObject*) {
  FSocket = new TWSocket(nullptr);
  FSocket->OnDataAvailable = [this](TObject* Sender, uint16_t Error) {
    SocketDataAvailable(Sender, Error);
  };
  FDeviceIndex = 0;
  // Before the devices are listed: a device that comes meanwhile is not missed.
  FWatch = new TDeviceWatch([this] { DevicesChanged(); });

  BuildDeviceMenu();

  FSettingsFile = SettingsFileName();
  const std::string& file = FSettingsFile;
  SetTop(settings::ReadInteger(file, "Window", "Top", Top()));
  SetLeft(settings::ReadInteger(file, "Window", "Left", Left()));
  // A size below the layout's (0 and negative too) would make the window too
  // small to see or use: the layout's size instead, which is then saved.
  SetWidth(std::max(settings::ReadInteger(file, "Window", "Width", Width()), Width()));
  SetHeight(std::max(settings::ReadInteger(file, "Window", "Height", Height()), Height()));
  ip->SetCaption(settings::ReadString(file, "Data", "Adress", "0.0.0.0"));
  port->SetCaption(settings::ReadString(file, "Data", "Port", "55555"));
  FDeviceIndex = settings::ReadInteger(file, "Data", "MIDI-Out", 0);
  // The name finds the device wherever it stands in today's list.
  FDeviceName = settings::ReadString(file, "Data", "MIDI-Out-Name", "");
  const int named = DeviceByName(FDeviceName);
  if (named >= 0) FDeviceIndex = named;
  // No output at all, or not the one named: the relay waits for it (the
  // start line says so), rather than play on another.
  FOutputLost = pop->Items()->Count() == 0 || (!FDeviceName.empty() && named < 0);

  // A failed bind still selects the stored device, so that the window shows the
  // device that datagrams go to once a later re-binding succeeds.
  try {
    SetReceiveAddress(ip->Caption());
  } catch (...) {
    SelectStoredDevice();
    throw;
  }
  SelectStoredDevice();
}

void TPluginEditorWindow::FormDestroy(TObject*) {
  // Nothing was read when start-up stopped before the path was known: keep the
  // file as it is rather than overwrite it with the layout's values.
  std::exception_ptr saveError;
  if (!FSettingsFile.empty()) {
    try {
      SaveSettings();
    } catch (...) {
      saveError = std::current_exception();
    }
  }
  // The device and the socket are released even when saving failed: closing
  // the device ends the notes it holds and plays what is still queued.
  delete FWatch;
  FWatch = nullptr;
  try {
    MidiOutput()->CloseDevice(FDeviceIndex);
  } catch (const std::exception&) {
  }
  if (FSocket) {
    std::unique_ptr<TWSocket> socket(FSocket);
    FSocket = nullptr;
    socket->Close();
  }
  if (saveError) std::rethrow_exception(saveError);
}

void TPluginEditorWindow::SaveSettings() {
  const std::string& file = FSettingsFile;
  settings::WriteInteger(file, "Window", "Top", Top());
  settings::WriteInteger(file, "Window", "Left", Left());
  settings::WriteInteger(file, "Window", "Width", Width());
  settings::WriteInteger(file, "Window", "Height", Height());
  settings::WriteString(file, "Data", "Adress", ip->Caption());
  settings::WriteString(file, "Data", "Port", port->Caption());
  settings::WriteInteger(file, "Data", "MIDI-Out", FDeviceIndex);
  if (!FDeviceName.empty()) settings::WriteString(file, "Data", "MIDI-Out-Name", FDeviceName);
}

void TPluginEditorWindow::SetReceiveAddress(const std::string& Address) {
  uint32_t addr = WSocketResolveHost(Address);
  uint8_t b[4];
  std::memcpy(b, &addr, sizeof b);  // network order: first byte first
  ip->SetCaption(Format("%u.%u.%u.%u", b[0], b[1], b[2], b[3]));
  Rebind();
}

void TPluginEditorWindow::SetLocalPort(int32_t Port) {
  if (Port < 1024)
    Port = 1024;
  else if (Port > 65535)
    Port = 65535;
  port->SetCaption(IntToStr(Port));
  Rebind();
}

void TPluginEditorWindow::Rebind() {
  FSocket->Close();
  FSocket->SetProto("udp");
  // A group address: the socket takes the port on every address and joins the
  // group on the default interface, sharing the port with the group's other
  // receivers on this machine (a sender such as qmidinet listens on it too).
  const bool group = IsMulticastAddress(ip->Caption());
  FSocket->SetMultiCast(group);
  FSocket->SetMultiCastAddrStr(group ? ip->Caption() : std::string());
  FSocket->SetReuseAddr(group);
  FSocket->SetAddr(group ? std::string("0.0.0.0") : ip->Caption());
  FSocket->SetPort(port->Caption());
  FSocket->Listen();
  EnlargeReceiveBuffer();
}

// Notes come in bursts (a sequencer starting, a chord of many voices) while
// the loop may be busy for a moment; what the kernel cannot queue is lost. The
// default buffer holds about 250 datagrams (the kernel charges some 800 bytes
// for each); this one holds about 20,000. Where the system grants less, the
// relay works with what it gets.
void TPluginEditorWindow::EnlargeReceiveBuffer() {
  if (FSocket->State() != wsConnected) return;
  const int32_t size = ReceiveBufferBytes;
  WSocket_setsockopt(FSocket->SocketHandle, winsock::SOL_SOCKET, winsock::SO_RCVBUF,
                     reinterpret_cast<const char*>(&size), sizeof size);
}

// The per-datagram path: one read, two tests, one short message, a few
// counts. A buffer of four bytes tells a datagram of three from a longer one
// (which Winsock reports as too long for it, and drops).
void TPluginEditorWindow::SocketDataAvailable(TObject*, uint16_t) {
  char data[4];
  winsock::sockaddr_in from = {};
  int32_t fromLength = sizeof from;
  const int32_t n = FSocket->ReceiveFrom(data, sizeof data, from, fromLength);
  if (n < 0 && FSocket->LastError() != winsock::WSAEMSGSIZE) return;  // nothing was there
  ++FCounts.Received;
  FCounts.SenderAddr = from.sin_addr.s_addr;
  FCounts.SenderPort = from.sin_port;
  if (n != 3) {
    ++FCounts.DroppedForLength;
  } else if (static_cast<uint8_t>(data[0]) == 0xFE) {
    ++FCounts.DroppedForFE;
  } else {
    bool played = false;
    try {
      played = PlayDatagram(std::string(data, 3));
    } catch (...) {
      ++FCounts.DroppedNoOutput;
      throw;
    }
    ++(played ? FCounts.Played : FCounts.DroppedNoOutput);
  }
  if (FServiceReport) FServiceReport->CountsChanged();
}

bool TPluginEditorWindow::Receiving() const { return FSocket && FSocket->State() == wsConnected; }

std::string TPluginEditorWindow::StatusText() const {
  // The port the socket holds: a text above 65535 wraps and 0 lets the system
  // choose, so the caption alone would not say where datagrams go.
  if (!Receiving()) return "not receiving on " + ip->Caption() + ":" + port->Caption();
  std::string text = "receiving on " + ip->Caption() + ":" + FSocket->BoundPortText();
  if (pop->Items()->Count() == 0) return text + ", no MIDI output found";
  if ((FOutputLost || FDestinationLost) && !FDeviceName.empty())
    return text + ", waiting for " + FDeviceName;
  return text + ", playing on " + midiout->Caption();
}

std::string TPluginEditorWindow::SettingsFileName() {
  char path[1501] = {0};
  win32::GetModuleFileNameA(nullptr, path, sizeof path);
  return settings::PathFor(std::string(path, ::strnlen(path, sizeof path - 1)));
}

void TPluginEditorWindow::ipMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
  SetReceiveAddress(
      AskWithHook("New receive IP adress", "(use \"0.0.0.0\" for any)", ip->Caption()));
}

void TPluginEditorWindow::portMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
  std::string text = AskWithHook("New local port", "1024..65535", port->Caption());
  SetLocalPort(StrToInt(text));
}

void TPluginEditorWindow::midioutMouseUp(TObject*, TMouseButton, TShiftState, int, int) {
  TPoint p = Mouse->CursorPos();
  pop->Popup(p.x, p.y);
}
