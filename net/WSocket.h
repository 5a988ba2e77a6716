// The socket unit: an asynchronous, window-message-driven socket object that
// never blocks and needs no thread of its own, the run-time binding of the
// Winsock library, the resolvers and the error texts.
//
// Files that include this header must not include <sys/socket.h> and friends
// (see platform/winsock/winsock.h).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>

#include "net/LineSplitter.h"
#include "net/SocksWire.h"
#include "net/WSockBuf.h"
#include "platform/win32/win32.h"
#include "platform/winsock/winsock.h"
#include "rtl/Object.h"
#include "rtl/StringList.h"

// After <windows.h> these are macros (SetPort is the printer API's); the
// declarations below keep their own names. A caller that includes <windows.h>
// itself calls SetPort after #undef SetPort.
#pragma push_macro("WM_USER")
#pragma push_macro("INVALID_SOCKET")
#pragma push_macro("SetPort")
#undef WM_USER
#undef INVALID_SOCKET
#undef SetPort

// ---- Hidden-window messages --------------------------------------------------
constexpr win32::UINT WM_SOCKET_EVENT = win32::WM_USER + 1;            // 0x0401
constexpr win32::UINT WM_SOCKET_HOSTBYNAME_DONE = win32::WM_USER + 2;  // 0x0402
constexpr win32::UINT WM_SOCKET_HOSTBYADDR_DONE = win32::WM_USER + 3;  // 0x0403
constexpr win32::UINT WM_SOCKET_CLOSE_LATER = win32::WM_USER + 4;      // 0x0404
constexpr win32::UINT WM_SOCKET_FREE_LATER = win32::WM_USER + 5;       // 0x0405
constexpr win32::UINT WM_SOCKET_TEST_EXCEPTION = win32::WM_USER + 6;   // 0x0406
constexpr win32::UINT WM_SOCKET_LINE_DATA = win32::WM_USER + 20;       // 0x0414
// The SOCKS negotiation's time limit: a timer of the socket's hidden window.
constexpr win32::UINT_PTR SOCKS_TIMER_ID = 1;

// The class of every hidden socket window.
constexpr const char* SOCKET_WINDOW_CLASS = "XSocketWindowClass";

// ---- Enumerations and sets ---------------------------------------------------
enum TSocketState : uint8_t {
  wsInvalidState,
  wsOpened,
  wsBound,
  wsConnecting,
  wsConnected,
  wsAccepting,
  wsListening,
  wsClosed
};

enum TWSocketOption : uint8_t { wsoNoReceiveLoop, wsoTcpNoDelay };

// Set of TWSocketOption: bit 0 = wsoNoReceiveLoop, bit 1 = wsoTcpNoDelay.
class TWSocketOptions {
 public:
  constexpr TWSocketOptions() = default;
  constexpr TWSocketOptions(std::initializer_list<TWSocketOption> options) {
    for (TWSocketOption o : options) FBits = static_cast<uint8_t>(FBits | Bit(o));
  }
  constexpr bool Contains(TWSocketOption o) const { return (FBits & Bit(o)) != 0; }
  constexpr TWSocketOptions operator+(TWSocketOption o) const {
    return FromBits(static_cast<uint8_t>(FBits | Bit(o)));
  }
  constexpr TWSocketOptions operator-(TWSocketOption o) const {
    return FromBits(static_cast<uint8_t>(FBits & ~Bit(o)));
  }
  constexpr bool operator==(const TWSocketOptions& other) const { return FBits == other.FBits; }
  constexpr bool operator!=(const TWSocketOptions& other) const { return FBits != other.FBits; }
  constexpr bool Empty() const { return FBits == 0; }
  constexpr uint8_t Bits() const { return FBits; }
  static constexpr TWSocketOptions FromBits(uint8_t bits) {
    TWSocketOptions s;
    s.FBits = bits;
    return s;
  }

