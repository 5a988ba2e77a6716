// Error texts and error reporting: RaiseSocketError, RaiseOrReport and the
// handling of exceptions that escape event handlers.
#include <cstdarg>
#include <cstdio>

#include "net/WSocket.h"
#include "rtl/SysUtils.h"

std::string SocketErrorDesc(int32_t ErrCode) {
  switch (ErrCode) {
    case 0:
      return "No Error";
    case winsock::WSAEINTR:
      return "Interrupted system call";
    case winsock::WSAEBADF:
      return "Bad file number";
    case winsock::WSAEACCES:
      return "Permission denied";
    case winsock::WSAEFAULT:
      return "Bad address";
    case winsock::WSAEINVAL:
      return "Invalid argument";
    case winsock::WSAEMFILE:
      return "Too many open files";
    case winsock::WSAEWOULDBLOCK:
      return "Operation would block";
    case winsock::WSAEINPROGRESS:
      return "Operation now in progress";
    case winsock::WSAEALREADY:
      return "Operation already in progress";
    case winsock::WSAENOTSOCK:
      return "Socket operation on non-socket";
    case winsock::WSAEDESTADDRREQ:
      return "Destination address required";
    case winsock::WSAEMSGSIZE:
      return "Message too long";
    case winsock::WSAEPROTOTYPE:
      return "Protocol wrong type for socket";
    case winsock::WSAENOPROTOOPT:
      return "Protocol not available";
    case winsock::WSAEPROTONOSUPPORT:
      return "Protocol not supported";
    case winsock::WSAESOCKTNOSUPPORT:
      return "Socket type not supported";
    case winsock::WSAEOPNOTSUPP:
      return "Operation not supported on socket";
    case winsock::WSAEPFNOSUPPORT:
      return "Protocol family not supported";
    case winsock::WSAEAFNOSUPPORT:
      return "Address family not supported by protocol family";
    case winsock::WSAEADDRINUSE:
      return "Address already in use";
    case winsock::WSAEADDRNOTAVAIL:
      return "Address not available";
    case winsock::WSAENETDOWN:
      return "Network is down";
    case winsock::WSAENETUNREACH:
      return "Network is unreachable";
    case winsock::WSAENETRESET:
      return "Network dropped connection on reset";
    case winsock::WSAECONNABORTED:
      return "Connection aborted";
    case winsock::WSAECONNRESET:
      return "Connection reset by peer";
    case winsock::WSAENOBUFS:
      return "No buffer space available";
    case winsock::WSAEISCONN:
      return "Socket is already connected";
    case winsock::WSAENOTCONN:
      return "Socket is not connected";
    case winsock::WSAESHUTDOWN:
      return "Can't send after socket shutdown";
    case winsock::WSAETOOMANYREFS:
      return "Too many references: can't splice";
    case winsock::WSAETIMEDOUT:
      return "Connection timed out";
    case winsock::WSAECONNREFUSED:
      return "Connection refused";
    case winsock::WSAELOOP:
      return "Too many levels of symbolic links";
    case winsock::WSAENAMETOOLONG:
      return "File name too long";
    case winsock::WSAEHOSTDOWN:
      return "Host is down";
    case winsock::WSAEHOSTUNREACH:
      return "No route to host";
    case winsock::WSAENOTEMPTY:
      return "Directory not empty";
    case winsock::WSAEPROCLIM:
      return "Too many processes";
    case winsock::WSAEUSERS:
      return "Too many users";
    case winsock::WSAEDQUOT:
      return "Disc quota exceeded";
    case winsock::WSAESTALE:
      return "Stale NFS file handle";
    case winsock::WSAEREMOTE:
      return "Too many levels of remote in path";
    case winsock::WSASYSNOTREADY:
      return "Network sub-system is unusable";
    case winsock::WSAVERNOTSUPPORTED:
      return "WinSock DLL cannot support this application";
    case winsock::WSANOTINITIALISED:
      return "WinSock not initialized";
    case winsock::WSAHOST_NOT_FOUND:
      return "Host not found";
    case winsock::WSATRY_AGAIN:
      return "Non-authoritative host not found";
    case winsock::WSANO_RECOVERY:
      return "Non-recoverable error";
    case winsock::WSANO_DATA:
      return "No Data";
    default:
      return "Not a WinSock error";
  }
}

void TCustomWSocket::RaiseSocketError(const std::string& FuncName) {
  int code = WSocket_WSAGetLastError();
  std::string text =
      "Error " + IntToStr(code) + " in function " + FuncName + "\r\n" + SocketErrorDesc(code);
  if (code == winsock::WSAECONNRESET || code == winsock::WSAENOTCONN) {
    TAliveGuard guard(this);
    if (SocketHandle != winsock::INVALID_SOCKET) WSocket_closesocket(SocketHandle);
    SocketHandle = winsock::INVALID_SOCKET;
    if (FState != wsClosed) FireSessionClosed(static_cast<uint16_t>(code));
    if (guard.Destroyed()) return;
    SetState(wsClosed);
    if (guard.Destroyed()) return;
  }
  FLastError = code;
  RaiseOrReport(text);
}

void TCustomWSocket::RaiseOrReport(const std::string& Msg) {
  if (OnError) {
    FireError();
    return;
  }
  throw ESocketException(Msg);
}

void TCustomWSocket::RaiseOrReportFmt(const char* Fmt, ...) {
  va_list args;
  va_start(args, Fmt);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, Fmt, copy);
  va_end(copy);
  std::string text(n > 0 ? static_cast<size_t>(n) : 0, '\0');
  if (n > 0) std::vsnprintf(&text[0], text.size() + 1, Fmt, args);
  va_end(args);
  RaiseOrReport(text);
}

void TCustomWSocket::HandleEventException(Exception& E) {
  TAliveGuard guard(this);
  bool CanClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, E, CanClose);
    } catch (...) {
      // A failing handler of failures has nowhere else to go.
    }
    if (guard.Destroyed()) return;
  }
  if (CanClose) {
    try {
      Abort();
    } catch (...) {
    }
  }
}
