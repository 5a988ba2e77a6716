// Reads standard input on the loop's thread, one bounded chunk per turn, so a
// flood of input cannot starve the sockets and nothing needs a thread. A
// descriptor the queue can watch (a terminal, a pipe, a socket) is read when it
// is ready; one it cannot (a regular file, /dev/null: always ready) is read in
// steps posted to the loop, each behind whatever is already queued.
//
// Flow control: no read while Limit bytes are outstanding, that is read but not
// yet released (handed to the network).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "tools/netcat/MessageWindow.h"

namespace vxcat {

class TStdinReader {
 public:
  using TData = std::function<void(const std::string& Chunk)>;
  // Error: 0 at a plain end of input, else the errno of the failed read.
  using TEnded = std::function<void(int Error)>;

  // StepMessage is a message of Window's that the reader handles itself.
  TStdinReader(int Fd, TMessageWindow& Window, win32::UINT StepMessage, size_t ChunkSize,
               size_t Limit);
  ~TStdinReader();  // removes the watch
  TStdinReader(const TStdinReader&) = delete;
  TStdinReader& operator=(const TStdinReader&) = delete;

  // Starts reading; each chunk goes to Data, in order, then the end to Ended,
  // once. Both run from the loop's dispatch, never inside a look.
  void Start(TData Data, TEnded Ended);
  // Bytes handed out earlier have gone out: reading may go on.
  void Release(size_t Bytes);

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

}  // namespace vxcat
