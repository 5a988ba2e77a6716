// The socket object's life: construction and destruction, the hidden window and
// its message dispatch, defaults, property setters, state, events and pumps.
#include "net/WSocket.h"

#include "net/WSocketUnit.h"
#include "rtl/Application.h"
#include "rtl/SysUtils.h"

// ---- Alive guard ---------------------------------------------------------------
TCustomWSocket::TAliveGuard::TAliveGuard(TCustomWSocket* Socket)
    : FSocket(Socket), FPrev(Socket->FGuards) {
  Socket->FGuards = this;
}

TCustomWSocket::TAliveGuard::~TAliveGuard() {
  if (!FDestroyed) FSocket->FGuards = FPrev;
}

// ---- Construction and destruction ----------------------------------------------
TCustomWSocket::TCustomWSocket(TComponent* AOwner) : TComponent(AOwner) {
  CreateHiddenWindow();
  SendBlockSize = 1460;
  FMultiCastIpTTL = 1;
  ResetToDefaults();
  WSocketCountObject(+1);
}

TCustomWSocket::~TCustomWSocket() {
  Destroying();
  try {
    StopDnsLookup();
  } catch (...) {
  }
  if (FState != wsClosed) {
    try {
      Close();  // the being-destroyed mark keeps OnSessionClosed quiet
    } catch (...) {
    }
  }
  if (SocketHandle != winsock::INVALID_SOCKET) {
    // A handle left behind by a failed step must not leak with the object.
    try {
      WSocket_closesocket(SocketHandle);
    } catch (...) {
    }
    SocketHandle = winsock::INVALID_SOCKET;
  }
  if (WSocketCountObject(-1) <= 0) UnloadWinsock();
  DiscardSendQueue();
  DestroyHiddenWindow();
  if (LiveSocketCount() <= 0)
    win32::UnregisterClassA(SOCKET_WINDOW_CLASS, win32::GetModuleHandleA(nullptr));
  // Frames still running on this object (a handler destroyed it) must not touch it.
  for (TAliveGuard* g = FGuards; g; g = g->FPrev) g->FDestroyed = true;
}

// ---- Hidden window --------------------------------------------------------------
void TCustomWSocket::CreateHiddenWindow() {
  win32::HINSTANCE instance = win32::GetModuleHandleA(nullptr);
  win32::WNDCLASSA wc = {};
  bool registered = win32::GetClassInfoA(instance, SOCKET_WINDOW_CLASS, &wc) != 0;
  if (!registered) {
    wc = {};
    wc.lpfnWndProc = SocketWindowProc;
    wc.cbWndExtra = sizeof(win32::LONG_PTR);
    wc.hInstance = instance;
    wc.lpszClassName = SOCKET_WINDOW_CLASS;
    registered = win32::RegisterClassA(&wc) != 0;
  }
  win32::HWND window = nullptr;
  if (registered)
    window =
        win32::CreateWindowExA(win32::WS_EX_TOOLWINDOW, SOCKET_WINDOW_CLASS, "", win32::WS_POPUP, 0,
                               0, 0, 0, nullptr, nullptr, instance, nullptr);
  // The window is this object's alone: it holds the object itself, so a
  // message reaches it without a type check.
  if (window) win32::SetWindowLongPtrA(window, 0, reinterpret_cast<win32::LONG_PTR>(this));
  HiddenWindow = window;
  if (!window) RaiseOrReport("Cannot create a hidden window for TWSocket");
}

void TCustomWSocket::DestroyHiddenWindow() {
  if (!HiddenWindow) return;
  // Messages still queued for the window then find no object.
  win32::SetWindowLongPtrA(HiddenWindow, 0, 0);
  if (win32::DestroyWindow(HiddenWindow)) HiddenWindow = nullptr;
}

win32::LRESULT SocketWindowProc(win32::HWND HWindow, win32::UINT Msg, win32::WPARAM WParam,
                                win32::LPARAM LParam) {
  auto* socket = reinterpret_cast<TCustomWSocket*>(win32::GetWindowLongPtrA(HWindow, 0));
  if (!socket) return win32::DefWindowProcA(HWindow, Msg, WParam, LParam);
  TWSocketMessage message = {Msg, WParam, LParam, 0};
  socket->HandleWindowMessage(message);
  return message.Result;
}

void TCustomWSocket::HandleWindowMessage(TWSocketMessage& Msg) {
  TAliveGuard guard(this);
  try {
    switch (Msg.Msg) {
      case WM_SOCKET_EVENT:
        HandleSocketEvent(Msg);
        break;
      case WM_SOCKET_HOSTBYNAME_DONE:
        HandleHostByNameDone(Msg);
        break;
      case WM_SOCKET_HOSTBYADDR_DONE:
        HandleHostByAddrDone(Msg);
        break;
      case WM_SOCKET_CLOSE_LATER:
        Close();
        break;
      case WM_SOCKET_FREE_LATER:
        delete this;
        return;
      case WM_SOCKET_TEST_EXCEPTION:
        throw ESocketException("Test exception in WSocket");
      default:
        Msg.Result = win32::DefWindowProcA(HiddenWindow, Msg.Msg, Msg.WParam, Msg.LParam);
    }
  } catch (Exception& E) {
    if (guard.Destroyed()) return;  // the handler that raised it destroyed the object
    HandleEventException(E);
  }
}

