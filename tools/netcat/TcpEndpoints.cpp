// TCP: connecting to a server, and listening for clients (one, or with -k
// several at once, each accepted with Accept and adopted by a fresh socket
// object with Dup).
#include <list>

#include "tools/netcat/StreamSession.h"

namespace vxcat {

namespace {

// A socket object whose close is graceful: no reset that could drop bytes
// still on their way.
TWSocket* NewStreamSocket() {
  auto* socket = new TWSocket(nullptr);
  socket->SetLingerOnOff(wsLingerOff);
  return socket;
}

class TTcpClient : public TEndpoint {
 public:
  explicit TTcpClient(THost& Host) : FHost(Host) {}

  void Start() override {
    const TOptions& o = FHost.Options();
    TWSocket* socket = NewStreamSocket();
    FSession.reset(new TStreamSession(FHost, socket,
                                      [this](TStreamSession*, uint16_t Error) { Closed(Error); }));
    socket->OnSessionConnected = [this](TObject*, uint16_t Error) { Connected(Error); };
    socket->SetProto("tcp");
    socket->SetAddr(o.Host);
    socket->SetPort(o.Port);
    if (!o.LocalAddr.empty()) socket->SetLocalAddr(o.LocalAddr);
    if (!o.LocalPort.empty()) socket->SetLocalPort(o.LocalPort);
    if (!o.ProxyHost.empty()) UseProxy(*socket, o);
    socket->Connect();
  }

  // The proxy as the user named it.
  static std::string ProxyText(const TOptions& o) {
    return "the SOCKS proxy " + o.ProxyHost + ":" + o.ProxyPort;
  }

  void Input(const std::string& Data) override {
    if (FConnected)
      FSession->Send(Data);
    else
      FPending += Data;
  }

  void InputEnded() override {
    FInputEnded = true;
    if (FConnected) FSession->InputEnded();
  }

  bool Drained() const override { return FConnected && FPending.empty() && FSession->Drained(); }

 private:
  void UseProxy(TWSocket& Socket, const TOptions& o) {
    // A proxy that is not there is named as the proxy, with the error underneath;
    // the component's own text would name only the address.
    try {
      WSocketResolveHost(o.ProxyHost);
    } catch (const Exception&) {
      Report(ProxyText(o) + " could not be reached");
      throw;
    }
    Socket.OnSocksConnected = [this](TObject*, uint16_t Error) {
      if (Error == 0) return;
      FProxyFailed = true;
      const TOptions& o = FHost.Options();
      Report(ProxyText(o) + (Error == winsock::WSAECONNREFUSED ? " refused the connection"
                                                               : " could not be reached"));
      ReportSocketError(Error, "Connect");
    };
    Socket.SetSocksServer(o.ProxyHost);
    Socket.SetSocksPort(o.ProxyPort);
    Socket.SetSocksLevel(o.ProxyType.empty() ? "5" : o.ProxyType);
    Socket.SetSocksUsercode(o.ProxyUser);
    Socket.SetSocksPassword(o.ProxyPassword);
    if (o.ProxyAuth && Socket.SocksLevel() == "5")
      Socket.SetSocksAuthentication(socksAuthenticateUsercode);
    // The proxy's own words for a refusal; the events that follow carry its code only.
    Socket.OnSocksError = [this](TObject*, int32_t, const std::string& Msg) {
      FProxyFailed = true;
      Report("proxy: " + Msg);
    };
  }

  void Connected(uint16_t Error) {
    if (Error != 0) {
      FConnectFailed = true;
      if (!FProxyFailed) ReportSocketError(Error, "Connect");
      FHost.Finish(1);
      return;
    }
    FConnected = true;
    if (FHost.Options().Verbose && !FHost.Options().ProxyHost.empty())
      Report("connected to " + FHost.Options().Host + ":" + FHost.Options().Port + " through " +
             FSession->PeerText());
    else if (FHost.Options().Verbose)
      Report("connected to " + FSession->PeerText());
    std::string pending;
    pending.swap(FPending);
    FSession->Send(pending);
    if (FInputEnded) FSession->InputEnded();
  }

  void Closed(uint16_t Error) {
    if (!FConnected) {  // ended while a proxy was negotiating, or after a failed connect
      if (!FConnectFailed && !FProxyFailed) {
        if (Error != 0)
          ReportSocketError(Error, "Session");
        else
          Report("proxy: the proxy closed the connection before the target was connected");
      }
      FHost.Finish(1);
      return;
    }
    FHost.Finish(ReportEnd(FHost, *FSession, Error));
  }

