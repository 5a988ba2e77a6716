// How vxcat meets what lies outside its sockets: a peer or reader that goes
// away is an error code, standard output carries the bytes as they came, and
// the user's interrupt reaches the loop. What that takes is the platform's
// (linux/, windows/).
#pragma once

#include "tools/netcat/MessageWindow.h"

namespace vxcat {

// Once, first thing in main.
void PrepareProcess();

// While it exists, the user's interrupt (Ctrl+C; on Windows also Ctrl+Break
// and closing the console) posts Message to Window, and the loop ends the
// program. On Linux SIGINT and SIGTERM keep their own meaning: they end the
// process, and the system closes its sockets.
class TInterruptWatch {
 public:
  TInterruptWatch(TMessageWindow& Window, win32::UINT Message);
  ~TInterruptWatch();
  TInterruptWatch(const TInterruptWatch&) = delete;
  TInterruptWatch& operator=(const TInterruptWatch&) = delete;
};

}  // namespace vxcat