 private:
  static constexpr uint8_t Bit(TWSocketOption o) { return static_cast<uint8_t>(1u << o); }
  uint8_t FBits = 0;
};

enum TSocketLingerOnOff : uint8_t { wsLingerOff, wsLingerOn, wsLingerNoSet };

enum TSocketSendFlags : uint8_t { wsSendNormal, wsSendUrgent };

enum TSocksPhase : uint8_t { spIdle, spGreeting, spAuthenticating, spRequesting };
enum TSocksAuthentication : uint8_t { socksNoAuthentication, socksAuthenticateUsercode };
enum TSocksAuthState : uint8_t {
  socksAuthBegun,
  socksAuthSucceeded,
  socksAuthFailed,
  socksAuthNotNeeded
};

// ---- The exception class -----------------------------------------------------
class ESocketException : public Exception {
 public:
  using Exception::Exception;
};

// ---- Event types -------------------------------------------------------------
using TNotifyEvent = std::function<void(TObject* Sender)>;
using TDataAvailable = std::function<void(TObject* Sender, uint16_t Error)>;
using TDataSent = std::function<void(TObject* Sender, uint16_t Error)>;
using TSessionClosed = std::function<void(TObject* Sender, uint16_t Error)>;
using TSessionAvailable = std::function<void(TObject* Sender, uint16_t Error)>;
using TSessionConnected = std::function<void(TObject* Sender, uint16_t Error)>;
using TDnsLookupDone = std::function<void(TObject* Sender, uint16_t Error)>;
using TSendData = std::function<void(TObject* Sender, int32_t BytesSent)>;
using TChangeState =
    std::function<void(TObject* Sender, TSocketState OldState, TSocketState NewState)>;
using TBgExceptionEvent = std::function<void(TObject* Sender, Exception& E, bool& CanClose)>;
using TSocksErrorEvent =
    std::function<void(TObject* Sender, int32_t Error, const std::string& Msg)>;
using TSocksAuthStateEvent = std::function<void(TObject* Sender, TSocksAuthState AuthState)>;
using TLineLimitEvent = std::function<void(TObject* Sender, int32_t RcvdLength, bool& ClearData)>;

// A window message as the hidden window's handler sees it.
struct TWSocketMessage {
  win32::UINT Msg;
  win32::WPARAM WParam;
  win32::LPARAM LParam;
  win32::LRESULT Result;
};

// ---- The socket object -------------------------------------------------------
class TCustomWSocket : public TComponent {
 public:
  explicit TCustomWSocket(TComponent* AOwner);
  ~TCustomWSocket() override;