  THost& FHost;
  std::unique_ptr<TStreamSession> FSession;
  std::string FPending;  // read before the connection was up
  bool FConnected = false;
  bool FConnectFailed = false;
  bool FProxyFailed = false;  // the proxy refused or was not reached; reported
  bool FInputEnded = false;
};

class TTcpServer : public TEndpoint {
 public:
  explicit TTcpServer(THost& Host) : FHost(Host) {}
  ~TTcpServer() override {
    FSessions.clear();
    delete FListener;
  }

  void Start() override {
    const TOptions& o = FHost.Options();
    FListener = NewStreamSocket();
    ReportBackgroundErrors(FHost, *FListener);
    FListener->OnSessionAvailable = [this](TObject*, uint16_t Error) { Available(Error); };
    FListener->SetProto("tcp");
    FListener->SetAddr(o.Host);
    FListener->SetPort(o.Port);
    FListener->Listen();
    if (o.Verbose)
      Report("listening on " + FListener->BoundAddrText() + ":" + FListener->BoundPortText());
  }

  void Input(const std::string& Data) override {
    if (!Data.empty()) FAnyInput = true;
    bool anyOpen = false;
    for (auto& s : FSessions)
      if (s->Open()) {
        s->Send(Data);
        anyOpen = true;
      }
    if (!anyOpen) FPending += Data;  // kept for the next connection
  }

  void InputEnded() override {
    FInputEnded = true;
    // Input that ended without a byte (</dev/null: nohup, &, a service) had
    // nothing to say: by default the server keeps serving each client fully.
    const TOptions& o = FHost.Options();
    FApplyEnd = o.Eof != TEofPolicy::Keep && (o.EofGiven || FAnyInput);
    if (!FApplyEnd) return;
    for (auto& s : FSessions) s->InputEnded();
  }

  bool Drained() const override {
    if (!FPending.empty()) return false;
    bool anyOpen = false;
    for (auto& s : FSessions) {
      if (!s->Open()) continue;
      anyOpen = true;
      if (!s->Drained()) return false;
    }
    return anyOpen;
  }

 private:
  void Available(uint16_t Error) {
    if (Error != 0) {
      ReportSocketError(Error, "Accept");
      return;
    }
    winsock::SOCKET handle = winsock::INVALID_SOCKET;
    TStreamSession* session = nullptr;
    try {
      handle = FListener->Accept();
      TWSocket* socket = NewStreamSocket();
      FSessions.emplace_back(new TStreamSession(
          FHost, socket,
          [this](TStreamSession* Session, uint16_t Error) { Closed(Session, Error); }));
      session = FSessions.back().get();
      socket->Dup(handle);
    } catch (const Exception& E) {
      // One failed connection does not end the others or the listening.
      Report(E.Message());
      if (session) {
        if (session->Socket().SocketHandle != handle) WSocket_closesocket(handle);
        Forget(session);
      }
      return;
    }
    if (FHost.Options().KeepOpen) {
      // A failure of one connection ends that connection, not the others.
      session->Socket().OnBgException = [](TObject*, Exception& E, bool& CanClose) {
        Report(E.Message());
        CanClose = true;
      };
    }
    if (FHost.Options().Verbose) Report("connection from " + session->PeerText());
    // Without -k one connection is all: stop listening.
    if (!FHost.Options().KeepOpen) FListener->Close();
    std::string pending;
    pending.swap(FPending);
    session->Send(pending);
    if (FInputEnded && FApplyEnd) session->InputEnded();
  }

  void Closed(TStreamSession* Session, uint16_t Error) {
    int status = ReportEnd(FHost, *Session, Error);
    Forget(Session);
    if (!FHost.Options().KeepOpen) FHost.Finish(status);
    FHost.InputConsumed();  // input waiting for it may now go elsewhere
  }

  // A session is freed after the message in which it ended.
  void Forget(TStreamSession* Session) {
    FHost.Defer([this, Session] {
      for (auto it = FSessions.begin(); it != FSessions.end(); ++it)
        if (it->get() == Session) {
          FSessions.erase(it);
          return;
        }
    });
  }

  THost& FHost;
  TWSocket* FListener = nullptr;
  std::list<std::unique_ptr<TStreamSession>> FSessions;
  std::string FPending;
  bool FInputEnded = false;
  bool FAnyInput = false;  // standard input gave a byte
  bool FApplyEnd = false;  // its end goes to each connection
};

}  // namespace

std::unique_ptr<TEndpoint> MakeTcpClient(THost& Host) {
  return std::unique_ptr<TEndpoint>(new TTcpClient(Host));
}
std::unique_ptr<TEndpoint> MakeTcpServer(THost& Host) {
  return std::unique_ptr<TEndpoint>(new TTcpServer(Host));
}

}  // namespace vxcat
