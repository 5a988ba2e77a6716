// UDP: a datagram client (Connect on "udp": every send goes to HOST:PORT) and a
// datagram listener that answers the last sender.
#include <vector>

#include "tools/netcat/Datagrams.h"
#include "tools/netcat/StreamSession.h"

namespace vxcat {

namespace {

class TUdpClient : public TEndpoint {
 public:
  explicit TUdpClient(THost& Host) : FHost(Host), FBuffer(65536), FCutter(Host.Options()) {}
  ~TUdpClient() override { delete FSocket; }

  void Start() override {
    const TOptions& o = FHost.Options();
    FSocket = new TWSocket(nullptr);
    ReportBackgroundErrors(FHost, *FSocket);
    FSocket->OnDataAvailable = [this](TObject*, uint16_t) { DataAvailable(); };
    // Writable again after a send that would have blocked.
    FSocket->OnDataSent = [this](TObject*, uint16_t) { SendWaiting(); };
    FSocket->SetProto("udp");
    FSocket->SetAddr(o.Host);
    FSocket->SetPort(o.Port);
    if (!o.LocalAddr.empty()) FSocket->SetLocalAddr(o.LocalAddr);
    if (!o.LocalPort.empty()) FSocket->SetLocalPort(o.LocalPort);
    FSocket->Connect();
    if (o.Verbose)
      Report("sending to " + o.Host + ":" + o.Port + " from port " + FSocket->LocalPort());
  }

  void Input(const std::string& Data) override {
    FCutter.Add(Data);
    SendWaiting();
  }

  void InputEnded() override {
    FInputEnded = true;
    FCutter.End();
    SendWaiting();
  }

  // Bytes the cutter still holds wait for more input (the rest of a datagram
  // or a line), not for the network: reading goes on.
  bool Drained() const override { return !FBlocked; }

 private:
  void DataAvailable() {
    int32_t n = FSocket->Receive(FBuffer.data(), static_cast<int32_t>(FBuffer.size()));
    if (n > 0 && !WriteOut(FBuffer.data(), static_cast<size_t>(n))) ReportOutputFailure(FHost);
  }

  // Each datagram is one sendto of its own, never merged with the next in a
  // send block; one that would block waits for the socket to be writable.
  void SendWaiting() {
    if (FFailed || FSocket->State() != wsConnected) return;
    const bool wasBlocked = FBlocked;
    while (FBlocked || FCutter.Next(FDatagram)) {
      FBlocked = false;
      if (FSocket->SendToAddress(FSocket->SockAddr, sizeof(FSocket->SockAddr), FDatagram.data(),
                                 static_cast<int32_t>(FDatagram.size())) >= 0)
        continue;
      int code = WSocket_WSAGetLastError();
      if (code == winsock::WSAEWOULDBLOCK) {
        FBlocked = true;
        return;
      }
      ReportSocketError(code, "SendToAddress");
      FFailed = true;
      FHost.Finish(1);
      return;
    }
    if (wasBlocked) FHost.InputConsumed();
    if (FInputEnded && FCutter.Empty()) EndIfAsked();
  }

  void EndIfAsked() {
    if (FEnding) return;
    if (FHost.Options().Eof == TEofPolicy::Close) {
      FEnding = true;
      FHost.Finish(FCutter.Skipped() ? 1 : 0);
    }
  }

  THost& FHost;
  TWSocket* FSocket = nullptr;
  std::vector<char> FBuffer;
  TDatagramCutter FCutter;
  std::string FDatagram;  // the one being sent
  bool FBlocked = false;  // FDatagram waits for the socket to be writable
  bool FFailed = false;
  bool FInputEnded = false;
  bool FEnding = false;
};

class TUdpServer : public TEndpoint {
 public:
  explicit TUdpServer(THost& Host) : FHost(Host), FBuffer(65536), FCutter(Host.Options()) {}
  ~TUdpServer() override { delete FSocket; }

  void Start() override {
    const TOptions& o = FHost.Options();
    FSocket = new TWSocket(nullptr);
    ReportBackgroundErrors(FHost, *FSocket);
    FSocket->OnDataAvailable = [this](TObject*, uint16_t) { DataAvailable(); };
    FSocket->SetProto("udp");
    FSocket->SetAddr(o.Host);
    FSocket->SetPort(o.Port);
    FSocket->Listen();
    if (o.Verbose)
      Report("listening on " + FSocket->BoundAddrText() + ":" + FSocket->BoundPortText());
  }

  void Input(const std::string& Data) override {
    FCutter.Add(Data);
    SendPending();
  }

  void InputEnded() override {
    FInputEnded = true;
    FCutter.End();
    SendPending();
    EndIfAsked();
  }

  // Before a first datagram names the peer, input waits; after it, what the
  // cutter holds waits for more input.
  bool Drained() const override { return FHavePeer || FCutter.Empty(); }

 private:
  void DataAvailable() {
    winsock::sockaddr_in from = {};
    int32_t fromLen = sizeof(from);
    int32_t n =
        FSocket->ReceiveFrom(FBuffer.data(), static_cast<int32_t>(FBuffer.size()), from, fromLen);
    if (n < 0) return;
    bool first = !FHavePeer;
    FPeer = from;
    FHavePeer = true;
    if (first && FHost.Options().Verbose)
      Report(std::string("datagram from ") + WSocket_inet_ntoa(from.sin_addr) + ":" +
             std::to_string(WSocket_ntohs(from.sin_port)));
    if (n > 0 && !WriteOut(FBuffer.data(), static_cast<size_t>(n))) {
      ReportOutputFailure(FHost);
      return;
    }
    if (first) {
      SendPending();
      FHost.InputConsumed();
      EndIfAsked();
    }
  }

  // Sends what waits, one datagram each, to the last sender.
  void SendPending() {
    if (!FHavePeer) return;
    while (FCutter.Next(FDatagram))
      if (FSocket->SendToAddress(FPeer, sizeof(FPeer), FDatagram.data(),
                                 static_cast<int32_t>(FDatagram.size())) < 0)
        ReportSocketError(WSocket_WSAGetLastError(), "SendToAddress");
  }

  void EndIfAsked() {
    if (FInputEnded && FCutter.Empty() && FHost.Options().Eof == TEofPolicy::Close)
      FHost.Finish(FCutter.Skipped() ? 1 : 0);
  }

  THost& FHost;
  TWSocket* FSocket = nullptr;
  std::vector<char> FBuffer;
  TDatagramCutter FCutter;
  std::string FDatagram;
  winsock::sockaddr_in FPeer = {};
  bool FHavePeer = false;
  bool FInputEnded = false;
};

}  // namespace

std::unique_ptr<TEndpoint> MakeUdpClient(THost& Host) {
  return std::unique_ptr<TEndpoint>(new TUdpClient(Host));
}
std::unique_ptr<TEndpoint> MakeUdpServer(THost& Host) {
  return std::unique_ptr<TEndpoint>(new TUdpServer(Host));
}

}  // namespace vxcat
