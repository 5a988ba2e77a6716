#include "tools/netcat/App.h"

#include <cstring>

#include "net/WSocket.h"

namespace vxcat {

namespace {
constexpr win32::UINT WM_VX_INPUT = win32::WM_USER + 0x100;
constexpr win32::UINT WM_VX_DEFERRED = win32::WM_USER + 0x101;
constexpr win32::UINT WM_VX_INTERRUPT = win32::WM_USER + 0x102;
// What a shell reports for a program that SIGINT ended.
constexpr int kInterrupted = 130;
constexpr size_t kReadChunk = 64 * 1024;
// Standard input read ahead of the network, at most.
constexpr size_t kReadAhead = 1024 * 1024;
}  // namespace

TApp::TApp(const TOptions& Options) : FOptions(Options), FInterrupt(FWindow, WM_VX_INTERRUPT) {
  FWindow.On(WM_VX_DEFERRED, [this](win32::WPARAM, win32::LPARAM) { RunDeferred(); });
  FWindow.On(WM_VX_INTERRUPT, [this](win32::WPARAM, win32::LPARAM) {
    if (FOptions.Verbose) Report("interrupted");
    Finish(kInterrupted);
  });
  FReader = MakeStdinReader(0, FWindow, WM_VX_INPUT, kReadChunk, kReadAhead);
}

TApp::~TApp() {
  // Sockets first: nothing they do may reach a half-gone program.
  FEndpoint.reset();
  FDeferred.clear();
  FReader.reset();
}

int TApp::Run() {
  switch (FOptions.Transport) {
    case TTransport::Tcp:
      FEndpoint = FOptions.Mode == TMode::Connect ? MakeTcpClient(*this) : MakeTcpServer(*this);
      break;
    case TTransport::Udp:
      FEndpoint = FOptions.Mode == TMode::Connect ? MakeUdpClient(*this) : MakeUdpServer(*this);
      break;
  }
  try {
    FEndpoint->Start();
  } catch (const Exception& E) {
    Report(E.Message());
    return 1;
  }
  FReader->Start([this](const std::string& Chunk) { TakeInput(Chunk); },
                 [this](int Error) { InputEnded(Error); });
  while (!FFinished) {
    win32::MSG msg;
    // Blocks on the thread's queue: sockets, standard input and deferred work all arrive there.
    if (win32::GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
    win32::TranslateMessage(&msg);
    win32::DispatchMessageA(&msg);
  }
  return FExitCode;
}

void TApp::Finish(int ExitCode) {
  if (FExitCode == 0) FExitCode = ExitCode;
  FFinished = true;
}

void TApp::TakeInput(const std::string& Chunk) {
  try {
    FTaken += Chunk.size();
    FEndpoint->Input(Chunk);
    InputConsumed();
  } catch (const Exception& E) {
    Report(E.Message());
    Finish(1);
  }
}

void TApp::InputEnded(int Error) {
  if (FInputEnded) return;
  FInputEnded = true;
  if (Error) Report(std::string("standard input: ") + std::strerror(Error));
  if (FOptions.Verbose) Report("end of standard input");
  try {
    FEndpoint->InputEnded();
  } catch (const Exception& E) {
    Report(E.Message());
    Finish(1);
  }
}

void TApp::InputConsumed() {
  if (FTaken > 0 && FEndpoint->Drained()) {
    FReader->Release(FTaken);
    FTaken = 0;
  }
}

void TApp::Defer(std::function<void()> Work) {
  FDeferred.push_back(std::move(Work));
  FWindow.Post(WM_VX_DEFERRED);
}

void TApp::RunDeferred() {
  // One message per Defer: take one piece of work each time.
  if (FDeferred.empty()) return;
  std::function<void()> work = std::move(FDeferred.front());
  FDeferred.pop_front();
  work();
}

}  // namespace vxcat
