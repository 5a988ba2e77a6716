#include "tools/netcat/StreamSession.h"

#include "rtl/SysUtils.h"

namespace vxcat {

void ReportSocketError(int Code, const std::string& FuncName) {
  Report("Error " + IntToStr(Code) + " in function " + FuncName + "\r\n" + SocketErrorDesc(Code));
}

void ReportBackgroundErrors(THost& Host, TWSocket& Socket) {
  Socket.OnBgException = [&Host](TObject*, Exception& E, bool& CanClose) {
    Report(E.Message());
    CanClose = true;
    Host.Finish(1);
  };
}

TStreamSession::TStreamSession(THost& Host, TWSocket* Socket, TClosed Closed)
    : FHost(Host), FSocket(Socket), FClosed(std::move(Closed)), FBuffer(64 * 1024) {
  FSocket->OnDataAvailable = [this](TObject*, uint16_t) { DataAvailable(); };
  FSocket->OnDataSent = [this](TObject*, uint16_t) { DataSent(); };
  FSocket->OnSessionClosed = [this](TObject*, uint16_t Error) { SessionClosed(Error); };
  ReportBackgroundErrors(Host, *FSocket);
  const TOptions& o = Host.Options();
  if (o.Line) {
    FSocket->SetLineEnd(o.LineEnd);
    FSocket->SetLineEcho(o.LineEcho);
    FSocket->SetLineEdit(o.LineEdit);
    FSocket->OnLineLimitExceeded = [](TObject*, int32_t Length, bool&) {
      Report("dropped " + std::to_string(Length) + " bytes without a line end");
    };
    FSocket->SetLineMode(true);
  }
}

TStreamSession::~TStreamSession() {
  // Nothing may reach this object while the socket closes with it.
  FSocket->OnDataAvailable = nullptr;
  FSocket->OnDataSent = nullptr;
  FSocket->OnSessionClosed = nullptr;
  FSocket->OnBgException = nullptr;
  FSocket->OnLineLimitExceeded = nullptr;
  delete FSocket;
}

std::string TStreamSession::PeerText() { return FSocket->PeerAddr() + ":" + FSocket->PeerPort(); }

void TStreamSession::DataAvailable() {
  // The receive loop calls again while bytes are waiting: take some every time.
  int32_t n = FSocket->Receive(FBuffer.data(), static_cast<int32_t>(FBuffer.size()));
  if (n > 0 && !WriteOut(FBuffer.data(), static_cast<size_t>(n))) ReportOutputFailure(FHost);
}

void TStreamSession::Send(const std::string& Data) {
  if (!Open() || Data.empty()) return;
  FSocket->Send(Data.data(), static_cast<int32_t>(Data.size()));
}

size_t TStreamSession::Unsent() const {
  size_t n = 0;
  for (TBuffer* block : FSocket->SendQueue)
    n += static_cast<size_t>(block->WritePos - block->ReadPos);
  return n;
}

int ReportEnd(THost& Host, TStreamSession& Session, uint16_t Error) {
  if (Error != 0)
    ReportSocketError(Error, "Session");
  else if (Host.Options().Verbose)
    Report("connection closed");
  // The peer may end the connection before everything went out: say so.
  size_t unsent = Session.Unsent();
  if (unsent > 0)
    Report("the connection ended with " + std::to_string(unsent) + " bytes of input unsent");
  return Error != 0 || unsent > 0 ? 1 : 0;
}

bool TStreamSession::Drained() const { return !Open() || FSocket->SendQueueDrained; }

void TStreamSession::DataSent() {
  FHost.InputConsumed();
  if (FInputEnded) ApplyEof();
}

void TStreamSession::InputEnded() {
  FInputEnded = true;
  if (Drained()) ApplyEof();
}

void TStreamSession::ApplyEof() {
  if (FEofApplied || !Open()) return;
  FEofApplied = true;
  switch (FHost.Options().Eof) {
    case TEofPolicy::HalfClose:
      FSocket->ShutdownSocket(winsock::SD_SEND);
      break;
    case TEofPolicy::Close:
      FSocket->Close();
      break;
    case TEofPolicy::Keep:
      break;
  }
}

void TStreamSession::SessionClosed(uint16_t Error) {
  if (FEnded) return;
  FEnded = true;
  if (FClosed) FClosed(this, Error);
}

}  // namespace vxcat