  // Virtual operations, in slot order.
  virtual void HandleWindowMessage(TWSocketMessage& Msg);
  virtual void CreateHiddenWindow();
  virtual void DestroyHiddenWindow();
  virtual void ResetToDefaults();
  virtual void CloseSession(bool Shutdown, uint16_t Error);
  virtual void SetPort(const std::string& value);
  virtual void SetProto(const std::string& value);
  virtual int32_t RcvdCount();
  virtual void BindLocalAddress();
  virtual int32_t RawSend(const void* Data, int32_t Len);
  virtual void RaiseOrReportFmt(const char* Fmt, ...) __attribute__((format(printf, 2, 3)));
  virtual void RaiseOrReport(const std::string& Msg);
  virtual void HandleEventException(Exception& E);
  virtual bool FireDataAvailable(uint16_t Error);
  virtual void FireSessionAvailable(uint16_t Error);
  virtual void FireSessionConnected(uint16_t Error);
  virtual void FireSessionClosed(uint16_t Error);
  virtual void FireDataSent(uint16_t Error);
  virtual void FireChangeState(TSocketState OldState, TSocketState NewState);
  virtual void FireDnsLookupDone(uint16_t Error);
  virtual void FireError();
  virtual int32_t RawReceive(void* Buffer, int32_t Size, int32_t Flags);
  virtual int32_t RawReceiveFrom(winsock::SOCKET Handle, void* Buffer, int32_t Size, int32_t Flags,
                                 winsock::sockaddr_in& From, int32_t& FromLength);
  virtual void Connect();
  virtual void Close();
  virtual void CloseLater();
  virtual void FreeLater();
  virtual void Abort();
  virtual void FlushSendQueue();
  virtual void DrainUntilClosed();
  virtual void Listen();
  virtual winsock::SOCKET Accept();
  virtual int32_t Receive(void* Buffer, int32_t Size);
  virtual std::string ReceiveText();
  virtual int32_t ReceiveFrom(void* Buffer, int32_t Size, winsock::sockaddr_in& From,
                              int32_t& FromLength);
  virtual int32_t Send(const void* Data, int32_t Len);
  virtual int32_t SendToAddress(const winsock::sockaddr_in& Dest, int32_t DestLen, const void* Data,
                                int32_t Len);
  virtual int32_t SendText(const std::string& Str);
  virtual void DnsLookup(const std::string& HostName);
  virtual void ReverseDnsLookup(const std::string& HostAddr);
  virtual void StopDnsLookup();
  virtual std::string PeerAddr();
  virtual std::string PeerPort();
  virtual int32_t GetPeerName(winsock::sockaddr_in& Name, int32_t NameLen);
  virtual std::string BoundPortText();
  virtual std::string BoundAddrText();
  virtual int32_t GetLocalSockAddr(winsock::sockaddr_in& Name, int32_t& NameLen);
  virtual void Dup(winsock::SOCKET NewHandle);
  virtual void ShutdownSocket(int32_t How);
  virtual void SuspendEvents();
  virtual void ResumeEvents();
  virtual void PumpMessages();

  // Non-virtual operations.
  void SetState(TSocketState NewState);
  void RaiseSocketError(const std::string& FuncName);
  void HandleSocketEvent(TWSocketMessage& Msg);
  void DeliverReceivedData(uint16_t Error, TWSocketOptions Options);
  void PumpThreadMessages();
  bool PumpOneMessage();
  // Sending (send queue).
  void TryToSend();
  void QueueSendData(const void* Data, int32_t Len);
  void DiscardSendQueue();
  void FireSendData(int32_t BytesSent);
  // Stream connections.
  void ApplyLinger();
  // Host lookups: completion handlers of the two lookup messages.
  void HandleHostByNameDone(TWSocketMessage& Msg);
  void HandleHostByAddrDone(TWSocketMessage& Msg);

  // Properties.
  const std::string& Addr() const { return FAddr; }
  void SetAddr(const std::string& value);
  const std::string& Port() const { return FPort; }
  const std::string& Proto() const { return FProto; }
  const std::string& LocalAddr() const { return FLocalAddr; }
  void SetLocalAddr(const std::string& value);
  const std::string& LocalPort() const { return FLocalPort; }
  void SetLocalPort(const std::string& value);
  const std::string& DnsResult() const { return FDnsResult; }
  TStringList* DnsResultList() { return &FDnsResultList; }
  TSocketState State() const { return FState; }
  int32_t ReadCount() const { return FReadCount; }
  int32_t LastError() const { return FLastError; }
  bool MultiThreaded() const { return FMultiThreaded; }
  void SetMultiThreaded(bool value) { FMultiThreaded = value; }
  bool MultiCast() const { return FMultiCast; }
  void SetMultiCast(bool value) { FMultiCast = value; }
  const std::string& MultiCastAddrStr() const { return FMultiCastAddrStr; }
  void SetMultiCastAddrStr(const std::string& value) { FMultiCastAddrStr = value; }
  int32_t MultiCastIpTTL() const { return FMultiCastIpTTL; }
  void SetMultiCastIpTTL(int32_t value) { FMultiCastIpTTL = value; }
  bool ReuseAddr() const { return FReuseAddr; }
  void SetReuseAddr(bool value) { FReuseAddr = value; }
  TWSocketOptions ComponentOptions() const { return FComponentOptions; }
  void SetComponentOptions(TWSocketOptions value) { FComponentOptions = value; }
  int32_t FlushTimeout() const { return FFlushTimeout; }
  void SetFlushTimeout(int32_t value) { FFlushTimeout = value; }
  TSocketSendFlags SendFlags();
  void SetSendFlags(TSocketSendFlags value);
  TSocketLingerOnOff LingerOnOff() const { return FLingerOnOff; }
  void SetLingerOnOff(TSocketLingerOnOff value) { FLingerOnOff = value; }
  int32_t LingerTimeout() const { return FLingerTimeout; }
  void SetLingerTimeout(int32_t value) { FLingerTimeout = value; }

