# The headers a program on the socket component includes, and those they
# include: what cmake --install puts into include/vorlanx, and what the header
# check (tests/headers) compiles alone and among the system's headers.
set(VORLANX_PUBLIC_HEADERS
  net/WSocket.h
  net/WSockBuf.h
  net/LineSplitter.h
  net/SocksWire.h
  platform/win32/win32.h
  platform/winsock/winsock.h
  rtl/Application.h
  rtl/Object.h
  rtl/StringList.h
  rtl/SysUtils.h
)
