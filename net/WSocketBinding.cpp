// The run-time binding of the Winsock library: loaded by name on first use,
// started once per loading, each procedure looked up once per loading.
#include <atomic>
#include <cstdlib>

#include "net/WSocket.h"
#include "net/WSocketUnit.h"
#include "rtl/SysUtils.h"

namespace {

enum TProcIndex {
  pWSAStartup,
  pWSACleanup,
  pWSASetLastError,
  pWSAGetLastError,
  pWSACancelAsyncRequest,
  pWSAAsyncGetHostByName,
  pWSAAsyncGetHostByAddr,
  pWSAAsyncSelect,
  pgetservbyname,
  pgetprotobyname,
  pgethostbyname,
  psocket,
  pshutdown,
  psetsockopt,
  psendto,
  psend,
  pntohs,
  plisten,
  pioctlsocket,
  pinet_ntoa,
  pinet_addr,
  phtons,
  pgetsockname,
  pgetpeername,
  pconnect,
  pclosesocket,
  pbind,
  paccept,
  precv,
  precvfrom,
  kProcCount
};

win32::HMODULE WinsockLibrary = nullptr;
winsock::WSADATA WinsockStartupData;
void* ProcTable[kProcCount] = {};
std::atomic<int32_t> LiveSockets{0};
bool AtExitRegistered = false;

void UnloadAtExit() { UnloadWinsock(); }

// The cached entry point, looked up on first use.
template <typename F>
inline F Proc(TProcIndex Index, const char* Name) {
  void*& slot = ProcTable[Index];
  if (!slot) slot = LookupWinsockProc(Name);
  return reinterpret_cast<F>(slot);
}

}  // namespace

int32_t WSocketCountObject(int32_t Delta) { return LiveSockets.fetch_add(Delta) + Delta; }

int32_t LiveSocketCount() { return LiveSockets.load(); }

bool WinsockLoaded() { return WinsockLibrary != nullptr; }

void* LookupWinsockProc(const std::string& ProcName) {
  if (!WinsockLibrary) {
    // The platform's Winsock layer joins the library registry before its first load.
    winsock::RegisterWinsockLibrary();
    win32::HMODULE lib = win32::LoadLibraryA(winsock::WINSOCK_LIBRARY);
    if (!lib)
      throw ESocketException(std::string("Unable to load ") + winsock::WINSOCK_LIBRARY +
                             " Error #" + IntToStr(win32::GetLastError()));
    WinsockLibrary = lib;
    // Unloading at program end must run before the platform's own statics go.
    if (!AtExitRegistered) AtExitRegistered = std::atexit(UnloadAtExit) == 0;
    // Start-up is tried once per loading: the library is recorded first, so the
    // look-up of WSAStartup below does not load again.
    int r = WSocket_WSAStartup(0x0101, &WinsockStartupData);
    if (r != 0)
      throw ESocketException(Format("%s: WSAStartup error #%d", winsock::WINSOCK_LIBRARY, r));
  }
  if (ProcName.empty()) return nullptr;
  void* p = win32::GetProcAddress(WinsockLibrary, ProcName.c_str());
  if (!p)
    throw ESocketException("Procedure " + ProcName + " not found in " + winsock::WINSOCK_LIBRARY +
                           " Error #" + IntToStr(win32::GetLastError()));
  return p;
}

void UnloadWinsock() {
  if (WinsockLibrary) {
    // Never raises: it runs from destructors and at program end.
    void* cleanup = ProcTable[pWSACleanup];
    if (!cleanup) cleanup = win32::GetProcAddress(WinsockLibrary, "WSACleanup");
    if (cleanup) reinterpret_cast<decltype(&winsock::WSACleanup)>(cleanup)();
    win32::FreeLibrary(WinsockLibrary);
    WinsockLibrary = nullptr;
    for (void*& p : ProcTable) p = nullptr;
  }
  LiveSockets.store(0);
}

// ---- Wrappers ----------------------------------------------------------------
#define WSOCKET_PROC(name) Proc<decltype(&winsock::name)>(p##name, #name)