  // Events, in declaration order. A handler that destroys its own object
  // destroys itself with it: it must not use its captures afterwards
  // (FreeLater avoids that).
  TSessionAvailable OnSessionAvailable;
  TSessionConnected OnSessionConnected;
  TSessionClosed OnSessionClosed;
  TChangeState OnChangeState;
  TDataAvailable OnDataAvailable;
  TDataSent OnDataSent;
  TSendData OnSendData;
  TDnsLookupDone OnDnsLookupDone;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

  // Fields, in declaration order.
  winsock::SOCKET LastAcceptedHandle = 0;
  std::deque<TBuffer*> SendQueue;  // owned blocks, sending order
  int32_t SendBlockSize = 1460;
  uint32_t SendFlagBits = 0;
  win32::HWND HiddenWindow = nullptr;
  alignas(winsock::hostent) char HostEntryBuffer[1025] = {};  // Winsock writes a host entry here
  winsock::HANDLE LookupHandle = 0;
  bool EarlyLookupDone = false;
  TWSocketMessage EarlyLookupMessage = {};
  winsock::SOCKET SocketHandle = winsock::INVALID_SOCKET;
  bool AddrResolved = false;
  // AF_INET and SOCK_STREAM, set by ResetToDefaults: the header names no socket
  // constant, which the C library defines as a macro when its headers come first.
  int32_t AddrFamily = 0;
  bool AddrAssigned = false;
  int32_t ProtoNumber = 6;
  bool ProtoAssigned = true;
  bool ProtoResolved = false;
  bool LocalPortResolved = false;
  bool PortAssigned = false;
  bool PortResolved = false;
  uint16_t PortNumber = 0;
  uint16_t LocalPortNumber = 0;
  int32_t SocketType = 0;  // see AddrFamily
  bool SendQueueDrained = true;
  bool Paused = false;
  bool CloseNotified = false;
  bool QuitReceived = false;
  uint32_t SelectEvents = 0;
  winsock::sockaddr_in SockAddr = {};

 protected:
  // Storage of the properties.
  int32_t FLastError = 0;
  std::string FDnsResult;
  TStringList FDnsResultList;
  std::string FAddr;
  std::string FProto = "tcp";
  std::string FPort;
  std::string FLocalPort = "0";
  std::string FLocalAddr = "0.0.0.0";
  TSocketLingerOnOff FLingerOnOff = wsLingerOn;
  int32_t FLingerTimeout = 0;
  int32_t FReadCount = 0;
  int32_t FFlushTimeout = 60;
  bool FMultiThreaded = false;
  bool FMultiCast = false;
  std::string FMultiCastAddrStr;
  int32_t FMultiCastIpTTL = 1;
  bool FReuseAddr = false;
  TWSocketOptions FComponentOptions;
  TSocketState FState = wsClosed;

 public:
  // Tells code that runs after an event handler whether the handler destroyed the
  // object. Frames that go on touching the object after firing an event hold one.
  class TAliveGuard {
   public:
    explicit TAliveGuard(TCustomWSocket* Socket);
    ~TAliveGuard();
    TAliveGuard(const TAliveGuard&) = delete;
    TAliveGuard& operator=(const TAliveGuard&) = delete;
    bool Destroyed() const { return FDestroyed; }

