// Standard input read on the loop's thread: a descriptor the queue can watch
// (a terminal, a pipe, a socket) is read when it is ready; one it cannot (a
// regular file, /dev/null: always ready) is read in steps posted to the loop,
// each behind whatever is already queued. Nothing needs a thread.
#include "tools/netcat/StdinReader.h"

#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

namespace vxcat {

class TPlatformReader : public TStdinReader {
 public:
  TPlatformReader(int Fd, TMessageWindow& Window, win32::UINT StepMessage, size_t ChunkSize,
                  size_t Limit)
      : FFd(Fd), FWindow(Window), FStepMessage(StepMessage), FChunkSize(ChunkSize), FLimit(Limit) {
    FWindow.On(FStepMessage, [this](win32::WPARAM, win32::LPARAM) { Step(); });
  }
  ~TPlatformReader() override;
  void Start(TData Data, TEnded Ended) override;
  void Release(size_t Bytes) override;

 private:
  static void OnReady(int Fd, uint32_t Events, void* Context);
  void Arm();
  void Step();
  void End(int Error);

  const int FFd;
  TMessageWindow& FWindow;
  const win32::UINT FStepMessage;
  const size_t FChunkSize;
  const size_t FLimit;
  TData FData;
  TEnded FEnded;
  uint64_t FWatch = 0;  // 0: the descriptor cannot be watched, steps are posted
  bool FArmed = false;  // the next read is on its way: watch armed or step posted
  bool FDone = false;
  size_t FOutstanding = 0;
  std::string FBuffer;
};

TPlatformReader::~TPlatformReader() {
  if (FWatch) win32::UnwatchDescriptor(FWatch);
  // A step still queued then finds no handler.
  FWindow.Off(FStepMessage);
}

void TPlatformReader::Start(TData Data, TEnded Ended) {
  FData = std::move(Data);
  FEnded = std::move(Ended);
  // Registered without interest; Arm gives it one-shot interest per read.
  FWatch = win32::WatchDescriptor(FFd, 0, &OnReady, this);
  Arm();
}

// Runs inside a look at the queue, which must not read: the read and the
// handlers it calls run when the step is dispatched. The interest was
// one-shot, so the descriptor stays quiet until the step arms it again.
void TPlatformReader::OnReady(int, uint32_t, void* Context) {
  auto* self = static_cast<TPlatformReader*>(Context);
  self->FWindow.Post(self->FStepMessage);
}

void TPlatformReader::Arm() {
  if (FArmed || FDone || FOutstanding >= FLimit) return;
  FArmed = true;
  // A watch that cannot be re-armed leaves the read to find out why.
  if (!FWatch || !win32::ChangeDescriptorWatch(FWatch, EPOLLIN | EPOLLONESHOT))
    FWindow.Post(FStepMessage);
}

void TPlatformReader::Step() {
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

void TPlatformReader::End(int Error) {
  FDone = true;
  if (FWatch) win32::UnwatchDescriptor(FWatch);
  FWatch = 0;
  FEnded(Error);
}

void TPlatformReader::Release(size_t Bytes) {
  FOutstanding = Bytes >= FOutstanding ? 0 : FOutstanding - Bytes;
  Arm();
}

std::unique_ptr<TStdinReader> MakeStdinReader(int Fd, TMessageWindow& Window,
                                              win32::UINT StepMessage, size_t ChunkSize,
                                              size_t Limit) {
  return std::unique_ptr<TStdinReader>(
      new TPlatformReader(Fd, Window, StepMessage, ChunkSize, Limit));
}

}  // namespace vxcat