// ---- Defaults and properties -------------------------------------------------------
void TCustomWSocket::ResetToDefaults() {
  SocketHandle = winsock::INVALID_SOCKET;
  AddrResolved = false;
  AddrFamily = winsock::AF_INET;
  AddrAssigned = false;
  ProtoNumber = winsock::IPPROTO_TCP;
  ProtoAssigned = true;
  ProtoResolved = false;
  LocalPortResolved = false;
  FProto = "tcp";
  PortAssigned = false;
  PortResolved = false;
  FLocalPort = "0";
  FLocalAddr = "0.0.0.0";
  SocketType = winsock::SOCK_STREAM;
  FLingerOnOff = wsLingerOn;
  FLingerTimeout = 0;
  SendQueueDrained = true;
  FReadCount = 0;
  Paused = false;
  CloseNotified = false;
  FFlushTimeout = 60;
  FState = wsClosed;
  SelectEvents = 0;
  SockAddr = {};
  SockAddr.sin_family = winsock::AF_INET;
}

// The shared rule of Proto, Port and Addr: the same text is no change in any
// state; another text needs a closed socket; an empty text unassigns.
static bool AssignTextProperty(TCustomWSocket* Socket, const std::string& value, std::string& Text,
                               bool& Assigned, bool& Resolved, const char* ClosedMsg) {
  if (Assigned && value == Text) return false;
  if (Socket->State() != wsClosed) {
    Socket->RaiseOrReport(ClosedMsg);
    return false;
  }
  Text = Trim(value);
  if (Text.empty()) {
    Assigned = false;
  } else {
    Resolved = false;
    Assigned = true;
  }
  return true;
}

void TCustomWSocket::SetProto(const std::string& value) {
  AssignTextProperty(this, value, FProto, ProtoAssigned, ProtoResolved,
                     "Cannot change Proto if not closed");
}

void TCustomWSocket::SetPort(const std::string& value) {
  AssignTextProperty(this, value, FPort, PortAssigned, PortResolved,
                     "Cannot change Port if not closed");
}

void TCustomWSocket::SetAddr(const std::string& value) {
  AssignTextProperty(this, value, FAddr, AddrAssigned, AddrResolved,
                     "Cannot change Addr if not closed");
}

void TCustomWSocket::SetLocalPort(const std::string& value) {
  if (FState != wsClosed) {
    RaiseOrReport("Cannot change LocalPort if not closed");
    return;
  }
  FLocalPort = value;
  LocalPortResolved = false;
}

void TCustomWSocket::SetLocalAddr(const std::string& value) {
  if (FState != wsClosed) {
    RaiseOrReport("Cannot change LocalAddr if not closed");
    return;
  }
  FLocalAddr = value.empty() ? "0.0.0.0" : value;
}

void TCustomWSocket::SetState(TSocketState NewState) {
  TSocketState old = FState;
  FState = NewState;
  FireChangeState(old, NewState);
}

// ---- Events ------------------------------------------------------------------------
bool TCustomWSocket::FireDataAvailable(uint16_t Error) {
  if (!OnDataAvailable) return false;
  OnDataAvailable(this, Error);
  return true;
}

void TCustomWSocket::FireSessionAvailable(uint16_t Error) {
  if (OnSessionAvailable) OnSessionAvailable(this, Error);
}

void TCustomWSocket::FireSessionConnected(uint16_t Error) {
  if (OnSessionConnected) OnSessionConnected(this, Error);
}

void TCustomWSocket::FireSessionClosed(uint16_t Error) {
  if (OnSessionClosed) OnSessionClosed(this, Error);
}

void TCustomWSocket::FireDataSent(uint16_t Error) {
  if (OnDataSent) OnDataSent(this, Error);
}

void TCustomWSocket::FireChangeState(TSocketState OldState, TSocketState NewState) {
  if (OnChangeState) OnChangeState(this, OldState, NewState);
}

void TCustomWSocket::FireDnsLookupDone(uint16_t Error) {
  if (OnDnsLookupDone) OnDnsLookupDone(this, Error);
}

void TCustomWSocket::FireError() {
  if (OnError) OnError(this);
}

// ---- Message pumps -------------------------------------------------------------------
void TCustomWSocket::PumpMessages() {
  if (FMultiThreaded)
    PumpThreadMessages();
  else if (Application)
    Application->ProcessMessages();
}

void TCustomWSocket::PumpThreadMessages() {
  TAliveGuard guard(this);
  while (PumpOneMessage())
    if (guard.Destroyed()) return;
}

bool TCustomWSocket::PumpOneMessage() {
  win32::MSG msg;
  if (!win32::PeekMessageA(&msg, nullptr, 0, 0, win32::PM_REMOVE)) return false;
  if (msg.message == win32::WM_QUIT) {
    QuitReceived = true;
  } else {
    win32::TranslateMessage(&msg);
    win32::DispatchMessageA(&msg);
  }
  return true;
}

void TCustomWSocket::CloseLater() {
  win32::PostMessageA(HiddenWindow, WM_SOCKET_CLOSE_LATER, 0, 0);
}

void TCustomWSocket::FreeLater() { win32::PostMessageA(HiddenWindow, WM_SOCKET_FREE_LATER, 0, 0); }