   private:
    friend class TCustomWSocket;
    TCustomWSocket* FSocket;
    TAliveGuard* FPrev;
    bool FDestroyed = false;
  };

 private:
  friend class TAliveGuard;
  TAliveGuard* FGuards = nullptr;
};

// ---- SOCKS layer (inactive while no SOCKS server is set) ---------------------
// Reaches a stream connection's target through a SOCKS 4, 4A or 5 proxy: Connect
// goes to the proxy, and OnSessionConnected comes once the proxy has connected
// the target. The negotiation runs inside the socket's notifications.
class TCustomSocksWSocket : public TCustomWSocket {
 public:
  explicit TCustomSocksWSocket(TComponent* AOwner);

  void HandleWindowMessage(TWSocketMessage& Msg) override;
  void ResetToDefaults() override;
  int32_t RcvdCount() override;
  bool FireDataAvailable(uint16_t Error) override;
  void FireSessionConnected(uint16_t Error) override;
  void FireSessionClosed(uint16_t Error) override;
  int32_t RawReceive(void* Buffer, int32_t Size, int32_t Flags) override;
  void Connect() override;
  void Listen() override;

  virtual void FireSocksConnected(uint16_t Error);
  virtual void SetSocksPort(const std::string& value);
  virtual void SetSocksServer(const std::string& value);
  virtual void FireSocksError(int32_t Error, const std::string& Msg);
  void FireSocksAuthState(TSocksAuthState AuthState);
  void SetSocksLevel(const std::string& value);
  // Negotiation steps.
  void SendSocksAuthRequest();
  void SendSocksConnectRequest();
  void FailSocksNegotiation(int32_t Error, const std::string& Msg);

  const std::string& SocksServer() const { return FSocksServer; }
  const std::string& SocksLevel() const { return FSocksLevel; }
  const std::string& SocksPort() const { return FSocksPort; }
  const std::string& SocksUsercode() const { return FSocksUsercode; }
  void SetSocksUsercode(const std::string& value) { FSocksUsercode = value; }
  const std::string& SocksPassword() const { return FSocksPassword; }
  void SetSocksPassword(const std::string& value) { FSocksPassword = value; }
  TSocksAuthentication SocksAuthentication() const { return FSocksAuthentication; }
  void SetSocksAuthentication(TSocksAuthentication value) { FSocksAuthentication = value; }
  // Milliseconds the proxy has, from the connection to it, to connect the
  // target; then the negotiation fails with WSAETIMEDOUT. 0: no limit. Kept
  // across closes.
  int32_t SocksTimeout() const { return FSocksTimeout; }
  void SetSocksTimeout(int32_t value) { FSocksTimeout = value; }

  TSocksPhase SocksPhase = spIdle;
  bool SocksServerSet = false;
  uint8_t OfferedMethod = 0;
  std::string SocksReplyAddr;
  std::string SocksReplyPort;
  // Sized for the longest reply (a 255-byte bound domain) and what follows it.
  uint8_t ReplyBuffer[sockswire::kReplyBufferSize] = {};
  int32_t ReplyCount = 0;
  int32_t SurplusCount = 0;
  int32_t SurplusPos = 0;  // index into ReplyBuffer

  TSocksErrorEvent OnSocksError;
  TSessionConnected OnSocksConnected;
  TSocksAuthStateEvent OnSocksAuthState;

 protected:
  std::string FSocksServer;
  std::string FSocksLevel = "5";
  std::string FSocksPort;
  std::string FSocksUsercode;
  std::string FSocksPassword;
  TSocksAuthentication FSocksAuthentication = socksNoAuthentication;
  int32_t FSocksTimeout = 30000;

 private:
  void StopSocksTimer();
  bool SocksLevel4() const { return !FSocksLevel.empty() && FSocksLevel[0] == '4'; }
  // Why the current values cannot go out in this level's requests (empty: they can).
  std::string SocksRequestProblem(bool WithAuth) const;
  bool SocksGranted(const sockswire::TReplyDecision& Reply, int32_t Held);
  void SendSocksBytes(const std::string& Bytes);
};

