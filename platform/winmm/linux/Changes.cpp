// Telling the program that destinations may have come or gone: the services
// notice on threads of their own, the program's notification hands over to
// its loop.
#include <mutex>

#include "platform/winmm/linux/Backend.h"

namespace winmm {
namespace {

std::mutex gLock;
void (*gNotify)(void*) = nullptr;
void* gData = nullptr;

}  // namespace

void NoteDevicesChanged() {
  std::lock_guard<std::mutex> lock(gLock);
  if (gNotify != nullptr) gNotify(gData);
}

bool midiOutNotifyChanges(void (*Notify)(void* Data), void* Data) {
  // Under the lock: once this returns, the notification replaced is neither
  // running nor called again.
  std::lock_guard<std::mutex> lock(gLock);
  gNotify = Notify;
  gData = Data;
  return true;
}

}  // namespace winmm
