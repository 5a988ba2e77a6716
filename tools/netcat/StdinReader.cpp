#include "tools/netcat/StdinReader.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>

namespace vxcat {

TStdinReader::TStdinReader(int Fd, TMessageWindow& Window, win32::UINT StepMessage,
                           size_t ChunkSize, size_t Limit)
    : FFd(Fd), FWindow(Window), FStepMessage(StepMessage), FChunkSize(ChunkSize), FLimit(Limit) {
  FWindow.On(FStepMessage, [this](win32::WPARAM, win32::LPARAM) { Step(); });
}

TStdinReader::~TStdinReader() {
  if (FWatch) win32::UnwatchDescriptor(FWatch);
  // A step still queued then finds no handler.
  FWindow.Off(FStepMessage);
}

void TStdinReader::Start(TData Data, TEnded Ended) {
  FData = std::move(Data);
  FEnded = std::move(Ended);
  // Registered without interest; Arm gives it one-shot interest per read.
  FWatch = win32::WatchDescriptor(FFd, 0, &OnReady, this);
  Arm();
}

// Runs inside a look at the queue, which must not read: the read and the
// handlers it calls run when the step is dispatched. The interest was
// one-shot, so the descriptor stays quiet until the step arms it again.
void TStdinReader::OnReady(int, uint32_t, void* Context) {
  auto* self = static_cast<TStdinReader*>(Context);
  self->FWindow.Post(self->FStepMessage);
}

void TStdinReader::Arm() {
  if (FArmed || FDone || FOutstanding >= FLimit) return;
  FArmed = true;
  // A watch that cannot be re-armed leaves the read to find out why.
  if (!FWatch || !win32::ChangeDescriptorWatch(FWatch, EPOLLIN | EPOLLONESHOT))
    FWindow.Post(FStepMessage);
}

void TStdinReader::Step() {
  FArmed = false;
  if (FDone) return;
  FBuffer.resize(FChunkSize);
  ssize_t n = ::read(FFd, &FBuffer[0], FBuffer.size());
  if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) {
    Arm();
    return;
  }
  if (n <= 0) {
    End(n < 0 ? errno : 0);
    return;
  }
  FOutstanding += static_cast<size_t>(n);
  FBuffer.resize(static_cast<size_t>(n));
  FData(FBuffer);
  Arm();
}

void TStdinReader::End(int Error) {
  FDone = true;
  if (FWatch) win32::UnwatchDescriptor(FWatch);
  FWatch = 0;
  FEnded(Error);
}

void TStdinReader::Release(size_t Bytes) {
  FOutstanding = Bytes >= FOutstanding ? 0 : FOutstanding - Bytes;
  Arm();
}

}  // namespace vxcat