// ---- Line layer (inactive while LineMode is false) ---------------------------
// With line mode on, received bytes are held and offered one line per
// OnDataAvailable, terminator included; RcvdCount is the line's length.
class TCustomLineWSocket : public TCustomSocksWSocket, public TLineSplitter {
 public:
  explicit TCustomLineWSocket(TComponent* AOwner);
  ~TCustomLineWSocket() override;

  void HandleWindowMessage(TWSocketMessage& Msg) override;
  int32_t RcvdCount() override;
  bool FireDataAvailable(uint16_t Error) override;
  void FireSessionClosed(uint16_t Error) override;
  int32_t RawReceive(void* Buffer, int32_t Size, int32_t Flags) override;

  virtual void FireLineLimitExceeded(int32_t RcvdLength, bool& ClearData);
  virtual void SetLineMode(bool value);
  virtual void ApplyLineEditing(int32_t& Count);
  void HandleLineData();

  bool LineMode() const { return FLineMode; }
  int32_t LineLimit() const { return FLineLimit; }
  void SetLineLimit(int32_t value) { FLineLimit = value; }
  const std::string& LineEnd() const { return FLineEnd; }
  void SetLineEnd(const std::string& value);
  bool LineEcho() const { return FLineEcho; }
  void SetLineEcho(bool value) { FLineEcho = value; }
  bool LineEdit() const { return FLineEdit; }
  void SetLineEdit(bool value) { FLineEdit = value; }

  // LineBuffer, LineBufferSize, LineBufferCount and CurrentLineLength come with TLineSplitter.
  bool LineArrived = false;
  bool LimitClearData = false;
  int32_t WaitTimeout = 0;
  uint32_t WaitDeadline = 0;
  TLineLimitEvent OnLineLimitExceeded;

 protected:
  std::string FLineEnd = "\r\n";
  bool FLineMode = false;
  int32_t FLineLimit = 65536;
  bool FLineEcho = false;
  bool FLineEdit = false;

 private:
  bool SplitsLines() const;
  int32_t ReadIntoLineBuffer();
  void DeliverLines(TAliveGuard& Guard);
  bool OfferLine(TAliveGuard& Guard);
  void DeliverLastLines();
  void CheckLineLimit(TAliveGuard& Guard);
  std::string FEcho;  // echo bytes of one read, sent in one call
};

// ---- Synchronous waiting -----------------------------------------------------
class TCustomSyncWSocket : public TCustomLineWSocket {
 public:
  using TCustomLineWSocket::TCustomLineWSocket;
  // Sets Flag to false, calls Proc when assigned, then waits for Flag.
  virtual int32_t RunAndWait(const std::function<void()>& Proc, bool& Flag);
  // Runs the message loop until Flag is true (0), or until WaitTimeout passes,
  // the application terminates or a quit message comes (12001). Sleeps on the
  // thread's queue between messages.
  virtual int32_t WaitForFlag(bool& Flag);
};

// The class programs create; it only publishes properties.
class TWSocket : public TCustomSyncWSocket {
 public:
  using TCustomSyncWSocket::TCustomSyncWSocket;
};

// ---- Unit functions ----------------------------------------------------------
// Address or host name -> IPv4 address in network byte order. Raises ESocketException.
uint32_t WSocketResolveHost(const std::string& InAddr);
// Port number or service name -> port in host byte order. Raises ESocketException.
uint16_t WSocketResolvePort(const std::string& Port, const std::string& Proto);
// Protocol name or number -> protocol number. Raises ESocketException.
int32_t WSocketResolveProto(const std::string& Proto);
// Four decimal parts of at most 255 separated by single dots, blanks only around.
bool IsDottedAddress(const std::string& S);
// Leading blanks skipped, then decimal digits up to the first non-digit (none: 0).
int32_t ParseLeadingNumber(const std::string& S);
std::string SocketErrorDesc(int32_t ErrCode);
// Appends every address of a host entry to List as dotted text.
void CopyHostAddresses(const winsock::hostent* HostEntry, TStringList& List);
// Number of socket objects alive.
int32_t LiveSocketCount();

