// Standard input for the loop: chunks of at most ChunkSize bytes handed to the
// loop's thread one per turn, so a flood of input cannot starve the sockets,
// and never a blocking read on that thread. How it is read is the platform's
// (linux/, windows/).
//
// Flow control: no read while Limit bytes are outstanding, that is read but not
// yet released (handed to the network).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "tools/netcat/MessageWindow.h"

namespace vxcat {

class TStdinReader {
 public:
  using TData = std::function<void(const std::string& Chunk)>;
  // Error: 0 at a plain end of input, else the errno of the failed read.
  using TEnded = std::function<void(int Error)>;

  TStdinReader() = default;
  virtual ~TStdinReader() = default;  // nothing of it runs afterwards
  TStdinReader(const TStdinReader&) = delete;
  TStdinReader& operator=(const TStdinReader&) = delete;

  // Starts reading; each chunk goes to Data, in order, then the end to Ended,
  // once. Both run from the loop's dispatch of the reader's message.
  virtual void Start(TData Data, TEnded Ended) = 0;
  // Bytes handed out earlier have gone out: reading may go on.
  virtual void Release(size_t Bytes) = 0;
};

// The platform's reader of descriptor Fd. StepMessage is a message of Window's
// that the reader handles itself.
std::unique_ptr<TStdinReader> MakeStdinReader(int Fd, TMessageWindow& Window,
                                              win32::UINT StepMessage, size_t ChunkSize,
                                              size_t Limit);

}  // namespace vxcat
