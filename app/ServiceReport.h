// Keeps a service manager told how the relay is doing, when it asked to be
// (service::NotifyWanted): ready with the start line, the counts when they
// changed (at most once a second, and nothing while no datagram arrives), the
// watchdog's keep-alive from the message loop, and stopping. Without a
// manager it does nothing and owns nothing.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/RelayCounts.h"
#include "platform/win32/win32.h"

class TServiceReport {
 public:
  // StartLine gives what the relay does now ("receiving on ..., playing on ...").
  TServiceReport(const TRelayCounts& Counts, std::function<std::string()> StartLine);
  ~TServiceReport();
  TServiceReport(const TServiceReport&) = delete;
  TServiceReport& operator=(const TServiceReport&) = delete;

  // The socket is bound and the output opened or known missing.
  void Ready();
  void Stopping();
  // After each datagram: one test while the status timer runs.
  void CountsChanged() {
    if (FWindow && !FTicking) StartTicking();
  }

 private:
  static win32::LRESULT Proc(win32::HWND Window, win32::UINT Message, win32::WPARAM WParam,
                             win32::LPARAM LParam);
  void StartTicking();
  void Tick(win32::UINT_PTR Id);
  void SendStatus();

  const TRelayCounts& FCounts;
  std::function<std::string()> FStartLine;
  win32::HWND FWindow = nullptr;
  bool FTicking = false;
  uint64_t FReported = 0;  // Received as of the last status
};