// The run-time binding: loads and starts "wsock32.dll" on first use; an empty
// name only ensures the library is loaded. Raises ESocketException.
void* LookupWinsockProc(const std::string& ProcName);
void UnloadWinsock();
// True while the library is loaded (for tests and diagnostics).
bool WinsockLoaded();

// One wrapper per procedure of the binding: looks it up once per loading, then calls it.
int WSocket_WSAStartup(uint16_t VersionRequested, winsock::WSADATA* Data);
int WSocket_WSACleanup();
void WSocket_WSASetLastError(int Error);
int WSocket_WSAGetLastError();
int WSocket_WSACancelAsyncRequest(winsock::HANDLE AsyncTaskHandle);
winsock::HANDLE WSocket_WSAAsyncGetHostByName(win32::HWND HWindow, win32::UINT Msg,
                                              const char* Name, char* Buf, int BufLen);
winsock::HANDLE WSocket_WSAAsyncGetHostByAddr(win32::HWND HWindow, win32::UINT Msg,
                                              const char* Addr, int Len, int Type, char* Buf,
                                              int BufLen);
int WSocket_WSAAsyncSelect(winsock::SOCKET S, win32::HWND HWindow, win32::UINT Msg, long Events);
winsock::servent* WSocket_getservbyname(const char* Name, const char* Proto);
winsock::protoent* WSocket_getprotobyname(const char* Name);
winsock::hostent* WSocket_gethostbyname(const char* Name);
winsock::SOCKET WSocket_socket(int Af, int Type, int Protocol);
int WSocket_shutdown(winsock::SOCKET S, int How);
int WSocket_setsockopt(winsock::SOCKET S, int Level, int OptName, const char* OptVal, int OptLen);
int WSocket_sendto(winsock::SOCKET S, const char* Buf, int Len, int Flags,
                   const winsock::sockaddr* To, int ToLen);
int WSocket_send(winsock::SOCKET S, const char* Buf, int Len, int Flags);
winsock::u_short WSocket_ntohs(winsock::u_short NetShort);
int WSocket_listen(winsock::SOCKET S, int Backlog);
int WSocket_ioctlsocket(winsock::SOCKET S, long Cmd, winsock::u_long* Arg);
char* WSocket_inet_ntoa(winsock::in_addr In);
winsock::u_long WSocket_inet_addr(const char* Cp);
winsock::u_short WSocket_htons(winsock::u_short HostShort);
int WSocket_getsockname(winsock::SOCKET S, winsock::sockaddr* Name, int* NameLen);
int WSocket_getpeername(winsock::SOCKET S, winsock::sockaddr* Name, int* NameLen);
int WSocket_connect(winsock::SOCKET S, const winsock::sockaddr* Name, int NameLen);
int WSocket_closesocket(winsock::SOCKET S);
int WSocket_bind(winsock::SOCKET S, const winsock::sockaddr* Addr, int NameLen);
winsock::SOCKET WSocket_accept(winsock::SOCKET S, winsock::sockaddr* Addr, int* AddrLen);
int WSocket_recv(winsock::SOCKET S, char* Buf, int Len, int Flags);
int WSocket_recvfrom(winsock::SOCKET S, char* Buf, int Len, int Flags, winsock::sockaddr* From,
                     int* FromLen);

// The hidden windows' procedure.
win32::LRESULT SocketWindowProc(win32::HWND HWindow, win32::UINT Msg, win32::WPARAM WParam,
                                win32::LPARAM LParam);

#pragma pop_macro("WM_USER")
#pragma pop_macro("INVALID_SOCKET")
#pragma pop_macro("SetPort")
