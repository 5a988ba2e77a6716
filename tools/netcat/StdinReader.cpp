#include "tools/netcat/StdinReader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace vxcat {

TStdinReader::TStdinReader(int Fd, win32::HWND Window, win32::UINT Message, size_t ChunkSize,
                           size_t Limit)
    : FFd(Fd), FWindow(Window), FMessage(Message), FChunkSize(ChunkSize), FLimit(Limit) {}

TStdinReader::~TStdinReader() {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FStopping = true;
  }
  FSpace.notify_all();
  if (FStopPipe[1] >= 0) {
    char b = 0;
    ssize_t ignored = ::write(FStopPipe[1], &b, 1);
    (void)ignored;
  }
  if (FThread.joinable()) FThread.join();
  for (int fd : FStopPipe)
    if (fd >= 0) ::close(fd);
}

void TStdinReader::Start() {
  if (::pipe(FStopPipe) != 0) FStopPipe[0] = FStopPipe[1] = -1;
  FThread = std::thread([this] { Run(); });
}

// Called with the mutex held.
void TStdinReader::Post() {
  if (FPosted) return;
  FPosted = true;
  win32::PostMessageA(FWindow, FMessage, 0, 0);
}

void TStdinReader::Run() {
  std::string buffer;
  for (;;) {
    {
      // Wait for room: the network has not taken what was read before.
      std::unique_lock<std::mutex> lock(FMutex);
      FSpace.wait(lock, [&] { return FStopping || FOutstanding < FLimit; });
      if (FStopping) return;
    }
    // Block in poll rather than read, so that stopping can interrupt the wait.
    pollfd fds[2] = {{FFd, POLLIN, 0}, {FStopPipe[0], POLLIN, 0}};
    int ready = ::poll(fds, FStopPipe[0] >= 0 ? 2 : 1, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (fds[1].revents) return;
    buffer.resize(FChunkSize);
    ssize_t n = ready < 0 ? -1 : ::read(FFd, &buffer[0], buffer.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    std::lock_guard<std::mutex> lock(FMutex);
    if (n <= 0) {
      FEnded = true;
      FError = n < 0 ? errno : 0;
      Post();
      return;
    }
    buffer.resize(static_cast<size_t>(n));
    FOutstanding += buffer.size();
    FChunks.push_back(std::move(buffer));
    buffer = std::string();
    Post();
  }
}

std::deque<std::string> TStdinReader::Take(bool& Ended) {
  std::lock_guard<std::mutex> lock(FMutex);
  FPosted = false;
  std::deque<std::string> chunks;
  chunks.swap(FChunks);
  Ended = FEnded;
  return chunks;
}

void TStdinReader::Release(size_t Bytes) {
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FOutstanding = Bytes >= FOutstanding ? 0 : FOutstanding - Bytes;
  }
  FSpace.notify_all();
}

int TStdinReader::ReadError() {
  std::lock_guard<std::mutex> lock(FMutex);
  return FError;
}

}  // namespace vxcat
