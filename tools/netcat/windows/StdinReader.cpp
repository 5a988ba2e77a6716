// Standard input read on a thread of its own: Windows cannot wait for a pipe or
// a console together with the window messages, so the thread blocks in
// ReadFile and hands each chunk over, posting the step to the loop
// (PostMessageA is the one entry that is safe from another thread). The thread
// shares only the state below with the loop; a reader destroyed while the
// thread still waits for input leaves it behind, harmless, until the process
// ends.
#include "tools/netcat/StdinReader.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vxcat {
namespace {

struct TShared {
  std::mutex Lock;
  std::condition_variable Room;  // the thread waits here while Limit bytes are outstanding
  std::deque<std::string> Chunks;
  size_t Outstanding = 0;
  bool Ended = false;
  int Error = 0;
  bool StepPosted = false;
  bool Closed = false;  // the reader is gone: post nothing more
  win32::HWND Window = nullptr;
  win32::UINT StepMessage = 0;
};

// errno words for what the end of a read says; the end of a pipe is a plain end.
int ErrnoOf(DWORD Error) {
  switch (Error) {
    case ERROR_BROKEN_PIPE:
    case ERROR_HANDLE_EOF:
      return 0;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    default:
      return EIO;
  }
}

void Read(std::shared_ptr<TShared> Shared, HANDLE Input, size_t ChunkSize, size_t Limit) {
  std::string buffer;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(Shared->Lock);
      Shared->Room.wait(lock, [&] { return Shared->Closed || Shared->Outstanding < Limit; });
      if (Shared->Closed) return;
    }
    buffer.resize(ChunkSize);
    DWORD got = 0;
    SetLastError(ERROR_SUCCESS);
    BOOL ok = ReadFile(Input, &buffer[0], static_cast<DWORD>(buffer.size()), &got, nullptr);
    DWORD error = ok ? ERROR_SUCCESS : GetLastError();
    // Ctrl+C at a console cuts its read short; the interrupt itself comes as an event.
    if (got == 0 && GetLastError() == ERROR_OPERATION_ABORTED) continue;

    std::lock_guard<std::mutex> lock(Shared->Lock);
    if (Shared->Closed) return;
    if (got > 0) {
      buffer.resize(got);
      Shared->Chunks.push_back(buffer);
      Shared->Outstanding += got;
    } else {
      Shared->Ended = true;
      Shared->Error = ok ? 0 : ErrnoOf(error);
    }
    if (!Shared->StepPosted) {
      Shared->StepPosted = true;
      win32::PostMessageA(Shared->Window, Shared->StepMessage, 0, 0);
    }
    if (Shared->Ended) return;
  }
}

}  // namespace

class TPlatformReader : public TStdinReader {
 public:
  TPlatformReader(int Fd, TMessageWindow& Window, win32::UINT StepMessage, size_t ChunkSize,
                  size_t Limit)
      : FFd(Fd), FWindow(Window), FChunkSize(ChunkSize), FLimit(Limit), FShared(new TShared) {
    FShared->Window = Window.Handle();
    FShared->StepMessage = StepMessage;
    FWindow.On(StepMessage, [this](win32::WPARAM, win32::LPARAM) { Step(); });
  }

  ~TPlatformReader() override {
    {
      std::lock_guard<std::mutex> lock(FShared->Lock);
      FShared->Closed = true;
    }
    FShared->Room.notify_all();
    if (FThread.joinable()) FThread.detach();
    // A step still queued then finds no handler.
    FWindow.Off(FShared->StepMessage);
  }

  void Start(TData Data, TEnded Ended) override {
    FData = std::move(Data);
    FEnded = std::move(Ended);
    auto input = reinterpret_cast<HANDLE>(_get_osfhandle(FFd));
    if (input == INVALID_HANDLE_VALUE || input == nullptr) {
      std::lock_guard<std::mutex> lock(FShared->Lock);
      FShared->Ended = true;
      FShared->Error = EBADF;
      FShared->StepPosted = true;
      FWindow.Post(FShared->StepMessage);
      return;
    }
    FThread = std::thread(Read, FShared, input, FChunkSize, FLimit);
  }

  void Release(size_t Bytes) override {
    {
      std::lock_guard<std::mutex> lock(FShared->Lock);
      FShared->Outstanding = Bytes >= FShared->Outstanding ? 0 : FShared->Outstanding - Bytes;
    }
    FShared->Room.notify_all();
  }

 private:
  // One chunk per turn, like a watched descriptor; the rest waits behind
  // whatever else the loop has queued meanwhile.
  void Step() {
    std::string chunk;
    bool ended = false;
    int error = 0;
    {
      std::lock_guard<std::mutex> lock(FShared->Lock);
      if (!FShared->Chunks.empty()) {
        chunk.swap(FShared->Chunks.front());
        FShared->Chunks.pop_front();
      } else {
        ended = FShared->Ended;
        error = FShared->Error;
      }
      // More to come this way: another chunk, or the end behind this one.
      FShared->StepPosted = !FShared->Chunks.empty() || (!chunk.empty() && FShared->Ended);
      if (FShared->StepPosted) FWindow.Post(FShared->StepMessage);
    }
    if (!chunk.empty()) {
      FData(chunk);
    } else if (ended && !FDone) {
      FDone = true;
      FEnded(error);
    }
  }

  const int FFd;
  TMessageWindow& FWindow;
  const size_t FChunkSize;
  const size_t FLimit;
  std::shared_ptr<TShared> FShared;
  std::thread FThread;
  TData FData;
  TEnded FEnded;
  bool FDone = false;
};

std::unique_ptr<TStdinReader> MakeStdinReader(int Fd, TMessageWindow& Window,
                                              win32::UINT StepMessage, size_t ChunkSize,
                                              size_t Limit) {
  return std::unique_ptr<TStdinReader>(
      new TPlatformReader(Fd, Window, StepMessage, ChunkSize, Limit));
}

}  // namespace vxcat
