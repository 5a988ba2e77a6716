// One TCP connection of vxcat, made by connecting or accepted: prints what the
// peer sends, sends what it is given, and ends as the --eof choice says.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "net/WSocket.h"
#include "tools/netcat/Endpoint.h"

namespace vxcat {

class TStreamSession {
 public:
  // Closed is called once, when the connection has ended, with the error code
  // of its end (0: a normal close).
  using TClosed = std::function<void(TStreamSession* Session, uint16_t Error)>;
  TStreamSession(THost& Host, TWSocket* Socket, TClosed Closed);
  ~TStreamSession();  // frees the socket object
  TStreamSession(const TStreamSession&) = delete;
  TStreamSession& operator=(const TStreamSession&) = delete;

  TWSocket& Socket() { return *FSocket; }
  std::string PeerText();  // "addr:port" while connected
  void Send(const std::string& Data);
  // Standard input has ended: act on it once everything has gone out.
  void InputEnded();
  bool Drained() const;
  // Bytes still queued for the network.
  size_t Unsent() const;
  bool Open() const { return FSocket->State() == wsConnected && !FEnded; }

 private:
  void DataAvailable();
  void DataSent();
  void SessionClosed(uint16_t Error);
  void ApplyEof();

  THost& FHost;
  TWSocket* FSocket;
  TClosed FClosed;
  std::vector<char> FBuffer;
  bool FInputEnded = false;
  bool FEofApplied = false;
  bool FEnded = false;
};

// Reports what a connection that ended left unsent; returns the exit status it
// asks for (1 when input was lost, else 0 or 1 by the error code).
int ReportEnd(THost& Host, TStreamSession& Session, uint16_t Error);

// Handlers of exceptions that escape a socket's own events: report and end.
void ReportBackgroundErrors(THost& Host, TWSocket& Socket);

}  // namespace vxcat
