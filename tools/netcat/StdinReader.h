// Reads standard input on a thread of its own, so the message loop never blocks
// on it. What it reads waits here; each time data (or the end) becomes ready it
// posts one message to a window of the loop's thread, the only thread-safe way in.
//
// Flow control: the reader stops reading once Limit bytes are outstanding, that
// is taken by the loop but not yet released (handed to the network), or still
// waiting here.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "platform/win32/win32.h"

namespace vxcat {

class TStdinReader {
 public:
  TStdinReader(int Fd, win32::HWND Window, win32::UINT Message, size_t ChunkSize, size_t Limit);
  ~TStdinReader();  // stops and joins the thread
  TStdinReader(const TStdinReader&) = delete;
  TStdinReader& operator=(const TStdinReader&) = delete;

  void Start();
  // Loop thread: everything read so far, in order. Sets Ended once the end of
  // input (or a read error) has been reached and nothing is left.
  std::deque<std::string> Take(bool& Ended);
  // Loop thread: Bytes taken earlier have gone out; the reader may read more.
  void Release(size_t Bytes);
  // Loop thread: the read error that ended input (0: a plain end).
  int ReadError();

 private:
  void Run();
  void Post();

  const int FFd;
  const win32::HWND FWindow;
  const win32::UINT FMessage;
  const size_t FChunkSize;
  const size_t FLimit;
  std::thread FThread;
  int FStopPipe[2] = {-1, -1};

  std::mutex FMutex;
  std::condition_variable FSpace;
  std::deque<std::string> FChunks;
  size_t FOutstanding = 0;
  bool FEnded = false;
  bool FStopping = false;
  bool FPosted = false;  // a wake-up message is on its way and not yet taken
  int FError = 0;
};

}  // namespace vxcat