int WSocket_WSAStartup(uint16_t VersionRequested, winsock::WSADATA* Data) {
  return WSOCKET_PROC(WSAStartup)(VersionRequested, Data);
}
int WSocket_WSACleanup() { return WSOCKET_PROC(WSACleanup)(); }
void WSocket_WSASetLastError(int Error) { WSOCKET_PROC(WSASetLastError)(Error); }
int WSocket_WSAGetLastError() { return WSOCKET_PROC(WSAGetLastError)(); }
int WSocket_WSACancelAsyncRequest(winsock::HANDLE AsyncTaskHandle) {
  return WSOCKET_PROC(WSACancelAsyncRequest)(AsyncTaskHandle);
}
winsock::HANDLE WSocket_WSAAsyncGetHostByName(win32::HWND HWindow, win32::UINT Msg,
                                              const char* Name, char* Buf, int BufLen) {
  return WSOCKET_PROC(WSAAsyncGetHostByName)(HWindow, Msg, Name, Buf, BufLen);
}
winsock::HANDLE WSocket_WSAAsyncGetHostByAddr(win32::HWND HWindow, win32::UINT Msg,
                                              const char* Addr, int Len, int Type, char* Buf,
                                              int BufLen) {
  return WSOCKET_PROC(WSAAsyncGetHostByAddr)(HWindow, Msg, Addr, Len, Type, Buf, BufLen);
}
int WSocket_WSAAsyncSelect(winsock::SOCKET S, win32::HWND HWindow, win32::UINT Msg, long Events) {
  return WSOCKET_PROC(WSAAsyncSelect)(S, HWindow, Msg, Events);
}
winsock::servent* WSocket_getservbyname(const char* Name, const char* Proto) {
  return WSOCKET_PROC(getservbyname)(Name, Proto);
}
winsock::protoent* WSocket_getprotobyname(const char* Name) {
  return WSOCKET_PROC(getprotobyname)(Name);
}
winsock::hostent* WSocket_gethostbyname(const char* Name) {
  return WSOCKET_PROC(gethostbyname)(Name);
}
winsock::SOCKET WSocket_socket(int Af, int Type, int Protocol) {
  return WSOCKET_PROC(socket)(Af, Type, Protocol);
}
int WSocket_shutdown(winsock::SOCKET S, int How) { return WSOCKET_PROC(shutdown)(S, How); }
int WSocket_setsockopt(winsock::SOCKET S, int Level, int OptName, const char* OptVal, int OptLen) {
  return WSOCKET_PROC(setsockopt)(S, Level, OptName, OptVal, OptLen);
}
int WSocket_sendto(winsock::SOCKET S, const char* Buf, int Len, int Flags,
                   const winsock::sockaddr* To, int ToLen) {
  return WSOCKET_PROC(sendto)(S, Buf, Len, Flags, To, ToLen);
}
int WSocket_send(winsock::SOCKET S, const char* Buf, int Len, int Flags) {
  return WSOCKET_PROC(send)(S, Buf, Len, Flags);
}
winsock::u_short WSocket_ntohs(winsock::u_short NetShort) { return WSOCKET_PROC(ntohs)(NetShort); }
int WSocket_listen(winsock::SOCKET S, int Backlog) { return WSOCKET_PROC(listen)(S, Backlog); }
int WSocket_ioctlsocket(winsock::SOCKET S, long Cmd, winsock::u_long* Arg) {
  return WSOCKET_PROC(ioctlsocket)(S, Cmd, Arg);
}
char* WSocket_inet_ntoa(winsock::in_addr In) { return WSOCKET_PROC(inet_ntoa)(In); }
winsock::u_long WSocket_inet_addr(const char* Cp) { return WSOCKET_PROC(inet_addr)(Cp); }
winsock::u_short WSocket_htons(winsock::u_short HostShort) {
  return WSOCKET_PROC(htons)(HostShort);
}
int WSocket_getsockname(winsock::SOCKET S, winsock::sockaddr* Name, int* NameLen) {
  return WSOCKET_PROC(getsockname)(S, Name, NameLen);
}
int WSocket_getpeername(winsock::SOCKET S, winsock::sockaddr* Name, int* NameLen) {
  return WSOCKET_PROC(getpeername)(S, Name, NameLen);
}
int WSocket_connect(winsock::SOCKET S, const winsock::sockaddr* Name, int NameLen) {
  return WSOCKET_PROC(connect)(S, Name, NameLen);
}
int WSocket_closesocket(winsock::SOCKET S) { return WSOCKET_PROC(closesocket)(S); }
int WSocket_bind(winsock::SOCKET S, const winsock::sockaddr* Addr, int NameLen) {
  return WSOCKET_PROC(bind)(S, Addr, NameLen);
}
winsock::SOCKET WSocket_accept(winsock::SOCKET S, winsock::sockaddr* Addr, int* AddrLen) {
  return WSOCKET_PROC(accept)(S, Addr, AddrLen);
}
int WSocket_recv(winsock::SOCKET S, char* Buf, int Len, int Flags) {
  return WSOCKET_PROC(recv)(S, Buf, Len, Flags);
}
int WSocket_recvfrom(winsock::SOCKET S, char* Buf, int Len, int Flags, winsock::sockaddr* From,
                     int* FromLen) {
  return WSOCKET_PROC(recvfrom)(S, Buf, Len, Flags, From, FromLen);
}
