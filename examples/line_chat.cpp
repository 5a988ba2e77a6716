// A TCP chat server on the VORLANX socket component, in line mode: every line a
// client types goes to all the others, with the sender's address in front.
// Try it with a few `telnet 127.0.0.1 7008` (or `socat - TCP:127.0.0.1:7008`).
//
//   line_chat [ADDRESS [PORT]]     (default 0.0.0.0 7008; port 0: any free one)
#include <cstdio>
#include <map>
#include <string>

#include "net/WSocket.h"

namespace {

// The listening socket and the connected clients, all on this thread's loop.
class TChatServer {
 public:
  void Start(const std::string& Address, const std::string& Port) {
    FListener.OnSessionAvailable = [this](TObject*, uint16_t Error) {
      if (Error == 0) Accept();
    };
    FListener.SetProto("tcp");
    FListener.SetAddr(Address);
    FListener.SetPort(Port);
    FListener.Listen();
  }
  std::string Where() { return FListener.BoundAddrText() + ":" + FListener.BoundPortText(); }

 private:
  void Accept() {
    auto* client = new TWSocket(nullptr);
    // Line mode: OnDataAvailable comes once per complete line ("...\r\n" or "...\n").
    client->SetLineMode(true);
    client->SetLineEnd("\n");
    client->OnDataAvailable = [this, client](TObject*, uint16_t Error) {
      if (Error == 0) Say(client, client->ReceiveText());
    };
    client->OnSessionClosed = [this, client](TObject*, uint16_t) {
      const std::string name = FClients[client];
      FClients.erase(client);
      Broadcast(client, "* " + name + " left\r\n");
      client->FreeLater();  // not inside its own event: deleted once the event is over
    };
    try {
      client->Dup(FListener.Accept());
    } catch (const Exception& E) {
      std::fprintf(stderr, "line_chat: %s\n", E.Message().c_str());
      delete client;
      return;
    }
    const std::string name = client->PeerAddr() + ":" + client->PeerPort();
    FClients[client] = name;
    client->SendText("* welcome, " + name + "; " + std::to_string(FClients.size() - 1) +
                     " others here\r\n");
    Broadcast(client, "* " + name + " joined\r\n");
  }

  void Say(TWSocket* From, std::string Line) {
    while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r')) Line.pop_back();
    if (Line.empty()) return;
    Broadcast(From, FClients[From] + ": " + Line + "\r\n");
  }

  // The send queue keeps what a slow client cannot take yet; nobody waits for it.
  void Broadcast(TWSocket* From, const std::string& Text) {
    for (auto& c : FClients)
      if (c.first != From && c.first->State() == wsConnected) c.first->SendText(Text);
  }

  TWSocket FListener{nullptr};
  std::map<TWSocket*, std::string> FClients;  // and how the others see each one
};

}  // namespace

int main(int argc, char** argv) {
  TChatServer server;
  try {
    server.Start(argc > 1 ? argv[1] : "0.0.0.0", argc > 2 ? argv[2] : "7008");
  } catch (const Exception& E) {
    std::fprintf(stderr, "line_chat: %s\n", E.Message().c_str());
    return 1;
  }
  std::printf("line chat on %s\n", server.Where().c_str());
  std::fflush(stdout);

  win32::MSG msg;
  while (win32::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    win32::TranslateMessage(&msg);
    win32::DispatchMessageA(&msg);
  }
  return 0;
}
