// A UDP echo server on the VORLANX socket component: every datagram goes back
// to whoever sent it. One socket, one event, one message loop.
//
//   udp_echo [ADDRESS [PORT]]      (default 0.0.0.0 7007; port 0: any free one)
//   printf 'hello' | socat - UDP:127.0.0.1:7007
#include <cstdio>
#include <string>
#include <vector>

#include "net/WSocket.h"

int main(int argc, char** argv) {
  const std::string address = argc > 1 ? argv[1] : "0.0.0.0";
  const std::string port = argc > 2 ? argv[2] : "7007";

  TWSocket socket(nullptr);
  std::vector<char> buffer(65536);

  // Called from the message loop below, once per waiting datagram.
  socket.OnDataAvailable = [&](TObject*, uint16_t Error) {
    if (Error != 0) return;
    winsock::sockaddr_in from = {};
    int32_t fromLen = sizeof(from);
    int32_t n =
        socket.ReceiveFrom(buffer.data(), static_cast<int32_t>(buffer.size()), from, fromLen);
    if (n >= 0) socket.SendToAddress(from, fromLen, buffer.data(), n);
  };

  try {
    socket.SetProto("udp");
    socket.SetAddr(address);
    socket.SetPort(port);
    socket.Listen();
  } catch (const Exception& E) {
    std::fprintf(stderr, "udp_echo: %s\n", E.Message().c_str());
    return 1;
  }
  std::printf("udp echo on %s:%s\n", socket.BoundAddrText().c_str(),
              socket.BoundPortText().c_str());
  std::fflush(stdout);

  // The thread's message loop: it sleeps until the socket has something to say.
  win32::MSG msg;
  while (win32::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    win32::TranslateMessage(&msg);
    win32::DispatchMessageA(&msg);
  }
  return 0;
}
