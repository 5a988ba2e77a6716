// UDP: a datagram client (Connect on "udp": every send goes to HOST:PORT) and a
// datagram listener that answers the last sender.
#include <vector>

#include "tools/netcat/StreamSession.h"

namespace vxcat {

namespace {

// The size of the send blocks: one block is one datagram.
constexpr size_t kDatagramChunk = 1460;

class TUdpClient : public TEndpoint {
 public:
  explicit TUdpClient(THost& Host) : FHost(Host), FBuffer(65536) {}
  ~TUdpClient() override { delete FSocket; }

  void Start() override {
    const TOptions& o = FHost.Options();
    FSocket = new TWSocket(nullptr);
    ReportBackgroundErrors(FHost, *FSocket);
    FSocket->OnDataAvailable = [this](TObject*, uint16_t) { DataAvailable(); };
    FSocket->OnDataSent = [this](TObject*, uint16_t) { DataSent(); };
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
    if (FSocket->State() == wsConnected)
      FSocket->Send(Data.data(), static_cast<int32_t>(Data.size()));
  }

  void InputEnded() override {
    FInputEnded = true;
    if (Drained()) EndIfAsked();
  }

  bool Drained() const override {
    return FSocket->State() != wsConnected || FSocket->SendQueueDrained;
  }

 private:
  void DataAvailable() {
    int32_t n = FSocket->Receive(FBuffer.data(), static_cast<int32_t>(FBuffer.size()));
    if (n > 0 && !WriteOut(FBuffer.data(), static_cast<size_t>(n))) ReportOutputFailure(FHost);
  }

  void DataSent() {
    FHost.InputConsumed();
    if (FInputEnded) EndIfAsked();
  }

  void EndIfAsked() {
    if (FHost.Options().Eof == TEofPolicy::Close) FHost.Finish(0);
  }

  THost& FHost;
  TWSocket* FSocket = nullptr;
  std::vector<char> FBuffer;
  bool FInputEnded = false;
};

class TUdpServer : public TEndpoint {
 public:
  explicit TUdpServer(THost& Host) : FHost(Host), FBuffer(65536) {}
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
    FPending += Data;
    SendPending();
  }

  void InputEnded() override {
    FInputEnded = true;
    if (Drained() && FHost.Options().Eof == TEofPolicy::Close) FHost.Finish(0);
  }

  bool Drained() const override { return FPending.empty(); }

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
    if (first && !FPending.empty()) {
      SendPending();
      FHost.InputConsumed();
      if (FInputEnded && Drained() && FHost.Options().Eof == TEofPolicy::Close) FHost.Finish(0);
    }
  }

  // Sends what waits, one datagram per chunk, to the last sender.
  void SendPending() {
    if (!FHavePeer) return;
    for (size_t at = 0; at < FPending.size(); at += kDatagramChunk) {
      size_t len = std::min(kDatagramChunk, FPending.size() - at);
      if (FSocket->SendToAddress(FPeer, sizeof(FPeer), FPending.data() + at,
                                 static_cast<int32_t>(len)) < 0)
        ReportSocketError(WSocket_WSAGetLastError(), "SendToAddress");
    }
    FPending.clear();
  }

  THost& FHost;
  TWSocket* FSocket = nullptr;
  std::vector<char> FBuffer;
  std::string FPending;
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
