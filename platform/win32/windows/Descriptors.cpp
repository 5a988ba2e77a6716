// The descriptor services of the Linux loop have no Windows counterpart: the
// thread's queue is the wait handle, and sockets report by window messages.
#include "platform/win32/windows/Real.h"

namespace win32 {

int GetQueueWaitHandle() {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return -1;
}

uint64_t WatchDescriptor(int, uint32_t, DescriptorProc, void*) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return 0;
}

BOOL ChangeDescriptorWatch(uint64_t, uint32_t) {
  ::SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

void UnwatchDescriptor(uint64_t) {}

}  // namespace win32
